#pragma once

#include "Content.h"
#include "Faults.h"

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>

namespace httplib {
class Server;
}

namespace halvory::service {

struct ServiceOptions {
    std::filesystem::path content;
    std::string database;
    std::string adminToken;           // empty: the admin requests are refused
    std::filesystem::path catalogue;  // empty: content/catalogue.json
};

// The HTTP front of the service: static content plus the JSON account API.
class Service {
  public:
    explicit Service(ServiceOptions options);
    ~Service();
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    // Binds the listening socket; port 0 picks a free one. Returns the port, or -1.
    int bind(const std::string& host, int port);
    // Serves until stop(); false when the server could not run.
    bool run();
    // Safe from any thread; ends long polls and the accept loop.
    void stop();

    Faults& faults() { return faults_; }

  private:
    void routes();
    std::filesystem::path catalogueFile() const;

    ServiceOptions options_;
    Faults faults_;
    HashCache hashes_;
    std::atomic<bool> stopping_{false};
    std::unique_ptr<httplib::Server> server_;
    std::string host_;
    int port_ = 0;
};

}  // namespace halvory::service
