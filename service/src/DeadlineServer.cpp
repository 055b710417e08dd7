#include "DeadlineServer.h"

#include "Log.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <openssl/err.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string_view>

namespace hv::service {

namespace {

using Clock = std::chrono::steady_clock;

// How often a connection waiting for its next request looks whether the
// server is stopping.
constexpr auto kStopCheck = std::chrono::milliseconds(100);
// The line reader asks for a byte at a time.
constexpr std::size_t kReadBuffer = 4096;

Clock::duration Seconds(time_t seconds, time_t microseconds) {
    return std::chrono::seconds(seconds) + std::chrono::microseconds(microseconds);
}

// Waits until the socket is ready for events or the time comes.
bool WaitUntil(int sock, short events, Clock::time_point until) {
    for (;;) {
        // Rounded up, so that the wait never ends before its time.
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
        pollfd entry{sock, events, 0};
        const int ready =
            ::poll(&entry, 1, static_cast<int>(std::clamp<long long>(left, 0, INT_MAX)));
        if (ready > 0) {
            return true;
        }
        if (ready == 0 || errno != EINTR) {
            return false;
        }
    }
}

void SocketAddress(int sock, bool peer, std::string& ip, int& port) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    auto* raw = reinterpret_cast<sockaddr*>(&address);
    if ((peer ? ::getpeername(sock, raw, &length) : ::getsockname(sock, raw, &length)) != 0) {
        return;
    }
    char host[NI_MAXHOST];
    char service[NI_MAXSERV];
    if (::getnameinfo(raw, length, host, sizeof host, service, sizeof service,
                      NI_NUMERICHOST | NI_NUMERICSERV) == 0) {
        ip = host;
        port = std::atoi(service);
    }
}

// What one try of a read or write on a non-blocking socket came to: done,
// with bytes moved (0: the peer has closed) or -1 for an error, or not yet,
// with what to wait for before trying again.
struct Attempt {
    ssize_t result = -1;
    short wait = 0;
};

Attempt TlsAttempt(SSL* tls, int result) {
    if (result > 0) {
        return {result, 0};
    }
    switch (SSL_get_error(tls, result)) {
        case SSL_ERROR_WANT_READ: return {-1, POLLIN};
        case SSL_ERROR_WANT_WRITE: return {-1, POLLOUT};
        case SSL_ERROR_ZERO_RETURN: return {0, 0};
        default: return {-1, 0};
    }
}

Attempt SocketAttempt(ssize_t result, short wait) {
    if (result >= 0) {
        return {result, 0};
    }
    const bool again = errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    return {-1, again ? wait : short{0}};
}

int TlsSize(size_t size) {
    return static_cast<int>(std::min<size_t>(size, INT_MAX));
}

// One connection, plain or TLS, on a non-blocking socket: every wait is a
// poll, so none outlasts its limit, and reads also stop at the deadline of
// the request being read.
class Connection final : public httplib::Stream {
  public:
    Connection(int sock, SSL* tls, Clock::duration readTimeout, Clock::duration writeTimeout)
        : m_sock(sock), m_tls(tls), m_readTimeout(readTimeout), m_writeTimeout(writeTimeout) {}

    void SetDeadline(Clock::time_point deadline) { m_deadline = deadline; }
    // Once a request has outlasted its deadline the connection is done, even
    // though the library would answer it as malformed and wait for the next.
    bool Expired() const { return m_expired; }
    // Tells the peer of an expired request why it is cut off.
    void AnswerExpired() {
        static constexpr std::string_view kAnswer =
            "HTTP/1.1 408 Request Timeout\r\nConnection: close\r\nContent-Length: 0\r\n\r\n";
        Send(kAnswer.data(), kAnswer.size());
    }

    // True once a request starts to arrive within keepAlive; false when the
    // peer is gone, the time runs out or the server stops.
    bool AwaitRequest(Clock::duration keepAlive, const std::atomic<socket_t>& server) const {
        if (Buffered()) {
            return true;
        }
        const auto end = Clock::now() + keepAlive;
        while (server != INVALID_SOCKET) {
            if (WaitUntil(m_sock, POLLIN, std::min(end, Clock::now() + kStopCheck))) {
                return true;
            }
            if (Clock::now() >= end) {
                return false;
            }
        }
        return false;
    }

    bool is_readable() const override { return Buffered() || WaitToRead(POLLIN); }

    bool is_writable() const override {
        return WaitUntil(m_sock, POLLOUT, Clock::now() + m_writeTimeout);
    }

    ssize_t read(char* ptr, size_t size) override {
        if (m_offset == m_filled) {
            m_offset = m_filled = 0;
            if (size >= kReadBuffer) {
                return Receive(ptr, size);
            }
            const ssize_t got = Receive(m_buffer, kReadBuffer);
            if (got <= 0) {
                return got;
            }
            m_filled = static_cast<size_t>(got);
        }
        const size_t taken = std::min(size, m_filled - m_offset);
        std::memcpy(ptr, m_buffer + m_offset, taken);
        m_offset += taken;
        return static_cast<ssize_t>(taken);
    }

    // The library's own answer to an expired request is not sent.
    ssize_t write(const char* ptr, size_t size) override {
        return m_expired ? -1 : Send(ptr, size);
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        SocketAddress(m_sock, true, ip, port);
    }

    void get_local_ip_and_port(std::string& ip, int& port) const override {
        SocketAddress(m_sock, false, ip, port);
    }

    socket_t socket() const override { return m_sock; }

  private:
    bool Buffered() const { return m_offset < m_filled || (m_tls && SSL_pending(m_tls) > 0); }

    ssize_t Send(const char* ptr, size_t size) {
        if (size == 0) {
            return 0;
        }
        for (;;) {
            ERR_clear_error();
            const Attempt sent =
                m_tls ? TlsAttempt(m_tls, SSL_write(m_tls, ptr, TlsSize(size)))
                      : SocketAttempt(::send(m_sock, ptr, size, MSG_NOSIGNAL), POLLOUT);
            if (!sent.wait) {
                // The library would try again for ever after a write of nothing.
                return sent.result > 0 ? sent.result : -1;
            }
            if (!WaitUntil(m_sock, sent.wait, Clock::now() + m_writeTimeout)) {
                return -1;
            }
        }
    }

    // Waits for what a read needs, within the read timeout and the deadline.
    bool WaitToRead(short want) const {
        const auto limit = std::min(m_deadline, Clock::now() + m_readTimeout);
        if (WaitUntil(m_sock, want, limit)) {
            return true;
        }
        m_expired = limit == m_deadline;
        return false;
    }

    // Up to size bytes; 0 once the peer has closed, -1 on an error or when a
    // limit passes first.
    ssize_t Receive(char* into, size_t size) {
        for (;;) {
            ERR_clear_error();
            const Attempt got = m_tls ? TlsAttempt(m_tls, SSL_read(m_tls, into, TlsSize(size)))
                                      : SocketAttempt(::recv(m_sock, into, size, 0), POLLIN);
            if (!got.wait) {
                return got.result;
            }
            if (!WaitToRead(got.wait)) {
                return -1;
            }
        }
    }

    const int m_sock;
    SSL* const m_tls;
    const Clock::duration m_readTimeout;
    const Clock::duration m_writeTimeout;
    Clock::time_point m_deadline = Clock::time_point::max();
    mutable bool m_expired = false;
    char m_buffer[kReadBuffer];
    size_t m_offset = 0;
    size_t m_filled = 0;
};

// The TLS handshake, within the deadline.
bool Handshake(SSL* tls, int sock, Clock::time_point deadline) {
    for (;;) {
        ERR_clear_error();
        const Attempt step = TlsAttempt(tls, SSL_accept(tls));
        if (!step.wait) {
            return step.result > 0;
        }
        if (!WaitUntil(sock, step.wait, deadline)) {
            return false;
        }
    }
}

}  // namespace

DeadlineServer::DeadlineServer(std::chrono::milliseconds requestDeadline,
                               const std::string& certFile, const std::string& keyFile)
    : m_requestDeadline(requestDeadline) {
    if (certFile.empty()) {
        return;
    }
    m_tls.reset(SSL_CTX_new(TLS_server_method()));
    m_valid = m_tls && SSL_CTX_set_min_proto_version(m_tls.get(), TLS1_2_VERSION) == 1 &&
              SSL_CTX_use_certificate_chain_file(m_tls.get(), certFile.c_str()) == 1 &&
              SSL_CTX_use_PrivateKey_file(m_tls.get(), keyFile.c_str(), SSL_FILETYPE_PEM) == 1 &&
              SSL_CTX_check_private_key(m_tls.get()) == 1;
    if (m_tls) {
        SSL_CTX_set_options(m_tls.get(), SSL_OP_NO_COMPRESSION | SSL_OP_NO_RENEGOTIATION);
    }
}

bool DeadlineServer::is_valid() const {
    return m_valid;
}

bool DeadlineServer::process_and_close_socket(socket_t sock) {
    ::fcntl(sock, F_SETFL, ::fcntl(sock, F_GETFL) | O_NONBLOCK);
    SSL* tls = nullptr;
    bool served = !m_tls;
    if (m_tls) {
        tls = SSL_new(m_tls.get());
        served = tls && SSL_set_fd(tls, sock) == 1 &&
                 Handshake(tls, sock, Clock::now() + m_requestDeadline);
    }
    if (served) {
        Connection connection(sock, tls, Seconds(read_timeout_sec_, read_timeout_usec_),
                              Seconds(write_timeout_sec_, write_timeout_usec_));
        for (size_t left = keep_alive_max_count_; left > 0; --left) {
            if (!connection.AwaitRequest(std::chrono::seconds(keep_alive_timeout_sec_),
                                         svr_sock_)) {
                break;
            }
            connection.SetDeadline(Clock::now() + m_requestDeadline);
            bool closed = false;
            served = process_request(connection, left == 1 || svr_sock_ == INVALID_SOCKET, closed,
                                     nullptr);
            if (connection.Expired()) {
                connection.AnswerExpired();
                LogLine("closed a connection whose request outlasted its deadline");
                break;
            }
            if (!served || closed) {
                break;
            }
        }
    }
    if (tls) {
        if (served) {
            SSL_shutdown(tls);
        }
        SSL_free(tls);
    }
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
    return served;
}

}  // namespace hv::service
