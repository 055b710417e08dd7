// The Range header of a file request, read the way the service answers it.
#pragma once

#include <string_view>

namespace hv::service {

struct ByteSpan {
    long long first = 0;
    long long last = 0;  // inclusive
};

enum class RangeAnswer { Whole, Part, Unsatisfiable };

struct RangeChoice {
    RangeAnswer answer = RangeAnswer::Whole;
    ByteSpan span;
};

// What to send of a file of this size for a Range header: nothing when it asks
// for no byte of the file (416), one span, or the whole file when the header is
// not understood or asks for parts apart from each other. Overlapping and
// adjacent ranges are merged, and a range running past the end is cut there,
// so an answer never holds more than the file.
RangeChoice ChooseRange(std::string_view header, long long size);

}  // namespace hv::service
