#include "BenchSupport.h"

#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace bench {

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

const Clock::time_point gDeadline = Clock::now() + std::chrono::minutes(10);

long long CpuTicksFrom(const fs::path& statFile) {
    std::ifstream in(statFile);
    std::string stat;
    std::getline(in, stat);
    // The command name may hold blanks and parentheses; the fields follow its last ')'.
    const size_t nameEnd = stat.rfind(')');
    if (nameEnd == std::string::npos) {
        fail("cannot read " + statFile.string());
    }
    std::istringstream fields(stat.substr(nameEnd + 1));
    std::string field;
    long long utime = -1;
    long long stime = -1;
    // After the name come the state (field 3) and so on; utime is field 14, stime 15.
    for (int number = 3; number <= 15 && fields >> field; ++number) {
        if (number == 14) {
            utime = std::stoll(field);
        } else if (number == 15) {
            stime = std::stoll(field);
        }
    }
    if (utime < 0 || stime < 0) {
        fail("cannot parse " + statFile.string());
    }
    return utime + stime;
}

}  // namespace

void fail(const std::string& why) {
    throw std::runtime_error(why);
}

bool PastDeadline() {
    return Clock::now() > gDeadline;
}

void CheckDeadline(const char* phase) {
    if (PastDeadline()) {
        fail(std::string("timed out after 10 minutes while ") + phase);
    }
}

long long CpuTicks(pid_t pid) {
    return CpuTicksFrom("/proc/" + std::to_string(pid) + "/stat");
}

long long ThreadCpuTicks(pid_t pid, pid_t thread) {
    return CpuTicksFrom("/proc/" + std::to_string(pid) + "/task/" + std::to_string(thread) +
                        "/stat");
}

int spawn(const std::vector<std::string>& args, pid_t& pid) {
    int fds[2];
    if (::pipe(fds) != 0)
        fail("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        fail("cannot start " + args[0]);
    }
    return fds[0];
}

TempDir::TempDir(const std::string& prefix) {
    std::string pattern = (fs::temp_directory_path() / (prefix + ".XXXXXX")).string();
    if (!::mkdtemp(pattern.data()))
        fail("cannot create a temporary folder");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

WorkingDir::WorkingDir(const fs::path& dir) : m_previous(fs::current_path()) {
    fs::current_path(dir);
}

WorkingDir::~WorkingDir() {
    std::error_code ignored;
    fs::current_path(m_previous, ignored);
}

Service::Service(const std::string& binary, const std::string& content, const std::string& db,
                 const std::vector<std::string>& extra) {
    std::vector<std::string> args = {binary, "serve", "--content", content,
                                     "--db", db,      "--listen",  "127.0.0.1:0"};
    args.insert(args.end(), extra.begin(), extra.end());
    const int out = spawn(args, pid_);
    std::string line;
    char c;
    while (baseUrl_.empty() && ::read(out, &c, 1) == 1) {
        if (c != '\n') {
            line += c;
        } else if (line.rfind("listening: ", 0) == 0) {
            baseUrl_ = line.substr(11);
        } else {
            line.clear();
        }
    }
    ::close(out);
    if (baseUrl_.empty()) {
        stop();
        fail("the service did not report its address");
    }
}

Service::~Service() {
    stop();
}

void Service::stop() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        pid_ = 0;
    }
}

}  // namespace bench
