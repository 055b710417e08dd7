// Accounts and sessions: logging in, what ends a session, how login stands
// up to guessing, and what a session may see and buy.

#include "Crypto.h"
#include "ServiceFixture.h"
#include "Store.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <future>
#include <sstream>
#include <tuple>

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
constexpr long long kMinuteMs = 60 * 1000;

class AccountApi : public hvtest::AccountTest {
  protected:
    long Guess(const std::string& user, const std::string& password) {
        long status = 0;
        const auto reply = Login(user, password, &status);
        if (status == 429) {
            EXPECT_EQ(reply.value("code", 0), 32);
        }
        return status;
    }
};

TEST_F(AccountApi, LoginAnswersEachAccountStateAndRehashesOldForms) {
    ASSERT_EQ(m_service.Admin({"add-user", "carol", "pw", "--no-subscription"}), 0);
    AddUser("dave");
    ASSERT_EQ(m_service.Admin({"suspend", "dave"}), 0);
    ASSERT_EQ(m_service.Admin({"suspend", "bob"}), 0);
    ASSERT_EQ(m_service.Admin({"resume", "bob"}), 0);
    // user, password, player version, expected code (0: logged in)
    const std::tuple<const char*, const char*, const char*, int> cases[] = {
        {"alice", "Secret1", "1,0,0,1", 0},  {"bob", "pw", "1,0,0,1", 0},
        {"nobody", "x", "1,0,0,1", 80},      {"", "", "", 80},
        {"alice", "secret1", "1,0,0,1", 20}, {"dave", "wrong", "1,0,0,1", 20},
        {"dave", "pw", "1,0,0,1", 96},       {"carol", "pw", "1,0,0,1", 26},
        {"alice", "Secret1", "1,0,0,0", 25},
    };
    for (const auto& [user, password, version, code] : cases) {
        SCOPED_TRACE(std::string(user) + "/" + password);
        long status = 0;
        auto reply = Login(user, password, &status, version);
        EXPECT_EQ(status, code == 0 ? 200 : 403);
        EXPECT_EQ(reply.value("code", 0), code);
        EXPECT_EQ(reply.value("session", "").size(), code == 0 ? 32u : 0u);
    }
    EXPECT_EQ(hvtest::RunProgram({"/usr/bin/grep", "-r", "-q", "Secret1", m_dir.Path().string()}),
              1)
        << "the clear password is in the database";
    EXPECT_NE(m_service.Admin({"add-user", "alice", "again"}), 0);
    EXPECT_NE(m_service.Admin({"set-password", "nobody", "x"}), 0);

    ASSERT_EQ(m_service.Faults(R"({"login_delay_ms": 1500})"), 200);
    const auto start = Clock::now();
    EXPECT_FALSE(m_service.Session("bob", "pw").empty());
    EXPECT_GE(Clock::now() - start, 1500ms) << "the login delay fault holds the login";
    ASSERT_EQ(m_service.Faults("{}"), 200);

    // A password stored in an older, weaker form still logs in, and is stored
    // anew without ending the sessions.
    const auto before = m_service.Session("alice", "Secret1");
    hv::service::Store store(m_db.string());
    store.SetPasswordHash("alice", hv::service::HashPassword("Secret1", 120000));
    for (int i = 0; i < 2; ++i) {
        EXPECT_FALSE(m_service.Session("alice", "Secret1").empty()) << "login " << i;
        EXPECT_GE(hv::service::HashIterations(store.FindUser("alice")->passwordHash), 600000);
    }
    EXPECT_EQ(Get("/api/catalogue", before).status, 200);
}

TEST_F(AccountApi, EachEndOfASessionReachesItsPendingPollAndClosesIt) {
    const auto bystander = m_service.Session("bob", "pw");
    // Raising the required version to the player's own changes nothing.
    ASSERT_EQ(m_service.Admin({"set-required-version", "1001"}), 0);
    auto start = Clock::now();
    EXPECT_EQ(Event(bystander, 1), "none");
    EXPECT_GE(Clock::now() - start, 900ms);

    // The event, what a second session of the same player hears, and the operator's
    // commands (none: the player logs out). Undoing a change before the player's
    // next request does not bring the session back.
    using Commands = std::vector<std::vector<std::string>>;
    const std::tuple<const char*, const char*, Commands> cases[] = {
        {"suspended", "suspended", {{"suspend", "player1"}, {"resume", "player1"}}},
        {"password_changed", "password_changed", {{"set-password", "player2", "new"}}},
        {"closed", "closed", {{"close-sessions", "player3"}}},
        {"closed", "closed", {{"end-subscription", "player4"}, {"renew-subscription", "player4"}}},
        {"logged_out", "none", {}},
        {"version_changed", "version_changed", {{"set-required-version", "1002"}}},
    };
    int n = 0;
    for (const auto& [event, second, commands] : cases) {
        const std::string user = "player" + std::to_string(++n);
        SCOPED_TRACE(user);
        AddUser(user);
        const auto session = m_service.Session(user, "pw");
        const auto other = m_service.Session(user, "pw");
        start = Clock::now();
        auto poll = std::async(std::launch::async, [&] { return Event(session, 15); });
        std::this_thread::sleep_for(300ms);
        if (commands.empty()) {
            long status = 0;
            Post("/api/logout", {{"session", session}}, &status);
            EXPECT_EQ(status, 200);
        }
        for (const auto& command : commands) {
            ASSERT_EQ(m_service.Admin(command), 0);
        }
        EXPECT_EQ(poll.get(), event);
        EXPECT_LT(Clock::now() - start, 5s) << "came late";
        EXPECT_EQ(Event(other, 1), second);
        // Once told, the session is refused everywhere.
        EXPECT_EQ(Event(session, 5), "closed");
        EXPECT_EQ(Get("/api/catalogue", session).status, 401);
    }
    EXPECT_EQ(Event(bystander, 1), "version_changed") << "only the last change is for all";
    EXPECT_EQ(Login("player2", "pw")["code"], 20) << "the old password is gone";
    EXPECT_EQ(Login("player2", "new", nullptr, "1,0,0,2").value("session", "").size(), 32u);
    for (const char* unknown : {"not-a-session", ""}) {
        EXPECT_EQ(Get("/api/events?wait=1", unknown).status, 401);
    }
}

TEST_F(AccountApi, CatalogueDescriptionsAndPurchases) {
    const auto bob = m_service.Session("bob", "pw");
    EXPECT_EQ(Get("/api/catalogue", "bad").status, 401);
    EXPECT_EQ(Get("/api/catalogue?session=" + bob).status, 401)
        << "the session goes in the header only, out of addresses and logs";
    auto reply = Get("/api/catalogue", bob);
    ASSERT_EQ(reply.status, 200);
    EXPECT_EQ(reply.headers["content-length"], std::to_string(reply.body.size()));
    auto records = hvtest::CatalogueRecords(reply.body);
    ASSERT_EQ(records.size(), 4u);
    const auto archive = m_content.root / "packages" / m_content.archive;
    EXPECT_EQ(records[0][0], "SPACE");
    EXPECT_EQ(records[0][13], std::to_string(fs::file_size(archive)));
    EXPECT_EQ(records[1][13],
              std::to_string(fs::file_size(m_content.root / "packages" / "space-demo.tar")));
    EXPECT_EQ(records[3][13], "0") << "its archive is missing";

    std::string sum;
    ASSERT_EQ(hvtest::RunProgram({"/usr/bin/sha256sum", archive.string()}, &sum), 0);
    EXPECT_EQ(hvtest::Json(Get("/api/packages/space", bob)),
              (json{{"package", "SPACE"},
                    {"title", "Space Race"},
                    {"demo", false},
                    {"partner", "SPACE-D"},
                    {"price", "19.99"},
                    {"owned", false},
                    {"size", fs::file_size(archive)},
                    {"sha256", sum.substr(0, 64)},
                    {"playable_bytes", m_content.playableBytes},
                    {"program", "bin/game.sh"},
                    {"archive_url", ""}}))
        << "only an owner is given the address";
    auto demo = hvtest::Json(Get("/api/packages/SPACE-D", bob));
    EXPECT_EQ(demo["demo"], true);
    EXPECT_EQ(demo["owned"], true) << "demos are free";
    EXPECT_EQ(demo["partner"], "SPACE");
    for (const std::string unknown : {"NONE", "GHOST"}) {  // GHOST's archive is missing
        const auto described = Get("/api/packages/" + unknown, bob);
        EXPECT_EQ(described.status, 404) << unknown;
        EXPECT_EQ(hvtest::Json(described)["code"], 258) << unknown;
    }

    // Purchases are recorded unless billing denies them.
    ASSERT_EQ(m_service.Admin({"deny-billing", "bob"}), 0);
    const auto alice = m_service.Session("alice", "Secret1");
    // session, package, expected status and code
    const std::tuple<std::string, const char*, long, int> cases[] = {
        {alice, "SPACE", 200, 0}, {alice, "NONE", 404, 258},
        {bob, "SPACE", 402, 261}, {bob, "SPACE-D", 200, 0},  // a demo needs no billing
        {"bad", "SPACE", 401, 0},
    };
    for (const auto& [session, package, status, code] : cases) {
        long answered = 0;
        auto bought =
            Post("/api/purchase", {{"session", session}, {"package", package}}, &answered);
        EXPECT_EQ(answered, status) << package;
        EXPECT_EQ(bought.value("code", 0), code) << package;
    }
    EXPECT_EQ(hvtest::Json(Get("/api/packages/SPACE", alice))["owned"], true);
}

TEST_F(AccountApi, SessionsEndWhenIdleOrOld) {
    // A request every step keeps the session through the steps; the last gap ends it.
    const std::tuple<const char*, long long, int, long long> cases[] = {
        {"idle", 29, 2, 31},
        {"twelve hours old", 25, 28, 25},
    };
    long long clock = 0;
    for (const auto& [what, stepMinutes, steps, lastMinutes] : cases) {
        SCOPED_TRACE(what);
        const auto session = m_service.Session("alice", "Secret1");
        for (int i = 0; i < steps; ++i) {
            clock += stepMinutes * kMinuteMs;
            SetClock(clock);
            EXPECT_EQ(Get("/api/catalogue", session).status, 200) << "step " << i;
        }
        clock += lastMinutes * kMinuteMs;
        SetClock(clock);
        EXPECT_EQ(Get("/api/catalogue", session).status, 401);
        EXPECT_EQ(Event(session), "logged_out");
    }
}

// Timing means nothing under the sanitizers, which slow every path unevenly:
// their builds leave this out.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
TEST_F(AccountApi, UnknownNamesTakeAsLongAsKnownOnes) {
    auto timed = [&](const std::string& user, const std::string& password, long status) {
        auto start = Clock::now();
        EXPECT_EQ(Guess(user, password), status) << user;
        return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    };
    timed("warm-up", "x", 403);
    // The fastest of each: other work on the machine can only slow a try, so
    // the fastest tells the path's own cost best.
    double unknown = timed("ghost", "Secret1", 403);
    double known = timed("alice", "Secret1", 200);
    for (int i = 1; i < 15; ++i) {
        unknown = std::min(unknown, timed("ghost" + std::to_string(i), "Secret1", 403));
        known = std::min(known, timed("alice", "Secret1", 200));
    }
    EXPECT_NEAR(unknown, known, 0.3 * known);
}
#endif

TEST_F(AccountApi, GuessesAreLimitedPerUserAndPerAddress) {
    // Unknown names tried first from the same address, then alice's passwords
    // and their answers; logging in does not count as a guess.
    const std::tuple<int, const char*, std::vector<long>> cases[] = {
        {0, "x x x x x Secret1", {403, 403, 403, 403, 403, 429}},
        {0, "Secret1 x x Secret1 x x Secret1 x x", {200, 403, 403, 200, 403, 403, 200, 403, 429}},
        {20, "Secret1", {429}},
    };
    long long clock = 0;
    for (const auto& [unknown, passwords, answers] : cases) {
        SCOPED_TRACE(passwords);
        // Each case starts after the last one's window has passed.
        clock += 16 * kMinuteMs;
        SetClock(clock);
        for (int i = 0; i < unknown; ++i) {
            EXPECT_EQ(Guess("ghost" + std::to_string(i), "x"), 403) << i;
        }
        std::istringstream in(passwords);
        std::size_t n = 0;
        for (std::string password; in >> password; ++n) {
            ASSERT_LT(n, answers.size());
            EXPECT_EQ(Guess("alice", password), answers[n]) << "attempt " << n;
        }
    }
}

}  // namespace
