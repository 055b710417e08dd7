#include "net/TempFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kNameAttempts = 100;

std::atomic<unsigned> g_nextName{0};

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

CTempFile::CTempFile(const std::string& folder) {
    // An empty folder means the current one.
    std::string prefix = folder;
    if (!prefix.empty() && prefix.back() != '/') {
        prefix += '/';
    }
    for (int attempt = 0; attempt < kNameAttempts && m_fd < 0; ++attempt) {
        char name[64];
        std::snprintf(name, sizeof name, ".hv-%ld-%u.tmp", static_cast<long>(::getpid()),
                      g_nextName.fetch_add(1));
        m_path = prefix + name;
        // O_EXCL: never take over a file that is already there, and 0666 so
        // the umask decides who may read a file that ends up in place.
        m_fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (m_fd < 0 && errno != EEXIST) {
            break;
        }
    }
    if (m_fd < 0) {
        m_path.clear();
    }
}

CTempFile::~CTempFile() {
    if (m_fd >= 0) {
        ::close(m_fd);
        ::unlink(m_path.c_str());
    }
}

std::string CTempFile::SystemFolder() {
    const char* folder = std::getenv("TMPDIR");
    return folder != nullptr && *folder != '\0' ? folder : "/tmp";
}

bool CTempFile::Write(const char* data, size_t size) {
    if (m_fd < 0 || !WriteAll(m_fd, data, size)) {
        return false;
    }
    m_size += size;
    return true;
}

bool CTempFile::CopyFrom(const CTempFile& source) {
    if (source.m_fd < 0) {
        return false;
    }
    char buffer[64 * 1024];
    off_t offset = 0;
    for (;;) {
        const ssize_t n = ::pread(source.m_fd, buffer, sizeof buffer, offset);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            return true;
        }
        if (!Write(buffer, static_cast<size_t>(n))) {
            return false;
        }
        offset += n;
    }
}

bool CTempFile::SetModified(int64_t unixSeconds) {
    if (m_fd < 0) {
        return false;
    }
    const timespec times[2] = {{0, UTIME_NOW}, {static_cast<time_t>(unixSeconds), 0}};
    return ::futimens(m_fd, times) == 0;
}

bool CTempFile::MoveTo(const std::string& target) {
    if (m_fd < 0) {
        return false;
    }
    const bool closed = ::close(m_fd) == 0;
    m_fd = -1;
    if (closed && ::rename(m_path.c_str(), target.c_str()) == 0) {
        return true;
    }
    ::unlink(m_path.c_str());
    return false;
}
