// A real file system of a few MiB (tmpfs) on a fresh folder, so that a test
// can run out of disk space for real. Mounting needs root, as in CI; a test
// that cannot mount must fail, not pass quietly.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "TarBuilder.h"

namespace hvtest {

class SmallDisk {
  public:
    explicit SmallDisk(std::size_t bytes);
    ~SmallDisk();
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    // Empty once mounted, else why it is not.
    const std::string& Error() const { return m_error; }
    const std::string& Path() const { return m_path; }
    std::uint64_t FreeBytes() const;
    // Takes every free byte with a file of its own, or gives them back.
    void Fill();
    void Unfill();

  private:
    TempDir m_dir;
    std::string m_path, m_error;
    bool m_mounted = false;
    // Unmounts after this process, however it ends: it waits for the end
    // of a pipe that only this process holds.
    pid_t m_janitor = 0;
    int m_lifeline = -1;
};

}  // namespace hvtest
