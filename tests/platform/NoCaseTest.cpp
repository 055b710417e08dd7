#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "text/NoCase.h"

namespace {

using namespace std::string_view_literals;

struct Pair {
    std::string_view a;
    std::string_view b;
    bool equal;
};

// Lengths around the eight-byte words the hash takes at once, letters of
// other scripts and a code point whose lower case is shorter in UTF-8.
const Pair kPairs[] = {
    {"", "", true},
    {"com.halvory.Game", "COM.HALVORY.game", true},
    {"ABCDEFG", "abcdefg", true},
    {"ABCDEFGHI", "abcdefghi", true},
    {"@[`{AZaz", "@[`{azaz", true},
    {"\xC3\x84pfel-Spiel-Deluxe", "\xC3\xA4PFEL-spiel-deluxe", true},
    {"Kelvin \xE2\x84\xAA-Rennen Edition", "kelvin k-rennen edition", true},
    {"bad \xFF byte but long enough", "BAD \xFF BYTE BUT LONG ENOUGH", true},
    {"abcdefgh", "abcdefgi", false},
    {"@@@@@@@@", "````````", false},
    {"[[[[[[[[", "{{{{{{{{", false},
    {"com.halvory.game1", "com.halvory.game10", false},
    {"abcdefghX", "abcdefghY", false},
    {"abcdefghXbcdefg", "abcdefghYbcdefg", false},
    {"abcdefghabcdefX", "abcdefghabcdefY", false},
    {"abc"sv, "abc\0"sv, false},
};

TEST(NoCaseTest, HashAgreesWithComparison) {
    for (const Pair& pair : kPairs) {
        SCOPED_TRACE(std::string(pair.a) + " / " + std::string(pair.b));
        EXPECT_EQ(hv::EqualsNoCase(pair.a, pair.b), pair.equal);
        EXPECT_EQ(hv::HashNoCase(pair.a) == hv::HashNoCase(pair.b), pair.equal);
    }
}

}  // namespace
