// A fresh service per test on the small content folder, for the service's own tests.
#pragma once

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "ServiceHarness.h"

namespace hvtest {

class ServiceTest : public ::testing::Test {
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
        return nlohmann::json::parse(reply.body, nullptr, false);
    }

    TempDir m_dir;
    TestContent m_content{m_dir.Path()};
    std::filesystem::path m_db = m_dir.Path() / "accounts.db";
    ServiceProcess m_service{m_content.root, m_db};
};

}  // namespace hvtest
