#include "ServiceFixture.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

using hvtest::Http;

class Pages : public hvtest::AccountTest {
  protected:
    // The account link the service gives a session; empty when it refuses.
    std::string AccountLink(const std::string& session) const {
        auto reply =
            Http("POST", m_service.Url() + "/api/account-page", "{}", {"X-Session: " + session});
        return reply.status == 200 ? hvtest::Json(reply).value("url", "") : "";
    }
};

// A link shows its own account, once, and only while it and its session last.
TEST_F(Pages, AccountLinksShowTheirOwnAccountOnceWhileValid) {
    const auto alice = m_service.Session("alice", "Secret1");
    const auto bob = m_service.Session("bob", "pw");
    long bought = 0;
    Post("/api/purchase", {{"session", alice}, {"package", "SPACE"}}, &bought);
    ASSERT_EQ(bought, 200);
    // An ended subscription ends the session with it, so only billing can differ.
    ASSERT_EQ(m_service.Admin({"deny-billing", "bob"}), 0);
    // session, user, the other user, bought Space Race, purchases
    const std::tuple<std::string, const char*, const char*, bool, const char*> cases[] = {
        {alice, "alice", "bob", true, "Allowed"},
        {bob, "bob", "alice", false, "Blocked"},
    };
    for (const auto& [session, user, other, bought, purchases] : cases) {
        SCOPED_TRACE(user);
        const auto link = AccountLink(session);
        EXPECT_EQ(link.rfind(m_service.Url() + "/account?token=", 0), 0u) << link;
        EXPECT_EQ(link.find(session), std::string::npos);
        auto page = Http("GET", link);
        EXPECT_EQ(page.status, 200);
        EXPECT_EQ(page.headers["content-type"], "text/html; charset=utf-8");
        EXPECT_NE(page.body.find(std::string("<td>") + user + "</td>"), std::string::npos);
        EXPECT_EQ(page.body.find(std::string("<td>") + other + "</td>"), std::string::npos);
        EXPECT_EQ(page.body.find("Space Race") != std::string::npos, bought);
        EXPECT_NE(page.body.find(purchases), std::string::npos);
        auto again = Http("GET", link);
        EXPECT_EQ(again.status, 410);
        EXPECT_NE(again.body.find("This link has expired"), std::string::npos);
        EXPECT_EQ(again.body.find(user), std::string::npos);
    }

    // How far the clock has gone on when the link is used, and the answer.
    for (const auto& [age, status] : {std::pair{50000, 200L}, {61000, 410L}}) {
        const auto link = AccountLink(alice);
        SetClock(age);
        EXPECT_EQ(Http("GET", link).status, status) << age;
        SetClock(0);
    }
    const auto ended = AccountLink(m_service.Session("bob", "pw"));
    ASSERT_EQ(m_service.Admin({"close-sessions", "bob"}), 0);
    for (const std::string& link :
         {ended, m_service.Url() + "/account?token=" + alice, m_service.Url() + "/account",
          m_service.Url() + "/account?token=00112233445566778899aabbccddeeff"}) {
        auto page = Http("GET", link);
        EXPECT_EQ(page.status, 410) << link;
        EXPECT_EQ(page.body.find("<td>"), std::string::npos) << link;
    }
    EXPECT_EQ(AccountLink("not-a-session"), "");
    EXPECT_EQ(Http("POST", m_service.Url() + "/api/account-page?session=" + alice, "{}").status,
              401)
        << "the session goes in the header only";
}

TEST_F(Pages, ErrorHelpExplainsTheNumberAndOnlyEchoesEscapedText) {
    // query, what the page must say, what it must not
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"?Err=102", "Error 102: Access denied", "Unknown error reference"},
        {"?Err=119", "Error 119: Connection lost", "Error 102:"},
        {"?Err=-7", "Error -7</h2><p>There are no notes", "Unknown error reference"},
        {"?Err=%3Cscript%3Ealert(1)%3C%2Fscript%3E", "&lt;script&gt;alert(1)&lt;/script&gt;",
         "<script"},
        {"?Err=%22%3E%3Cimg%20src%3Dx%3E", "&quot;&gt;&lt;img src=x&gt;", "<img"},
        {"", "<td>102</td><td>Access denied</td>", "class=\"card\""},
    };
    for (const auto& [query, says, never] : cases) {
        SCOPED_TRACE(query);
        auto page = Http("GET", m_service.Url() + "/pages/errorinfo.htm" + query);
        EXPECT_EQ(page.status, 200);
        EXPECT_EQ(page.headers["content-type"], "text/html; charset=utf-8");
        EXPECT_NE(page.body.find("<h1>Halvory Error Help</h1>"), std::string::npos);
        EXPECT_NE(page.body.find(says), std::string::npos);
        EXPECT_EQ(page.body.find(never), std::string::npos);
    }
}

}  // namespace
