#pragma once

#include <filesystem>

namespace hv::democontent {

struct Options {
    std::filesystem::path out;
    std::filesystem::path gameBinary;
    long long packageSize = 2 * 1024 * 1024;
};

// Writes a complete content folder: catalogue, art, pages, packages, upgrade.
void Generate(const Options& options);

}  // namespace hv::democontent
