#include "Crypto.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <fstream>
#include <memory>
#include <stdexcept>
#include <vector>

#include "trust/Sha256.h"

namespace hv::service {

namespace {

constexpr std::size_t kSaltBytes = 16;
constexpr std::size_t kHashBytes = 32;
constexpr const char* kScheme = "pbkdf2-sha256";

std::vector<unsigned char> FromHex(const std::string& hex) {
    std::vector<unsigned char> out;
    if (hex.size() % 2 != 0) {
        return out;
    }
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') {
            return c - '0';
        }
        if (c >= 'a' && c <= 'f') {
            return c - 'a' + 10;
        }
        return -1;
    };
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        int hi = nibble(hex[i]);
        int lo = nibble(hex[i + 1]);
        if (hi < 0 || lo < 0) {
            return {};
        }
        out.push_back(static_cast<unsigned char>(hi << 4 | lo));
    }
    return out;
}

std::vector<unsigned char> Derive(const std::string& password,
                                  const std::vector<unsigned char>& salt, int iterations) {
    std::vector<unsigned char> out(kHashBytes);
    if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), salt.data(),
                          static_cast<int>(salt.size()), iterations, EVP_sha256(),
                          static_cast<int>(out.size()), out.data()) != 1) {
        throw std::runtime_error("password hashing failed");
    }
    return out;
}

}  // namespace

std::string ToHex(const unsigned char* data, std::size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        out.push_back(digits[data[i] >> 4]);
        out.push_back(digits[data[i] & 0xF]);
    }
    return out;
}

std::string LinkSignature(const std::string& path, long long expires, const std::string& secret) {
    const std::string text = std::to_string(expires) + path + " " + secret;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_Digest(text.data(), text.size(), digest, &size, EVP_md5(), nullptr) != 1) {
        throw std::runtime_error("no MD5");
    }
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    std::string out;
    unsigned int bits = 0;
    int held = 0;
    for (unsigned int i = 0; i < size; ++i) {
        bits = (bits << 8) | digest[i];
        held += 8;
        while (held >= 6) {
            held -= 6;
            out += kAlphabet[(bits >> held) & 0x3f];
        }
    }
    if (held > 0) {
        out += kAlphabet[(bits << (6 - held)) & 0x3f];
    }
    return out;
}

bool SameSecret(const std::string& given, const std::string& expected) {
    return given.size() == expected.size() &&
           CRYPTO_memcmp(given.data(), expected.data(), expected.size()) == 0;
}

std::string RandomHex(std::size_t bytes) {
    std::vector<unsigned char> buf(bytes);
    if (RAND_bytes(buf.data(), static_cast<int>(buf.size())) != 1) {
        throw std::runtime_error("no random bytes");
    }
    return ToHex(buf.data(), buf.size());
}

std::string HashPassword(const std::string& password, int iterations) {
    std::vector<unsigned char> salt(kSaltBytes);
    if (RAND_bytes(salt.data(), static_cast<int>(salt.size())) != 1) {
        throw std::runtime_error("no random bytes");
    }
    auto hash = Derive(password, salt, iterations);
    return std::string(kScheme) + "$" + std::to_string(iterations) + "$" +
           ToHex(salt.data(), salt.size()) + "$" + ToHex(hash.data(), hash.size());
}

namespace {

struct StoredHash {
    int iterations = 0;
    std::vector<unsigned char> salt;
    std::vector<unsigned char> hash;
};

std::optional<StoredHash> ParseStored(const std::string& stored) {
    auto first = stored.find('$');
    auto second = stored.find('$', first + 1);
    auto third = stored.find('$', second + 1);
    if (first == std::string::npos || second == std::string::npos || third == std::string::npos ||
        stored.substr(0, first) != kScheme) {
        return std::nullopt;
    }
    StoredHash parsed;
    try {
        parsed.iterations = std::stoi(stored.substr(first + 1, second - first - 1));
    } catch (const std::exception&) {
        return std::nullopt;
    }
    parsed.salt = FromHex(stored.substr(second + 1, third - second - 1));
    parsed.hash = FromHex(stored.substr(third + 1));
    if (parsed.iterations <= 0 || parsed.salt.empty() || parsed.hash.size() != kHashBytes) {
        return std::nullopt;
    }
    return parsed;
}

}  // namespace

bool VerifyPassword(const std::string& password, const std::string& stored) {
    auto parsed = ParseStored(stored);
    if (!parsed) {
        return false;
    }
    auto actual = Derive(password, parsed->salt, parsed->iterations);
    return CRYPTO_memcmp(actual.data(), parsed->hash.data(), kHashBytes) == 0;
}

int HashIterations(const std::string& stored) {
    auto parsed = ParseStored(stored);
    return parsed ? parsed->iterations : 0;
}

std::optional<std::string> Sha256File(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    Sha256 hash;
    std::vector<char> buf(1 << 20);
    while (in) {
        in.read(buf.data(), static_cast<std::streamsize>(buf.size()));
        hash.Update(buf.data(), static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad()) {
        return std::nullopt;
    }
    std::string digest = hash.Finish();
    if (digest.empty()) {
        return std::nullopt;
    }
    return digest;
}

}  // namespace hv::service
