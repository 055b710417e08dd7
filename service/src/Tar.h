#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace hv::service {

// Writes an uncompressed POSIX (ustar) archive, entries in the order added.
class TarWriter {
  public:
    TarWriter(const std::filesystem::path& file, std::time_t mtime);
    void AddDirectory(const std::string& name);
    void AddFile(const std::string& name, std::string_view data, unsigned mode = 0644);
    void AddFileFrom(const std::string& name, const std::filesystem::path& source,
                     unsigned mode = 0644);
    // Deterministic filler content of the given size, streamed without holding it in memory.
    void AddFiller(const std::string& name, long long size, std::uint32_t seed);
    // Bytes written so far, always a multiple of the 512-byte block.
    long long Offset() const { return m_offset; }
    void Finish();

  private:
    void Header(const std::string& name, long long size, unsigned mode, char type);
    void Pad(long long size);
    std::ofstream m_out;
    std::time_t m_mtime;
    long long m_offset = 0;
};

}  // namespace hv::service
