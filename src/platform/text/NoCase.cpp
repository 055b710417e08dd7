#include "text/NoCase.h"

#include <locale.h>
#include <wctype.h>

#include <bit>
#include <cstring>

namespace hv {
namespace {

// C.UTF-8 carries the full Unicode case tables and, unlike the process
// locale, cannot be changed under us.
locale_t Utf8Locale() {
    static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
    return locale;
}

// Decodes one code point at text[pos]; a malformed byte stands for itself,
// offset into a private range so it never equals a real letter.
char32_t Next(std::string_view text, size_t& pos) {
    const auto byte = static_cast<unsigned char>(text[pos]);
    int length = byte < 0x80           ? 1
                 : (byte >> 5) == 0x6  ? 2
                 : (byte >> 4) == 0xE  ? 3
                 : (byte >> 3) == 0x1E ? 4
                                       : 0;
    if (length == 0 || pos + length > text.size()) {
        ++pos;
        return 0x110000 + byte;
    }
    char32_t cp = length == 1 ? byte : byte & (0x7F >> length);
    for (int i = 1; i < length; ++i) {
        const auto cont = static_cast<unsigned char>(text[pos + i]);
        if ((cont & 0xC0) != 0x80) {
            ++pos;
            return 0x110000 + byte;
        }
        cp = (cp << 6) | (cont & 0x3F);
    }
    pos += length;
    return cp;
}

inline char32_t AsciiLower(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? c + 32 : c;
}

char32_t Lower(char32_t cp) {
    if (cp < 0x80) {
        return cp >= 'A' && cp <= 'Z' ? cp + 32 : cp;
    }
    if (cp >= 0x110000 || Utf8Locale() == locale_t(0)) {
        return cp;
    }
    return static_cast<char32_t>(towlower_l(static_cast<wint_t>(cp), Utf8Locale()));
}

void Append(std::string& out, char32_t cp) {
    if (cp >= 0x110000) {
        out += static_cast<char>(cp - 0x110000);
    } else if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace

int CompareNoCase(std::string_view a, std::string_view b) {
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        char32_t x;
        char32_t y;
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[j]);
        if ((ca | cb) < 0x80) {
            // Most identifiers are ASCII: no decoding, no locale.
            x = AsciiLower(ca);
            y = AsciiLower(cb);
            ++i;
            ++j;
        } else {
            x = Lower(Next(a, i));
            y = Lower(Next(b, j));
        }
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    if (i < a.size()) {
        return 1;
    }
    return j < b.size() ? -1 : 0;
}

namespace {

// Feeds the lower-cased text in eight-byte words, so that a long ASCII run
// costs one step per word rather than one per byte.
class CaseBlindHash {
  public:
    void Word(uint64_t word) {
        m_hash = (m_hash ^ word) * 0x9E3779B97F4A7C15ull;
        m_hash ^= m_hash >> 32;
    }
    void Byte(unsigned char byte) {
        m_pending |= uint64_t{byte} << (8 * m_count);
        if (++m_count == 8) {
            Word(m_pending);
            m_pending = 0;
            m_count = 0;
        }
    }
    // The last bytes of an ASCII text in one step, the same as fed one by one.
    void Tail(uint64_t word, unsigned count) {
        m_pending = word;
        m_count = count;
    }
    bool Aligned() const { return m_count == 0; }
    uint64_t Finish() {
        Word(m_pending ^ (uint64_t{m_count} << 59));
        // A final mix, so that the high bits depend on every byte.
        uint64_t h = m_hash;
        h = (h ^ (h >> 33)) * 0xFF51AFD7ED558CCDull;
        h = (h ^ (h >> 33)) * 0xC4CEB9FE1A85EC53ull;
        return h ^ (h >> 33);
    }

  private:
    uint64_t m_hash = 0xcbf29ce484222325ull;
    uint64_t m_pending = 0;
    unsigned m_count = 0;
};

// Eight ASCII bytes lower-cased at once: a byte gets 0x20 when it lies in 'A'..'Z'.
uint64_t AsciiLower8(uint64_t word) {
    const uint64_t atLeastA = word + 0x3F3F3F3F3F3F3F3Full;
    const uint64_t pastZ = word + 0x2525252525252525ull;
    return word | (((atLeastA & ~pastZ) & 0x8080808080808080ull) >> 2);
}

}  // namespace

uint64_t HashNoCase(std::string_view text) {
    CaseBlindHash hash;
    std::string lowered;
    for (size_t pos = 0; pos < text.size();) {
        uint64_t word;
        if (hash.Aligned() && text.size() - pos >= sizeof word) {
            std::memcpy(&word, text.data() + pos, sizeof word);
            if constexpr (std::endian::native == std::endian::big) {
                word = __builtin_bswap64(word);
            }
            if ((word & 0x8080808080808080ull) == 0) {
                hash.Word(AsciiLower8(word));
                pos += sizeof word;
                continue;
            }
        } else if (hash.Aligned() && text.size() >= sizeof word &&
                   std::endian::native == std::endian::little) {
            // The last eight bytes, less those already fed.
            const size_t rest = text.size() - pos;
            std::memcpy(&word, text.data() + text.size() - sizeof word, sizeof word);
            word >>= 8 * (sizeof word - rest);
            if ((word & 0x8080808080808080ull) == 0) {
                hash.Tail(AsciiLower8(word), static_cast<unsigned>(rest));
                break;
            }
        }
        const auto byte = static_cast<unsigned char>(text[pos]);
        if (byte < 0x80) {
            hash.Byte(static_cast<unsigned char>(AsciiLower(text[pos++])));
            continue;
        }
        // Other code points go in as the UTF-8 of their lower case, so that
        // texts equal by code point feed the same bytes.
        lowered.clear();
        Append(lowered, Lower(Next(text, pos)));
        for (const char c : lowered) {
            hash.Byte(static_cast<unsigned char>(c));
        }
    }
    return hash.Finish();
}

std::string FoldCase(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t pos = 0; pos < text.size();) {
        Append(out, Lower(Next(text, pos)));
    }
    return out;
}

}  // namespace hv
