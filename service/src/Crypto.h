#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace hv::service {

constexpr int kPasswordIterations = 600000;

// Salted PBKDF2-HMAC-SHA256, stored as "pbkdf2-sha256$ITERATIONS$SALT$HASH" (hex).
std::string HashPassword(const std::string& password, int iterations = kPasswordIterations);
bool VerifyPassword(const std::string& password, const std::string& stored);
// The iterations of a stored hash, 0 when it is not one.
int HashIterations(const std::string& stored);

// The signature of a package address with its expiry (seconds since the
// epoch): base64url of MD5(expires + path + " " + secret), unpadded, which is
// what nginx's secure_link module checks with
// secure_link_md5 "$secure_link_expires$uri SECRET". Stock nginx offers no
// HMAC there; with the secret last, nothing can be added to a signed text.
std::string LinkSignature(const std::string& path, long long expires, const std::string& secret);
// Whether two texts are equal, in a time that does not tell where they differ.
bool SameSecret(const std::string& given, const std::string& expected);

std::string RandomHex(std::size_t bytes);
std::string ToHex(const unsigned char* data, std::size_t size);

// Hex SHA-256 of a whole file, or nothing when it cannot be read.
std::optional<std::string> Sha256File(const std::filesystem::path& file);

}  // namespace hv::service
