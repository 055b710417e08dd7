#include "winapi/Log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <string>

namespace {

constexpr off_t kMaxLogBytes = off_t{1} << 20;

// Never destroyed: a thread left running may still log while the process exits.
struct LogFile {
    std::mutex mutex;
    std::string path;  // what fd is open on
    int fd = -1;
    off_t size = 0;
};

LogFile& TheLog() {
    static auto* log = new LogFile;
    return *log;
}

// Read on every line, so that a test can point each case at its own file.
std::string LogPath() {
    if (const char* file = std::getenv("HALVORY_LOG_FILE"); file && *file) {
        return file;
    }
    std::string base;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && state[0] == '/') {
        base = state;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        base = std::string(home) + "/.local/state";
    } else {
        return {};
    }
    return base + "/halvory/halvory.log";
}

void CloseLog(LogFile& log) {
    if (log.fd >= 0) {
        ::close(log.fd);
    }
    log.fd = -1;
    log.path.clear();
}

bool OpenLog(LogFile& log, const std::string& path) {
    CloseLog(log);
    if (path.empty()) {
        return false;
    }
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty()) {
        std::filesystem::create_directories(folder, ec);
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    log.size = ::fstat(fd, &info) == 0 ? info.st_size : 0;
    log.fd = fd;
    log.path = path;
    return true;
}

const char* LevelName(int level) {
    switch (level) {
        case HV_LOG_INFO: return "INFO";
        case HV_LOG_WARNING: return "WARNING";
        case HV_LOG_ERROR: return "ERROR";
        default: return "LEVEL?";
    }
}

// A line break or other control byte in the text would split or garble the
// line, so it is written as an escape.
std::string FormatLine(int level, const char* text) {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    tm utc{};
    ::gmtime_r(&now.tv_sec, &utc);
    char head[128];
    std::snprintf(head, sizeof head, "%04d-%02d-%02dT%02d:%02d:%02d.%03ldZ %s %ld ",
                  utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min,
                  utc.tm_sec, now.tv_nsec / 1000000, LevelName(level),
                  static_cast<long>(::gettid()));
    std::string line = head;
    for (const char* p = text ? text : ""; *p; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c == '\n') {
            line += "\\n";
        } else if (c == '\r') {
            line += "\\r";
        } else if (c < 0x20 || c == 0x7f) {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\x%02x", c);
            line += escape;
        } else {
            line += static_cast<char>(c);
        }
    }
    line += '\n';
    return line;
}

void WriteToFile(const std::string& line) {
    LogFile& log = TheLog();
    std::lock_guard lock(log.mutex);
    const std::string path = LogPath();
    if ((log.fd < 0 || path != log.path) && !OpenLog(log, path)) {
        return;
    }
    const ssize_t written = ::write(log.fd, line.data(), line.size());
    if (written > 0) {
        log.size += written;
    }
    if (log.size > kMaxLogBytes) {
        ::rename(log.path.c_str(), (log.path + ".1").c_str());
        CloseLog(log);
    }
}

}  // namespace

void hvLogWrite(int level, const char* text) {
    try {
        const std::string line = FormatLine(level, text);
        WriteToFile(line);
        if (const char* copy = std::getenv("HALVORY_LOG_STDERR");
            copy && std::strcmp(copy, "1") == 0) {
            [[maybe_unused]] const ssize_t ignored =
                ::write(STDERR_FILENO, line.data(), line.size());
        }
    } catch (...) {
        // Out of memory: the line is lost, the caller goes on.
    }
}
