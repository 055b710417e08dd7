// A loopback HTTP peer for the client's own requests.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <mutex>
#include <string>
#include <thread>

inline std::string Reply(const std::string& headers, const std::string& body) {
    return "HTTP/1.1 200 OK\r\nConnection: close\r\n" + headers + "\r\n" + body;
}

inline std::string Sized(const std::string& body) {
    return Reply("Content-Length: " + std::to_string(body.size()) + "\r\n", body);
}

// A loopback HTTP peer that answers every request with the same bytes, and
// keeps the last request's head; a silent one never takes a connection.
class CannedServer {
  public:
    explicit CannedServer(std::string reply, bool silent = false)
        : m_reply(std::move(reply)), m_silent(silent) {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), size);
        ::listen(m_listener, 4);
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &size);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
    ~CannedServer() {
        ::shutdown(m_listener, SHUT_RDWR);
        m_thread.join();
        ::close(m_listener);
    }

    std::string Url(const std::string& path = "/") const {
        return "http://127.0.0.1:" + std::to_string(m_port) + path;
    }
    std::string Request() const {
        std::lock_guard lock(m_lock);
        return m_request;
    }

  private:
    void Serve() {
        while (!m_silent) {
            const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0) {
                return;
            }
            std::string head;
            char piece[1024];
            while (head.find("\r\n\r\n") == std::string::npos) {
                const ssize_t got = ::recv(client, piece, sizeof piece, 0);
                if (got <= 0) {
                    break;
                }
                head.append(piece, static_cast<size_t>(got));
            }
            {
                std::lock_guard lock(m_lock);
                m_request = head;
            }
            ::send(client, m_reply.data(), m_reply.size(), MSG_NOSIGNAL);
            ::close(client);
        }
    }

    std::string m_reply;
    bool m_silent;
    int m_listener = -1;
    int m_port = 0;
    mutable std::mutex m_lock;
    std::string m_request;
    std::thread m_thread;
};
