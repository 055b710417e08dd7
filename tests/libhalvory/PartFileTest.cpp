#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <future>
#include <string>

#include "PartFile.h"
#include "SmallDisk.h"
#include "TarBuilder.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Everything a reader hands out until the end; "!" marks a failure.
std::string readAll(hv::PartFile& part) {
    hv::PartFile::Reader reader(part);
    std::string out;
    const void* data = nullptr;
    long n;
    while ((n = reader.next(&data)) > 0)
        out.append(static_cast<const char*>(data), static_cast<std::size_t>(n));
    return n == 0 ? out : out + "!";
}

std::string pattern(std::size_t size) {
    std::string text;
    for (std::size_t i = 0; i < size; ++i)
        text += static_cast<char>('a' + (i * 31) % 26);
    return text;
}

// Pieces of uneven sizes, as they come from the network.
bool appendInPieces(hv::PartFile& part, const std::string& bytes, std::size_t from = 0) {
    for (std::size_t at = from, step = 1; at < bytes.size(); at += step, step = step % 997 + 3)
        if (!part.append(bytes.data() + at, std::min(step, bytes.size() - at)))
            return false;
    return true;
}

// Blocks of 16 bytes go through the page cache, blocks of 4 KiB around it
// where the file system allows; two are kept, so a late reader finds the
// start only in the file.
class PartFileBlocks : public testing::TestWithParam<std::size_t> {};

TEST_P(PartFileBlocks, ReadersGetEveryByteWhetherKeptInMemoryOrNot) {
    hvtest::TempDir tmp;
    const std::string path = tmp.path() + "/game.hvpart";
    const std::string bytes = pattern(GetParam() * 9 + 1000);
    hv::PartFile part(GetParam(), 2);
    ASSERT_TRUE(part.open(path, bytes.size()));
    EXPECT_EQ(part.size(), 0u);

    auto early = std::async(std::launch::async, [&] { return readAll(part); });
    ASSERT_TRUE(appendInPieces(part, bytes));
    part.finish();

    EXPECT_EQ(readAll(part), bytes);
    ASSERT_EQ(early.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(early.get(), bytes);
    EXPECT_EQ(part.size(), bytes.size());
    part.close();
    EXPECT_EQ(hvtest::readFile(path), bytes);
}

// The bytes of an earlier attempt end part way into a block.
TEST_P(PartFileBlocks, KeepsTheBytesOfAnEarlierAttemptThatFit) {
    hvtest::TempDir tmp;
    const std::string path = tmp.path() + "/game.hvpart";
    const std::string bytes = pattern(GetParam() * 5 + 300);
    hvtest::writeFile(path, bytes.substr(0, 100));
    {
        hv::PartFile part(GetParam(), 2);
        ASSERT_TRUE(part.open(path, bytes.size()));
        EXPECT_EQ(part.size(), 100u);
        auto reader = std::async(std::launch::async, [&] { return readAll(part); });
        ASSERT_TRUE(appendInPieces(part, bytes, 100));
        part.finish();
        ASSERT_EQ(reader.wait_for(10s), std::future_status::ready);
        EXPECT_EQ(reader.get(), bytes);
    }
    EXPECT_EQ(hvtest::readFile(path), bytes);

    // More bytes than the archive has: they cannot be its start.
    hv::PartFile shorter;
    ASSERT_TRUE(shorter.open(path, bytes.size() - 1));
    EXPECT_EQ(shorter.size(), 0u);
    EXPECT_EQ(fs::file_size(path), 0u);
}

INSTANTIATE_TEST_SUITE_P(, PartFileBlocks, testing::Values(16, 4096));

// A refused block leaves the file a clean start of the archive to resume from.
TEST(PartFile, AFullDiskLeavesAPrefixAndTakesNothingMore) {
    hvtest::SmallDisk disk(1 << 20);
    ASSERT_EQ(disk.error(), "");
    const std::string path = disk.path() + "/game.hvpart";
    const std::string bytes = pattern(3 << 20);
    std::uint64_t kept = 0;
    {
        hv::PartFile part(64 << 10, 4);
        ASSERT_TRUE(part.open(path, bytes.size()));
        EXPECT_FALSE(appendInPieces(part, bytes));
        EXPECT_EQ(errno, ENOSPC);
        kept = part.size();
        EXPECT_FALSE(part.append("x", 1));
        EXPECT_EQ(part.size(), kept);
        part.finish();
        EXPECT_EQ(readAll(part), bytes.substr(0, kept));
    }
    const std::string file = hvtest::readFile(path);
    EXPECT_GT(file.size(), 0u);
    EXPECT_LT(file.size(), kept);
    EXPECT_EQ(file, bytes.substr(0, file.size()));

    hv::PartFile again(64 << 10, 4);
    ASSERT_TRUE(again.open(path, bytes.size()));
    EXPECT_EQ(again.size(), file.size());
}

TEST(PartFile, AbortReleasesWaitingReaders) {
    hvtest::TempDir tmp;
    hv::PartFile part;
    ASSERT_TRUE(part.open(tmp.path() + "/game.hvpart", 100));
    ASSERT_TRUE(part.append("abc", 3));
    auto reader = std::async(std::launch::async, [&] { return readAll(part); });
    part.abort();
    ASSERT_EQ(reader.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(reader.get().back(), '!');
    EXPECT_EQ(readAll(part), "!");
}

}  // namespace
