#include "Store.h"

#include "Crypto.h"

#include <sqlite3.h>

#include <ctime>
#include <stdexcept>
#include <vector>

namespace halvory::service {

namespace {

constexpr int kDefaultRequiredVersion = 1001;

// Prepared statement with positional text/int binding, finalised on scope exit.
class Statement {
  public:
    Statement(sqlite3* db, const char* sql) : db_(db) {
        if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK) {
            throw std::runtime_error(std::string("sqlite: ") + sqlite3_errmsg(db));
        }
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, const std::string& value) {
        sqlite3_bind_text(stmt_, index, value.c_str(), static_cast<int>(value.size()),
                          SQLITE_TRANSIENT);
        return *this;
    }
    Statement& bind(int index, long long value) {
        sqlite3_bind_int64(stmt_, index, value);
        return *this;
    }
    bool step() {
        int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW) {
            return true;
        }
        if (rc != SQLITE_DONE) {
            throw std::runtime_error(std::string("sqlite: ") + sqlite3_errmsg(db_));
        }
        return false;
    }
    std::string text(int column) {
        auto* p = sqlite3_column_text(stmt_, column);
        return p ? reinterpret_cast<const char*>(p) : "";
    }
    long long integer(int column) { return sqlite3_column_int64(stmt_, column); }
    int changes() { return sqlite3_changes(db_); }

  private:
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

}  // namespace

Store::Store(const std::string& path) {
    if (sqlite3_open_v2(path.c_str(), &db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        std::string msg = db_ ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        throw std::runtime_error("cannot open database " + path + ": " + msg);
    }
    sqlite3_busy_timeout(db_, 5000);
    exec("PRAGMA journal_mode=WAL");
    exec(
        "CREATE TABLE IF NOT EXISTS users (name TEXT PRIMARY KEY, password TEXT NOT NULL,"
        " suspended INTEGER NOT NULL DEFAULT 0, subscribed INTEGER NOT NULL DEFAULT 1,"
        " deny_billing INTEGER NOT NULL DEFAULT 0, password_gen INTEGER NOT NULL DEFAULT 0);"
        "CREATE TABLE IF NOT EXISTS sessions (token TEXT PRIMARY KEY, user TEXT NOT NULL,"
        " player_version INTEGER NOT NULL, password_gen INTEGER NOT NULL, created INTEGER,"
        " end_reason TEXT NOT NULL DEFAULT '', end_reported INTEGER NOT NULL DEFAULT 0);"
        "CREATE TABLE IF NOT EXISTS purchases (user TEXT NOT NULL, package TEXT NOT NULL,"
        " bought INTEGER, PRIMARY KEY (user, package));"
        "CREATE TABLE IF NOT EXISTS settings (key TEXT PRIMARY KEY, value TEXT);");
}

Store::~Store() {
    sqlite3_close(db_);
}

void Store::exec(const char* sql) {
    char* err = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &err) != SQLITE_OK) {
        std::string msg = err ? err : "unknown error";
        sqlite3_free(err);
        throw std::runtime_error("sqlite: " + msg);
    }
}

std::optional<User> Store::user(const std::string& name) {
    Statement st(db_,
                 "SELECT name, password, suspended, subscribed, deny_billing, password_gen"
                 " FROM users WHERE name = ?");
    st.bind(1, name);
    if (!st.step()) {
        return std::nullopt;
    }
    User u;
    u.name = st.text(0);
    u.passwordHash = st.text(1);
    u.suspended = st.integer(2) != 0;
    u.subscribed = st.integer(3) != 0;
    u.denyBilling = st.integer(4) != 0;
    u.passwordGeneration = static_cast<int>(st.integer(5));
    return u;
}

bool Store::addUser(const std::string& name, const std::string& password, bool subscribed) {
    Statement st(db_, "INSERT OR IGNORE INTO users (name, password, subscribed) VALUES (?, ?, ?)");
    st.bind(1, name).bind(2, hashPassword(password)).bind(3, subscribed ? 1LL : 0LL);
    st.step();
    return st.changes() == 1;
}

bool Store::setPassword(const std::string& name, const std::string& password) {
    Statement st(db_,
                 "UPDATE users SET password = ?, password_gen = password_gen + 1 WHERE name = ?");
    st.bind(1, hashPassword(password)).bind(2, name);
    st.step();
    return st.changes() == 1;
}

bool Store::setFlag(const std::string& name, const std::string& column, bool value) {
    static const std::vector<std::string> allowed = {"suspended", "subscribed", "deny_billing"};
    bool known = false;
    for (const auto& c : allowed) {
        known = known || c == column;
    }
    if (!known) {
        throw std::invalid_argument("unknown account flag " + column);
    }
    std::string sql = "UPDATE users SET " + column + " = ? WHERE name = ?";
    Statement st(db_, sql.c_str());
    st.bind(1, value ? 1LL : 0LL).bind(2, name);
    st.step();
    return st.changes() == 1;
}

int Store::endSessionsOf(const std::string& name, const std::string& reason) {
    Statement st(db_, "UPDATE sessions SET end_reason = ? WHERE user = ? AND end_reason = ''");
    st.bind(1, reason).bind(2, name);
    st.step();
    return st.changes();
}

int Store::requiredVersion() {
    Statement st(db_, "SELECT value FROM settings WHERE key = 'required_version'");
    if (!st.step()) {
        return kDefaultRequiredVersion;
    }
    return static_cast<int>(st.integer(0));
}

void Store::setRequiredVersion(int version) {
    Statement st(db_,
                 "INSERT INTO settings (key, value) VALUES ('required_version', ?)"
                 " ON CONFLICT(key) DO UPDATE SET value = excluded.value");
    st.bind(1, static_cast<long long>(version));
    st.step();
}

long long Store::catalogueVersion() {
    Statement st(db_,
                 "SELECT CAST(value AS INTEGER) FROM settings WHERE key = 'catalogue_version'");
    return st.step() ? st.integer(0) : 0;
}

long long Store::publishCatalogue() {
    Statement st(db_,
                 "INSERT INTO settings (key, value) VALUES ('catalogue_version', 1)"
                 " ON CONFLICT(key) DO UPDATE SET value = CAST(value AS INTEGER) + 1"
                 " RETURNING CAST(value AS INTEGER)");
    return st.step() ? st.integer(0) : 0;
}

std::string Store::openSession(const User& user, int playerVersion) {
    std::string token = randomHex(16);
    Statement st(db_,
                 "INSERT INTO sessions (token, user, player_version, password_gen, created)"
                 " VALUES (?, ?, ?, ?, ?)");
    st.bind(1, token)
        .bind(2, user.name)
        .bind(3, static_cast<long long>(playerVersion))
        .bind(4, static_cast<long long>(user.passwordGeneration))
        .bind(5, static_cast<long long>(std::time(nullptr)));
    st.step();
    return token;
}

std::optional<Session> Store::session(const std::string& token) {
    Statement st(db_,
                 "SELECT token, user, player_version, password_gen, end_reason, end_reported"
                 " FROM sessions WHERE token = ?");
    st.bind(1, token);
    if (!st.step()) {
        return std::nullopt;
    }
    Session s;
    s.token = st.text(0);
    s.user = st.text(1);
    s.playerVersion = static_cast<int>(st.integer(2));
    s.passwordGeneration = static_cast<int>(st.integer(3));
    s.endReason = st.text(4);
    s.endReported = st.integer(5) != 0;
    return s;
}

bool Store::endSession(const std::string& token, const std::string& reason, bool reported) {
    Statement st(db_,
                 "UPDATE sessions SET end_reason = ?, end_reported = ?"
                 " WHERE token = ? AND end_reason = ''");
    st.bind(1, reason).bind(2, reported ? 1LL : 0LL).bind(3, token);
    st.step();
    return st.changes() == 1;
}

void Store::markReported(const std::string& token) {
    Statement st(db_, "UPDATE sessions SET end_reported = 1 WHERE token = ?");
    st.bind(1, token);
    st.step();
}

bool Store::owns(const std::string& user, const std::string& package) {
    Statement st(db_, "SELECT 1 FROM purchases WHERE user = ? AND package = ?");
    st.bind(1, user).bind(2, package);
    return st.step();
}

void Store::addPurchase(const std::string& user, const std::string& package) {
    Statement st(db_, "INSERT OR IGNORE INTO purchases (user, package, bought) VALUES (?, ?, ?)");
    st.bind(1, user).bind(2, package).bind(3, static_cast<long long>(std::time(nullptr)));
    st.step();
}

}  // namespace halvory::service
