#include "net/HttpSession.h"

#include "net/PercentEncode.h"
#include "winapi/Log.h"

namespace {

constexpr long kPieceBytes = 1024;
constexpr long kConnectTimeoutMs = 3000;
// A server that sends nothing for this long is given up on even without a stop.
constexpr long kStallSeconds = 30;

struct GetContext {
    const std::atomic<bool>& stop;
    const CHttpSession::HeaderCheck& accept;
    const CHttpSession::BodySink& sink;
    std::function<HttpHeaders()> headers;
    bool checked = false;
    bool accepted = false;

    bool Check() {
        if (!checked) {
            checked = true;
            accepted = accept(headers());
        }
        return accepted;
    }
};

size_t OnBody(char* data, size_t size, size_t count, void* context) {
    auto& get = *static_cast<GetContext*>(context);
    const size_t bytes = size * count;
    if (get.stop.load() || !get.Check()) {
        return 0;
    }
    return get.sink(data, bytes) ? bytes : 0;
}

// A failed transfer or a server error; never the query, which may carry secrets.
void LogFailure(const char* method, const std::string& url, CURLcode result, long status) {
    const std::string address = AddressWithoutQuery(url);
    if (result != CURLE_OK) {
        hv::LogWarning("%s %s: %s", method, address.c_str(), curl_easy_strerror(result));
    } else if (status >= 500) {
        hv::LogWarning("%s %s: HTTP %ld", method, address.c_str(), status);
    }
}

size_t DiscardBody(char*, size_t size, size_t count, void*) {
    return size * count;
}

int OnProgress(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<const std::atomic<bool>*>(context)->load() ? 1 : 0;
}

}  // namespace

CHttpSession::CHttpSession(const std::atomic<bool>& stop) : m_stop(stop) {
    CURL* curl = m_curl.Get();
    if (curl == nullptr) {
        return;
    }
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Halvory");
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kPieceBytes);
    curl_easy_setopt(curl, CURLOPT_FILETIME, 1L);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(&m_stop));
}

HttpHeaders CHttpSession::ReadHeaders() const {
    CURL* curl = m_curl.Get();
    HttpHeaders headers;
    curl_off_t value = -1;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &headers.status);
    if (curl_easy_getinfo(curl, CURLINFO_FILETIME_T, &value) == CURLE_OK) {
        headers.lastModified = value;
    }
    value = -1;
    if (curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &value) == CURLE_OK) {
        headers.contentLength = value;
    }
    return headers;
}

bool CHttpSession::Head(const std::string& url, HttpHeaders* headers) {
    CURL* curl = m_curl.Get();
    if (curl == nullptr || m_stop.load()) {
        return false;
    }
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, DiscardBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, nullptr);
    const CURLcode result = curl_easy_perform(curl);
    *headers = ReadHeaders();
    if (!m_stop.load()) {
        LogFailure("HEAD", url, result, headers->status);
    }
    return result == CURLE_OK && !m_stop.load();
}

bool CHttpSession::Get(const std::string& url, const HeaderCheck& accept, const BodySink& sink,
                       HttpHeaders* headers) {
    CURL* curl = m_curl.Get();
    if (curl == nullptr || m_stop.load()) {
        return false;
    }
    GetContext get{m_stop, accept, sink, [this] { return ReadHeaders(); }};
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &get);
    const CURLcode result = curl_easy_perform(curl);
    // The context dies with this call; the handle must not keep pointing at it.
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, DiscardBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, nullptr);
    *headers = ReadHeaders();
    // A body refused by the caller or by a stop is no failure.
    if (!m_stop.load() && result != CURLE_WRITE_ERROR) {
        LogFailure("GET", url, result, headers->status);
    }
    // An empty body never reaches OnBody, so its headers are checked here.
    return result == CURLE_OK && !m_stop.load() && get.Check();
}
