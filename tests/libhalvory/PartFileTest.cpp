#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <string>

#include "PartFile.h"
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

// Two blocks of 16 bytes are kept: a late reader finds the start only on disk.
TEST(PartFile, ReadersGetEveryByteWhetherKeptInMemoryOrNot) {
    hvtest::TempDir tmp;
    const std::string path = tmp.path() + "/game.hvpart";
    const std::string bytes = pattern(1000);
    hv::PartFile part(16, 2);
    ASSERT_TRUE(part.open(path, bytes.size()));
    EXPECT_EQ(part.size(), 0u);

    auto early = std::async(std::launch::async, [&] { return readAll(part); });
    for (std::size_t at = 0, step = 1; at < bytes.size(); at += step, step = step % 37 + 3)
        ASSERT_TRUE(part.append(bytes.data() + at, std::min(step, bytes.size() - at)));
    part.finish();

    EXPECT_EQ(readAll(part), bytes);
    ASSERT_EQ(early.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(early.get(), bytes);
    EXPECT_EQ(part.size(), bytes.size());
    part.close();
    EXPECT_EQ(hvtest::readFile(path), bytes);
}

TEST(PartFile, KeepsTheBytesOfAnEarlierAttemptThatFit) {
    hvtest::TempDir tmp;
    const std::string path = tmp.path() + "/game.hvpart";
    const std::string bytes = pattern(300);
    hvtest::writeFile(path, bytes.substr(0, 100));
    {
        hv::PartFile part(64, 4);
        ASSERT_TRUE(part.open(path, bytes.size()));
        EXPECT_EQ(part.size(), 100u);
        auto reader = std::async(std::launch::async, [&] { return readAll(part); });
        ASSERT_TRUE(part.append(bytes.data() + 100, 200));
        part.finish();
        ASSERT_EQ(reader.wait_for(10s), std::future_status::ready);
        EXPECT_EQ(reader.get(), bytes);
    }
    EXPECT_EQ(hvtest::readFile(path), bytes);

    // More bytes than the archive has: they cannot be its start.
    hv::PartFile shorter;
    ASSERT_TRUE(shorter.open(path, 299));
    EXPECT_EQ(shorter.size(), 0u);
    EXPECT_EQ(fs::file_size(path), 0u);
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
