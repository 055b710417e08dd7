#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "Archive.h"
#include "TarBuilder.h"

namespace {

namespace fs = std::filesystem;
using hvtest::file;
using hvtest::folder;
using hvtest::hardlink;
using hvtest::makeTar;
using hvtest::readFile;
using hvtest::symlink;
using hvtest::TarEntry;
using hvtest::TempDir;

// A target folder and a sibling that no archive may touch, holding one file.
class ExtractTest : public ::testing::Test {
  protected:
    void SetUp() override {
        target = tmp.path() + "/game";
        outside = tmp.path() + "/outside";
        fs::create_directories(outside);
        hvtest::writeFile(outside + "/secret.txt", "keep");
    }

    bool extract(const std::vector<TarEntry>& entries) {
        std::string archive = tmp.path() + "/pkg.tar";
        hvtest::writeFile(archive, makeTar(entries));
        return hv::extractTarFile(archive, target, &error);
    }

    // Everything below the temporary folder except the target and the archive.
    std::vector<std::string> outsideTree() const {
        std::vector<std::string> names;
        for (const auto& e : fs::recursive_directory_iterator(tmp.path())) {
            std::string p = e.path().string();
            if (p.rfind(target, 0) != 0 && p != tmp.path() + "/pkg.tar")
                names.push_back(p);
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    void expectOutsideUntouched() const {
        EXPECT_EQ(outsideTree(), (std::vector<std::string>{outside, outside + "/secret.txt"}));
        EXPECT_EQ(readFile(outside + "/secret.txt"), "keep");
        struct stat info {};
        ASSERT_EQ(::stat((outside + "/secret.txt").c_str(), &info), 0);
        EXPECT_EQ(info.st_nlink, 1u);
    }

    TempDir tmp;
    std::string target, outside, error;
};

TEST_F(ExtractTest, GoodArchiveExtractsFilesFoldersAndInnerLinks) {
    ASSERT_TRUE(extract(
        {folder("bin"), file("bin/game", "#!/bin/sh\n", 0755),
         file("data/level1.dat", std::string(70000, 'x')), symlink("data/current", "level1.dat"),
         symlink("bin/alias", "../data/level1.dat"), hardlink("copy.dat", "data/level1.dat")}))
        << error;
    EXPECT_EQ(readFile(target + "/bin/game"), "#!/bin/sh\n");
    EXPECT_TRUE(fs::status(target + "/bin/game").permissions() == fs::perms(0755));
    EXPECT_EQ(readFile(target + "/data/level1.dat").size(), 70000u);
    EXPECT_EQ(fs::read_symlink(target + "/data/current"), "level1.dat");
    EXPECT_EQ(readFile(target + "/bin/alias").size(), 70000u);
    EXPECT_TRUE(fs::equivalent(target + "/copy.dat", target + "/data/level1.dat"));
    expectOutsideUntouched();
}

TEST_F(ExtractTest, SetIdBitsAreDropped) {
    ASSERT_TRUE(extract({file("tool", "x", 04755)})) << error;
    EXPECT_TRUE(fs::status(target + "/tool").permissions() == fs::perms(0755));
}

TEST_F(ExtractTest, ParentComponentsAreRefused) {
    EXPECT_FALSE(extract({file("ok.txt", "fine"), file("../outside/x.txt", "bad")}));
    EXPECT_FALSE(extract({file("a/../../outside/y.txt", "bad")}));
    EXPECT_FALSE(extract({folder("..")}));
    expectOutsideUntouched();
}

TEST_F(ExtractTest, AbsolutePathsAreRefused) {
    EXPECT_FALSE(extract({file(outside + "/abs.txt", "bad")}));
    EXPECT_NE(error.find("refused"), std::string::npos) << error;
    expectOutsideUntouched();
}

TEST_F(ExtractTest, SymlinksLeadingOutAreRefusedBeforeAnythingIsWrittenThroughThem) {
    EXPECT_FALSE(extract({symlink("link", outside), file("link/pwned.txt", "bad")}));
    EXPECT_FALSE(extract({symlink("up", "../outside"), file("up/pwned.txt", "bad")}));
    EXPECT_FALSE(extract({symlink("d/s", "x/../../../outside/secret.txt")}));
    expectOutsideUntouched();
}

TEST_F(ExtractTest, HardlinksLeadingOutAreRefused) {
    EXPECT_FALSE(extract({hardlink("h", "../outside/secret.txt")}));
    EXPECT_FALSE(extract({hardlink("h", outside + "/secret.txt")}));
    // A link to an inner symlink would carry its relative target to a new place.
    EXPECT_FALSE(extract({symlink("a/b/s", "../x"), hardlink("t", "a/b/s")}));
    expectOutsideUntouched();
}

TEST_F(ExtractTest, DeviceNodesAreRefused) {
    std::string archive = tmp.path() + "/pkg.tar";
    std::string tar = makeTar({file("fifo", "")});
    tar[156] = '6';  // ustar type flag: FIFO
    unsigned sum = 0;
    std::fill(tar.begin() + 148, tar.begin() + 156, ' ');
    for (int i = 0; i < 512; ++i)
        sum += static_cast<unsigned char>(tar[i]);
    std::snprintf(tar.data() + 148, 8, "%06o", sum);
    hvtest::writeFile(archive, tar);
    EXPECT_FALSE(hv::extractTarFile(archive, target, &error));
    EXPECT_FALSE(fs::exists(target + "/fifo"));
}

TEST(EntryPaths, SafetyRules) {
    EXPECT_TRUE(hv::isSafeEntryPath("a/b.txt"));
    EXPECT_TRUE(hv::isSafeEntryPath("./a"));
    EXPECT_FALSE(hv::isSafeEntryPath(""));
    EXPECT_FALSE(hv::isSafeEntryPath("/etc/passwd"));
    EXPECT_FALSE(hv::isSafeEntryPath("a/../../b"));
    EXPECT_FALSE(hv::isSafeEntryPath("a/.."));
    EXPECT_TRUE(hv::isSafeLinkTarget("a/b/link", "../c"));
    EXPECT_TRUE(hv::isSafeLinkTarget("a/link", "./b/../c"));
    EXPECT_FALSE(hv::isSafeLinkTarget("a/link", "../../c"));
    EXPECT_FALSE(hv::isSafeLinkTarget("link", ".."));
    EXPECT_FALSE(hv::isSafeLinkTarget("link", "/usr"));
    EXPECT_FALSE(hv::isSafeLinkTarget("link", ""));
}

// The source hands out the archive a few bytes at a time, as a growing file does.
TEST(StreamingExtract, ReportsEachEntryOnceThePreviousOnesAreOnDisk) {
    TempDir tmp;
    std::string tar = makeTar({file("first.bin", std::string(5000, 'a')),
                               file("second.bin", std::string(3000, 'b')), file("third.bin", "c")});
    std::size_t offset = 0;
    hv::ArchiveSource source = [&](const void** block) -> long {
        std::size_t n = std::min(tar.size() - offset, std::size_t{700});
        *block = tar.data() + offset;
        offset += n;
        return static_cast<long>(n);
    };
    std::vector<std::int64_t> offsets;
    std::vector<bool> previousOnDisk;
    const std::string dest = tmp.path() + "/out";
    hv::ExtractObserver observer = [&](std::int64_t at) {
        offsets.push_back(at);
        if (offsets.size() == 2)
            previousOnDisk.push_back(fs::file_size(dest + "/first.bin") == 5000);
        if (offsets.size() == 3)
            previousOnDisk.push_back(fs::file_size(dest + "/second.bin") == 3000);
    };
    std::string error;
    ASSERT_TRUE(hv::extractTar(source, dest, observer, &error)) << error;
    ASSERT_EQ(offsets.size(), 4u);
    EXPECT_EQ(offsets[0], 0);
    EXPECT_LT(offsets[0], offsets[1]);
    EXPECT_LT(offsets[1], offsets[2]);
    EXPECT_EQ(offsets[3], -1);
    EXPECT_EQ(previousOnDisk, (std::vector<bool>{true, true}));
}

TEST(StreamingExtract, AbortingSourceFailsTheExtraction) {
    TempDir tmp;
    std::string tar = makeTar({file("big.bin", std::string(200000, 'a'))});
    std::size_t offset = 0;
    hv::ArchiveSource source = [&](const void** block) -> long {
        if (offset >= 20000)
            return -1;
        *block = tar.data() + offset;
        offset += 10000;
        return 10000;
    };
    std::string error;
    EXPECT_FALSE(hv::extractTar(source, tmp.path() + "/out", nullptr, &error));
}

}  // namespace
