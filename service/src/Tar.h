#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace halvory::service {

// Writes an uncompressed POSIX (ustar) archive, entries in the order added.
class TarWriter {
  public:
    TarWriter(const std::filesystem::path& file, std::time_t mtime);
    void addDirectory(const std::string& name);
    void addFile(const std::string& name, std::string_view data, unsigned mode = 0644);
    void addFileFrom(const std::string& name, const std::filesystem::path& source,
                     unsigned mode = 0644);
    // Deterministic filler content of the given size, streamed without holding it in memory.
    void addFiller(const std::string& name, long long size, std::uint32_t seed);
    // Bytes written so far, always a multiple of the 512-byte block.
    long long offset() const { return offset_; }
    void finish();

  private:
    void header(const std::string& name, long long size, unsigned mode, char type);
    void pad(long long size);
    std::ofstream out_;
    std::time_t mtime_;
    long long offset_ = 0;
};

}  // namespace halvory::service
