// Discovery, login and logout, and the long poll that tells a player why its
// session ended.

#include "Crypto.h"
#include "Routes.h"

#include <algorithm>
#include <cstdlib>
#include <thread>

namespace hv::service {

using nlohmann::json;

namespace {

// Login codes the engine turns into user messages.
constexpr int kUnknownUser = 80;
constexpr int kWrongPassword = 20;
constexpr int kSuspended = 96;
constexpr int kNoSubscription = 26;
constexpr int kUnsupportedVersion = 25;
// The client's text for it asks to retry later.
constexpr int kTooManyAttempts = 32;

constexpr int kDefaultWaitSeconds = 20;
constexpr int kMaxWaitSeconds = 300;
constexpr auto kPollInterval = std::chrono::milliseconds(200);

void Discover(const ServiceState& state, const httplib::Request& req, httplib::Response& res) {
    if (const auto delay = state.faults.discoverDelayMs.load(); delay > 0) {
        SleepUnlessStopping(state.stopping, std::chrono::milliseconds(delay));
    }
    Store store(state.options.database);
    std::string upgrade;
    if (ResolveUnder(state.options.content, "upgrade/Install.sfe")) {
        upgrade = BaseUrl(req, state) + "/upgrade/Install.sfe";
    }
    res.set_content(
        "#<RV>" + std::to_string(store.RequiredVersion()) + "</RV><RURL>" + upgrade + "</RURL>",
        "text/plain");
}

// Checked against when the user name is unknown, so that such an answer takes
// as long as a wrong password and the timing does not tell which names exist.
const std::string& DummyHash() {
    static const std::string hash = HashPassword(RandomHex(16));
    return hash;
}

void Login(ServiceState& state, const httplib::Request& req, httplib::Response& res) {
    auto delay = state.faults.loginDelayMs.load();
    if (delay > 0) {
        SleepUnlessStopping(state.stopping, std::chrono::milliseconds(delay));
    }
    auto body = ParseBody(req);
    auto name = StringField(body, "user");
    auto password = StringField(body, "password");
    const long long now = NowMs(state);
    if (!state.logins.Begin(name, req.remote_addr, now)) {
        return SendError(res, 429, "too_many_attempts", kTooManyAttempts);
    }
    Store store(state.options.database);
    auto user = store.FindUser(name);
    const bool matches = VerifyPassword(password, user ? user->passwordHash : DummyHash());
    if (!user) {
        return SendError(res, 403, "unknown_user", kUnknownUser);
    }
    if (!matches) {
        return SendError(res, 403, "wrong_password", kWrongPassword);
    }
    state.logins.Succeeded(name, req.remote_addr, now);
    if (HashIterations(user->passwordHash) < kPasswordIterations) {
        store.SetPasswordHash(name, HashPassword(password));
    }
    if (user->suspended) {
        return SendError(res, 403, "suspended", kSuspended);
    }
    if (!user->subscribed) {
        return SendError(res, 403, "no_subscription", kNoSubscription);
    }
    int version = VersionNumber(StringField(body, "player_version"));
    if (version < store.RequiredVersion()) {
        return SendError(res, 403, "unsupported_version", kUnsupportedVersion);
    }
    auto token = store.OpenSession(*user, version, now);
    SendJson(res, 200, {{"session", token}, {"catalogue_version", store.CatalogueVersion()}});
}

void Logout(const ServiceState& state, const httplib::Request& req, httplib::Response& res) {
    auto token = StringField(ParseBody(req), "session");
    Store store(state.options.database);
    store.EndSession(token, "logged_out", false);
    SendJson(res, 200, json::object());
}

void Events(ServiceState& state, const httplib::Request& req, httplib::Response& res) {
    auto token = SessionToken(req);
    int wait = kDefaultWaitSeconds;
    if (req.has_param("wait")) {
        wait = std::clamp(std::atoi(req.get_param_value("wait").c_str()), 0, kMaxWaitSeconds);
    }
    // The catalogue version the player has; a newer one is news that does not
    // end the session.
    std::optional<long long> catalogue;
    if (req.has_param("catalogue")) {
        catalogue = std::atoll(req.get_param_value("catalogue").c_str());
    }
    Store store(state.options.database);
    // Over the bounds the poll still tells what is news, but does not wait.
    const PollLimiter::Ticket ticket(state.polls, token);
    if (!ticket.MayWait()) {
        wait = 0;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(wait);
    bool touched = false;
    for (;;) {
        auto session = token.empty() ? std::nullopt : store.FindSession(token);
        if (!session || session->endReported) {
            return SendJson(res, 401, {{"event", "closed"}});
        }
        if (!session->endReason.empty()) {
            store.MarkReported(token);
            return SendJson(res, 200, {{"event", session->endReason}});
        }
        const long long now = NowMs(state);
        auto reason = EndReason(store, *session, now);
        if (!reason.empty()) {
            if (store.EndSession(token, reason, true)) {
                return SendJson(res, 200, {{"event", reason}});
            }
            // Ended meanwhile by the operator's command: its reason is told,
            // and marked told, on the next turn.
            continue;
        }
        if (!touched) {
            store.TouchSession(token, now);
            touched = true;
        }
        if (catalogue) {
            auto current = store.CatalogueVersion();
            if (current != *catalogue) {
                return SendJson(res, 200, {{"event", "catalogue"}, {"catalogue_version", current}});
            }
        }
        if (state.stopping || std::chrono::steady_clock::now() >= deadline) {
            return SendJson(res, 200, {{"event", "none"}});
        }
        std::this_thread::sleep_for(kPollInterval);
    }
}

}  // namespace

void AddAccountRoutes(httplib::Server& server, ServiceState& state) {
    // Made now, or the first unknown name would take longer than the rest.
    DummyHash();
    server.Get("/discover", [&state](const httplib::Request& req, httplib::Response& res) {
        Discover(state, req, res);
    });
    server.Post("/api/login", [&state](const httplib::Request& req, httplib::Response& res) {
        Login(state, req, res);
    });
    server.Post("/api/logout", [&state](const httplib::Request& req, httplib::Response& res) {
        Logout(state, req, res);
    });
    server.Get("/api/events", [&state](const httplib::Request& req, httplib::Response& res) {
        Events(state, req, res);
    });
}

}  // namespace hv::service
