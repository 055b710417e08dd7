// Tar extraction that never writes outside its target folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "EntryGuard.h"

namespace hv {

// Supplies archive bytes: points *block at the next ones and returns how
// many there are, 0 at the end of the archive, -1 to abort the extraction.
// The bytes stay valid until the next call.
using ArchiveSource = std::function<long(const void** block)>;
// Told the archive offset of each entry header as extraction reaches it (so
// everything before it is on disk), and -1 once the whole archive is out.
using ExtractObserver = std::function<void(std::int64_t offset)>;

// Bytes the caller still needs on the target's disk besides the extraction,
// such as the rest of a download that is written beside it.
using RoomReserve = std::function<std::uint64_t()>;

// Extracts into dest (created if missing). Stops at the first entry that
// would escape dest (absolute path, "..", a link leading out, a device) and
// reports why in error. When writing below dest fails, writeError receives
// the system's error number: ENOSPC for a full disk, also for a file that
// would leave less room than the reserve before it is written.
bool ExtractTar(const ArchiveSource& source, const std::filesystem::path& dest,
                const ExtractObserver& observer, std::string* error, int* writeError = nullptr,
                const RoomReserve& reserve = nullptr);
// Reads the archive's listing first and writes nothing unless all of its
// files fit on the disk.
bool ExtractTarFile(const std::filesystem::path& archive, const std::filesystem::path& dest,
                    std::string* error);

}  // namespace hv
