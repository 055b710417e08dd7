#include "net/CurlEasy.h"

namespace {

bool GlobalInitOnce() {
    // A function-local static is initialised exactly once, even when several
    // threads get here together.
    static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return initialised;
}

}  // namespace

CCurlEasy::CCurlEasy() {
    if (GlobalInitOnce()) {
        m_curl = curl_easy_init();
    }
}

CCurlEasy::~CCurlEasy() {
    if (m_curl != nullptr) {
        curl_easy_cleanup(m_curl);
    }
}
