#include "ServiceFixture.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <future>
#include <tuple>

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

class AccountApi : public hvtest::ServiceTest {
  protected:
    void SetUp() override {
        ServiceTest::SetUp();
        AddUser("alice", "Secret1");
        AddUser("bob");
    }

    json Login(const std::string& user, const std::string& password, long* status = nullptr,
               const std::string& version = "1,0,0,1") {
        return Post("/api/login",
                    {{"user", user}, {"password", password}, {"player_version", version}}, status);
    }

    json Poll(const std::string& session, int wait) {
        return json::parse(Get("/api/events?wait=" + std::to_string(wait), session).body, nullptr,
                           false);
    }
};

TEST_F(AccountApi, LoginAnswersTheCodeForEachAccountState) {
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
        long status = 0;
        auto reply = Login(user, password, &status, version);
        EXPECT_EQ(status, code == 0 ? 200 : 403) << user << "/" << password;
        EXPECT_EQ(reply.value("code", 0), code) << user << "/" << password;
        if (code == 0) {
            EXPECT_EQ(reply.value("session", "").size(), 32u);
        }
    }
    EXPECT_EQ(hvtest::RunProgram({"/usr/bin/grep", "-r", "-q", "Secret1", m_dir.Path().string()}),
              1)
        << "the clear password is in the database";
    EXPECT_NE(m_service.Admin({"add-user", "alice", "again"}), 0);
    EXPECT_NE(m_service.Admin({"set-password", "nobody", "x"}), 0);
}

TEST_F(AccountApi, EachEndOfASessionReachesItsPendingPollAndClosesIt) {
    const auto bystander = m_service.Session("bob", "pw");
    // Raising the required version to the player's own changes nothing.
    ASSERT_EQ(m_service.Admin({"set-required-version", "1001"}), 0);
    auto start = Clock::now();
    EXPECT_EQ(Poll(bystander, 1)["event"], "none");
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
        AddUser(user);
        const auto session = m_service.Session(user, "pw");
        const auto other = m_service.Session(user, "pw");
        start = Clock::now();
        auto poll = std::async(std::launch::async, [&] { return Poll(session, 15); });
        std::this_thread::sleep_for(300ms);
        if (commands.empty()) {
            long status = 0;
            Post("/api/logout", {{"session", session}}, &status);
            EXPECT_EQ(status, 200);
        }
        for (const auto& command : commands) {
            ASSERT_EQ(m_service.Admin(command), 0);
        }
        EXPECT_EQ(poll.get()["event"], event);
        EXPECT_LT(Clock::now() - start, 5s) << event << " came late";
        EXPECT_EQ(Poll(other, 1)["event"], second) << event;
        // Once told, the session is refused everywhere.
        EXPECT_EQ(Poll(session, 5)["event"], "closed") << event;
        EXPECT_EQ(Get("/api/catalogue", session).status, 401) << event;
    }
    EXPECT_EQ(Poll(bystander, 1)["event"], "version_changed") << "only the last change is for all";
    EXPECT_EQ(Login("player2", "pw")["code"], 20) << "the old password is gone";
    EXPECT_EQ(Login("player2", "new", nullptr, "1,0,0,2").value("session", "").size(), 32u);
    for (const char* unknown : {"not-a-session", ""}) {
        EXPECT_EQ(Get("/api/events?wait=1", unknown).status, 401);
    }
}

TEST_F(AccountApi, CatalogueAndDescriptionsCarryArchiveFacts) {
    const auto session = m_service.Session("bob", "pw");
    EXPECT_EQ(Get("/api/catalogue", "bad").status, 401);
    EXPECT_EQ(Get("/api/catalogue?session=" + session).status, 401)
        << "the session goes in the header only, out of addresses and logs";
    auto reply = Get("/api/catalogue", session);
    ASSERT_EQ(reply.status, 200);
    EXPECT_EQ(reply.headers["content-length"], std::to_string(reply.body.size()));
    auto records = hvtest::CatalogueRecords(reply.body);
    ASSERT_EQ(records.size(), 4u);
    const auto archive = m_content.root / "packages" / m_content.archive;
    const auto demoArchive = m_content.root / "packages" / "space-demo.tar";
    EXPECT_EQ(records[0][0], "SPACE");
    EXPECT_EQ(records[0][13], std::to_string(fs::file_size(archive)));
    EXPECT_EQ(records[1][13], std::to_string(fs::file_size(demoArchive)));
    EXPECT_EQ(records[3][13], "0") << "its archive is missing";

    long status = 0;
    auto describe = [&](const std::string& package) {
        auto r = Get("/api/packages/" + package, session);
        status = r.status;
        return json::parse(r.body, nullptr, false);
    };
    std::string sum;
    ASSERT_EQ(hvtest::RunProgram({"/usr/bin/sha256sum", archive.string()}, &sum), 0);
    EXPECT_EQ(describe("space"), (json{{"package", "SPACE"},
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
    auto demo = describe("SPACE-D");
    EXPECT_EQ(demo["demo"], true);
    EXPECT_EQ(demo["owned"], true) << "demos are free";
    EXPECT_EQ(demo["partner"], "SPACE");
    for (const char* unknown : {"NONE", "GHOST"}) {  // GHOST's archive is missing
        EXPECT_EQ(describe(unknown)["code"], 258) << unknown;
        EXPECT_EQ(status, 404) << unknown;
    }
}

TEST_F(AccountApi, PurchasesAreRecordedUnlessBillingDenies) {
    ASSERT_EQ(m_service.Admin({"deny-billing", "bob"}), 0);
    const auto alice = m_service.Session("alice", "Secret1");
    const auto bob = m_service.Session("bob", "pw");
    // session, package, expected status and code
    const std::tuple<std::string, const char*, long, int> cases[] = {
        {alice, "SPACE", 200, 0}, {alice, "NONE", 404, 258},
        {bob, "SPACE", 402, 261}, {bob, "SPACE-D", 200, 0},  // a demo needs no billing
        {"bad", "SPACE", 401, 0},
    };
    for (const auto& [session, package, status, code] : cases) {
        long answered = 0;
        auto reply = Post("/api/purchase", {{"session", session}, {"package", package}}, &answered);
        EXPECT_EQ(answered, status) << package;
        EXPECT_EQ(reply.value("code", 0), code) << package;
    }
    EXPECT_EQ(json::parse(Get("/api/packages/SPACE", alice).body)["owned"], true);
}

// The admin token and bad settings: ServiceSafety.
TEST_F(AccountApi, LoginDelayFaultHoldsTheLogin) {
    ASSERT_EQ(m_service.Faults(R"({"login_delay_ms": 1500})"), 200);
    auto start = Clock::now();
    EXPECT_FALSE(m_service.Session("bob", "pw").empty());
    EXPECT_GE(Clock::now() - start, 1500ms);
}

}  // namespace
