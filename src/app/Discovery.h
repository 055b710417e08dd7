// Server discovery: which player version the service requires and where its
// upgrade package lies, asked once before the first login.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace hv {

// Replies are a few lines; anything larger is not a discovery reply.
inline constexpr size_t kMaxReplyBytes = 64 * 1024;

// 1 with the body in `text`, 0 on failure (`text` untouched). The reply must
// carry a Content-Length and exactly that many bytes, at most `maxBytes`.
int FetchUrlText(const std::string& address, std::string* text, size_t maxBytes = kMaxReplyBytes);

// The configured address, or the built-in one when none is configured, always
// with "?mce=1".
std::string DiscoveryAddress(const std::string& configured);

// Reads "<RV>" and "<RURL>" from the reply; each value changes only when its
// tags are usable, and the address is read only after a usable version.
void ReadDiscoveryReply(std::string_view body, std::string* requiredVersion,
                        std::string* upgradeUrl);

// 1 when the service answered, -1 otherwise (both values untouched).
int DiscoverServers(const std::string& configuredAddress, std::string* requiredVersion,
                    std::string* upgradeUrl);

}  // namespace hv
