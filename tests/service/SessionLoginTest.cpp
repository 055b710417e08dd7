// How long sessions live, what ends them, and how login stands up to guessing.

#include "Crypto.h"
#include "ServiceFixture.h"
#include "Store.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <sstream>
#include <tuple>

namespace {

using nlohmann::json;
constexpr long long kMinuteMs = 60 * 1000;

class SessionLogin : public hvtest::ServiceTest {
  protected:
    void SetUp() override {
        ServiceTest::SetUp();
        AddUser("alice", "Secret1");
    }

    long Login(const std::string& user, const std::string& password) {
        long status = 0;
        const auto reply =
            Post("/api/login",
                 {{"user", user}, {"password", password}, {"player_version", "1,0,0,1"}}, &status);
        if (status == 429) {
            EXPECT_EQ(reply.value("code", 0), 32);
        }
        return status;
    }

    std::string Event(const std::string& session) {
        return json::parse(Get("/api/events?wait=0", session).body, nullptr, false)
            .value("event", "");
    }

    void SetClock(long long offsetMs) {
        ASSERT_EQ(m_service.Faults(json{{"clock_offset_ms", offsetMs}}.dump()), 200);
    }
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
            EXPECT_EQ(Get("/api/catalogue", session).status, 200) << what << " step " << i;
        }
        clock += lastMinutes * kMinuteMs;
        SetClock(clock);
        EXPECT_EQ(Get("/api/catalogue", session).status, 401) << what;
        EXPECT_EQ(Event(session), "logged_out") << what;
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
            EXPECT_EQ(Login("ghost" + std::to_string(i), "x"), 403) << i;
        }
        std::istringstream in(passwords);
        std::size_t n = 0;
        for (std::string password; in >> password; ++n) {
            ASSERT_LT(n, answers.size());
            EXPECT_EQ(Login("alice", password), answers[n]) << "attempt " << n;
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
    EXPECT_EQ(Get("/api/catalogue", before).status, 200) << "a new stored form is no new password";
}

}  // namespace
