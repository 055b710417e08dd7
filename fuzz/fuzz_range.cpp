// Reads any input as a file size (its first eight bytes) and a Range header
// (the rest). Never a crash, and never an answer outside the file: a part is
// one span inside it, the whole is all of it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "Ranges.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using hv::service::RangeAnswer;
    uint64_t raw = 0;
    const size_t head = size < sizeof raw ? size : sizeof raw;
    std::memcpy(&raw, data, head);
    // Small sizes most of the time, where the edges are; any size now and then.
    const auto fileSize = static_cast<long long>(raw & 1 ? raw >> 1 : (raw >> 1) % 4096);
    const std::string_view header(reinterpret_cast<const char*>(data) + head, size - head);
    const auto choice = hv::service::ChooseRange(header, fileSize);
    const auto& span = choice.span;
    const bool sound =
        choice.answer == RangeAnswer::Unsatisfiable ||
        (choice.answer == RangeAnswer::Whole && span.first == 0 && span.last == fileSize - 1) ||
        (choice.answer == RangeAnswer::Part && span.first >= 0 && span.first <= span.last &&
         span.last < fileSize);
    if (!sound) {
        __builtin_trap();
    }
    return 0;
}
