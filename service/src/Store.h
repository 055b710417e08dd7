#pragma once

#include <optional>
#include <string>

struct sqlite3;

namespace halvory::service {

struct User {
    std::string name;
    std::string passwordHash;
    bool suspended = false;
    bool subscribed = true;
    bool denyBilling = false;
    int passwordGeneration = 0;
};

struct Session {
    std::string token;
    std::string user;
    int playerVersion = 0;
    int passwordGeneration = 0;
    // Empty while the session is open; otherwise why it ended.
    std::string endReason;
    bool endReported = false;
};

// Accounts, sessions and purchases in one SQLite file. One Store per thread:
// the admin command and the service change the same file concurrently.
class Store {
  public:
    explicit Store(const std::string& path);
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    std::optional<User> user(const std::string& name);
    bool addUser(const std::string& name, const std::string& password, bool subscribed);
    bool setPassword(const std::string& name, const std::string& password);
    // column is one of "suspended", "subscribed", "deny_billing".
    bool setFlag(const std::string& name, const std::string& column, bool value);
    int endSessionsOf(const std::string& name, const std::string& reason);

    int requiredVersion();
    void setRequiredVersion(int version);

    // Raised by the operator after each change of the catalogue, so that
    // logged-in players fetch it again.
    long long catalogueVersion();
    long long publishCatalogue();

    std::string openSession(const User& user, int playerVersion);
    std::optional<Session> session(const std::string& token);
    // Ends an open session; returns false when it was already ended or unknown.
    bool endSession(const std::string& token, const std::string& reason, bool reported);
    void markReported(const std::string& token);

    bool owns(const std::string& user, const std::string& package);
    void addPurchase(const std::string& user, const std::string& package);

  private:
    void exec(const char* sql);
    sqlite3* db_ = nullptr;
};

}  // namespace halvory::service
