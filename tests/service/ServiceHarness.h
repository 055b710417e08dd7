#pragma once

#include <sys/types.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace hvtest {

struct HttpReply {
    long status = 0;                             // 0: the transfer failed
    std::map<std::string, std::string> headers;  // names lower-cased
    std::string body;
    bool complete = true;  // false when the connection ended early
};

HttpReply http(const std::string& method, const std::string& url, const std::string& body = {},
               const std::vector<std::string>& headers = {});
std::string urlEncode(const std::string& s);

// A fresh temporary folder, removed with the object.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// Runs a program to its end; returns its exit status (or -1), stdout in out.
int runProgram(const std::vector<std::string>& argv, std::string* out = nullptr);

// A small content folder: two games (one with a demo), art, pages, upgrade.
struct TestContent {
    explicit TestContent(const std::filesystem::path& root);
    std::filesystem::path root;
    std::string archive;        // file name of the full game's package archive
    std::string secretOutside;  // a file beside the folder that must never be served
};

// The real service binary on a free loopback port, stopped with SIGTERM.
class ServiceProcess {
  public:
    ServiceProcess(const std::filesystem::path& content, const std::filesystem::path& db,
                   const std::vector<std::string>& extra = {});
    ~ServiceProcess();
    const std::string& url() const { return url_; }
    pid_t pid() const { return pid_; }
    // Sends the signal and waits up to timeoutMs; returns the exit status, or -1.
    int stop(int signal, int timeoutMs);
    int admin(const std::vector<std::string>& args);

  private:
    std::filesystem::path db_;
    pid_t pid_ = -1;
    std::string url_;
};

// nginx in the foreground with its own configuration, serving one folder;
// under /nolm/ it leaves out Last-Modified. Stopped with the object.
class NginxProcess {
  public:
    static constexpr const char* kBinary = "/usr/sbin/nginx";
    static bool installed();

    NginxProcess(const std::filesystem::path& work, const std::filesystem::path& root);
    ~NginxProcess();
    NginxProcess(const NginxProcess&) = delete;
    NginxProcess& operator=(const NginxProcess&) = delete;

    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_); }
    bool ready() const { return ready_; }

  private:
    int port_ = 0;
    pid_t pid_ = -1;
    bool ready_ = false;
};

}  // namespace hvtest
