#include "Files.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <fstream>

namespace hv {
namespace fs = std::filesystem;

namespace {

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

void SyncFolder(const fs::path& folder) {
    int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

bool WriteFileAtomic(const fs::path& path, const std::string& data, bool durable) {
    static std::atomic<unsigned> counter{0};
    fs::path temp = path;
    temp += ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1));
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    bool ok = WriteAll(fd, data.data(), data.size()) && (!durable || ::fsync(fd) == 0);
    ok = (::close(fd) == 0) && ok;
    if (ok && ::rename(temp.c_str(), path.c_str()) == 0) {
        if (durable) {
            SyncFolder(path.parent_path());
        }
        return true;
    }
    ::unlink(temp.c_str());
    return false;
}

bool SyncFile(const fs::path& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    bool ok = ::fsync(fd) == 0;
    ::close(fd);
    SyncFolder(path.parent_path());
    return ok;
}

std::optional<std::string> ReadWholeFile(const fs::path& path, std::size_t maxBytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string data;
    char buffer[16384];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        data.append(buffer, static_cast<std::size_t>(in.gcount()));
        if (data.size() > maxBytes) {
            return std::nullopt;
        }
    }
    return data;
}

std::optional<std::uint64_t> FreeBytesAt(const fs::path& path) {
    std::error_code ec;
    fs::path probe = fs::absolute(path, ec);
    if (ec) {
        return std::nullopt;
    }
    while (!fs::exists(probe, ec)) {
        if (!probe.has_relative_path()) {
            return std::nullopt;
        }
        probe = probe.parent_path();
    }
    struct statvfs info {};
    if (::statvfs(probe.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
}

std::string ReadIniValue(const fs::path& file, const std::string& key) {
    std::ifstream in(file, std::ios::binary);
    std::string line, value;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty() || line[0] == ';') {
            continue;
        }
        auto eq = line.find('=');
        if (eq == std::string::npos || eq + 1 == line.size()) {
            continue;
        }
        if (eq == key.size() && ::strncasecmp(line.c_str(), key.c_str(), eq) == 0) {
            value = line.substr(eq + 1);
        }
    }
    return value;
}

}  // namespace hv
