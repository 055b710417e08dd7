#include "Content.h"
#include "ServiceHarness.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string lastModifiedOf(const fs::path& file) {
    struct stat st {};
    stat(file.c_str(), &st);
    return halvory::service::httpDate(st.st_mtime);
}

class StaticContent : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_FALSE(service.url().empty()); }

    int setFaults(const nlohmann::json& faults) {
        return static_cast<int>(hvtest::http("POST", service.url() + "/admin/faults", faults.dump(),
                                             {"X-Admin-Token: test-token"})
                                    .status);
    }
    std::string archiveUrl() const { return service.url() + "/packages/" + content.archive; }
    fs::path archivePath() const { return content.root / "packages" / content.archive; }

    hvtest::TempDir dir;
    hvtest::TestContent content{dir.path()};
    hvtest::ServiceProcess service{content.root, dir.path() / "accounts.db"};
};

TEST_F(StaticContent, DiscoveryNamesVersionAndUpgrade) {
    auto reply = hvtest::http("GET", service.url() + "/discover?mce=1");
    ASSERT_EQ(reply.status, 200);
    EXPECT_EQ(reply.body, "#<RV>1001</RV><RURL>" + service.url() + "/upgrade/Install.sfe</RURL>");
    EXPECT_EQ(reply.headers["content-length"], std::to_string(reply.body.size()));
    ASSERT_EQ(service.admin({"set-required-version", "1002"}), 0);
    EXPECT_NE(hvtest::http("GET", service.url() + "/discover?mce=1").body.find("<RV>1002</RV>"),
              std::string::npos);
    fs::remove(content.root / "upgrade" / "Install.sfe");
    EXPECT_NE(hvtest::http("GET", service.url() + "/discover").body.find("<RURL></RURL>"),
              std::string::npos);
}

TEST_F(StaticContent, ArtCarriesLastModifiedAndLength) {
    auto icon = content.root / "art" / "Alpha Quest.jpg";
    std::string url = service.url() + "/art/" + hvtest::urlEncode("Alpha Quest") + ".jpg";
    auto head = hvtest::http("HEAD", url);
    EXPECT_EQ(head.status, 200);
    EXPECT_TRUE(head.body.empty());
    EXPECT_EQ(head.headers["content-length"], "5000");
    EXPECT_EQ(head.headers["last-modified"], lastModifiedOf(icon));
    EXPECT_EQ(head.headers["content-type"], "image/jpeg");
    auto get = hvtest::http("GET", url);
    EXPECT_EQ(get.body, readFile(icon));
    EXPECT_EQ(get.headers["last-modified"], head.headers["last-modified"]);

    // A changed file announces its new time.
    fs::last_write_time(icon, fs::last_write_time(icon) - std::chrono::hours(30));
    auto again = hvtest::http("HEAD", url);
    EXPECT_EQ(again.headers["last-modified"], lastModifiedOf(icon));
    EXPECT_NE(again.headers["last-modified"], head.headers["last-modified"]);
    auto text = hvtest::http("GET", service.url() + "/art/Alpha%20Quest.txt");
    EXPECT_EQ(text.body, "A quest.");
    EXPECT_EQ(text.headers["content-type"], "text/plain");
    EXPECT_EQ(hvtest::http("GET", service.url() + "/pages/announcements.htm").status, 200);
    EXPECT_EQ(hvtest::http("HEAD", service.url() + "/art/None.jpg").status, 404);
}

TEST_F(StaticContent, RangesAnswerPartialContent) {
    std::string whole = readFile(archivePath());
    auto size = std::to_string(whole.size());
    auto part = hvtest::http("GET", archiveUrl(), {}, {"Range: bytes=1000-"});
    EXPECT_EQ(part.status, 206);
    EXPECT_EQ(part.headers["content-range"],
              "bytes 1000-" + std::to_string(whole.size() - 1) + "/" + size);
    EXPECT_EQ(part.body, whole.substr(1000));
    auto middle = hvtest::http("GET", archiveUrl(), {}, {"Range: bytes=10-19"});
    EXPECT_EQ(middle.status, 206);
    EXPECT_EQ(middle.body, whole.substr(10, 10));
    EXPECT_EQ(middle.headers["content-length"], "10");
    auto beyond = hvtest::http("GET", archiveUrl(), {}, {"Range: bytes=" + size + "-"});
    EXPECT_EQ(beyond.status, 416);
    EXPECT_EQ(beyond.headers["content-range"], "bytes */" + size);
    auto full = hvtest::http("GET", archiveUrl());
    EXPECT_EQ(full.status, 200);
    EXPECT_EQ(full.headers["accept-ranges"], "bytes");
    EXPECT_FALSE(full.headers["etag"].empty());
}

TEST_F(StaticContent, DroppedTransferResumesToIdenticalBytes) {
    std::string whole = readFile(archivePath());
    ASSERT_EQ(setFaults({{"drop_after_bytes", 100000}}), 200);
    auto cut = hvtest::http("GET", archiveUrl());
    EXPECT_FALSE(cut.complete);
    EXPECT_EQ(cut.headers["content-length"], std::to_string(whole.size()));
    ASSERT_EQ(cut.body.size(), 100000u);
    // Each response is cut, also a resumed one.
    auto resumedCut = hvtest::http("GET", archiveUrl(), {}, {"Range: bytes=100000-"});
    EXPECT_EQ(resumedCut.body.size(), 100000u);
    ASSERT_EQ(setFaults(nlohmann::json::object()), 200);
    auto rest = hvtest::http("GET", archiveUrl(), {}, {"Range: bytes=100000-"});
    ASSERT_TRUE(rest.complete);
    EXPECT_EQ(cut.body + rest.body, whole);
}

TEST_F(StaticContent, FailNextAnswersServiceUnavailable) {
    ASSERT_EQ(setFaults({{"fail_next", 2}}), 200);
    EXPECT_EQ(hvtest::http("GET", service.url() + "/discover").status, 503);
    EXPECT_EQ(hvtest::http("GET", archiveUrl()).status, 503);
    EXPECT_EQ(hvtest::http("GET", service.url() + "/discover").status, 200);
}

TEST_F(StaticContent, ThrottleSlowsTransfers) {
    ASSERT_EQ(setFaults({{"throttle_bps", 100000}}), 200);
    auto start = Clock::now();
    auto reply = hvtest::http("GET", archiveUrl(), {}, {"Range: bytes=0-59999"});
    EXPECT_EQ(reply.body.size(), 60000u);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(450));
}

TEST_F(StaticContent, PathsNeverLeaveTheContentFolder) {
    fs::create_symlink(dir.path() / content.secretOutside, content.root / "art" / "evil.jpg");
    const char* attempts[] = {
        "/art/../../secret.txt",
        "/art/..%2F..%2Fsecret.txt",
        "/art/%2e%2e/%2e%2e/secret.txt",
        "/pages/..%5C..%5Csecret.txt",
        "/art/evil.jpg",
        "/packages/../catalogue.json",
        "/catalogue.json",
        "/art/",
        "/art/%00.jpg",
    };
    for (const char* path : attempts) {
        std::string url = service.url() + path;
        auto reply = hvtest::http("GET", url);
        EXPECT_NE(reply.status, 200) << path;
        EXPECT_EQ(reply.body.find("TOP-SECRET"), std::string::npos) << path;
        EXPECT_EQ(reply.body.find("HV-ALPHA"), std::string::npos) << path;
    }
}

TEST_F(StaticContent, RawDotDotRequestIsRefused) {
    // Clients normalise "..", so send the request line by hand.
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(std::stoi(service.url().substr(17))));
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    std::string req = "GET /art/../../secret.txt HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
    ASSERT_EQ(write(fd, req.data(), req.size()), static_cast<ssize_t>(req.size()));
    std::string answer;
    char buf[1024];
    for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) {
        answer.append(buf, static_cast<size_t>(n));
    }
    close(fd);
    EXPECT_EQ(answer.rfind("HTTP/1.1 404", 0), 0u) << answer;
    EXPECT_EQ(answer.find("TOP-SECRET"), std::string::npos);
}

TEST_F(StaticContent, SigtermStopsTheServiceDuringALongPoll) {
    ASSERT_EQ(service.admin({"add-user", "alice", "pw"}), 0);
    auto login = hvtest::http("POST", service.url() + "/api/login",
                              R"({"user":"alice","password":"pw","player_version":"1,0,0,1"})");
    auto session = nlohmann::json::parse(login.body).value("session", "");
    auto poll = std::async(std::launch::async, [&] {
        return hvtest::http("GET", service.url() + "/api/events?session=" + session + "&wait=60");
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    auto start = Clock::now();
    EXPECT_EQ(service.stop(SIGTERM, 5000), 0);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(4));
    poll.get();
}

TEST(ServiceCommandLine, SigintStopsAndBadArgumentsAreRefused) {
    hvtest::TempDir dir;
    hvtest::TestContent content{dir.path()};
    {
        hvtest::ServiceProcess service{content.root, dir.path() / "a.db", {"--fail-next", "1"}};
        EXPECT_EQ(hvtest::http("GET", service.url() + "/discover").status, 503)
            << "faults can be set on the command line";
        EXPECT_EQ(hvtest::http("GET", service.url() + "/discover").status, 200);
        EXPECT_EQ(service.stop(SIGINT, 5000), 0);
    }
    EXPECT_EQ(hvtest::runProgram({HV_SERVICE_BIN, "serve", "--content"}), 2);
    EXPECT_EQ(hvtest::runProgram({HV_SERVICE_BIN, "admin", "--db", (dir.path() / "a.db").string(),
                                  "suspend", "nobody"}),
              1);
    EXPECT_EQ(hvtest::runProgram({HV_SERVICE_BIN, "bogus"}), 2);
}

}  // namespace
