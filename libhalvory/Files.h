// File helpers of the engine: atomic replacement, free space and the
// engine's key in the client's ini file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace hv {

// Writes through a temporary file in the same folder and renames it over the
// target, so a reader sees the old or the new file, never a mix. Durable
// also waits until the file is on the disk, which takes long while much
// other data waits to be written: SyncFile can do that later.
bool WriteFileAtomic(const std::filesystem::path& path, const std::string& data,
                     bool durable = true);
bool SyncFile(const std::filesystem::path& path);
std::optional<std::string> ReadWholeFile(const std::filesystem::path& path, std::size_t maxBytes);

// Bytes available to an unprivileged writer on the file system that holds
// path, or would hold it once created (its nearest existing ancestor).
std::optional<std::uint64_t> FreeBytesAt(const std::filesystem::path& path);

// The value of key in an ini-style file: first '=' splits, keys compare
// without case, nothing is trimmed, the last occurrence wins, empty values
// and ';' comment lines are ignored.
std::string ReadIniValue(const std::filesystem::path& file, const std::string& key);

}  // namespace hv
