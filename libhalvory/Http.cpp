#include "Http.h"

#include <cctype>
#include <memory>
#include <mutex>

#include <curl/curl.h>

#include "winapi/Log.h"

namespace hv {

namespace {

constexpr long kSinkBufferBytes = 1L << 20;

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

// The query carries the session, so a log line shows only what comes before it.
std::string AddressWithoutQuery(const std::string& url) {
    return url.substr(0, url.find_first_of("?#"));
}

int OnProgress(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* t = static_cast<Transfer*>(context);
    return t->cancel && t->cancel->load() ? 1 : 0;
}

}  // namespace

void HttpGlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string UrlEncode(const std::string& text) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

HttpResponse HttpPerform(const HttpRequest& request, const std::atomic<bool>* cancel) {
    HttpGlobalInit();
    HttpResponse response;
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> easy(curl_easy_init(), curl_easy_cleanup);
    std::unique_ptr<CURLM, decltype(&curl_multi_cleanup)> multi(curl_multi_init(),
                                                                curl_multi_cleanup);
    if (!easy || !multi) {
        response.error = "out of memory";
        return response;
    }
    Transfer t{&request, easy.get(), &response, cancel};
    CURL* e = easy.get();
    curl_easy_setopt(e, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, 5L);
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
    for (const auto& line : request.headers) {
        headers.reset(curl_slist_append(headers.release(), line.c_str()));
    }
    if (request.jsonBody) {
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
        if (running) {
            curl_multi_poll(multi.get(), nullptr, 0, 50, nullptr);
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
    const char* method = request.jsonBody ? "POST" : "GET";
    if (response.cancelled || result != CURLE_OK || running) {
        response.error = t.tooLarge ? "answer too large" : curl_easy_strerror(result);
        response.status = 0;
        if (!response.cancelled) {
            LogWarning("%s %s failed: %s", method, AddressWithoutQuery(request.url).c_str(),
                       response.error.c_str());
        }
        return response;
    }
    curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &response.status);
    if (response.status >= 400) {
        LogWarning("%s %s answered %ld", method, AddressWithoutQuery(request.url).c_str(),
                   response.status);
    }
    return response;
}

}  // namespace hv
