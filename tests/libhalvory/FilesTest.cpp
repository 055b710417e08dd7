#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "Files.h"
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

TEST(Sha256, MatchesKnownDigestsAndStopsWhenCancelled) {
    hvtest::TempDir tmp;
    const std::string file = tmp.path() + "/f";
    hvtest::writeFile(file, "abc");
    EXPECT_EQ(hv::sha256File(file, nullptr),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    hvtest::writeFile(file, "");
    EXPECT_EQ(hv::sha256File(file, nullptr),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    std::atomic<bool> cancel{true};
    EXPECT_EQ(hv::sha256File(file, &cancel), "");
    EXPECT_EQ(hv::sha256File(tmp.path() + "/absent", nullptr), "");
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
