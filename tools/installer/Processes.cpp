#include "Processes.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace hv::installer {

namespace {

constexpr milliseconds kPollInterval{50};

std::string ProgramOf(const std::filesystem::path& procEntry) {
    char target[PATH_MAX];
    const ssize_t length = ::readlink((procEntry / "exe").c_str(), target, sizeof target - 1);
    return length > 0 ? std::string(target, static_cast<size_t>(length)) : std::string();
}

// Between fork and exec only async-signal-safe calls.
[[noreturn]] void ReportAndExit(int fd, int error) {
    [[maybe_unused]] const ssize_t written = ::write(fd, &error, sizeof error);
    ::_exit(127);
}

}  // namespace

bool IsExecutableRunning(const std::filesystem::path& executable) {
    const std::string wanted = executable.string();
    const std::string removed = wanted + " (deleted)";
    const std::string self = std::to_string(::getpid());
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos ||
            name == self) {
            continue;
        }
        const std::string program = ProgramOf(entry.path());
        if (program == wanted || program == removed) {
            return true;
        }
    }
    return false;
}

bool WaitUntilExecutableGone(const std::filesystem::path& executable, milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (IsExecutableRunning(executable)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    return true;
}

pid_t StartDetached(const std::filesystem::path& executable, const std::filesystem::path& folder) {
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        return -1;
    }
    std::string program = executable.string();
    char* argv[] = {program.data(), nullptr};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(report[0]);
        ::setsid();
        ::close_range(3, UINT_MAX, CLOSE_RANGE_CLOEXEC);
        if (::chdir(folder.c_str()) != 0) {
            ReportAndExit(report[1], errno);
        }
        ::execv(program.c_str(), argv);
        ReportAndExit(report[1], errno);
    }
    ::close(report[1]);
    if (child < 0) {
        ::close(report[0]);
        return -1;
    }
    // The pipe closes on a successful exec; an error number on it says it failed.
    int error = 0;
    ssize_t got = 0;
    while ((got = ::read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
    }
    ::close(report[0]);
    if (got != 0) {
        StopChild(child);
        return -1;
    }
    return child;
}

bool HoldsLock(pid_t pid, const std::filesystem::path& lockFile) {
    struct stat info {};
    if (::stat(lockFile.c_str(), &info) != 0) {
        return false;
    }
    char file[64];
    std::snprintf(file, sizeof file, "%02x:%02x:%lu", major(info.st_dev), minor(info.st_dev),
                  static_cast<unsigned long>(info.st_ino));
    // "1: FLOCK  ADVISORY  WRITE 1234 00:1a:5678 0 EOF"; waiters carry a "->".
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, owner, where;
        fields >> number >> kind >> mode >> access >> owner >> where;
        if (kind == "FLOCK" && owner == std::to_string(pid) && where == file) {
            return true;
        }
    }
    return false;
}

StartOutcome WaitUntilHoldingLock(pid_t pid, const std::filesystem::path& lockFile,
                                  milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (HoldsLock(pid, lockFile)) {
            return StartOutcome::Running;
        }
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            return StartOutcome::Exited;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return StartOutcome::TimedOut;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
}

void StopChild(pid_t pid) {
    ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace hv::installer
