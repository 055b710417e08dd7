// A string view in eight bytes: the address in the low 48 bits, the length in
// the high 16. A catalogue keeps about ten texts for each of many thousands of
// records, and each byte of a record is memory touched for the first time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace hv {

class ShortView {
  public:
    static constexpr size_t kMaxSize = 0xFFFF;

    ShortView() = default;
    // Views the text; the text must outlive the view. A string literal always does.
    ShortView(std::string_view text) { Assign(text); }  // NOLINT(google-explicit-constructor)
    ShortView(const char* text) : ShortView(std::string_view(text)) {}         // NOLINT
    ShortView(const std::string& text) : ShortView(std::string_view(text)) {}  // NOLINT
    // A temporary string would leave the view dangling at once.
    ShortView(std::string&&) = delete;

    const char* data() const { return reinterpret_cast<const char*>(m_bits & kAddressMask); }
    size_t size() const { return static_cast<size_t>(m_bits >> kAddressBits); }
    bool empty() const { return size() == 0; }
    std::string_view View() const { return {data(), size()}; }
    operator std::string_view() const { return View(); }  // NOLINT(google-explicit-constructor)

    friend bool operator==(ShortView a, std::string_view b) { return a.View() == b; }

  private:
    static constexpr int kAddressBits = 48;
    static constexpr uint64_t kAddressMask = (uint64_t{1} << kAddressBits) - 1;

    void Assign(std::string_view text) {
        const auto address = reinterpret_cast<uintptr_t>(text.data());
        // User-space addresses on x86-64 and AArch64 Linux fit 48 bits; the
        // catalogue's widths are four digits. Anything else is a caller's bug.
        if (text.size() > kMaxSize || (address & ~kAddressMask) != 0) {
            std::abort();
        }
        m_bits = address | (uint64_t{text.size()} << kAddressBits);
    }

    uint64_t m_bits = 0;
};

inline std::string operator+(std::string_view a, ShortView b) {
    std::string joined(a);
    joined.append(b.View());
    return joined;
}

}  // namespace hv
