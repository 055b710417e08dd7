#include "Http.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <optional>

#include <curl/curl.h>

#include "net/CurlEasy.h"
#include "net/PercentEncode.h"
#include "winapi/Log.h"

namespace hv {

namespace {

constexpr long kSinkBufferBytes = 1L << 20;
constexpr int kCancelCheckMs = 250;
constexpr int kMaxRedirects = 5;

struct Transfer {
    const HttpRequest* request;
    CURL* easy;
    HttpResponse* response;
    const std::atomic<bool>* cancel;
    bool tooLarge = false;
};

size_t OnWrite(char* data, size_t size, size_t count, void* context) {
    auto* t = static_cast<Transfer*>(context);
    size_t bytes = size * count;
    if (t->cancel && t->cancel->load()) {
        return 0;
    }
    long status = 0;
    curl_easy_getinfo(t->easy, CURLINFO_RESPONSE_CODE, &status);
    if (t->request->sink && status >= 200 && status < 300) {
        return t->request->sink(status, data, bytes) ? bytes : 0;
    }
    if (t->response->body.size() + bytes > t->request->maxBody) {
        t->tooLarge = true;
        return 0;
    }
    t->response->body.append(data, bytes);
    return bytes;
}

int OnProgress(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* t = static_cast<Transfer*>(context);
    return t->cancel && t->cancel->load() ? 1 : 0;
}

// Scheme, host and port, in lower case and with the scheme's port filled in.
std::optional<std::string> OriginOf(const std::string& url) {
    std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> parsed(curl_url(), curl_url_cleanup);
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) {
        return std::nullopt;
    }
    std::string origin;
    for (CURLUPart part : {CURLUPART_SCHEME, CURLUPART_HOST, CURLUPART_PORT}) {
        char* text = nullptr;
        if (curl_url_get(parsed.get(), part, &text, CURLU_DEFAULT_PORT) != CURLUE_OK) {
            return std::nullopt;
        }
        origin += text;
        origin += part == CURLUPART_SCHEME ? "://" : part == CURLUPART_HOST ? ":" : "";
        curl_free(text);
    }
    std::transform(origin.begin(), origin.end(), origin.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return origin;
}

// One request without following redirects; a redirect's address goes to
// location. The caller's own headers go only to the origin it named.
HttpResponse PerformOnce(const HttpRequest& request, const std::string& url, bool post,
                         const std::atomic<bool>* cancel, std::string* location) {
    HttpResponse response;
    const CCurlEasy easy;
    std::unique_ptr<CURLM, decltype(&curl_multi_cleanup)> multi(curl_multi_init(),
                                                                curl_multi_cleanup);
    if (!easy || !multi) {
        response.error = "out of memory";
        return response;
    }
    CURL* e = easy.Get();
    Transfer t{&request, e, &response, cancel};
    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, 10L);
    curl_easy_setopt(e, CURLOPT_TIMEOUT, request.timeoutSeconds);
    if (request.stallSeconds > 0) {
        curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, request.stallSeconds);
    }
    // Bodies for a sink are the large ones: fewer, larger pieces cost less.
    if (request.sink) {
        curl_easy_setopt(e, CURLOPT_BUFFERSIZE, kSinkBufferBytes);
    }
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, OnWrite);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(e, CURLOPT_XFERINFODATA, &t);
    std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headers(nullptr,
                                                                        curl_slist_free_all);
    if (OriginOf(url) == OriginOf(request.url)) {
        for (const auto& line : request.headers) {
            headers.reset(curl_slist_append(headers.release(), line.c_str()));
        }
    }
    if (post) {
        headers.reset(curl_slist_append(headers.release(), "Content-Type: application/json"));
        curl_easy_setopt(e, CURLOPT_POSTFIELDS, request.jsonBody->c_str());
        curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(request.jsonBody->size()));
    }
    if (headers) {
        curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers.get());
    }
    std::string range;
    if (request.rangeFrom > 0) {
        range = std::to_string(request.rangeFrom) + "-";
        curl_easy_setopt(e, CURLOPT_RANGE, range.c_str());
    }

    curl_multi_add_handle(multi.get(), e);
    int running = 1;
    CURLcode result = CURLE_OK;
    while (running) {
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
            break;
        }
        if (cancel && cancel->load()) {
            response.cancelled = true;
            break;
        }
        // Data wakes the poll at once; the timeout only bounds how late a
        // cancel is seen while nothing arrives, as in the session's long poll.
        if (running) {
            curl_multi_poll(multi.get(), nullptr, 0, kCancelCheckMs, nullptr);
        }
    }
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi.get(), &left)) {
        if (message->msg == CURLMSG_DONE) {
            result = message->data.result;
        }
    }
    curl_multi_remove_handle(multi.get(), e);

    if (cancel && cancel->load()) {
        response.cancelled = true;
    }
    const char* method = post ? "POST" : "GET";
    if (response.cancelled || result != CURLE_OK || running) {
        response.error = t.tooLarge ? "answer too large" : curl_easy_strerror(result);
        response.status = 0;
        if (!response.cancelled) {
            LogWarning("%s %s failed: %s", method, AddressWithoutQuery(url).c_str(),
                       response.error.c_str());
        }
        return response;
    }
    curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &response.status);
    if (response.status >= 400) {
        LogWarning("%s %s answered %ld", method, AddressWithoutQuery(url).c_str(), response.status);
    }
    const char* next = nullptr;
    if (response.status >= 300 && response.status < 400 &&
        curl_easy_getinfo(e, CURLINFO_REDIRECT_URL, &next) == CURLE_OK && next) {
        *location = next;
    }
    return response;
}

}  // namespace

bool RedirectAllowed(const std::string& from, const std::string& to, bool withBody) {
    const auto source = OriginOf(from), target = OriginOf(to);
    if (!source || !target) {
        return false;
    }
    if (target->starts_with("https://")) {
        return !withBody || *source == *target;
    }
    return target->starts_with("http://") && source->starts_with("http://") &&
           (!withBody || *source == *target);
}

// Redirects are followed here rather than by libcurl, which would go from
// https to http and take a POST's body, the password with it, anywhere.
HttpResponse HttpPerform(const HttpRequest& request, const std::atomic<bool>* cancel) {
    std::string url = request.url;
    bool post = request.jsonBody.has_value();
    for (int redirects = 0;; ++redirects) {
        std::string next;
        HttpResponse response = PerformOnce(request, url, post, cancel, &next);
        if (next.empty()) {
            return response;
        }
        if (redirects == kMaxRedirects || !RedirectAllowed(url, next, post)) {
            LogWarning("refused the redirect from %s to %s", AddressWithoutQuery(url).c_str(),
                       AddressWithoutQuery(next).c_str());
            HttpResponse refused;
            refused.error = "redirect refused";
            return refused;
        }
        // These ask for the new address with a GET, as browsers do.
        if (response.status == 301 || response.status == 302 || response.status == 303) {
            post = false;
        }
        url = std::move(next);
    }
}

}  // namespace hv
