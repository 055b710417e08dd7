// Reads any input as an executable that may carry a version stamp: never a
// crash or an over-read, and any version found has four numbers.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "file/VersionStamp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A file in memory: the reader takes a path.
    const int fd = ::memfd_create("stamp", MFD_CLOEXEC);
    if (fd < 0 || ::write(fd, data, size) != static_cast<ssize_t>(size)) {
        __builtin_trap();
    }
    const auto version = hv::ReadVersionStamp("/proc/self/fd/" + std::to_string(fd));
    ::close(fd);
    if (version) {
        size_t commas = 0;
        for (char c : *version) {
            if (c == ',') {
                ++commas;
            } else if (c < '0' || c > '9') {
                __builtin_trap();
            }
        }
        if (commas != 3) {
            __builtin_trap();
        }
    }
    return 0;
}
