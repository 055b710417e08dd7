#include "ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

extern char** environ;

namespace halvory::e2e {

using namespace std::chrono_literals;
namespace {

using Clock = std::chrono::steady_clock;

std::string nameOf(const std::string& entry) {
    return entry.substr(0, entry.find('='));
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (auto& s : strings) {
        result.push_back(s.data());
    }
    result.push_back(nullptr);
    return result;
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const Options& options) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        error_ = std::string("pipe: ") + std::strerror(errno);
        return;
    }
    std::vector<std::string> args{program};
    args.insert(args.end(), options.args.begin(), options.args.end());
    // The caller's environment less the names set or unset, then those set.
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string name = nameOf(*e);
        if (std::ranges::find(options.unset_env, name) == options.unset_env.end() &&
            std::ranges::none_of(options.set_env,
                                 [&](const std::string& set) { return nameOf(set) == name; })) {
            env.emplace_back(*e);
        }
    }
    env.insert(env.end(), options.set_env.begin(), options.set_env.end());
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    const int rc = posix_spawn(&pid_, program.c_str(), &actions, nullptr, pointers(args).data(),
                               pointers(env).data());
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        pid_ = -1;
        close(fds[0]);
        error_ = program + ": " + std::strerror(rc);
        return;
    }
    stdout_fd_ = fds[0];
}

ChildProcess::~ChildProcess() {
    if (started()) {
        terminate();
    }
    if (stdout_fd_ >= 0) {
        close(stdout_fd_);
    }
}

ChildProcess::LineResult ChildProcess::waitForLine(const std::string& line,
                                                   std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    LineResult result = LineResult::Found;
    // A deadline passed still gives the lines already read.
    while (const auto next = readLine(
               std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()),
               result)) {
        if (*next == line) {
            return LineResult::Found;
        }
    }
    return result;
}

std::optional<std::string> ChildProcess::readLine(std::chrono::milliseconds timeout,
                                                  LineResult& why) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (const auto end = pending_.find('\n'); end != std::string::npos) {
            std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            return line;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (stdout_fd_ < 0 || left.count() <= 0) {
            why = stdout_fd_ < 0 ? LineResult::Closed : LineResult::TimedOut;
            return std::nullopt;
        }
        pollfd pfd{stdout_fd_, POLLIN, 0};
        if (poll(&pfd, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) {
            why = LineResult::Closed;
            return std::nullopt;
        }
        if (pfd.revents == 0) {
            continue;  // interrupted or timed out: the deadline decides
        }
        std::array<char, 4096> buffer;
        const ssize_t n = read(stdout_fd_, buffer.data(), buffer.size());
        if (n > 0) {
            pending_.append(buffer.data(), static_cast<size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            close(stdout_fd_);
            stdout_fd_ = -1;
        }
    }
}

std::optional<int> ChildProcess::waitForExit(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!status_ && started()) {
        int status = 0;
        const pid_t r = waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            status_ = status;
        } else if ((r < 0 && errno != EINTR) || Clock::now() >= deadline) {
            break;
        } else {
            std::this_thread::sleep_for(10ms);
        }
    }
    return status_;
}

int ChildProcess::terminate(std::chrono::milliseconds grace) {
    if (!started()) {
        return -1;
    }
    if (!status_) {
        kill(pid_, SIGTERM);
        if (!waitForExit(grace)) {
            kill(pid_, SIGKILL);
            waitForExit(std::chrono::hours(1));
        }
    }
    return status_.value_or(-1);
}

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!done()) {
        if (Clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

std::optional<std::string> runCommand(const std::string& command) {
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        return std::nullopt;
    }
    std::string output;
    std::array<char, 4096> buffer;
    size_t n = 0;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        output.append(buffer.data(), n);
    }
    const int status = pclose(pipe);
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return std::nullopt;
    }
    return output;
}

}  // namespace halvory::e2e
