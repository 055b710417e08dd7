#include "net/CurlEasy.h"

#include <mutex>

namespace {

std::mutex g_trustMutex;
std::string g_caFile;

bool GlobalInitOnce() {
    // A function-local static is initialised exactly once, even when several
    // threads get here together.
    static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return initialised;
}

}  // namespace

void CCurlEasy::TrustOnly(const std::string& caFile) {
    const std::lock_guard lock(g_trustMutex);
    g_caFile = caFile;
}

CCurlEasy::CCurlEasy() {
    if (!GlobalInitOnce() || (m_curl = curl_easy_init()) == nullptr) {
        return;
    }
    const std::lock_guard lock(g_trustMutex);
    if (!g_caFile.empty()) {
        // The option copies the text.
        curl_easy_setopt(m_curl, CURLOPT_CAINFO, g_caFile.c_str());
        curl_easy_setopt(m_curl, CURLOPT_CAPATH, nullptr);
    }
}

CCurlEasy::~CCurlEasy() {
    if (m_curl != nullptr) {
        curl_easy_cleanup(m_curl);
    }
}
