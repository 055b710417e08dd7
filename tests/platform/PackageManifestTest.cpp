#include "trust/PackageManifest.h"

#include <gtest/gtest.h>

#include "../support/TestFiles.h"

#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

constexpr uint64_t kBlock = 4096;

struct PackageManifestTest : ::testing::Test {
    void SetUp() override {
        key = *hv::NewSigningKey();
        // Two and a half blocks.
        for (size_t i = 0; i < kBlock * 5 / 2; ++i) {
            bytes += static_cast<char>(i * 7 + i / 251);
        }
        hvtest::WriteFile(file, bytes);
    }
    hv::PackageManifest Describe() const {
        return *hv::DescribeFile(file.string(), "Install.sfe", kBlock);
    }

    hvtest::TempDir folder;
    fs::path file = folder.Path() / "Install.sfe";
    std::string bytes;
    hv::SigningKey key;
};

TEST(PackageManifestBlocks, SmallFilesGetSmallerBlocksDownToTheLeast) {
    constexpr uint64_t kMiB = 1 << 20;
    const std::pair<uint64_t, uint64_t> cases[] = {
        {0, 64 << 10},
        {786 << 10, 64 << 10},
        {16 * kMiB, 64 << 10},
        {16 * kMiB + 1, 128 << 10},
        {100 * kMiB, 512 << 10},
        {256 * kMiB, kMiB},
        {uint64_t{1} << 40, kMiB},
    };
    for (const auto& [size, block] : cases) {
        EXPECT_EQ(hv::BlockSizeFor(size), block) << size;
    }
}

TEST_F(PackageManifestTest, SignedManifestOpensAndMatchesOnlyItsFile) {
    const hv::PackageManifest manifest = Describe();
    EXPECT_EQ(manifest.size, bytes.size());
    EXPECT_EQ(manifest.blocks.size(), 3u);
    const std::string text = hv::SignManifest(manifest, key.privatePem);
    ASSERT_FALSE(text.empty());
    const auto opened = hv::OpenManifest(text, key.publicPem);
    ASSERT_TRUE(opened);
    // Signed again, what was read back gives the very same text.
    EXPECT_EQ(hv::SignManifest(*opened, key.privatePem), text);
    EXPECT_TRUE(hv::FileMatches(*opened, file.string()));
    std::string flipped = bytes;
    flipped[kBlock + 17] ^= 1;
    for (const std::string& other :
         {flipped, bytes + "x", bytes.substr(0, bytes.size() - 1), bytes.substr(0, 2 * kBlock)}) {
        hvtest::WriteFile(file, other);
        EXPECT_FALSE(hv::FileMatches(*opened, file.string())) << other.size() << " bytes";
    }
    fs::remove(file);
    EXPECT_FALSE(hv::FileMatches(*opened, file.string())) << "no file";

    // An empty file has no blocks and still a manifest.
    hvtest::WriteFile(file, "");
    const auto empty =
        hv::OpenManifest(hv::SignManifest(Describe(), key.privatePem), key.publicPem);
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->blocks.empty());
    EXPECT_TRUE(hv::FileMatches(*empty, file.string()));
}

TEST_F(PackageManifestTest, AnythingNotSignedAsItStandsIsRefused) {
    const hv::PackageManifest manifest = Describe();
    const std::string text = hv::SignManifest(manifest, key.privatePem);
    hv::PackageManifest shorter = manifest;
    shorter.blocks.pop_back();
    std::string changedHash = manifest.blocks[1];
    changedHash[0] = changedHash[0] == 'a' ? 'b' : 'a';
    hv::PackageManifest outside = manifest;
    outside.package = "../Installer";
    const auto replaced = [&text](const std::string& from, const std::string& to) {
        std::string changed = text;
        changed.replace(changed.find(from), from.size(), to);
        return changed;
    };
    const struct {
        const char* name;
        std::string text;
        const char* why;
    } rows[] = {
        {"signed by another key", hv::SignManifest(manifest, hv::NewSigningKey()->privatePem),
         "the signature does not verify"},
        {"a size changed", replaced("size 10240", "size 10241"), "the signature does not verify"},
        {"a block hash changed", replaced(manifest.blocks[1], changedHash),
         "the signature does not verify"},
        {"a line added after the signature", text + "block " + manifest.blocks[0] + "\n",
         "not signed"},
        {"no final line break", text.substr(0, text.size() - 1), "not a manifest"},
        {"the signature cut short", text.substr(0, text.size() - 3) + "\n", "not signed"},
        {"no signature", text.substr(0, text.find("signature ")), "not signed"},
        {"signed, but a block short", hv::SignManifest(shorter, key.privatePem), "bad block list"},
        {"signed, but a name with a folder", hv::SignManifest(outside, key.privatePem),
         "bad package name"},
        {"empty", "", "not a manifest"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::string why;
        EXPECT_FALSE(hv::OpenManifest(row.text, key.publicPem, &why));
        EXPECT_EQ(why, row.why);
    }
    std::string why;
    EXPECT_FALSE(hv::OpenManifest(text, key.privatePem, &why)) << "a private key is no public key";
    EXPECT_EQ(why, "no usable key");
}

}  // namespace
