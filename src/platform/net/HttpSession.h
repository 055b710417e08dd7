// Plain HTTP requests on one connection-keeping libcurl handle, each given up
// within one 1 KiB piece (or about a second while nothing arrives) once the
// stop flag is set.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "net/CurlEasy.h"

struct HttpHeaders {
    long status = 0;
    int64_t lastModified = -1;   // seconds since 1970 (UTC); -1 when not sent or unreadable
    int64_t contentLength = -1;  // -1 when not sent
};

class CHttpSession {
  public:
    // Receives the final answer's headers before its first body byte (for an
    // empty body: once the answer is complete); false refuses the body.
    using HeaderCheck = std::function<bool(const HttpHeaders&)>;
    // Receives the body in pieces of at most 1 KiB; false aborts the request.
    using BodySink = std::function<bool(const char* data, size_t size)>;

    // stop must outlive the session.
    explicit CHttpSession(const std::atomic<bool>& stop);

    // False when libcurl could not make a handle.
    bool IsOpen() const { return static_cast<bool>(m_curl); }

    // A HEAD request; false on a transport failure or a stop.
    bool Head(const std::string& url, HttpHeaders* headers);
    // A GET request; true when the body was accepted and arrived whole.
    bool Get(const std::string& url, const HeaderCheck& accept, const BodySink& sink,
             HttpHeaders* headers);

  private:
    HttpHeaders ReadHeaders() const;

    const std::atomic<bool>& m_stop;
    CCurlEasy m_curl;
};
