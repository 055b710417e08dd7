#include "Http.h"

#include <memory>

#include <curl/curl.h>

#include "net/CurlEasy.h"
#include "net/PercentEncode.h"
#include "winapi/Log.h"

namespace hv {

namespace {

constexpr long kSinkBufferBytes = 1L << 20;
constexpr int kCancelCheckMs = 250;

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

}  // namespace

HttpResponse HttpPerform(const HttpRequest& request, const std::atomic<bool>* cancel) {
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
