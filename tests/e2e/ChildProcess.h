// A child process started for a test or a benchmark: its standard output is
// read through a pipe, it can be waited for with a deadline, and it is never
// left running behind the caller.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace halvory::e2e {

class ChildProcess {
  public:
    struct Options {
        std::vector<std::string> args;
        // "NAME=value" entries that are added to, or replace, the caller's environment.
        std::vector<std::string> set_env;
        // Names dropped from the caller's environment.
        std::vector<std::string> unset_env;
    };

    enum class LineResult { Found, Closed, TimedOut };

    // Starts program; started() tells whether that worked, error() why not.
    ChildProcess(const std::string& program, const Options& options);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    const std::string& error() const { return error_; }

    // Reads standard output until a line equal to `line` arrives.
    LineResult waitForLine(const std::string& line, std::chrono::milliseconds timeout);

    // The next line of standard output; nothing, with the reason in why, when
    // the output ended or the time ran out first.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout, LineResult& why);

    // The wait status once the child has ended, or nothing if it is still
    // running at the deadline.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout);

    // SIGTERM, then SIGKILL if it has not ended within `grace`. Returns the
    // wait status.
    int terminate(std::chrono::milliseconds grace = std::chrono::seconds(5));

  private:
    pid_t pid_ = -1;
    int stdout_fd_ = -1;
    std::optional<int> status_;
    std::string pending_;
    std::string error_;
};

// Polls `done` until it holds (true) or the time is up (false).
bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

// Runs a shell command line and returns its standard output, or nothing if
// it could not run or exited with a non-zero status.
std::optional<std::string> runCommand(const std::string& command);

}  // namespace halvory::e2e
