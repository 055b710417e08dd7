#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace hv::service {

// Salted PBKDF2-HMAC-SHA256, stored as "pbkdf2-sha256$ITERATIONS$SALT$HASH" (hex).
std::string HashPassword(const std::string& password, int iterations = 120000);
bool VerifyPassword(const std::string& password, const std::string& stored);

std::string RandomHex(std::size_t bytes);
std::string ToHex(const unsigned char* data, std::size_t size);

// Hex SHA-256 of a whole file, or nothing when it cannot be read.
std::optional<std::string> Sha256File(const std::filesystem::path& file);

}  // namespace hv::service
