// The installer's account of what it did, appended to install.log in the
// application folder. Each line opens the file afresh: the folder at that
// path changes under the installer when it swaps installs.
#pragma once

#include <filesystem>

namespace hv::installer {

class InstallLog {
  public:
    // Also copies each line to stderr when `echo` is set.
    InstallLog(std::filesystem::path file, bool echo);

    __attribute__((format(printf, 2, 3))) void Line(const char* format, ...) const;

    const std::filesystem::path& File() const { return m_file; }

  private:
    std::filesystem::path m_file;
    bool m_echo;
};

}  // namespace hv::installer
