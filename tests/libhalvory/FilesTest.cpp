#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "Files.h"
#include "Sha256.h"
#include "TarBuilder.h"

namespace {

namespace fs = std::filesystem;

TEST(IniValue, FollowsTheClientsRules) {
    hvtest::TempDir tmp;
    const std::string ini = tmp.path() + "/Halvory.ini";
    hvtest::writeFile(ini,
                      "[engine]\r\n"
                      "ENGINE_URL=http://first\r\n"
                      ";ENGINE_URL=http://commented\n"
                      "ENGINE_URL = http://blanks-belong-to-the-key\n"
                      "ENGINE_URL=\n"
                      "engine_url=http://a=b\r\n"
                      "ARTURL=http://art\n");
    EXPECT_EQ(hv::readIniValue(ini, "ENGINE_URL"), "http://a=b");
    EXPECT_EQ(hv::readIniValue(ini, "ARTURL"), "http://art");
    EXPECT_EQ(hv::readIniValue(ini, "MISSING"), "");
    EXPECT_EQ(hv::readIniValue(tmp.path() + "/absent.ini", "ENGINE_URL"), "");
}

TEST(Sha256, MatchesKnownDigestsWhateverThePieces) {
    EXPECT_EQ(hv::Sha256().finish(),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    hv::Sha256 whole;
    whole.update("abc", 3);
    EXPECT_EQ(whole.finish(), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(whole.finish(), "");

    const std::string text = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    hv::Sha256 pieces;
    for (std::size_t at = 0; at < text.size(); at += 5)
        pieces.update(text.data() + at, std::min<std::size_t>(5, text.size() - at));
    EXPECT_EQ(pieces.finish(), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

TEST(FreeSpace, MeasuresTheNearestExistingFolder) {
    hvtest::TempDir tmp;
    auto here = hv::freeBytesAt(tmp.path());
    auto below = hv::freeBytesAt(tmp.path() + "/not/yet/created");
    ASSERT_TRUE(here.has_value());
    ASSERT_TRUE(below.has_value());
    EXPECT_GT(*here, 0u);
    // Same file system; allow for other writers between the two calls.
    EXPECT_NEAR(static_cast<double>(*here), static_cast<double>(*below), 64.0 * 1024 * 1024);
    EXPECT_FALSE(fs::exists(tmp.path() + "/not"));
}

TEST(AtomicWrite, ReplacesContentsCompletely) {
    hvtest::TempDir tmp;
    const std::string file = tmp.path() + "/moviedata.txt";
    ASSERT_TRUE(hv::writeFileAtomic(file, std::string(50000, 'a')));
    ASSERT_TRUE(hv::writeFileAtomic(file, "short"));
    EXPECT_EQ(hvtest::readFile(file), "short");
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp.path()), fs::directory_iterator{}), 1);
}

}  // namespace
