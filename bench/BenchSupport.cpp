#include "BenchSupport.h"

#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

extern char** environ;

namespace bench {

namespace fs = std::filesystem;

void fail(const std::string& why) {
    throw std::runtime_error(why);
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

Service::Service(const std::string& binary, const std::string& content, const std::string& db) {
    const int out =
        spawn({binary, "serve", "--content", content, "--db", db, "--listen", "127.0.0.1:0"}, pid_);
    std::string line;
    char c;
    while (baseUrl_.empty() && ::read(out, &c, 1) == 1) {
        if (c != '\n') {
            line += c;
        } else if (const auto at = line.find("http://"); at != std::string::npos) {
            baseUrl_ = line.substr(at);
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
