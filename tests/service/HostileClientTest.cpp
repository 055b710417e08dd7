#include "PollLimiter.h"
#include "ServiceHarness.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <optional>
#include <thread>

namespace {

std::vector<std::string> Repeated(int count, const std::string& header) {
    std::vector<std::string> headers;
    for (int i = 0; i < count; ++i) {
        headers.push_back("X-Filler-" + std::to_string(i) + ": " + header);
    }
    return headers;
}

std::string RangeList(int count, const std::string& range) {
    std::string list = "Range: bytes=" + range;
    for (int i = 1; i < count; ++i) {
        list += "," + range;
    }
    return list;
}

// Requests that try to make the service send, read or hold far more than they
// are worth are answered with the standard refusals, or cut to one part.
TEST(HostileClient, RequestsAreBoundedOrRefused) {
    hvtest::TempDir dir;
    hvtest::TestContent content{dir.Path()};
    hvtest::ServiceProcess service{content.root, dir.Path() / "a.db"};
    const std::string archive = hvtest::ServiceProcess::PackagePath(content.archive);
    const std::string whole = hvtest::ReadFile(content.root / "packages" / content.archive);
    const std::string size = std::to_string(whole.size());
    const std::string last = std::to_string(whole.size() - 1);
    const std::string beyond =
        std::to_string(whole.size() + 5) + "-" + std::to_string(whole.size() + 9);
    const std::string gzipOfEmptyObject(
        "\x1f\x8b\x08\x00\x00\x00\x00\x00\x02\x03\xab\xae\x05\x00\x43\xbf\xa6\xa3\x02\x00\x00\x00",
        22);

    struct Case {
        const char* what;
        std::string path;
        std::vector<std::string> headers;
        std::optional<std::string> postBody;
        long status;
        std::string contentRange;
        std::optional<std::string> body;
    };
    const Case cases[] = {
        {"700 ranges",
         archive,
         {RangeList(700, "0-99")},
         {},
         206,
         "bytes 0-99/" + size,
         whole.substr(0, 100)},
        {"overlapping ranges",
         archive,
         {"Range: bytes=50-99, 0-59, 100-109"},
         {},
         206,
         "bytes 0-109/" + size,
         whole.substr(0, 110)},
        {"disjoint ranges", archive, {"Range: bytes=0-0, 20-29"}, {}, 200, "", whole},
        {"past the end",
         archive,
         {"Range: bytes=10-99999999999"},
         {},
         206,
         "bytes 10-" + last + "/" + size,
         whole.substr(10)},
        {"wholly past the end",
         archive,
         {"Range: bytes=" + size + "-"},
         {},
         416,
         "bytes */" + size,
         ""},
        {"all wholly past the end",
         archive,
         {"Range: bytes=" + size + "-, " + beyond},
         {},
         416,
         "bytes */" + size,
         ""},
        {"large body",
         "/api/login",
         {"Content-Type: application/json"},
         std::string(100 * 1024, ' '),
         413,
         "",
         {}},
        {"chunked body", "/api/login", {"Transfer-Encoding: chunked"}, "{}", 411, "", {}},
        {"compressed body",
         "/api/login",
         {"Content-Encoding: gzip"},
         gzipOfEmptyObject,
         415,
         "",
         {}},
        {"many headers", "/discover", Repeated(150, "x"), {}, 431, "", {}},
        {"large headers", "/discover", Repeated(12, std::string(4000, 'x')), {}, 431, "", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto reply = hvtest::Http(c.postBody ? "POST" : "GET", service.Url() + c.path,
                                  c.postBody.value_or(""), c.headers);
        EXPECT_EQ(reply.status, c.status);
        EXPECT_EQ(reply.headers["content-range"], c.contentRange);
        if (c.body) {
            EXPECT_EQ(reply.body.size(), c.body->size());
            EXPECT_TRUE(reply.body == *c.body);
        }
    }
}

// Long polls and peers that send a byte at a time each hold a thread while
// they last: polls are bounded per session, and neither makes a player wait.
TEST(HostileClient, SiegeLeavesRoomForOtherPlayers) {
    using namespace std::chrono_literals;
    constexpr int kPolls = 64;
    hvtest::TempDir dir;
    hvtest::TestContent content{dir.Path()};
    hvtest::ServiceProcess service{content.root, dir.Path() / "a.db"};
    ASSERT_EQ(service.Admin({"add-user", "mallory", "pw"}), 0);
    ASSERT_EQ(service.Admin({"add-user", "bob", "pw"}), 0);
    const hvtest::Siege siege(service.Port(), service.Session("mallory", "pw"), kPolls, 64);
    for (int round = 0; round < 3; ++round) {
        const auto session = service.Session("bob", "pw");
        ASSERT_FALSE(session.empty()) << "round " << round;
        EXPECT_EQ(
            hvtest::Http("GET", service.Url() + "/api/catalogue", {}, {"X-Session: " + session})
                .status,
            200);
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

// A package comes only from the address its owner was given, until it expires;
// a demo's address is given to everyone.
TEST(HostileClient, PackagesNeedTheOwnersSignedAddress) {
    using hvtest::ServiceProcess;
    hvtest::TempDir dir;
    hvtest::TestContent content{dir.Path()};
    ServiceProcess service{content.root, dir.Path() / "a.db"};
    ASSERT_EQ(service.Admin({"add-user", "alice", "pw"}), 0);
    const auto session = service.Session("alice", "pw");
    auto address = [&](const char* package) {
        const auto reply = hvtest::Http("GET", service.Url() + "/api/packages/" + package, {},
                                        {"X-Session: " + session});
        return nlohmann::json::parse(reply.body, nullptr, false).value("archive_url", "?");
    };
    auto status = [&](const std::string& url) { return hvtest::Http("GET", url).status; };
    EXPECT_EQ(address("SPACE"), "") << "not bought yet";
    const std::string demo = address("SPACE-D");
    EXPECT_EQ(status(demo), 200);

    const std::string signedPath = ServiceProcess::PackagePath(content.archive);
    // The demo's signature and expiry, good only for the demo's own file.
    const std::string demoQuery = demo.substr(demo.find("?md5="));
    const std::pair<const char*, std::string> refused[] = {
        {"no signature", "/packages/" + content.archive},
        {"expired", ServiceProcess::PackagePath(content.archive, 1000)},
        {"later expiry", signedPath + "0"},
        {"the demo's signature", "/packages/" + content.archive + demoQuery},
        {"no expiry", signedPath.substr(0, signedPath.find('&'))},
    };
    for (const auto& [what, path] : refused) {
        EXPECT_EQ(status(service.Url() + path), 403) << what;
    }

    ASSERT_EQ(hvtest::Http("POST", service.Url() + "/api/purchase",
                           nlohmann::json{{"session", session}, {"package", "SPACE"}}.dump())
                  .status,
              200);
    const std::string bought = address("SPACE");
    const auto reply = hvtest::Http("GET", bought);
    EXPECT_EQ(reply.status, 200);
    EXPECT_TRUE(reply.body == hvtest::ReadFile(content.root / "packages" / content.archive));
    // The addresses given out end within a day.
    ASSERT_EQ(service.Faults(R"({"clock_offset_ms": 86400000})"), 200);
    EXPECT_EQ(status(bought), 403);
}

}  // namespace
