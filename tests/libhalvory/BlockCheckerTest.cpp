#include <gtest/gtest.h>

#include <string>

#include "../support/TestFiles.h"
#include "BlockChecker.h"
#include "PartFile.h"
#include "trust/Sha256.h"

namespace {

constexpr std::size_t kBlock = 4096;

std::string Pattern(std::size_t size) {
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        text += static_cast<char>('a' + (i * 7) % 26);
    }
    return text;
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
    hv::PartFile::Reader reader(part);
    std::string vouched;
    const void* data = nullptr;
    for (long n; (n = reader.Next(&data)) > 0;) {
        vouched.append(static_cast<const char*>(data), static_cast<std::size_t>(n));
    }
    EXPECT_TRUE(vouched == good);
}

}  // namespace
