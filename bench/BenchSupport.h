// What the service benchmarks share: failing with a reason, programs started
// with their output on a pipe, temporary folders, and the service on a free
// loopback port.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace bench {

[[noreturn]] void fail(const std::string& why);

// Spawns a program with its stdout on a pipe; returns the read end.
int spawn(const std::vector<std::string>& args, pid_t& pid);

// A fresh temporary folder, removed with the object.
class TempDir {
  public:
    explicit TempDir(const std::string& prefix);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// halvory-service serving content on a free loopback port until destroyed.
class Service {
  public:
    Service(const std::string& binary, const std::string& content, const std::string& db);
    ~Service();
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    const std::string& baseUrl() const { return baseUrl_; }

  private:
    void stop();

    pid_t pid_ = 0;
    std::string baseUrl_;
};

}  // namespace bench
