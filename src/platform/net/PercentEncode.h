// Turning arbitrary text into one segment of a URL path, and an address
// into what may be shown of it.
#pragma once

#include <string>
#include <string_view>

// Every byte outside the unreserved characters (letters, digits, '-', '.',
// '_', '~') becomes %XX, so blanks, '#', '?', '%', '/', control bytes and
// UTF-8 reach the server as the very bytes of the text.
std::string PercentEncodeSegment(std::string_view text);

// The address up to its query or fragment, which may carry a session: what a
// log line may show.
std::string AddressWithoutQuery(std::string_view url);
