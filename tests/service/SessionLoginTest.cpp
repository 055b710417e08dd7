// How long sessions live, what ends them, and how login stands up to guessing.

#include "Crypto.h"
#include "ServiceHarness.h"
#include "Store.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <tuple>

namespace {

using nlohmann::json;
constexpr long long kMinuteMs = 60 * 1000;

class SessionLogin : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(m_service.Url().empty());
        ASSERT_EQ(m_service.Admin({"add-user", "alice", "Secret1"}), 0);
    }

    long Login(const std::string& user, const std::string& password) {
        const json request = {
            {"user", user}, {"password", password}, {"player_version", "1,0,0,1"}};
        auto reply = hvtest::Http("POST", m_service.Url() + "/api/login", request.dump());
        if (reply.status == 429) {
            EXPECT_EQ(json::parse(reply.body, nullptr, false).value("code", 0), 32);
        }
        return reply.status;
    }

    long Catalogue(const std::string& session) {
        return hvtest::Http("GET", m_service.Url() + "/api/catalogue", {},
                            {"X-Session: " + session})
            .status;
    }

    std::string Event(const std::string& session) {
        auto reply = hvtest::Http("GET", m_service.Url() + "/api/events?wait=0", {},
                                  {"X-Session: " + session});
        return json::parse(reply.body, nullptr, false).value("event", "");
    }

    void SetClock(long long offsetMs) {
        ASSERT_EQ(m_service.Faults(json{{"clock_offset_ms", offsetMs}}.dump()), 200);
    }

    hvtest::TempDir m_dir;
    hvtest::TestContent m_content{m_dir.Path()};
    std::filesystem::path m_db = m_dir.Path() / "accounts.db";
    hvtest::ServiceProcess m_service{m_content.root, m_db};
};

TEST_F(SessionLogin, SessionsEndWhenIdleOrOld) {
    // A request every step keeps the session through the steps; the last gap ends it.
    const std::tuple<const char*, long long, int, long long> cases[] = {
        {"idle", 29, 2, 31},
        {"twelve hours old", 25, 28, 25},
    };
    long long clock = 0;
    for (const auto& [what, stepMinutes, steps, lastMinutes] : cases) {
        const auto session = m_service.Session("alice", "Secret1");
        for (int i = 0; i < steps; ++i) {
            clock += stepMinutes * kMinuteMs;
            SetClock(clock);
            EXPECT_EQ(Catalogue(session), 200) << what << " step " << i;
        }
        clock += lastMinutes * kMinuteMs;
        SetClock(clock);
        EXPECT_EQ(Catalogue(session), 401) << what;
        EXPECT_EQ(Event(session), "logged_out") << what;
    }
}

TEST_F(SessionLogin, AccountChangesEndLiveSessionsAtOnce) {
    // Undoing a change before the player's next request does not bring the session back.
    const std::tuple<std::vector<std::vector<std::string>>, const char*> cases[] = {
        {{{"suspend", "alice"}, {"resume", "alice"}}, "suspended"},
        {{{"end-subscription", "alice"}}, "closed"},
        {{{"end-subscription", "alice"}, {"renew-subscription", "alice"}}, "closed"},
        {{{"set-password", "alice", "Secret1"}}, "password_changed"},
    };
    for (const auto& [commands, event] : cases) {
        ASSERT_EQ(m_service.Admin({"renew-subscription", "alice"}), 0);
        const auto session = m_service.Session("alice", "Secret1");
        ASSERT_EQ(Catalogue(session), 200);
        for (const auto& command : commands) {
            ASSERT_EQ(m_service.Admin(command), 0);
        }
        EXPECT_EQ(Catalogue(session), 401) << commands.front().front();
        EXPECT_EQ(Event(session), event) << commands.front().front();
    }
}

// Timing means nothing under the sanitizers, which slow every path unevenly:
// their builds leave this out.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
TEST_F(SessionLogin, UnknownNamesTakeAsLongAsKnownOnes) {
    using Clock = std::chrono::steady_clock;
    auto timed = [&](const std::string& user, const std::string& password, long status) {
        auto start = Clock::now();
        EXPECT_EQ(Login(user, password), status) << user;
        return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    };
    // The fastest of each: other work on the machine can only slow a try, so
    // the fastest tells the path's own cost best.
    auto fastest = [](const std::vector<double>& v) {
        return *std::min_element(v.begin(), v.end());
    };
    timed("warm-up", "x", 403);
    std::vector<double> unknown;
    std::vector<double> known;
    for (int i = 0; i < 15; ++i) {
        unknown.push_back(timed("ghost" + std::to_string(i), "Secret1", 403));
        known.push_back(timed("alice", "Secret1", 200));
    }
    EXPECT_NEAR(fastest(unknown), fastest(known), 0.3 * fastest(known));
}
#endif

TEST_F(SessionLogin, GuessesAreLimitedPerUserAndPerAddress) {
    using Attempts = std::vector<std::tuple<std::string, std::string, long>>;
    Attempts perAddress;
    for (int i = 0; i < 20; ++i) {
        perAddress.emplace_back("ghost" + std::to_string(i), "x", 403);
    }
    perAddress.emplace_back("alice", "Secret1", 429);
    const Attempts cases[] = {
        {{"alice", "x", 403},
         {"alice", "x", 403},
         {"alice", "x", 403},
         {"alice", "x", 403},
         {"alice", "x", 403},
         {"alice", "Secret1", 429}},
        // Logging in does not count.
        {{"alice", "Secret1", 200},
         {"alice", "x", 403},
         {"alice", "x", 403},
         {"alice", "Secret1", 200},
         {"alice", "x", 403},
         {"alice", "x", 403},
         {"alice", "Secret1", 200},
         {"alice", "x", 403},
         {"alice", "x", 429}},
        perAddress,
    };
    long long clock = 0;
    for (const auto& attempts : cases) {
        // Each case starts after the last one's window has passed.
        clock += 16 * kMinuteMs;
        SetClock(clock);
        int n = 0;
        for (const auto& [user, password, status] : attempts) {
            EXPECT_EQ(Login(user, password), status) << user << " attempt " << ++n;
        }
    }
}

TEST_F(SessionLogin, OldHashesStillLogInAndAreRehashed) {
    const auto before = m_service.Session("alice", "Secret1");
    hv::service::Store store(m_db.string());
    store.SetPasswordHash("alice", hv::service::HashPassword("Secret1", 120000));
    for (int i = 0; i < 2; ++i) {
        EXPECT_FALSE(m_service.Session("alice", "Secret1").empty()) << "login " << i;
        EXPECT_GE(hv::service::HashIterations(store.FindUser("alice")->passwordHash), 600000);
    }
    EXPECT_EQ(Catalogue(before), 200) << "a new stored form is no new password";
}

}  // namespace
