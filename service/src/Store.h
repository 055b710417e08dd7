#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;

namespace hv::service {

struct User {
    std::string name;
    std::string passwordHash;
    bool suspended = false;
    bool subscribed = true;
    bool denyBilling = false;
    int passwordGeneration = 0;
};

struct PurchaseRecord {
    std::string package;
    std::time_t bought = 0;
};

struct Session {
    std::string token;
    std::string user;
    int playerVersion = 0;
    int passwordGeneration = 0;
    long long openedMs = 0;  // service clock, milliseconds since the epoch
    long long seenMs = 0;    // the last request that named it
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

    std::optional<User> FindUser(const std::string& name);
    bool AddUser(const std::string& name, const std::string& password, bool subscribed);
    bool SetPassword(const std::string& name, const std::string& password);
    // The same password in a new stored form; sessions go on.
    void SetPasswordHash(const std::string& name, const std::string& hash);
    // column is one of "suspended", "subscribed", "deny_billing".
    bool SetFlag(const std::string& name, const std::string& column, bool value);
    int EndSessionsOf(const std::string& name, const std::string& reason);

    int RequiredVersion();
    void SetRequiredVersion(int version);

    // Raised by the operator after each change of the catalogue, so that
    // logged-in players fetch it again.
    long long CatalogueVersion();
    long long PublishCatalogue();

    std::string OpenSession(const User& user, int playerVersion, long long nowMs);
    std::optional<Session> FindSession(const std::string& token);
    void TouchSession(const std::string& token, long long nowMs);
    // Ends an open session; returns false when it was already ended or unknown.
    bool EndSession(const std::string& token, const std::string& reason, bool reported);
    void MarkReported(const std::string& token);

    bool Owns(const std::string& user, const std::string& package);
    void AddPurchase(const std::string& user, const std::string& package);
    // Newest first.
    std::vector<PurchaseRecord> PurchasesOf(const std::string& user);

    // A single-use token for a page of the session, valid until expiresMs
    // (milliseconds since the epoch); the expired ones go on the way.
    std::string OpenPageToken(const std::string& session, long long nowMs, long long expiresMs);
    // Uses the token up; its session while it was still valid at nowMs.
    std::optional<std::string> TakePageToken(const std::string& token, long long nowMs);

  private:
    void Exec(const char* sql);
    sqlite3* m_db = nullptr;
};

}  // namespace hv::service
