#include "trust/PackageManifest.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <charconv>
#include <fstream>
#include <memory>

#include "trust/ManifestBody.h"
#include "trust/Sha256.h"

namespace hv {

namespace {

constexpr std::string_view kHeader = "halvory-manifest 1\n";
constexpr std::string_view kSignature = "signature ";
constexpr size_t kHashHex = 64;
constexpr size_t kSignatureBytes = 64;
// Bounds that keep a hostile manifest from asking for much memory.
constexpr uint64_t kMinBlockSize = 4096;
constexpr uint64_t kMaxBlockSize = uint64_t{64} << 20;
constexpr uint64_t kMaxBlocks = uint64_t{1} << 20;
constexpr size_t kMaxNameLength = 255;

using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using Bio = std::unique_ptr<BIO, decltype(&BIO_free)>;
using DigestContext = std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)>;

std::string ToHex(const unsigned char* data, size_t size) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(size * 2);
    for (size_t i = 0; i < size; ++i) {
        text += kDigits[data[i] >> 4];
        text += kDigits[data[i] & 15];
    }
    return text;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

bool IsHash(std::string_view text) {
    if (text.size() != kHashHex) {
        return false;
    }
    for (char c : text) {
        if (HexDigit(c) < 0) {
            return false;
        }
    }
    return true;
}

std::optional<std::vector<unsigned char>> FromHex(std::string_view text) {
    if (text.size() % 2 != 0) {
        return std::nullopt;
    }
    std::vector<unsigned char> bytes;
    for (size_t i = 0; i < text.size(); i += 2) {
        const int high = HexDigit(text[i]);
        const int low = HexDigit(text[i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        bytes.push_back(static_cast<unsigned char>(high * 16 + low));
    }
    return bytes;
}

Key ReadKey(const std::string& pem, bool isPrivate) {
    Bio bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())), BIO_free);
    if (!bio) {
        return {nullptr, EVP_PKEY_free};
    }
    Key key(isPrivate ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr)
                      : PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr),
            EVP_PKEY_free);
    if (key && EVP_PKEY_get_id(key.get()) != EVP_PKEY_ED25519) {
        key.reset();
    }
    return key;
}

std::string Render(const PackageManifest& manifest) {
    std::string text(kHeader);
    text += "package " + manifest.package + "\n";
    text += "size " + std::to_string(manifest.size) + "\n";
    text += "block-size " + std::to_string(manifest.blockSize) + "\n";
    text += "sha256 " + manifest.sha256 + "\n";
    for (const std::string& block : manifest.blocks) {
        text += "block " + block + "\n";
    }
    return text;
}

// Reads lines of the signed part in order; each Take names the field it expects.
class FieldReader {
  public:
    explicit FieldReader(std::string_view text) : m_rest(text) {}

    std::optional<std::string_view> Take(std::string_view name) {
        const size_t end = m_rest.find('\n');
        if (end == std::string_view::npos || m_rest.substr(0, name.size()) != name ||
            end <= name.size() || m_rest[name.size()] != ' ') {
            return std::nullopt;
        }
        const std::string_view value = m_rest.substr(name.size() + 1, end - name.size() - 1);
        m_rest.remove_prefix(end + 1);
        return value;
    }

    bool AtEnd() const { return m_rest.empty(); }

  private:
    std::string_view m_rest;
};

std::optional<uint64_t> Number(std::optional<std::string_view> text) {
    uint64_t value = 0;
    if (!text || text->empty() || (text->size() > 1 && text->front() == '0')) {
        return std::nullopt;
    }
    const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (error != std::errc() || end != text->data() + text->size()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::optional<PackageManifest> ReadManifestBody(std::string_view body, std::string* error) {
    const auto fail = [error](const char* why) -> std::optional<PackageManifest> {
        if (error) {
            *error = why;
        }
        return std::nullopt;
    };
    if (body.substr(0, kHeader.size()) != kHeader) {
        return fail("not a manifest");
    }
    FieldReader reader(body.substr(kHeader.size()));
    PackageManifest manifest;
    const auto name = reader.Take("package");
    if (!name || name->size() > kMaxNameLength || name->find('/') != std::string_view::npos ||
        *name == "." || *name == "..") {
        return fail("bad package name");
    }
    manifest.package = std::string(*name);
    const auto size = Number(reader.Take("size"));
    const auto blockSize = Number(reader.Take("block-size"));
    if (!size || !blockSize || *blockSize < kMinBlockSize || *blockSize > kMaxBlockSize ||
        *size / *blockSize >= kMaxBlocks) {
        return fail("bad size");
    }
    manifest.size = *size;
    manifest.blockSize = *blockSize;
    const auto whole = reader.Take("sha256");
    if (!whole || !IsHash(*whole)) {
        return fail("bad hash");
    }
    manifest.sha256 = std::string(*whole);
    const uint64_t blocks = (manifest.size + manifest.blockSize - 1) / manifest.blockSize;
    for (uint64_t i = 0; i < blocks; ++i) {
        const auto block = reader.Take("block");
        if (!block || !IsHash(*block)) {
            return fail("bad block list");
        }
        manifest.blocks.emplace_back(*block);
    }
    if (!reader.AtEnd()) {
        return fail("bad block list");
    }
    return manifest;
}

uint64_t BlockSizeFor(uint64_t fileSize) {
    uint64_t blockSize = kLeastManifestBlockSize;
    while (blockSize < kManifestBlockSize && fileSize > 256 * blockSize) {
        blockSize *= 2;
    }
    return blockSize;
}

std::optional<PackageManifest> DescribeFile(const std::string& path, std::string package,
                                            uint64_t blockSize) {
    std::ifstream in(path, std::ios::binary);
    if (!in || blockSize == 0) {
        return std::nullopt;
    }
    PackageManifest manifest;
    manifest.package = std::move(package);
    manifest.blockSize = blockSize;
    Sha256 whole;
    std::vector<char> buffer(blockSize);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const auto got = static_cast<size_t>(in.gcount());
        if (got == 0) {
            break;
        }
        Sha256 block;
        block.Update(buffer.data(), got);
        whole.Update(buffer.data(), got);
        manifest.blocks.push_back(block.Finish());
        manifest.size += got;
    }
    if (in.bad()) {
        return std::nullopt;
    }
    manifest.sha256 = whole.Finish();
    return manifest;
}

std::string SignManifest(const PackageManifest& manifest, const std::string& privateKeyPem) {
    return SignText(Render(manifest), privateKeyPem);
}

std::string SignText(std::string_view body, const std::string& privateKeyPem) {
    const Key key = ReadKey(privateKeyPem, true);
    DigestContext context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    unsigned char signature[kSignatureBytes];
    size_t length = sizeof signature;
    if (!key || !context ||
        EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1 ||
        EVP_DigestSign(context.get(), signature, &length,
                       reinterpret_cast<const unsigned char*>(body.data()), body.size()) != 1 ||
        length != kSignatureBytes) {
        return {};
    }
    return std::string(body) + std::string(kSignature) + ToHex(signature, length) + "\n";
}

std::optional<PackageManifest> OpenManifest(std::string_view text, const std::string& publicKeyPem,
                                            std::string* error) {
    const auto fail = [error](const char* why) -> std::optional<PackageManifest> {
        if (error) {
            *error = why;
        }
        return std::nullopt;
    };
    const size_t line = text.rfind('\n', text.size() >= 2 ? text.size() - 2 : 0);
    if (text.empty() || text.back() != '\n' || line == std::string_view::npos) {
        return fail("not a manifest");
    }
    const std::string_view body = text.substr(0, line + 1);
    const std::string_view last = text.substr(line + 1, text.size() - line - 2);
    if (last.substr(0, kSignature.size()) != kSignature) {
        return fail("not signed");
    }
    const auto signature = FromHex(last.substr(kSignature.size()));
    if (!signature || signature->size() != kSignatureBytes) {
        return fail("not signed");
    }
    const Key key = ReadKey(publicKeyPem, false);
    if (!key) {
        return fail("no usable key");
    }
    DigestContext context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!context ||
        EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1 ||
        EVP_DigestVerify(context.get(), signature->data(), signature->size(),
                         reinterpret_cast<const unsigned char*>(body.data()), body.size()) != 1) {
        return fail("the signature does not verify");
    }
    return ReadManifestBody(body, error);
}

bool FileMatches(const PackageManifest& manifest, const std::string& path) {
    const auto actual = DescribeFile(path, manifest.package, manifest.blockSize);
    return actual && actual->size == manifest.size && actual->sha256 == manifest.sha256 &&
           actual->blocks == manifest.blocks;
}

std::optional<SigningKey> NewSigningKey() {
    EVP_PKEY* raw = nullptr;
    using KeyContext = std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)>;
    KeyContext context(EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr), EVP_PKEY_CTX_free);
    if (!context || EVP_PKEY_keygen_init(context.get()) != 1 ||
        EVP_PKEY_keygen(context.get(), &raw) != 1) {
        return std::nullopt;
    }
    const Key key(raw, EVP_PKEY_free);
    const auto pem = [&key](bool isPrivate) -> std::optional<std::string> {
        Bio bio(BIO_new(BIO_s_mem()), BIO_free);
        if (!bio || (isPrivate ? PEM_write_bio_PrivateKey(bio.get(), key.get(), nullptr, nullptr, 0,
                                                          nullptr, nullptr)
                               : PEM_write_bio_PUBKEY(bio.get(), key.get())) != 1) {
            return std::nullopt;
        }
        char* data = nullptr;
        const long length = BIO_get_mem_data(bio.get(), &data);
        return std::string(data, static_cast<size_t>(length));
    };
    auto privatePem = pem(true);
    auto publicPem = pem(false);
    if (!privatePem || !publicPem) {
        return std::nullopt;
    }
    return SigningKey{std::move(*privatePem), std::move(*publicPem)};
}

}  // namespace hv
