// The product version the build stamps into an executable: a section named
// ".hv_version" holding a signature and the four version parts.
#pragma once

#include <optional>
#include <string>

namespace hv {

// "major,minor,patch,build"; nothing when the file is no little-endian ELF
// file or carries no valid stamp. Damaged files are read safely.
std::optional<std::string> ReadVersionStamp(const std::string& path);

}  // namespace hv
