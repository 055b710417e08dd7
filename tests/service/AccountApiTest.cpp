#include "Crypto.h"
#include "ServiceHarness.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <future>

namespace {

using nlohmann::json;
using Clock = std::chrono::steady_clock;

class AccountApi : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(m_service.Url().empty());
        ASSERT_EQ(m_service.Admin({"add-user", "alice", "Secret1"}), 0);
        ASSERT_EQ(m_service.Admin({"add-user", "bob", "pw"}), 0);
        ASSERT_EQ(m_service.Admin({"add-user", "carol", "pw", "--no-subscription"}), 0);
    }

    json Post(const std::string& path, const json& body, long* status = nullptr) {
        auto r = hvtest::Http("POST", m_service.Url() + path, body.dump(),
                              {"Content-Type: application/json"});
        if (status) {
            *status = r.status;
        }
        return json::parse(r.body, nullptr, false);
    }

    json Login(const std::string& user, const std::string& password, long* status = nullptr,
               const std::string& version = "1,0,0,1") {
        return Post("/api/login",
                    {{"user", user}, {"password", password}, {"player_version", version}}, status);
    }

    std::string SessionFor(const std::string& user, const std::string& password) {
        long status = 0;
        auto reply = Login(user, password, &status);
        EXPECT_EQ(status, 200) << reply.dump();
        return reply.value("session", "");
    }

    hvtest::HttpReply Events(const std::string& session, int wait) {
        return hvtest::Http("GET", m_service.Url() + "/api/events?session=" + session +
                                       "&wait=" + std::to_string(wait));
    }

    // Starts a long poll, makes the change, and expects that event to arrive quickly.
    void ExpectEventAfter(const std::string& session, const std::vector<std::string>& change,
                          const std::string& event) {
        auto start = Clock::now();
        auto poll = std::async(std::launch::async, [&] { return Events(session, 15); });
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ASSERT_EQ(m_service.Admin(change), 0);
        auto reply = poll.get();
        EXPECT_EQ(reply.status, 200);
        EXPECT_EQ(json::parse(reply.body).value("event", ""), event);
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(5)) << "event came late";
        // The session is over: later polls are refused at once.
        auto after = Events(session, 5);
        EXPECT_EQ(after.status, 401);
        EXPECT_EQ(json::parse(after.body).value("event", ""), "closed");
    }

    hvtest::TempDir m_dir;
    hvtest::TestContent m_content{m_dir.Path()};
    hvtest::ServiceProcess m_service{m_content.root, m_dir.Path() / "accounts.db"};
};

TEST_F(AccountApi, LoginAnswersTheCodeForEachAccountState) {
    long status = 0;
    auto ok = Login("alice", "Secret1", &status);
    EXPECT_EQ(status, 200);
    ASSERT_TRUE(ok.contains("session"));
    EXPECT_NE(ok["account_url"].get<std::string>().find(ok["session"].get<std::string>()),
              std::string::npos);
    EXPECT_EQ(Login("nobody", "x", &status)["code"], 80);
    EXPECT_EQ(status, 403);
    EXPECT_EQ(Login("alice", "secret1", &status)["code"], 20) << "passwords are case sensitive";
    EXPECT_EQ(Login("carol", "pw")["code"], 26);
    EXPECT_EQ(Login("alice", "Secret1", nullptr, "1,0,0,0")["code"], 25);
    ASSERT_EQ(m_service.Admin({"suspend", "bob"}), 0);
    EXPECT_EQ(Login("bob", "pw")["code"], 96);
    EXPECT_EQ(Login("bob", "wrong")["code"], 20) << "a wrong password says nothing more";
    ASSERT_EQ(m_service.Admin({"resume", "bob"}), 0);
    EXPECT_EQ(Login("bob", "pw", &status).value("session", "").size(), 32u);
    EXPECT_EQ(Post("/api/login", json::object(), &status)["code"], 80);
}

TEST_F(AccountApi, PasswordsAreStoredOnlyAsSaltedHashes) {
    std::string dump;
    ASSERT_EQ(
        hvtest::RunProgram({"/usr/bin/grep", "-r", "-q", "Secret1", m_dir.Path().string()}, &dump),
        1)
        << "the clear password is in the database";
    ASSERT_EQ(m_service.Admin({"set-password", "alice", "Other2"}), 0);
    long status = 0;
    Login("alice", "Secret1", &status);
    EXPECT_EQ(status, 403);
    Login("alice", "Other2", &status);
    EXPECT_EQ(status, 200);
    EXPECT_NE(m_service.Admin({"set-password", "nobody", "x"}), 0);
    EXPECT_NE(m_service.Admin({"add-user", "alice", "again"}), 0);
}

TEST_F(AccountApi, QuietPollAnswersNoneAfterItsWait) {
    auto session = SessionFor("alice", "Secret1");
    auto start = Clock::now();
    auto reply = Events(session, 1);
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(json::parse(reply.body)["event"], "none");
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(900));
    EXPECT_EQ(Events("not-a-session", 1).status, 401);
    EXPECT_EQ(Events("", 1).status, 401);
}

TEST_F(AccountApi, SuspensionEndsTheSessionAtOnce) {
    ExpectEventAfter(SessionFor("alice", "Secret1"), {"suspend", "alice"}, "suspended");
}

TEST_F(AccountApi, PasswordChangeEndsTheSession) {
    ExpectEventAfter(SessionFor("alice", "Secret1"), {"set-password", "alice", "New1"},
                     "password_changed");
}

TEST_F(AccountApi, RequiredVersionChangeEndsOlderPlayers) {
    auto session = SessionFor("alice", "Secret1");
    // Raising it to the player's own version changes nothing.
    ASSERT_EQ(m_service.Admin({"set-required-version", "1001"}), 0);
    EXPECT_EQ(json::parse(Events(session, 1).body)["event"], "none");
    ExpectEventAfter(session, {"set-required-version", "1002"}, "version_changed");
}

TEST_F(AccountApi, OperatorCanCloseSessions) {
    auto first = SessionFor("alice", "Secret1");
    auto second = SessionFor("alice", "Secret1");
    auto other = SessionFor("bob", "pw");
    ExpectEventAfter(first, {"close-sessions", "alice"}, "closed");
    EXPECT_EQ(json::parse(Events(second, 1).body)["event"], "closed");
    EXPECT_EQ(json::parse(Events(other, 1).body)["event"], "none");
}

TEST_F(AccountApi, PublishedCatalogueIsNewsThatKeepsTheSession) {
    long status = 0;
    auto reply = Login("alice", "Secret1", &status);
    ASSERT_EQ(status, 200);
    const std::string session = reply.value("session", "");
    const long long version = reply.value("catalogue_version", -1LL);
    auto poll = [&](long long known, int wait) {
        return json::parse(hvtest::Http("GET", m_service.Url() + "/api/events?session=" + session +
                                                   "&wait=" + std::to_string(wait) +
                                                   "&catalogue=" + std::to_string(known))
                               .body);
    };
    EXPECT_EQ(poll(version, 1)["event"], "none");

    auto pending = std::async(std::launch::async, [&] { return poll(version, 15); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(m_service.Admin({"publish-catalogue"}), 0);
    auto news = pending.get();
    EXPECT_EQ(news["event"], "catalogue");
    EXPECT_EQ(news["catalogue_version"], version + 1);

    // The session goes on, quiet again at the new version; new logins start there.
    EXPECT_EQ(hvtest::Http("GET", m_service.Url() + "/api/catalogue?session=" + session).status,
              200);
    EXPECT_EQ(poll(version + 1, 1)["event"], "none");
    EXPECT_EQ(Login("bob", "pw")["catalogue_version"], version + 1);
}

TEST_F(AccountApi, LogoutReachesAPendingPoll) {
    auto session = SessionFor("alice", "Secret1");
    auto poll = std::async(std::launch::async, [&] { return Events(session, 15); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    long status = 0;
    Post("/api/logout", {{"session", session}}, &status);
    EXPECT_EQ(status, 200);
    EXPECT_EQ(json::parse(poll.get().body)["event"], "logged_out");
    auto catalogue = hvtest::Http("GET", m_service.Url() + "/api/catalogue?session=" + session);
    EXPECT_EQ(catalogue.status, 401);
}

TEST_F(AccountApi, CatalogueNeedsASessionAndListsEveryGame) {
    EXPECT_EQ(hvtest::Http("GET", m_service.Url() + "/api/catalogue?session=bad").status, 401);
    auto session = SessionFor("alice", "Secret1");
    auto reply = hvtest::Http("GET", m_service.Url() + "/api/catalogue?session=" + session);
    ASSERT_EQ(reply.status, 200);
    EXPECT_EQ(reply.headers["content-length"], std::to_string(reply.body.size()));
    const std::string& text = reply.body;
    // First record: header of 23 widths, then package and title.
    ASSERT_GE(text.size(), 92u);
    int packageWidth = std::stoi(text.substr(0, 4));
    int titleWidth = std::stoi(text.substr(4, 4));
    EXPECT_EQ(text.substr(92, static_cast<std::size_t>(packageWidth)), "HV-ALPHA");
    EXPECT_EQ(text.substr(92 + static_cast<std::size_t>(packageWidth),
                          static_cast<std::size_t>(titleWidth)),
              "Alpha Quest");
    EXPECT_NE(text.find("HV-ALPHA-DEMO"), std::string::npos);
    EXPECT_NE(text.find("Beta Racer"), std::string::npos);
    EXPECT_EQ(text.find('\n'), std::string::npos);
}

TEST_F(AccountApi, PackageDescriptionsCarryArchiveFacts) {
    auto session = SessionFor("alice", "Secret1");
    auto get = [&](const std::string& package, long* status) {
        auto r = hvtest::Http("GET",
                              m_service.Url() + "/api/packages/" + package + "?session=" + session);
        *status = r.status;
        return json::parse(r.body, nullptr, false);
    };
    long status = 0;
    auto full = get("hv-alpha", &status);
    ASSERT_EQ(status, 200) << full.dump();
    EXPECT_EQ(full["package"], "HV-ALPHA");
    EXPECT_EQ(full["demo"], false);
    EXPECT_EQ(full["partner"], "HV-ALPHA-DEMO");
    EXPECT_EQ(full["owned"], false);
    EXPECT_EQ(full["program"], "run.sh");
    EXPECT_EQ(full["playable_bytes"], 1024);
    std::string sum;
    auto archive = m_content.root / "packages" / m_content.archive;
    ASSERT_EQ(hvtest::RunProgram({"/usr/bin/sha256sum", archive.string()}, &sum), 0);
    EXPECT_EQ(full["sha256"], sum.substr(0, 64));
    EXPECT_EQ(full["size"], static_cast<long long>(std::filesystem::file_size(archive)));
    auto download = hvtest::Http("GET", full["archive_url"].get<std::string>());
    EXPECT_EQ(download.status, 200);
    EXPECT_EQ(download.body.size(), full["size"].get<std::size_t>());

    auto demo = get("HV-ALPHA-DEMO", &status);
    EXPECT_EQ(demo["demo"], true);
    EXPECT_EQ(demo["owned"], true) << "demos are free";
    EXPECT_EQ(demo["partner"], "HV-ALPHA");
    EXPECT_EQ(get("HV-NONE", &status)["code"], 258);
    EXPECT_EQ(status, 404);
    EXPECT_EQ(get("HV-BETA", &status)["code"], 258) << "its archive is missing";
}

TEST_F(AccountApi, PurchasesAreRecordedUnlessBillingDenies) {
    auto alice = SessionFor("alice", "Secret1");
    long status = 0;
    EXPECT_EQ(
        Post("/api/purchase", {{"session", alice}, {"package", "HV-ALPHA"}}, &status)["owned"],
        true);
    EXPECT_EQ(status, 200);
    auto described =
        hvtest::Http("GET", m_service.Url() + "/api/packages/HV-ALPHA?session=" + alice);
    EXPECT_EQ(json::parse(described.body)["owned"], true);
    EXPECT_EQ(Post("/api/purchase", {{"session", alice}, {"package", "HV-NONE"}}, &status)["code"],
              258);

    ASSERT_EQ(m_service.Admin({"deny-billing", "bob"}), 0);
    auto bob = SessionFor("bob", "pw");
    EXPECT_EQ(Post("/api/purchase", {{"session", bob}, {"package", "HV-ALPHA"}}, &status)["code"],
              261);
    EXPECT_EQ(status, 402);
    Post("/api/purchase", {{"session", bob}, {"package", "HV-ALPHA-DEMO"}}, &status);
    EXPECT_EQ(status, 200) << "a demo never needs billing";
    Post("/api/purchase", {{"session", "bad"}, {"package", "HV-ALPHA"}}, &status);
    EXPECT_EQ(status, 401);
}

TEST_F(AccountApi, LoginDelayAndAdminTokenChecks) {
    auto set = [&](const json& faults, const std::string& token) {
        return hvtest::Http("POST", m_service.Url() + "/admin/faults", faults.dump(),
                            {"X-Admin-Token: " + token})
            .status;
    };
    EXPECT_EQ(set({{"login_delay_ms", 1500}}, "wrong"), 403);
    EXPECT_EQ(set({{"login_delay_ms", -5}}, "test-token"), 400);
    ASSERT_EQ(set({{"login_delay_ms", 1500}}, "test-token"), 200);
    auto start = Clock::now();
    SessionFor("alice", "Secret1");
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(1500));
    ASSERT_EQ(set(json::object(), "test-token"), 200);
    start = Clock::now();
    SessionFor("alice", "Secret1");
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1500));
}

}  // namespace
