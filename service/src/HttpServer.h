#pragma once

#include "Faults.h"

#include <filesystem>
#include <memory>
#include <string>

namespace httplib {
class Server;
}

namespace hv::service {

struct ServiceOptions {
    std::filesystem::path content;
    std::string database;
    std::string adminToken;           // empty: the admin requests are refused
    std::filesystem::path catalogue;  // empty: content/catalogue.json
    std::string signingKey;           // Ed25519 private key (PEM); empty: no manifests
    std::string linkSecret;           // signs package addresses; nginx may share it
    std::string tlsCertFile;          // PEM certificate chain; empty: plain HTTP
    std::string tlsKeyFile;           // its private key (PEM)
};

struct ServiceState;

// The HTTP front of the service: static content plus the JSON account API.
class Service {
  public:
    explicit Service(ServiceOptions options);
    ~Service();
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    // Binds the listening socket; port 0 picks a free one. Returns the port, or
    // -1, also when the certificate or its key cannot be used.
    int Bind(const std::string& host, int port);
    // "https" with a certificate, else "http".
    std::string Scheme() const;
    // Serves until Stop(); false when the server could not run.
    bool Run();
    // Safe from any thread; ends long polls and the accept loop.
    void Stop();

    Faults& GetFaults();

  private:
    std::unique_ptr<ServiceState> m_state;
    std::unique_ptr<httplib::Server> m_server;
};

}  // namespace hv::service
