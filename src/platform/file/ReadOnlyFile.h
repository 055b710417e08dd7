// A file opened for reading only, closed when it goes.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string>

namespace hv {

// Opened read-only and without O_CREAT: other processes may go on reading and
// writing the file, and a missing file is never created.
class ReadOnlyFile {
  public:
    explicit ReadOnlyFile(const std::string& path)
        : m_fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~ReadOnlyFile() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    // Only regular files count: a directory opens on Linux but is no file.
    bool IsRegular(uint64_t* size = nullptr) const {
        struct stat info {};
        if (m_fd < 0 || ::fstat(m_fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            return false;
        }
        if (size != nullptr) {
            *size = static_cast<uint64_t>(info.st_size);
        }
        return true;
    }
    int Fd() const { return m_fd; }

  private:
    int m_fd;
};

}  // namespace hv
