// Where a named mutex keeps the lock file that makes it visible to other
// processes. Header-only: the installer, which links nothing of the client,
// watches the client's instance lock at the same place.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <string_view>

namespace hv {

// $XDG_RUNTIME_DIR (else /tmp)/halvory-mutex-<uid>-<name>.lock, with every
// character of the name outside [A-Za-z0-9.-] replaced by '_'.
inline std::string NamedLockPath(std::string_view name) {
    const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
    std::string path = runtimeDir != nullptr && *runtimeDir != '\0' ? runtimeDir : "/tmp";
    path += "/halvory-mutex-" + std::to_string(::getuid()) + "-";
    for (const char c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '.';
        path += plain ? c : '_';
    }
    return path + ".lock";
}

}  // namespace hv
