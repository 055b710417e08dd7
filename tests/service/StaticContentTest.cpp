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

std::string ReadFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string LastModifiedOf(const fs::path& file) {
    struct stat st {};
    stat(file.c_str(), &st);
    return hv::service::HttpDate(st.st_mtime);
}

class StaticContent : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_FALSE(m_service.Url().empty()); }

    int SetFaults(const nlohmann::json& faults) {
        return static_cast<int>(hvtest::Http("POST", m_service.Url() + "/admin/faults",
                                             faults.dump(), {"X-Admin-Token: test-token"})
                                    .status);
    }
    std::string ArchiveUrl() const { return m_service.Url() + "/packages/" + m_content.archive; }
    fs::path ArchivePath() const { return m_content.root / "packages" / m_content.archive; }

    hvtest::TempDir m_dir;
    hvtest::TestContent m_content{m_dir.Path()};
    hvtest::ServiceProcess m_service{m_content.root, m_dir.Path() / "accounts.db"};
};

TEST_F(StaticContent, DiscoveryNamesVersionAndUpgrade) {
    auto reply = hvtest::Http("GET", m_service.Url() + "/discover?mce=1");
    ASSERT_EQ(reply.status, 200);
    EXPECT_EQ(reply.body, "#<RV>1001</RV><RURL>" + m_service.Url() + "/upgrade/Install.sfe</RURL>");
    EXPECT_EQ(reply.headers["content-length"], std::to_string(reply.body.size()));
    ASSERT_EQ(m_service.Admin({"set-required-version", "1002"}), 0);
    EXPECT_NE(hvtest::Http("GET", m_service.Url() + "/discover?mce=1").body.find("<RV>1002</RV>"),
              std::string::npos);
    fs::remove(m_content.root / "upgrade" / "Install.sfe");
    EXPECT_NE(hvtest::Http("GET", m_service.Url() + "/discover").body.find("<RURL></RURL>"),
              std::string::npos);
}

TEST_F(StaticContent, ArtCarriesLastModifiedAndLength) {
    auto icon = m_content.root / "art" / "Alpha Quest.jpg";
    std::string url = m_service.Url() + "/art/" + hvtest::UrlEncode("Alpha Quest") + ".jpg";
    auto head = hvtest::Http("HEAD", url);
    EXPECT_EQ(head.status, 200);
    EXPECT_TRUE(head.body.empty());
    EXPECT_EQ(head.headers["content-length"], "5000");
    EXPECT_EQ(head.headers["last-modified"], LastModifiedOf(icon));
    EXPECT_EQ(head.headers["content-type"], "image/jpeg");
    auto get = hvtest::Http("GET", url);
    EXPECT_EQ(get.body, ReadFile(icon));
    EXPECT_EQ(get.headers["last-modified"], head.headers["last-modified"]);

    // A changed file announces its new time.
    fs::last_write_time(icon, fs::last_write_time(icon) - std::chrono::hours(30));
    auto again = hvtest::Http("HEAD", url);
    EXPECT_EQ(again.headers["last-modified"], LastModifiedOf(icon));
    EXPECT_NE(again.headers["last-modified"], head.headers["last-modified"]);
    auto text = hvtest::Http("GET", m_service.Url() + "/art/Alpha%20Quest.txt");
    EXPECT_EQ(text.body, "A quest.");
    EXPECT_EQ(text.headers["content-type"], "text/plain");
    EXPECT_EQ(hvtest::Http("GET", m_service.Url() + "/pages/announcements.htm").status, 200);
    EXPECT_EQ(hvtest::Http("HEAD", m_service.Url() + "/art/None.jpg").status, 404);
}

TEST_F(StaticContent, RangesAnswerPartialContent) {
    std::string whole = ReadFile(ArchivePath());
    auto size = std::to_string(whole.size());
    auto part = hvtest::Http("GET", ArchiveUrl(), {}, {"Range: bytes=1000-"});
    EXPECT_EQ(part.status, 206);
    EXPECT_EQ(part.headers["content-range"],
              "bytes 1000-" + std::to_string(whole.size() - 1) + "/" + size);
    EXPECT_EQ(part.body, whole.substr(1000));
    auto middle = hvtest::Http("GET", ArchiveUrl(), {}, {"Range: bytes=10-19"});
    EXPECT_EQ(middle.status, 206);
    EXPECT_EQ(middle.body, whole.substr(10, 10));
    EXPECT_EQ(middle.headers["content-length"], "10");
    auto beyond = hvtest::Http("GET", ArchiveUrl(), {}, {"Range: bytes=" + size + "-"});
    EXPECT_EQ(beyond.status, 416);
    EXPECT_EQ(beyond.headers["content-range"], "bytes */" + size);
    auto full = hvtest::Http("GET", ArchiveUrl());
    EXPECT_EQ(full.status, 200);
    EXPECT_EQ(full.headers["accept-ranges"], "bytes");
    EXPECT_FALSE(full.headers["etag"].empty());
}

TEST_F(StaticContent, DroppedTransferResumesToIdenticalBytes) {
    std::string whole = ReadFile(ArchivePath());
    ASSERT_EQ(SetFaults({{"drop_after_bytes", 100000}}), 200);
    auto cut = hvtest::Http("GET", ArchiveUrl());
    EXPECT_FALSE(cut.complete);
    EXPECT_EQ(cut.headers["content-length"], std::to_string(whole.size()));
    ASSERT_EQ(cut.body.size(), 100000u);
    // Each response is cut, also a resumed one.
    auto resumedCut = hvtest::Http("GET", ArchiveUrl(), {}, {"Range: bytes=100000-"});
    EXPECT_EQ(resumedCut.body.size(), 100000u);
    ASSERT_EQ(SetFaults(nlohmann::json::object()), 200);
    auto rest = hvtest::Http("GET", ArchiveUrl(), {}, {"Range: bytes=100000-"});
    ASSERT_TRUE(rest.complete);
    EXPECT_EQ(cut.body + rest.body, whole);
}

TEST_F(StaticContent, FailNextAnswersServiceUnavailable) {
    ASSERT_EQ(SetFaults({{"fail_next", 2}}), 200);
    EXPECT_EQ(hvtest::Http("GET", m_service.Url() + "/discover").status, 503);
    EXPECT_EQ(hvtest::Http("GET", ArchiveUrl()).status, 503);
    EXPECT_EQ(hvtest::Http("GET", m_service.Url() + "/discover").status, 200);
}

TEST_F(StaticContent, ThrottleSlowsTransfers) {
    ASSERT_EQ(SetFaults({{"throttle_bps", 100000}}), 200);
    auto start = Clock::now();
    auto reply = hvtest::Http("GET", ArchiveUrl(), {}, {"Range: bytes=0-59999"});
    EXPECT_EQ(reply.body.size(), 60000u);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(450));
}

TEST_F(StaticContent, PathsNeverLeaveTheContentFolder) {
    fs::create_symlink(m_dir.Path() / m_content.secretOutside, m_content.root / "art" / "evil.jpg");
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
        std::string url = m_service.Url() + path;
        auto reply = hvtest::Http("GET", url);
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
    addr.sin_port = htons(static_cast<uint16_t>(std::stoi(m_service.Url().substr(17))));
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
    ASSERT_EQ(m_service.Admin({"add-user", "alice", "pw"}), 0);
    auto login = hvtest::Http("POST", m_service.Url() + "/api/login",
                              R"({"user":"alice","password":"pw","player_version":"1,0,0,1"})");
    auto session = nlohmann::json::parse(login.body).value("session", "");
    auto poll = std::async(std::launch::async, [&] {
        return hvtest::Http("GET", m_service.Url() + "/api/events?session=" + session + "&wait=60");
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    auto start = Clock::now();
    EXPECT_EQ(m_service.Stop(SIGTERM, 5000), 0);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(4));
    poll.get();
}

TEST(ServiceCommandLine, SigintStopsAndBadArgumentsAreRefused) {
    hvtest::TempDir dir;
    hvtest::TestContent content{dir.Path()};
    {
        hvtest::ServiceProcess service{content.root, dir.Path() / "a.db", {"--fail-next", "1"}};
        EXPECT_EQ(hvtest::Http("GET", service.Url() + "/discover").status, 503)
            << "faults can be set on the command line";
        EXPECT_EQ(hvtest::Http("GET", service.Url() + "/discover").status, 200);
        EXPECT_EQ(service.Stop(SIGINT, 5000), 0);
    }
    EXPECT_EQ(hvtest::RunProgram({HV_SERVICE_BIN, "serve", "--content"}), 2);
    EXPECT_EQ(hvtest::RunProgram({HV_SERVICE_BIN, "admin", "--db", (dir.Path() / "a.db").string(),
                                  "suspend", "nobody"}),
              1);
    EXPECT_EQ(hvtest::RunProgram({HV_SERVICE_BIN, "bogus"}), 2);
}

}  // namespace
