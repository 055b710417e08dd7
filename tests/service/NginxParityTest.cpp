#include "ServiceHarness.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

namespace {

namespace fs = std::filesystem;

int freePort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    close(fd);
    return ntohs(addr.sin_port);
}

// nginx in the foreground with its own configuration, serving one folder.
class Nginx {
  public:
    Nginx(const fs::path& work, const fs::path& root) {
        port_ = freePort();
        fs::create_directories(work / "logs");
        std::ofstream conf(work / "nginx.conf");
        conf << "daemon off;\nmaster_process off;\nworker_processes 1;\n"
             << "pid " << (work / "nginx.pid").string() << ";\n"
             << "error_log " << (work / "logs" / "error.log").string() << ";\n"
             << "events { worker_connections 64; }\nhttp {\n access_log off;\n"
             << " client_body_temp_path " << (work / "body").string() << ";\n"
             << " proxy_temp_path " << (work / "proxy").string() << ";\n"
             << " fastcgi_temp_path " << (work / "fastcgi").string() << ";\n"
             << " uwsgi_temp_path " << (work / "uwsgi").string() << ";\n"
             << " scgi_temp_path " << (work / "scgi").string() << ";\n"
             << " types { image/jpeg jpg; text/plain txt; application/x-tar tar; }\n"
             << " server { listen 127.0.0.1:" << port_ << "; root " << root.string() << "; }\n}\n";
        conf.close();
        std::string confPath = (work / "nginx.conf").string();
        std::string prefix = work.string() + "/";
        std::string errorLog = (work / "logs" / "error.log").string();
        pid_ = fork();
        if (pid_ == 0) {
            execl(kBinary, kBinary, "-p", prefix.c_str(), "-e", errorLog.c_str(), "-c",
                  confPath.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            if (hvtest::http("HEAD", url() + "/").status != 0) {
                ready_ = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    ~Nginx() {
        if (pid_ > 0) {
            kill(pid_, SIGQUIT);
            int status = 0;
            waitpid(pid_, &status, 0);
        }
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_); }
    bool ready() const { return ready_; }
    static constexpr const char* kBinary = "/usr/sbin/nginx";

  private:
    int port_ = 0;
    pid_t pid_ = -1;
    bool ready_ = false;
};

TEST(NginxParity, StaticFilesAreServedLikeNginxServesThem) {
    if (access(Nginx::kBinary, X_OK) != 0) {
        GTEST_SKIP() << "nginx is not installed";
    }
    hvtest::TempDir dir;
    hvtest::TestContent content{dir.path()};
    hvtest::ServiceProcess service{content.root, dir.path() / "a.db"};
    Nginx nginx{dir.path() / "nginx", content.root};
    ASSERT_TRUE(nginx.ready()) << "nginx did not start";

    const std::string archive = "/packages/" + content.archive;
    for (const char* range : {"Range: bytes=4096-", "Range: bytes=0-99"}) {
        auto ours = hvtest::http("GET", service.url() + archive, {}, {range});
        auto theirs = hvtest::http("GET", nginx.url() + archive, {}, {range});
        EXPECT_EQ(theirs.status, 206) << range;
        EXPECT_EQ(ours.status, theirs.status) << range;
        EXPECT_EQ(ours.headers["content-range"], theirs.headers["content-range"]) << range;
        EXPECT_EQ(ours.headers["content-length"], theirs.headers["content-length"]) << range;
        EXPECT_EQ(ours.headers["last-modified"], theirs.headers["last-modified"]) << range;
        EXPECT_TRUE(ours.body == theirs.body) << range;
    }
    for (const char* method : {"HEAD", "GET"}) {
        const std::string art = "/art/" + hvtest::urlEncode("Alpha Quest") + ".jpg";
        auto ours = hvtest::http(method, service.url() + art);
        auto theirs = hvtest::http(method, nginx.url() + art);
        EXPECT_EQ(theirs.status, 200) << method;
        EXPECT_EQ(ours.status, theirs.status) << method;
        EXPECT_EQ(ours.headers["last-modified"], theirs.headers["last-modified"]) << method;
        EXPECT_EQ(ours.headers["content-length"], theirs.headers["content-length"]) << method;
        EXPECT_EQ(ours.headers["content-type"], theirs.headers["content-type"]) << method;
        EXPECT_TRUE(ours.body == theirs.body) << method;
    }
}

}  // namespace
