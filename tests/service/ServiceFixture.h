// A fresh service per test on the small content folder, for the service's own tests.
#pragma once

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "ServiceHarness.h"

namespace hvtest {

// The body as JSON; a discarded value when it is none.
inline nlohmann::json Json(const HttpReply& reply) {
    return nlohmann::json::parse(reply.body, nullptr, false);
}

// A small content folder, for tests that start services of their own.
class ContentFolder : public ::testing::Test {
  protected:
    TempDir m_dir;
    TestContent m_content{m_dir.Path()};
};

class ServiceTest : public ContentFolder {
  protected:
    void SetUp() override { ASSERT_FALSE(m_service.Url().empty()); }

    void AddUser(const std::string& user, const std::string& password = "pw") {
        ASSERT_EQ(m_service.Admin({"add-user", user, password}), 0);
    }

    // A session, when given, goes in its header.
    HttpReply Get(const std::string& path, const std::string& session = {}) const {
        return Http("GET", m_service.Url() + path, {},
                    session.empty() ? std::vector<std::string>{}
                                    : std::vector<std::string>{"X-Session: " + session});
    }

    nlohmann::json Post(const std::string& path, const nlohmann::json& body,
                        long* status = nullptr) const {
        const auto reply = Http("POST", m_service.Url() + path, body.dump());
        if (status) {
            *status = reply.status;
        }
        return Json(reply);
    }

    nlohmann::json Login(const std::string& user, const std::string& password,
                         long* status = nullptr, const std::string& version = "1,0,0,1") const {
        return Post("/api/login",
                    {{"user", user}, {"password", password}, {"player_version", version}}, status);
    }

    // The event a long poll of the session hears within wait seconds.
    std::string Event(const std::string& session, int wait = 0) const {
        return Json(Get("/api/events?wait=" + std::to_string(wait), session)).value("event", "");
    }

    void SetClock(long long offsetMs) const {
        ASSERT_EQ(m_service.Faults(nlohmann::json{{"clock_offset_ms", offsetMs}}.dump()), 200);
    }

    std::filesystem::path m_db = m_dir.Path() / "accounts.db";
    ServiceProcess m_service{m_content.root, m_db};
};

// With the accounts alice (password Secret1) and bob (pw).
class AccountTest : public ServiceTest {
  protected:
    void SetUp() override {
        ServiceTest::SetUp();
        AddUser("alice", "Secret1");
        AddUser("bob");
    }
};

}  // namespace hvtest
