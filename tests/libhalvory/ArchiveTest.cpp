#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/magic.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <tuple>
#include <utility>

#include "Archive.h"
#include "SmallDisk.h"
#include "TarBuilder.h"

namespace {

namespace fs = std::filesystem;
using namespace hvtest;

// Hands out the archive in pieces of the given size, as a growing file does;
// past failAt bytes it fails instead.
hv::ArchiveSource Pieces(const std::string& tar, std::size_t size,
                         std::size_t failAt = std::string::npos) {
    return [&tar, size, failAt, offset = std::size_t{0}](const void** block) mutable -> long {
        if (offset >= failAt) {
            return -1;
        }
        const std::size_t n = std::min(tar.size() - offset, size);
        *block = tar.data() + offset;
        offset += n;
        return static_cast<long>(n);
    };
}

// A target folder and a sibling that no archive may touch, holding one file.
class ExtractTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_target = (m_tmp.Path() / "game").string();
        m_outside = (m_tmp.Path() / "outside").string();
        fs::create_directories(m_outside);
        WriteFile(m_outside + "/secret.txt", "keep");
    }

    bool Extract(const std::vector<TarEntry>& entries) {
        std::string archive = (m_tmp.Path() / "pkg.tar").string();
        WriteFile(archive, MakeTar(entries));
        return hv::ExtractTarFile(archive, m_target, &m_error);
    }

    // Everything below the temporary folder but the target and the archive is
    // as it was, and no link left in the target leads out of it.
    void ExpectOutsideUntouched() const {
        std::vector<std::string> outside;
        for (const auto& e : fs::recursive_directory_iterator(m_tmp.Path())) {
            if (!e.path().string().starts_with(m_target) && e.path() != m_tmp.Path() / "pkg.tar") {
                outside.push_back(e.path().string());
            }
        }
        std::ranges::sort(outside);
        EXPECT_EQ(outside, (std::vector<std::string>{m_outside, m_outside + "/secret.txt"}));
        EXPECT_EQ(ReadFile(m_outside + "/secret.txt"), "keep");
        struct stat info {};
        ASSERT_EQ(::stat((m_outside + "/secret.txt").c_str(), &info), 0);
        EXPECT_EQ(info.st_nlink, 1u);
        std::error_code ec;
        for (const auto& e : fs::recursive_directory_iterator(m_target, ec)) {
            const std::string to = fs::weakly_canonical(e.path()).string() + "/";
            EXPECT_EQ(to.rfind(m_target + "/", 0), 0u) << e.path() << " leads to " << to;
        }
    }

    TempDir m_tmp;
    std::string m_target, m_outside, m_error;
};

TEST_F(ExtractTest, GoodArchiveExtractsFilesFoldersAndInnerLinksWithoutSetIdBits) {
    ASSERT_TRUE(
        Extract({Folder("bin"), File("bin/game", "#!/bin/sh\n", 0755),
                 File("data/level1.dat", std::string(70000, 'x')),
                 Symlink("data/current", "level1.dat"), Symlink("bin/alias", "../data/level1.dat"),
                 Hardlink("copy.dat", "data/level1.dat"), File("tool", "x", 04755)}))
        << m_error;
    EXPECT_EQ(ReadFile(m_target + "/bin/game"), "#!/bin/sh\n");
    EXPECT_TRUE(fs::status(m_target + "/bin/game").permissions() == fs::perms(0755));
    EXPECT_EQ(ReadFile(m_target + "/data/level1.dat").size(), 70000u);
    EXPECT_EQ(fs::read_symlink(m_target + "/data/current"), "level1.dat");
    EXPECT_EQ(ReadFile(m_target + "/bin/alias").size(), 70000u);
    EXPECT_TRUE(fs::equivalent(m_target + "/copy.dat", m_target + "/data/level1.dat"));
    EXPECT_TRUE(fs::status(m_target + "/tool").permissions() == fs::perms(0755))
        << "set-id bits are dropped";
    ExpectOutsideUntouched();
}

// Each archive would reach outside the target, or put a device there.
TEST_F(ExtractTest, HostileArchivesAreRefused) {
    const std::vector<std::vector<TarEntry>> archives = {
        {File("ok.txt", "fine"), File("../outside/x.txt", "bad")},
        {File("a/../../outside/y.txt", "bad")},
        {Folder("..")},
        {File(m_outside + "/abs.txt", "bad")},
        {Symlink("link", m_outside), File("link/pwned.txt", "bad")},
        {Symlink("up", "../outside"), File("up/pwned.txt", "bad")},
        {Symlink("d/s", "x/../../../outside/secret.txt")},
        {Hardlink("h", "../outside/secret.txt")},
        {Hardlink("h", m_outside + "/secret.txt")},
        // A link to an inner symlink would carry its relative target to a new
        // place.
        {Symlink("a/b/s", "../x"), Hardlink("t", "a/b/s")},
        // Read on the text, ".." after a link goes up from the link, not from its
        // target; the link left behind by the first counts in the second.
        {Symlink("esc", "a/b/link/../outside"), Symlink("a/b/link", "../..")},
        {Symlink("a/b/link", "../.."), Symlink("esc", "a/b/link/../outside")},
        {TarEntry{"fifo", {}, TarEntry::Fifo, {}, 0644}},
    };
    for (std::size_t i = 0; i < archives.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_FALSE(Extract(archives[i]));
        EXPECT_NE(m_error.find("refused"), std::string::npos) << m_error;
        ExpectOutsideUntouched();
    }
    EXPECT_FALSE(fs::exists(m_target + "/fifo"));
}

TEST(EntryPaths, SafetyRules) {
    const std::vector<std::pair<std::string, bool>> entries = {
        {"a/b.txt", true},      {"./a", true},        {"", false},
        {"/etc/passwd", false}, {"a/../../b", false}, {"a/..", false}};
    for (const auto& [path, safe] : entries) {
        EXPECT_EQ(hv::IsSafeEntryPath(path), safe) << path;
    }
    const std::vector<std::tuple<std::string, std::string, bool>> links = {
        {"a/b/link", "../c", true}, {"a/link", "./b/../c", true}, {"a/link", "../../c", false},
        {"link", "..", false},      {"link", "/usr", false},      {"link", "", false}};
    for (const auto& [entry, target, safe] : links) {
        EXPECT_EQ(hv::EntryGuard().Admit(hv::EntryGuard::Kind::Symlink, entry, target), safe)
            << entry << " -> " << target;
    }
}

// Files are held to the room on the disk before they are written: all of them
// at once for an archive on the disk, each one keeping back what the rest of
// the download needs for one that streams in.
TEST(ExtractRoom, FilesThatWouldNotFitAreRefusedBeforeTheyAreWritten) {
    SmallDisk disk(1 << 20);
    ASSERT_EQ(disk.Error(), "");
    TempDir tmp;
    const std::string archive = (tmp.Path() / "pkg.tar").string();
    WriteFile(archive, MakeTar({File("small.dat", std::string(100000, 's')),
                                File("big.dat", std::string(2 << 20, 'b'))}));
    std::string error;
    EXPECT_FALSE(hv::ExtractTarFile(archive, disk.Path() + "/file", &error));
    EXPECT_FALSE(fs::exists(disk.Path() + "/file/small.dat")) << error;

    const std::string tar = MakeTar(
        {File("small.dat", std::string(100000, 's')), File("big.dat", std::string(600000, 'b'))});
    int writeError = 0;
    EXPECT_FALSE(hv::ExtractTar(Pieces(tar, tar.size()), disk.Path() + "/stream", nullptr, &error,
                                &writeError, [] { return std::uint64_t{600000}; }));
    EXPECT_EQ(writeError, ENOSPC);
    EXPECT_TRUE(fs::exists(disk.Path() + "/stream/small.dat"));
    EXPECT_FALSE(fs::exists(disk.Path() + "/stream/big.dat")) << error;
}

// Each entry is reported once the ones before it are on disk; a source that
// fails fails the extraction.
TEST(StreamingExtract, ReportsEachEntryOnceThePreviousOnesAreOnDisk) {
    TempDir tmp;
    std::string tar = MakeTar({File("first.bin", std::string(5000, 'a')),
                               File("second.bin", std::string(3000, 'b')), File("third.bin", "c")});
    std::vector<std::int64_t> offsets;
    std::vector<bool> previousOnDisk;
    const std::string dest = (tmp.Path() / "out").string();
    hv::ExtractObserver observer = [&](std::int64_t at) {
        offsets.push_back(at);
        if (offsets.size() == 2) {
            previousOnDisk.push_back(fs::file_size(dest + "/first.bin") == 5000);
        }
        if (offsets.size() == 3) {
            previousOnDisk.push_back(fs::file_size(dest + "/second.bin") == 3000);
        }
    };
    std::string error;
    ASSERT_TRUE(hv::ExtractTar(Pieces(tar, 700), dest, observer, &error)) << error;
    ASSERT_EQ(offsets.size(), 4u);
    EXPECT_EQ(offsets[0], 0);
    EXPECT_LT(offsets[0], offsets[1]);
    EXPECT_LT(offsets[1], offsets[2]);
    EXPECT_EQ(offsets[3], -1);
    EXPECT_EQ(previousOnDisk, (std::vector<bool>{true, true}));
    EXPECT_FALSE(hv::ExtractTar(Pieces(tar, 700, 1400), dest + "2", nullptr, &error));
}

// Only the last bytes of a large file stay in the page cache as it is written.
TEST(StreamingExtract, LargeFilesLeaveThePageCacheBehindThem) {
    TempDir tmp;
    struct statfs where {};
    ASSERT_EQ(::statfs(tmp.Path().c_str(), &where), 0);
    if (where.f_type == TMPFS_MAGIC) {
        GTEST_SKIP() << "a file system in memory keeps every page";
    }
    std::string data(48 << 20, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<char>(i * 7 + i / 4096);
    }
    const std::string tar = MakeTar({File("big.bin", data)});
    const std::string out = (tmp.Path() / "out").string(), file = out + "/big.bin";
    std::string error;
    ASSERT_TRUE(hv::ExtractTar(Pieces(tar, 1 << 20), out, nullptr, &error)) << error;

    // Looked at before anything reads the file back in.
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    void* map = ::mmap(nullptr, data.size(), PROT_READ, MAP_SHARED, fd, 0);
    ::close(fd);
    ASSERT_NE(map, MAP_FAILED);
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    std::vector<unsigned char> resident(data.size() / page);
    ASSERT_EQ(::mincore(map, data.size(), resident.data()), 0);
    ::munmap(map, data.size());
    const auto cachedOf = [&](std::size_t from, std::size_t to) {
        return std::count_if(resident.begin() + static_cast<long>(from / page),
                             resident.begin() + static_cast<long>(to / page),
                             [](unsigned char flags) { return (flags & 1) != 0; });
    };
    // Written in windows of 8 MiB, of which those 32 MiB behind are let go:
    // the first 8 MiB are surely gone, bar a page at an edge, and the last
    // 8 MiB surely kept.
    EXPECT_LT(cachedOf(0, 8 << 20), 8);
    EXPECT_GT(cachedOf(40 << 20, 48 << 20), (8 << 20) / page / 2);
    EXPECT_TRUE(ReadFile(file) == data);
}

}  // namespace
