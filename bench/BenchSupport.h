// What the benchmarks share: failing with a reason, a deadline for the whole
// run, programs started with their output on a pipe, temporary folders and a
// working folder for a while, the CPU time of a process, and the service on a
// free loopback port.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace bench {

[[noreturn]] void fail(const std::string& why);

// A run that takes more than ten minutes is stuck somewhere.
bool PastDeadline();
// Fails once past the deadline, saying what the run was doing.
void CheckDeadline(const char* phase);

// utime + stime in clock ticks: of the whole process, exited threads included,
// or of one of its threads.
long long CpuTicks(pid_t pid);
long long ThreadCpuTicks(pid_t pid, pid_t thread);

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

// Makes a folder the working folder until destroyed, on every way out.
class WorkingDir {
  public:
    explicit WorkingDir(const std::filesystem::path& dir);
    ~WorkingDir();
    WorkingDir(const WorkingDir&) = delete;
    WorkingDir& operator=(const WorkingDir&) = delete;

  private:
    std::filesystem::path m_previous;
};

// halvory-service serving content on a free loopback port until destroyed;
// extra arguments go to its serve command.
class Service {
  public:
    Service(const std::string& binary, const std::string& content, const std::string& db,
            const std::vector<std::string>& extra = {});
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
