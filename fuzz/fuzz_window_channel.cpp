// Reads any input as a request on the second-start channel, which every local
// process of the user can write to: exactly the request a second start sends
// (UWM_ACTIVATE_RUNNING in four bytes, high byte first) is taken, and nothing
// else ever is.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "messages/Messages.h"
#include "ui/WindowChannel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::optional<UINT> message = hv::DecodeWindowRequest(
        std::string_view(reinterpret_cast<const char*>(data), size), UWM_ACTIVATE_RUNNING);
    const uint8_t secondStart[] = {UWM_ACTIVATE_RUNNING >> 24, (UWM_ACTIVATE_RUNNING >> 16) & 0xFF,
                                   (UWM_ACTIVATE_RUNNING >> 8) & 0xFF, UWM_ACTIVATE_RUNNING & 0xFF};
    const bool isSecondStart =
        size == sizeof secondStart && std::equal(data, data + size, secondStart);
    if (message.has_value() != isSecondStart || (message && *message != UWM_ACTIVATE_RUNNING)) {
        __builtin_trap();
    }
    return 0;
}
