// A package's manifest: its size and the SHA-256 of every block and of the
// whole, signed by the service with Ed25519. A package is used only when its
// bytes match a manifest whose signature verifies with the key the client was
// given; the key never comes from the service it is meant to check.
//
// The text, one field per line, each line ending in "\n":
//   halvory-manifest 1
//   package NAME
//   size BYTES
//   block-size BYTES
//   sha256 HEX
//   block HEX            (one per block, in order)
//   signature HEX        (Ed25519 over every byte before this line)
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hv {

inline constexpr uint64_t kManifestBlockSize = 1 << 20;
inline constexpr uint64_t kLeastManifestBlockSize = 64 << 10;

// The block size the service signs a file of this size with: the power of two
// from kLeastManifestBlockSize to kManifestBlockSize that makes at most 256
// blocks where it can. A small package is then checked, and its game can
// start, long before its last byte.
uint64_t BlockSizeFor(uint64_t fileSize);

struct PackageManifest {
    std::string package;  // the file's name, without a folder
    uint64_t size = 0;
    uint64_t blockSize = kManifestBlockSize;
    std::string sha256;               // lower-case hex, of the whole file
    std::vector<std::string> blocks;  // lower-case hex, one per block
};

// The file's manifest, hashed block by block; nothing when it cannot be read.
std::optional<PackageManifest> DescribeFile(const std::string& path, std::string package,
                                            uint64_t blockSize = kManifestBlockSize);

// The manifest's text signed with an Ed25519 private key (PEM); empty when the
// key is unusable.
std::string SignManifest(const PackageManifest& manifest, const std::string& privateKeyPem);
// Any text followed by its signature line, as SignManifest ends a manifest.
std::string SignText(std::string_view body, const std::string& privateKeyPem);

// The manifest in `text` when its form is exact and its signature verifies
// with the Ed25519 public key (PEM); otherwise nothing, with the reason in
// `error`.
std::optional<PackageManifest> OpenManifest(std::string_view text, const std::string& publicKeyPem,
                                            std::string* error = nullptr);

// Whether the file holds exactly the bytes the manifest describes.
bool FileMatches(const PackageManifest& manifest, const std::string& path);

struct SigningKey {
    std::string privatePem;
    std::string publicPem;
};

// A fresh Ed25519 key pair; nothing when OpenSSL fails.
std::optional<SigningKey> NewSigningKey();

}  // namespace hv
