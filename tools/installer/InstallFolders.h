// The folders of an upgrade: the new install is put together beside the
// application folder, then the two trade places in one rename.
//
// The new install holds the package's files (the install folder's files but
// the installer, the package archive and download scratch) and everything of
// the old install the package does not bring, but the install folder and
// install.log: the user's configuration, catalogue, art and data files come
// along whatever their names. The configuration files and the data file stay
// the user's even when the package brings its own.
#pragma once

#include <filesystem>
#include <string>

#include "InstallParameters.h"

namespace hv::installer {

inline constexpr const char* kLogFileName = "install.log";

// "<app dir><suffix>", beside the application folder.
std::filesystem::path SiblingOf(const std::filesystem::path& appDir, const char* suffix);

// Builds the new install in `staging`, which must not exist.
bool StageInstall(const InstallParameters& parameters, const std::filesystem::path& staging,
                  std::string& error);

// Swaps the two folders' contents by swapping their names, atomically where
// the file system can.
bool ExchangeFolders(const std::filesystem::path& first, const std::filesystem::path& second,
                     std::string& error);

}  // namespace hv::installer
