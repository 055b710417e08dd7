#include "SmallDisk.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

extern char** environ;

namespace hvtest {

SmallDisk::SmallDisk(std::size_t bytes) : m_path((m_dir.Path() / "disk").string()) {
    ::mkdir(m_path.c_str(), 0700);
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0700";
    if (::mount("tmpfs", m_path.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
        m_error = "cannot mount a tmpfs on " + m_path + ": " + std::strerror(errno);
        return;
    }
    m_mounted = true;

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
    std::vector<std::string> args = {
        "/bin/sh", "-c", "read line; umount -l \"$1\" 2>/dev/null; rmdir \"$1\" 2>/dev/null",
        "janitor", m_path};
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    if (posix_spawn(&m_janitor, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        m_janitor = 0;
    }
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[0]);
    m_lifeline = fds[1];
}

SmallDisk::~SmallDisk() {
    if (m_mounted) {
        ::umount2(m_path.c_str(), MNT_DETACH);
        ::rmdir(m_path.c_str());
    }
    if (m_lifeline >= 0) {
        ::close(m_lifeline);
    }
    if (m_janitor > 0) {
        ::waitpid(m_janitor, nullptr, 0);
    }
}

std::uint64_t SmallDisk::FreeBytes() const {
    struct statvfs info {};
    if (::statvfs(m_path.c_str(), &info) != 0) {
        return 0;
    }
    return static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
}

void SmallDisk::Fill() {
    int fd = ::open((m_path + "/filler").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) {
        return;
    }
    std::vector<char> chunk(64 * 1024, 'f');
    std::size_t size = chunk.size();
    while (size > 0) {
        ssize_t n = ::write(fd, chunk.data(), size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        // The last pieces may only fit in smaller writes.
        if (n <= 0) {
            size /= 2;
        }
    }
    ::close(fd);
}

void SmallDisk::Unfill() {
    ::unlink((m_path + "/filler").c_str());
}

}  // namespace hvtest
