// Tar extraction that never writes outside its target folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace hv {

// Supplies archive bytes: points *block at the next ones and returns how
// many there are, 0 at the end of the archive, -1 to abort the extraction.
// The bytes stay valid until the next call.
using ArchiveSource = std::function<long(const void** block)>;
// Told the archive offset of each entry header as extraction reaches it (so
// everything before it is on disk), and -1 once the whole archive is out.
using ExtractObserver = std::function<void(std::int64_t offset)>;

// A relative path without "." or ".." components.
bool IsSafeEntryPath(const std::string& path);
// A symbolic link stored at entryPath whose target stays inside the root.
bool IsSafeLinkTarget(const std::string& entryPath, const std::string& target);

// Extracts into dest (created if missing). Stops at the first entry that
// would escape dest (absolute path, "..", a link leading out, a device) and
// reports why in error. When writing below dest fails, writeError receives
// the system's error number (ENOSPC for a full disk).
bool ExtractTar(const ArchiveSource& source, const std::filesystem::path& dest,
                const ExtractObserver& observer, std::string* error, int* writeError = nullptr);
bool ExtractTarFile(const std::filesystem::path& archive, const std::filesystem::path& dest,
                    std::string* error);

}  // namespace hv
