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

std::vector<std::string> childEnvironment(const ChildProcess::Options& options) {
    std::vector<std::string> dropped = options.unset_env;
    for (const auto& entry : options.set_env) {
        dropped.push_back(nameOf(entry));
    }
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        if (std::find(dropped.begin(), dropped.end(), nameOf(*e)) == dropped.end()) {
            env.emplace_back(*e);
        }
    }
    env.insert(env.end(), options.set_env.begin(), options.set_env.end());
    return env;
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
    std::vector<std::string> argv_strings{program};
    argv_strings.insert(argv_strings.end(), options.args.begin(), options.args.end());
    std::vector<std::string> env_strings = childEnvironment(options);
    std::vector<char*> argv = pointers(argv_strings);
    std::vector<char*> envp = pointers(env_strings);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        error_ = program + ": " + std::strerror(rc);
        return;
    }
    pid_ = pid;
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
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        LineResult result = LineResult::Found;
        const std::optional<std::string> next = readLine(std::max(left, 0ms), result);
        if (!next) {
            return result;
        }
        if (*next == line) {
            return LineResult::Found;
        }
    }
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
        if (stdout_fd_ < 0) {
            why = LineResult::Closed;
            return std::nullopt;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            why = LineResult::TimedOut;
            return std::nullopt;
        }
        pollfd pfd{stdout_fd_, POLLIN, 0};
        const int ready = poll(&pfd, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            why = ready == 0 ? LineResult::TimedOut : LineResult::Closed;
            return std::nullopt;
        }
        std::array<char, 4096> buffer;
        const ssize_t n = read(stdout_fd_, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            close(stdout_fd_);
            stdout_fd_ = -1;
            continue;
        }
        pending_.append(buffer.data(), static_cast<size_t>(n));
    }
}

std::optional<int> ChildProcess::waitForExit(std::chrono::milliseconds timeout) {
    if (status_ || !started()) {
        return status_;
    }
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        int status = 0;
        const pid_t r = waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            status_ = status;
            return status_;
        }
        if (r < 0 && errno != EINTR) {
            return std::nullopt;
        }
        if (Clock::now() >= deadline) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
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
