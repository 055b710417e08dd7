#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <future>
#include <string>

#include "BlockChecker.h"
#include "PartFile.h"
#include "SmallDisk.h"
#include "TarBuilder.h"
#include "trust/Sha256.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Everything a reader hands out until the end; "!" marks a failure.
std::string ReadAll(hv::PartFile::Reader& reader) {
    std::string out;
    const void* data = nullptr;
    long n;
    while ((n = reader.Next(&data)) > 0) {
        out.append(static_cast<const char*>(data), static_cast<std::size_t>(n));
    }
    return n == 0 ? out : out + "!";
}

std::string ReadAll(hv::PartFile& part) {
    hv::PartFile::Reader reader(part);
    return ReadAll(reader);
}

constexpr std::size_t kBlock = 4096;

std::string Pattern(std::size_t size) {
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        text += static_cast<char>('a' + (i * 31) % 26);
    }
    return text;
}

// Appended and vouched for at once.
bool Take(hv::PartFile& part, const char* data, std::size_t size) {
    const bool taken = part.Append(data, size);
    part.Vouch(part.Size());
    return taken;
}

// Pieces of uneven sizes, as they come from the network.
bool AppendInPieces(hv::PartFile& part, const std::string& bytes, std::size_t from = 0) {
    for (std::size_t at = from, step = 1; at < bytes.size(); at += step, step = step % 997 + 3) {
        if (!Take(part, bytes.data() + at, std::min(step, bytes.size() - at))) {
            return false;
        }
    }
    return true;
}

// Blocks of 16 bytes go through the page cache, blocks of 4 KiB around it
// where the file system allows; two are kept, so a late reader finds the
// start only in the file.
class PartFileBlocks : public testing::TestWithParam<std::size_t> {};

// From nothing, and from the bytes of an earlier attempt that end part way
// into a block.
TEST_P(PartFileBlocks, ReadersGetEveryByteWhetherKeptInMemoryOrNot) {
    hvtest::TempDir tmp;
    const std::string path = (tmp.Path() / "game.hvpart").string();
    const std::string bytes = Pattern(GetParam() * 9 + 1000);
    for (const std::size_t kept : {0, 100}) {
        SCOPED_TRACE(kept);
        hvtest::WriteFile(path, bytes.substr(0, kept));
        hv::PartFile part(GetParam(), 2);
        ASSERT_TRUE(part.Open(path, bytes.size()));
        EXPECT_EQ(part.Size(), kept);
        part.Vouch(kept);
        auto early = std::async(std::launch::async, [&] { return ReadAll(part); });
        ASSERT_TRUE(AppendInPieces(part, bytes, kept));
        part.Finish();
        EXPECT_EQ(ReadAll(part), bytes);
        ASSERT_EQ(early.wait_for(10s), std::future_status::ready);
        EXPECT_EQ(early.get(), bytes);
        EXPECT_EQ(part.Size(), bytes.size());
        part.Close();
        EXPECT_EQ(hvtest::ReadFile(path), bytes);
    }
    // More bytes than the archive has: they cannot be its start.
    hv::PartFile shorter;
    ASSERT_TRUE(shorter.Open(path, bytes.size() - 1));
    EXPECT_EQ(shorter.Size(), 0u);
    EXPECT_EQ(fs::file_size(path), 0u);
}

// Bytes not vouched for stay unseen; a rewind drops them from the memory and
// the file, also when they reach back past the blocks kept in memory.
TEST_P(PartFileBlocks, ReadersSeeOnlyVouchedBytesAndRewoundOnesAreReplaced) {
    const std::size_t block = GetParam();
    const std::string good = Pattern(block * 6);
    // Where the vouched bytes end and where appending goes back to.
    const struct {
        std::size_t vouched, rewindTo;
    } cases[] = {{block, block}, {block, block + 3}, {block * 2 + 5, block * 4}, {0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.vouched) + " then back to " + std::to_string(c.rewindTo));
        hvtest::TempDir tmp;
        const std::string path = (tmp.Path() / "game.hvpart").string();
        hv::PartFile part(block, 2, 1ms);
        ASSERT_TRUE(part.Open(path, good.size()));
        hv::PartFile::Reader reader(part);
        std::string bad = good;
        for (std::size_t at = c.rewindTo; at < bad.size(); at += block / 2) {
            bad[at] = '#';
        }
        ASSERT_TRUE(part.Append(bad.data(), c.vouched));
        part.Vouch(c.vouched);
        ASSERT_TRUE(part.Append(bad.data() + c.vouched, bad.size() - c.vouched));
        if (c.vouched > 0) {
            EXPECT_FALSE(part.Rewind(c.vouched - 1));
        }
        ASSERT_TRUE(part.Rewind(c.rewindTo));
        EXPECT_EQ(part.Size(), c.rewindTo);
        ASSERT_TRUE(part.Append(good.data() + c.rewindTo, good.size() - c.rewindTo));
        part.Vouch(good.size());
        part.Finish();
        EXPECT_EQ(ReadAll(reader), good);
        part.Close();
        EXPECT_EQ(hvtest::ReadFile(path), good);
    }
}

INSTANTIATE_TEST_SUITE_P(, PartFileBlocks, testing::Values(16, 4096));

TEST(PartFile, AFullDiskLeavesAPrefixAndTakesNothingMore) {
    hvtest::SmallDisk disk(1 << 20);
    ASSERT_EQ(disk.Error(), "");
    const std::string path = disk.Path() + "/game.hvpart";
    const std::string bytes = Pattern(3 << 20);
    std::uint64_t kept = 0;
    {
        hv::PartFile part(64 << 10, 4);
        ASSERT_TRUE(part.Open(path, bytes.size()));
        EXPECT_FALSE(AppendInPieces(part, bytes));
        EXPECT_EQ(errno, ENOSPC);
        kept = part.Size();
        EXPECT_FALSE(part.Append("x", 1));
        EXPECT_EQ(part.Size(), kept);
        part.Finish();
        EXPECT_EQ(ReadAll(part), bytes.substr(0, kept));
    }
    const std::string file = hvtest::ReadFile(path);
    EXPECT_GT(file.size(), 0u);
    EXPECT_LT(file.size(), kept);
    EXPECT_EQ(file, bytes.substr(0, file.size()));

    hv::PartFile again(64 << 10, 4);
    ASSERT_TRUE(again.Open(path, bytes.size()));
    EXPECT_EQ(again.Size(), file.size());
}

// A reader close behind the download is handed whole blocks, and the last,
// short one once no more bytes will come; here it would wait a minute for
// the rest of a block.
TEST(PartFile, ReadersCloseBehindGetWholeBlocks) {
    hvtest::TempDir tmp;
    hv::PartFile part(16, 4, 1min);
    ASSERT_TRUE(part.Open((tmp.Path() / "game.hvpart").string(), 100));
    hv::PartFile::Reader reader(part);
    const void* data = nullptr;
    ASSERT_TRUE(Take(part, "0123456789", 10));
    auto first = std::async(std::launch::async, [&] { return reader.Next(&data); });
    EXPECT_EQ(first.wait_for(100ms), std::future_status::timeout);
    ASSERT_TRUE(Take(part, "abcdefghi", 9));
    ASSERT_EQ(first.wait_for(10s), std::future_status::ready);
    ASSERT_EQ(first.get(), 16);
    EXPECT_EQ(std::string(static_cast<const char*>(data), 16), "0123456789abcdef");
    part.Finish();
    ASSERT_EQ(reader.Next(&data), 3);
    EXPECT_EQ(std::string(static_cast<const char*>(data), 3), "ghi");
    EXPECT_EQ(reader.Next(&data), 0);
}

TEST(PartFile, AbortReleasesWaitingReaders) {
    hvtest::TempDir tmp;
    hv::PartFile part;
    ASSERT_TRUE(part.Open((tmp.Path() / "game.hvpart").string(), 100));
    ASSERT_TRUE(part.Append("abc", 3));
    auto reader = std::async(std::launch::async, [&] { return ReadAll(part); });
    part.Abort();
    ASSERT_EQ(reader.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(reader.get().back(), '!');
    EXPECT_EQ(ReadAll(part), "!");
}

hv::PackageManifest ManifestOf(const std::string& bytes) {
    hv::PackageManifest manifest;
    manifest.size = bytes.size();
    manifest.blockSize = kBlock;
    for (std::size_t at = 0; at < bytes.size(); at += kBlock) {
        hv::Sha256 hash;
        const std::string block = bytes.substr(at, kBlock);
        hash.Update(block.data(), block.size());
        manifest.blocks.push_back(hash.Finish());
    }
    return manifest;
}

// Into the part file and the checker alike, in uneven pieces.
void Feed(hv::PartFile& part, hv::BlockChecker& checker, const std::string& bytes,
          std::size_t from) {
    for (std::size_t at = from, step = 5; at < bytes.size(); at += step, step = step * 3 % 9001) {
        const std::size_t n = std::min(step, bytes.size() - at);
        ASSERT_TRUE(part.Append(bytes.data() + at, n));
        checker.Add(bytes.data() + at, n);
    }
}

// Good blocks are vouched for in order, the short last one too; a damaged one
// is not, and stops the checking until it starts again there.
TEST(BlockChecker, VouchesGoodBlocksAndStopsAtADamagedOne) {
    hvtest::TempDir tmp;
    const std::string good = Pattern(kBlock * 5 + 100);
    std::string bad = good;
    bad[kBlock * 2 + 17] ^= 1;
    const hv::PackageManifest manifest = ManifestOf(good);
    hv::PartFile part(kBlock, 4);
    ASSERT_TRUE(part.Open((tmp.Path() / "game.hvpart").string(), good.size()));
    hv::BlockChecker checker(manifest, part, 0);
    ASSERT_TRUE(checker.Started());

    Feed(part, checker, bad, 0);
    EXPECT_EQ(checker.Wait(), std::optional<std::size_t>(2));
    // Only the blocks before it are vouched for: the rest may be dropped.
    EXPECT_FALSE(part.Rewind(kBlock * 2 - 1));
    ASSERT_TRUE(part.Rewind(kBlock * 2));

    checker.Restart(kBlock * 2);
    EXPECT_EQ(checker.Damaged(), std::nullopt);
    Feed(part, checker, good, kBlock * 2);
    EXPECT_EQ(checker.Wait(), std::nullopt);
    part.Finish();
    EXPECT_TRUE(ReadAll(part) == good);
}

}  // namespace
