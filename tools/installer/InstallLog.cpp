#include "InstallLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <string>

namespace hv::installer {

InstallLog::InstallLog(std::filesystem::path file, bool echo)
    : m_file(std::move(file)), m_echo(echo) {}

void InstallLog::Line(const char* format, ...) const {
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    ::gmtime_r(&now, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &utc);
    const std::string line =
        std::string(stamp) + " Installer[" + std::to_string(::getpid()) + "] " + text + "\n";
    if (m_echo) {
        std::fputs(line.c_str(), stderr);
    }
    const int fd = ::open(m_file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        return;  // a missing log must not stop the upgrade
    }
    [[maybe_unused]] const ssize_t written = ::write(fd, line.data(), line.size());
    ::close(fd);
}

}  // namespace hv::installer
