// Blocking HTTP over libcurl that gives up promptly when asked to.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace hv {

struct HttpRequest {
    explicit HttpRequest(std::string address, std::optional<std::string> json = std::nullopt)
        : url(std::move(address)), jsonBody(std::move(json)) {}

    std::string url;
    std::optional<std::string> jsonBody;  // present: POST it
    std::vector<std::string> headers;     // extra "Name: value" lines
    std::uint64_t rangeFrom = 0;          // non-zero: ask for the bytes from there on
    long timeoutSeconds = 30;             // whole request; 0 for none
    long stallSeconds = 0;                // non-zero: give up when nothing arrives that long
    std::size_t maxBody = 8 << 20;
    // When set, successful (2xx) bodies go here instead of into the response;
    // returning false aborts the request.
    std::function<bool(long status, const char* data, std::size_t size)> sink;
};

struct HttpResponse {
    long status = 0;  // 0: no answer (transport failure or cancelled)
    std::string body;
    bool cancelled = false;
    std::string error;
};

// cancel is checked many times a second, also while nothing arrives.
// Redirects are followed as RedirectAllowed says; a refused one gives status 0.
HttpResponse HttpPerform(const HttpRequest& request, const std::atomic<bool>* cancel);

// Whether a redirect from one address to another may be followed: never from
// https to http, and a request with a body only within its origin (scheme,
// host and port).
bool RedirectAllowed(const std::string& from, const std::string& to, bool withBody);

}  // namespace hv
