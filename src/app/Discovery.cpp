#include "app/Discovery.h"

#include <curl/curl.h>

#include "net/CurlEasy.h"

namespace hv {

namespace {

constexpr const char* kBuiltInDiscoveryUrl = "https://sms.halvory.com/TeSMS/getslaveips.asp";
// A dead service must never hold up the login screen for long.
constexpr long kConnectTimeoutMs = 3000;
constexpr long kTransferTimeoutMs = 5000;

struct Fetch {
    CURL* curl;
    size_t maxBytes;
    std::string body;
};

// Refuses a body without a length or over the limit before keeping any of it.
size_t OnBody(char* data, size_t size, size_t count, void* context) {
    auto& fetch = *static_cast<Fetch*>(context);
    const size_t bytes = size * count;
    curl_off_t length = -1;
    curl_easy_getinfo(fetch.curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    if (length < 0 || static_cast<size_t>(length) > fetch.maxBytes ||
        fetch.body.size() + bytes > static_cast<size_t>(length)) {
        return 0;
    }
    fetch.body.append(data, bytes);
    return bytes;
}

// Position of `tag` counted from the start, or -1.
long Find(std::string_view body, std::string_view tag) {
    const size_t at = body.find(tag);
    return at == std::string_view::npos ? -1 : static_cast<long>(at);
}

}  // namespace

int FetchUrlText(const std::string& address, std::string* text, size_t maxBytes) {
    CCurlEasy easy;
    CURL* curl = easy.Get();
    if (curl == nullptr) {
        return 0;
    }
    Fetch fetch{curl, maxBytes, {}};
    curl_easy_setopt(curl, CURLOPT_URL, address.c_str());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "TessalyBrowser");
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, kTransferTimeoutMs);
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(maxBytes));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &fetch);
    if (curl_easy_perform(curl) != CURLE_OK) {
        return 0;
    }
    // An empty body never reaches OnBody, so its length is checked here.
    curl_off_t length = -1;
    curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    if (length < 0 || static_cast<size_t>(length) != fetch.body.size()) {
        return 0;
    }
    *text = std::move(fetch.body);
    return 1;
}

std::string DiscoveryAddress(const std::string& configured) {
    return (configured.empty() ? std::string(kBuiltInDiscoveryUrl) : configured) + "?mce=1";
}

void ReadDiscoveryReply(std::string_view body, std::string* requiredVersion,
                        std::string* upgradeUrl) {
    const long size = static_cast<long>(body.size());
    const long a = Find(body, "<RV>");
    const long b = Find(body, "</RV>");
    if (a <= 0 || b <= 0) {
        return;
    }
    const long n = b - a;
    if (n < 4 || size - a <= n) {
        return;
    }
    *requiredVersion =
        std::string(body.substr(static_cast<size_t>(a) + 4, static_cast<size_t>(n - 4)));
    const long c = Find(body, "<RURL>");
    if (c <= 0) {
        return;
    }
    const long m = Find(body, "</RURL>") - c;
    if (m >= 6 && size - c > m) {
        *upgradeUrl =
            std::string(body.substr(static_cast<size_t>(c) + 6, static_cast<size_t>(m - 6)));
    }
}

int DiscoverServers(const std::string& configuredAddress, std::string* requiredVersion,
                    std::string* upgradeUrl) {
    std::string body;
    if (!FetchUrlText(DiscoveryAddress(configuredAddress), &body)) {
        return -1;
    }
    ReadDiscoveryReply(body, requiredVersion, upgradeUrl);
    return 1;
}

}  // namespace hv
