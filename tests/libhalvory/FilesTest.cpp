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
    const std::string ini = (tmp.Path() / "Halvory.ini").string();
    hvtest::WriteFile(ini,
                      "[engine]\r\n"
                      "ENGINE_URL=http://first\r\n"
                      ";ENGINE_URL=http://commented\n"
                      "ENGINE_URL = http://blanks-belong-to-the-key\n"
                      "ENGINE_URL=\n"
                      "engine_url=http://a=b\r\n"
                      "ARTURL=http://art\n");
    EXPECT_EQ(hv::ReadIniValue(ini, "ENGINE_URL"), "http://a=b");
    EXPECT_EQ(hv::ReadIniValue(ini, "ARTURL"), "http://art");
    EXPECT_EQ(hv::ReadIniValue(ini, "MISSING"), "");
    EXPECT_EQ(hv::ReadIniValue((tmp.Path() / "absent.ini").string(), "ENGINE_URL"), "");
}

TEST(Sha256, MatchesKnownDigestsWhateverThePieces) {
    EXPECT_EQ(hv::Sha256().Finish(),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    hv::Sha256 whole;
    whole.Update("abc", 3);
    EXPECT_EQ(whole.Finish(), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(whole.Finish(), "");

    const std::string text = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    hv::Sha256 pieces;
    for (std::size_t at = 0; at < text.size(); at += 5) {
        pieces.Update(text.data() + at, std::min<std::size_t>(5, text.size() - at));
    }
    EXPECT_EQ(pieces.Finish(), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

TEST(FreeSpace, MeasuresTheNearestExistingFolder) {
    hvtest::TempDir tmp;
    auto here = hv::FreeBytesAt(tmp.Path());
    auto below = hv::FreeBytesAt((tmp.Path() / "not/yet/created").string());
    ASSERT_TRUE(here.has_value());
    ASSERT_TRUE(below.has_value());
    EXPECT_GT(*here, 0u);
    // Same file system; allow for other writers between the two calls.
    EXPECT_NEAR(static_cast<double>(*here), static_cast<double>(*below), 64.0 * 1024 * 1024);
    EXPECT_FALSE(fs::exists(tmp.Path() / "not"));
}

TEST(AtomicWrite, ReplacesContentsCompletely) {
    hvtest::TempDir tmp;
    const std::string file = (tmp.Path() / "moviedata.txt").string();
    ASSERT_TRUE(hv::WriteFileAtomic(file, std::string(50000, 'a')));
    ASSERT_TRUE(hv::WriteFileAtomic(file, "short"));
    EXPECT_EQ(hvtest::ReadFile(file), "short");
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp.Path()), fs::directory_iterator{}), 1);
}

}  // namespace
