#pragma once

#include <httplib.h>
#include <openssl/ssl.h>

#include <chrono>
#include <memory>
#include <string>

namespace hv::service {

// The library's server, with each connection served here instead: the library
// bounds each wait for the peer but not a request as a whole, so a peer that
// sends a byte every few seconds would keep a thread for as long as it liked.
// Here the TLS handshake and the reading of each request have a deadline.
class DeadlineServer final : public httplib::Server {
  public:
    // Plain HTTP when certFile is empty, else TLS with the PEM chain and key.
    DeadlineServer(std::chrono::milliseconds requestDeadline, const std::string& certFile,
                   const std::string& keyFile);

    // False when the certificate or its key cannot be used.
    bool is_valid() const override;

  private:
    struct TlsContextFree {
        void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
    };

    // Called by the library's accept loop on a worker thread, once per connection.
    bool process_and_close_socket(socket_t sock) override;

    const std::chrono::milliseconds m_requestDeadline;
    std::unique_ptr<SSL_CTX, TlsContextFree> m_tls;
    bool m_valid = true;
};

}  // namespace hv::service
