#include "PollLimiter.h"
#include "ServiceFixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

namespace {

using namespace std::chrono_literals;
using HostileClient = hvtest::AccountTest;

// Requests that try to make the service read or hold far more than they are
// worth are answered with the standard refusals (ranges: StaticContent).
TEST_F(HostileClient, RequestsAreBoundedOrRefused) {
    const std::string gzipOfEmptyObject(
        "\x1f\x8b\x08\x00\x00\x00\x00\x00\x02\x03\xab\xae\x05\x00\x43\xbf\xa6\xa3\x02\x00\x00\x00",
        22);
    const std::string large(100 * 1024, ' ');
    // what, path, headers, body to post (empty: a GET), status
    const std::tuple<const char*, const char*, std::vector<std::string>, std::string, long>
        cases[] = {
            {"large body", "/api/login", {"Content-Type: application/json"}, large, 413},
            {"chunked body", "/api/login", {"Transfer-Encoding: chunked"}, "{}", 411},
            {"compressed body", "/api/login", {"Content-Encoding: gzip"}, gzipOfEmptyObject, 415},
            {"many headers", "/discover", std::vector<std::string>(150, "X-Filler: x"), "", 431},
            {"large headers", "/discover",
             std::vector<std::string>(12, "X-Filler: " + std::string(4000, 'x')), "", 431},
        };
    for (const auto& [what, path, headers, body, status] : cases) {
        const auto reply =
            hvtest::Http(body.empty() ? "GET" : "POST", m_service.Url() + path, body, headers);
        EXPECT_EQ(reply.status, status) << what;
    }
}

// Long polls and peers that send a byte at a time each hold a thread while
// they last: polls are bounded per session, and neither makes a player wait.
TEST_F(HostileClient, SiegeLeavesRoomForOtherPlayers) {
    constexpr int kPolls = 64;
    const hvtest::Siege siege(m_service.Port(), m_service.Session("alice", "Secret1"), kPolls, 64);
    for (int round = 0; round < 3; ++round) {
        const auto session = m_service.Session("bob", "pw");
        ASSERT_FALSE(session.empty()) << "round " << round;
        EXPECT_EQ(Get("/api/catalogue", session).status, 200);
    }
    constexpr int kWaiting = hv::service::PollLimiter::kPerSession;
    for (auto deadline = std::chrono::steady_clock::now() + 10s;
         siege.PollsAnswered() < kPolls - kWaiting &&
         std::chrono::steady_clock::now() < deadline;) {
        std::this_thread::sleep_for(50ms);
    }
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(siege.PollsAnswered(), kPolls - kWaiting);
}

// A peer that sends a byte at a time, each just in time, is told its request
// took too long and cut off once it has taken the service's deadline (ten
// seconds), and over TLS so is its handshake.
TEST_F(HostileClient, SlowRequestsEndAtTheirDeadline) {
    const hvtest::TestCertificates certificates{m_dir.Path() / "tls"};
    hvtest::ServiceProcess tls{m_content.root, m_dir.Path() / "tls.db", certificates.ServeArgs()};
    // A handshake record announcing 512 bytes, which then come slowly.
    const std::string handshake("\x16\x03\x01\x02\x00", 5);
    auto request = std::async(std::launch::async, [this] {
        return hvtest::DripUntilClosed(m_service.Port(), "GET /discover HTTP/1.1\r\nX-Slow: ", 20s);
    });
    auto tlsStart = std::async(std::launch::async, [&tls, &handshake] {
        return hvtest::DripUntilClosed(tls.Port(), handshake, 20s);
    });
    const auto plain = request.get(), secure = tlsStart.get();
    for (auto [what, took] : {std::pair{"request", plain.took}, {"handshake", secure.took}}) {
        EXPECT_GE(took, 9s) << what;
        EXPECT_LE(took, 12s) << what;
    }
    EXPECT_EQ(plain.answer.substr(0, 13), "HTTP/1.1 408 ");
    EXPECT_NE(m_service.Log().find("outlasted its deadline"), std::string::npos);
}

// A package comes only from the address its owner was given, until it expires;
// a demo's address is given to everyone.
TEST_F(HostileClient, PackagesNeedTheOwnersSignedAddress) {
    using hvtest::ServiceProcess;
    const auto session = m_service.Session("alice", "Secret1");
    auto address = [&](const std::string& package) {
        return hvtest::Json(Get("/api/packages/" + package, session)).value("archive_url", "?");
    };
    auto status = [&](const std::string& url) { return hvtest::Http("GET", url).status; };
    EXPECT_EQ(address("SPACE"), "") << "not bought yet";
    const std::string demo = address("SPACE-D");
    EXPECT_EQ(status(demo), 200);

    const std::string signedPath = ServiceProcess::PackagePath(m_content.archive);
    // The demo's signature and expiry, good only for the demo's own file.
    const std::string demoQuery = demo.substr(demo.find("?md5="));
    const std::pair<const char*, std::string> refused[] = {
        {"no signature", "/packages/" + m_content.archive},
        {"expired", ServiceProcess::PackagePath(m_content.archive, 1000)},
        {"later expiry", signedPath + "0"},
        {"the demo's signature", "/packages/" + m_content.archive + demoQuery},
        {"no expiry", signedPath.substr(0, signedPath.find('&'))},
    };
    for (const auto& [what, path] : refused) {
        EXPECT_EQ(status(m_service.Url() + path), 403) << what;
    }

    long purchase = 0;
    Post("/api/purchase", {{"session", session}, {"package", "SPACE"}}, &purchase);
    ASSERT_EQ(purchase, 200);
    const std::string bought = address("SPACE");
    const auto reply = hvtest::Http("GET", bought);
    EXPECT_EQ(reply.status, 200);
    EXPECT_TRUE(reply.body == hvtest::ReadFile(m_content.root / "packages" / m_content.archive));
    // The addresses given out end within a day.
    SetClock(86400000);
    EXPECT_EQ(status(bought), 403);
}

}  // namespace
