#pragma once

#include <filesystem>
#include <string>

namespace hv::democontent {

struct Options {
    std::filesystem::path out;
    std::filesystem::path gameBinary;
    long long packageSize = 2 * 1024 * 1024;
    // The one package that takes packageSize, the others the usual size;
    // empty: every package takes it.
    std::string sizedPackage;
    // The upgrade package to serve; empty: a stand-in that installs nothing.
    std::filesystem::path upgradePackage;
};

// Writes a complete content folder: catalogue, art, pages, packages, upgrade.
void Generate(const Options& options);

}  // namespace hv::democontent
