// Turning arbitrary text into one segment of a URL path.
#pragma once

#include <string>
#include <string_view>

// Every byte outside the unreserved characters (letters, digits, '-', '.',
// '_', '~') becomes %XX, so blanks, '#', '?', '%', '/', control bytes and
// UTF-8 reach the server as the very bytes of the text.
std::string PercentEncodeSegment(std::string_view text);
