// One libcurl easy handle, cleaned up with the object. libcurl's global set-up
// is done once, before the first handle, and never undone: a thread left to
// finish alone may still be using its handle when the program ends.
#pragma once

#include <curl/curl.h>

#include <string>

class CCurlEasy {
  public:
    // From now on, every handle trusts only the certificates in this PEM file
    // (a private service's own authority); empty: the system's authorities.
    static void TrustOnly(const std::string& caFile);

    CCurlEasy();
    ~CCurlEasy();
    CCurlEasy(const CCurlEasy&) = delete;
    CCurlEasy& operator=(const CCurlEasy&) = delete;

    // Null when libcurl could not make a handle.
    CURL* Get() const { return m_curl; }
    explicit operator bool() const { return m_curl != nullptr; }

  private:
    CURL* m_curl = nullptr;
};
