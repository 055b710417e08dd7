// What the engine remembers between runs: installed packages and the
// transfers that can be resumed.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

namespace hv {

struct InstalledPackage {
    std::string title;
    std::string folder;
    std::string program;  // relative to folder
    std::string sha256;
    bool demo = false;
};

struct PartialTransfer {
    std::string title;
    std::string folder;    // the install folder the transfer is for
    std::string partFile;  // archive bytes received so far
    std::string sha256;
    std::uint64_t size = 0;
};

// Keys are package identifiers.
struct EngineState {
    std::map<std::string, InstalledPackage> installed;
    std::map<std::string, PartialTransfer> partial;

    // A missing or unreadable file gives an empty state.
    static EngineState Load(const std::filesystem::path& file);
    // durable: as for WriteFileAtomic.
    bool Save(const std::filesystem::path& file, bool durable = true) const;
    std::string ToJson() const;
    static EngineState FromJson(const std::string& text);

    // Case-insensitive, like the client's own lists; prefers a full game.
    const std::string* PackageForTitle(const std::string& title) const;
};

}  // namespace hv
