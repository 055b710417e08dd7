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

std::string RandomHex(std::size_t bytes);
std::string ToHex(const unsigned char* data, std::size_t size);

// Hex SHA-256 of a whole file, or nothing when it cannot be read.
std::optional<std::string> Sha256File(const std::filesystem::path& file);

}  // namespace hv::service
