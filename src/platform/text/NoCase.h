// Case-insensitive comparison of UTF-8 text, letters of every script
// included (the engine and the service may send any title or identifier).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace hv {

// Compares by lower-cased code points; malformed bytes compare as themselves.
int CompareNoCase(std::string_view a, std::string_view b);
inline bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a == b || CompareNoCase(a, b) == 0;
}
// Equal for any two texts that EqualsNoCase finds equal.
uint64_t HashNoCase(std::string_view text);
// The lower-case form, suitable as a key for case-insensitive lookups.
std::string FoldCase(std::string_view text);

}  // namespace hv
