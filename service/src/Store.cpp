#include "Store.h"

#include "Crypto.h"

#include <sqlite3.h>

#include <ctime>
#include <stdexcept>
#include <vector>

namespace hv::service {

namespace {

constexpr int kDefaultRequiredVersion = 1001;

// Prepared statement with positional text/int binding, finalised on scope exit.
class Statement {
  public:
    Statement(sqlite3* db, const char* sql) : m_db(db) {
        if (sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr) != SQLITE_OK) {
            throw std::runtime_error(std::string("sqlite: ") + sqlite3_errmsg(db));
        }
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& Bind(int index, const std::string& value) {
        sqlite3_bind_text(m_stmt, index, value.c_str(), static_cast<int>(value.size()),
                          SQLITE_TRANSIENT);
        return *this;
    }
    Statement& Bind(int index, long long value) {
        sqlite3_bind_int64(m_stmt, index, value);
        return *this;
    }
    bool Step() {
        int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW) {
            return true;
        }
        if (rc != SQLITE_DONE) {
            throw std::runtime_error(std::string("sqlite: ") + sqlite3_errmsg(m_db));
        }
        return false;
    }
    std::string Text(int column) {
        auto* p = sqlite3_column_text(m_stmt, column);
        return p ? reinterpret_cast<const char*>(p) : "";
    }
    long long Integer(int column) { return sqlite3_column_int64(m_stmt, column); }
    int Changes() { return sqlite3_changes(m_db); }

  private:
    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
};

}  // namespace

Store::Store(const std::string& path) {
    if (sqlite3_open_v2(path.c_str(), &m_db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        std::string msg = m_db ? sqlite3_errmsg(m_db) : "out of memory";
        sqlite3_close(m_db);
        throw std::runtime_error("cannot open database " + path + ": " + msg);
    }
    sqlite3_busy_timeout(m_db, 5000);
    Exec("PRAGMA journal_mode=WAL");
    Exec(
        "CREATE TABLE IF NOT EXISTS users (name TEXT PRIMARY KEY, password TEXT NOT NULL,"
        " suspended INTEGER NOT NULL DEFAULT 0, subscribed INTEGER NOT NULL DEFAULT 1,"
        " deny_billing INTEGER NOT NULL DEFAULT 0, password_gen INTEGER NOT NULL DEFAULT 0);"
        "CREATE TABLE IF NOT EXISTS sessions (token TEXT PRIMARY KEY, user TEXT NOT NULL,"
        " player_version INTEGER NOT NULL, password_gen INTEGER NOT NULL, created INTEGER,"
        " end_reason TEXT NOT NULL DEFAULT '', end_reported INTEGER NOT NULL DEFAULT 0,"
        " opened_ms INTEGER NOT NULL DEFAULT 0, seen_ms INTEGER NOT NULL DEFAULT 0);"
        "CREATE TABLE IF NOT EXISTS purchases (user TEXT NOT NULL, package TEXT NOT NULL,"
        " bought INTEGER, PRIMARY KEY (user, package));"
        "CREATE TABLE IF NOT EXISTS settings (key TEXT PRIMARY KEY, value TEXT);"
        "CREATE TABLE IF NOT EXISTS page_tokens (token TEXT PRIMARY KEY, session TEXT NOT NULL,"
        " expires INTEGER NOT NULL);");
    // Databases from before sessions expired; their sessions count as long gone.
    // Checked again under the write lock: another request may have added them.
    auto hasExpiry = [this] {
        return Statement(m_db, "SELECT 1 FROM pragma_table_info('sessions') WHERE name = 'seen_ms'")
            .Step();
    };
    if (!hasExpiry()) {
        Exec("BEGIN IMMEDIATE");
        if (!hasExpiry()) {
            Exec(
                "ALTER TABLE sessions ADD COLUMN opened_ms INTEGER NOT NULL DEFAULT 0;"
                "ALTER TABLE sessions ADD COLUMN seen_ms INTEGER NOT NULL DEFAULT 0");
        }
        Exec("COMMIT");
    }
}

Store::~Store() {
    sqlite3_close(m_db);
}

void Store::Exec(const char* sql) {
    char* err = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &err) != SQLITE_OK) {
        std::string msg = err ? err : "unknown error";
        sqlite3_free(err);
        throw std::runtime_error("sqlite: " + msg);
    }
}

std::optional<User> Store::FindUser(const std::string& name) {
    Statement st(m_db,
                 "SELECT name, password, suspended, subscribed, deny_billing, password_gen"
                 " FROM users WHERE name = ?");
    st.Bind(1, name);
    if (!st.Step()) {
        return std::nullopt;
    }
    User u;
    u.name = st.Text(0);
    u.passwordHash = st.Text(1);
    u.suspended = st.Integer(2) != 0;
    u.subscribed = st.Integer(3) != 0;
    u.denyBilling = st.Integer(4) != 0;
    u.passwordGeneration = static_cast<int>(st.Integer(5));
    return u;
}

bool Store::AddUser(const std::string& name, const std::string& password, bool subscribed) {
    Statement st(m_db, "INSERT OR IGNORE INTO users (name, password, subscribed) VALUES (?, ?, ?)");
    st.Bind(1, name).Bind(2, HashPassword(password)).Bind(3, subscribed ? 1LL : 0LL);
    st.Step();
    return st.Changes() == 1;
}

bool Store::SetPassword(const std::string& name, const std::string& password) {
    Statement st(m_db,
                 "UPDATE users SET password = ?, password_gen = password_gen + 1 WHERE name = ?");
    st.Bind(1, HashPassword(password)).Bind(2, name);
    st.Step();
    return st.Changes() == 1;
}

void Store::SetPasswordHash(const std::string& name, const std::string& hash) {
    Statement(m_db, "UPDATE users SET password = ? WHERE name = ?")
        .Bind(1, hash)
        .Bind(2, name)
        .Step();
}

bool Store::SetFlag(const std::string& name, const std::string& column, bool value) {
    static const std::vector<std::string> allowed = {"suspended", "subscribed", "deny_billing"};
    bool known = false;
    for (const auto& c : allowed) {
        known = known || c == column;
    }
    if (!known) {
        throw std::invalid_argument("unknown account flag " + column);
    }
    std::string sql = "UPDATE users SET " + column + " = ? WHERE name = ?";
    Statement st(m_db, sql.c_str());
    st.Bind(1, value ? 1LL : 0LL).Bind(2, name);
    st.Step();
    return st.Changes() == 1;
}

int Store::EndSessionsOf(const std::string& name, const std::string& reason) {
    Statement st(m_db, "UPDATE sessions SET end_reason = ? WHERE user = ? AND end_reason = ''");
    st.Bind(1, reason).Bind(2, name);
    st.Step();
    return st.Changes();
}

int Store::RequiredVersion() {
    Statement st(m_db, "SELECT value FROM settings WHERE key = 'required_version'");
    if (!st.Step()) {
        return kDefaultRequiredVersion;
    }
    return static_cast<int>(st.Integer(0));
}

void Store::SetRequiredVersion(int version) {
    Statement st(m_db,
                 "INSERT INTO settings (key, value) VALUES ('required_version', ?)"
                 " ON CONFLICT(key) DO UPDATE SET value = excluded.value");
    st.Bind(1, static_cast<long long>(version));
    st.Step();
}

long long Store::CatalogueVersion() {
    Statement st(m_db,
                 "SELECT CAST(value AS INTEGER) FROM settings WHERE key = 'catalogue_version'");
    return st.Step() ? st.Integer(0) : 0;
}

long long Store::PublishCatalogue() {
    Statement st(m_db,
                 "INSERT INTO settings (key, value) VALUES ('catalogue_version', 1)"
                 " ON CONFLICT(key) DO UPDATE SET value = CAST(value AS INTEGER) + 1"
                 " RETURNING CAST(value AS INTEGER)");
    return st.Step() ? st.Integer(0) : 0;
}

std::string Store::OpenSession(const User& user, int playerVersion, long long nowMs) {
    std::string token = RandomHex(16);
    Statement st(m_db,
                 "INSERT INTO sessions (token, user, player_version, password_gen, created,"
                 " opened_ms, seen_ms) VALUES (?, ?, ?, ?, ?, ?, ?)");
    st.Bind(1, token)
        .Bind(2, user.name)
        .Bind(3, static_cast<long long>(playerVersion))
        .Bind(4, static_cast<long long>(user.passwordGeneration))
        .Bind(5, static_cast<long long>(std::time(nullptr)))
        .Bind(6, nowMs)
        .Bind(7, nowMs);
    st.Step();
    return token;
}

std::optional<Session> Store::FindSession(const std::string& token) {
    Statement st(m_db,
                 "SELECT token, user, player_version, password_gen, end_reason, end_reported,"
                 " opened_ms, seen_ms FROM sessions WHERE token = ?");
    st.Bind(1, token);
    if (!st.Step()) {
        return std::nullopt;
    }
    Session s;
    s.token = st.Text(0);
    s.user = st.Text(1);
    s.playerVersion = static_cast<int>(st.Integer(2));
    s.passwordGeneration = static_cast<int>(st.Integer(3));
    s.endReason = st.Text(4);
    s.endReported = st.Integer(5) != 0;
    s.openedMs = st.Integer(6);
    s.seenMs = st.Integer(7);
    return s;
}

void Store::TouchSession(const std::string& token, long long nowMs) {
    Statement(m_db, "UPDATE sessions SET seen_ms = max(seen_ms, ?) WHERE token = ?")
        .Bind(1, nowMs)
        .Bind(2, token)
        .Step();
}

bool Store::EndSession(const std::string& token, const std::string& reason, bool reported) {
    Statement st(m_db,
                 "UPDATE sessions SET end_reason = ?, end_reported = ?"
                 " WHERE token = ? AND end_reason = ''");
    st.Bind(1, reason).Bind(2, reported ? 1LL : 0LL).Bind(3, token);
    st.Step();
    return st.Changes() == 1;
}

void Store::MarkReported(const std::string& token) {
    Statement st(m_db, "UPDATE sessions SET end_reported = 1 WHERE token = ?");
    st.Bind(1, token);
    st.Step();
}

bool Store::Owns(const std::string& user, const std::string& package) {
    Statement st(m_db, "SELECT 1 FROM purchases WHERE user = ? AND package = ?");
    st.Bind(1, user).Bind(2, package);
    return st.Step();
}

void Store::AddPurchase(const std::string& user, const std::string& package) {
    Statement st(m_db, "INSERT OR IGNORE INTO purchases (user, package, bought) VALUES (?, ?, ?)");
    st.Bind(1, user).Bind(2, package).Bind(3, static_cast<long long>(std::time(nullptr)));
    st.Step();
}

std::vector<PurchaseRecord> Store::PurchasesOf(const std::string& user) {
    Statement st(
        m_db, "SELECT package, bought FROM purchases WHERE user = ? ORDER BY bought DESC, package");
    st.Bind(1, user);
    std::vector<PurchaseRecord> purchases;
    while (st.Step()) {
        purchases.push_back({st.Text(0), static_cast<std::time_t>(st.Integer(1))});
    }
    return purchases;
}

std::string Store::OpenPageToken(const std::string& session, long long nowMs, long long expiresMs) {
    Statement(m_db, "DELETE FROM page_tokens WHERE expires <= ?").Bind(1, nowMs).Step();
    std::string token = RandomHex(16);
    Statement st(m_db, "INSERT INTO page_tokens (token, session, expires) VALUES (?, ?, ?)");
    st.Bind(1, token).Bind(2, session).Bind(3, expiresMs);
    st.Step();
    return token;
}

std::optional<std::string> Store::TakePageToken(const std::string& token, long long nowMs) {
    // One statement, so that of two requests with the same token only one gets it.
    Statement st(m_db, "DELETE FROM page_tokens WHERE token = ? RETURNING session, expires");
    st.Bind(1, token);
    if (!st.Step()) {
        return std::nullopt;
    }
    const std::string session = st.Text(0);
    if (st.Integer(1) <= nowMs) {
        return std::nullopt;
    }
    return session;
}

}  // namespace hv::service
