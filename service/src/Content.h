#pragma once

#include <ctime>
#include <filesystem>
#include <future>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace hv::service {

struct Game {
    std::string package;
    std::string title;
    int type = 1;  // 3 marks a free demo
    std::string categories;
    std::string rating;
    std::string price;
    std::string developer;
    std::string publisher;
    std::string pairKey;
    std::string archive;  // file name under packages/
    std::string program;  // relative path of the program inside the archive
    long long playableBytes = 0;

    bool IsDemo() const { return type == 3; }
    bool IsFree() const;
};

struct FileInfo {
    std::filesystem::path path;
    long long size = 0;
    std::time_t modified = 0;
};

// Reads the catalogue description (JSON) of a content folder. Throws on a malformed file.
std::vector<Game> LoadGames(const std::filesystem::path& catalogueFile);
void SaveGames(const std::filesystem::path& catalogueFile, const std::vector<Game>& games);

// The catalogue byte stream the engine stores as its catalogue file: per record a
// header of 23 four-digit widths, then the 23 field values without separators.
std::string RenderCatalogue(const std::vector<Game>& games,
                            const std::map<std::string, long long>& archiveSizes = {});

// Resolves a request path below root; nothing outside root, no directories.
std::optional<FileInfo> ResolveUnder(const std::filesystem::path& root,
                                     const std::string& relative);

std::string HttpDate(std::time_t t);

// The client's digits-from-the-end version arithmetic: "1,0,0,1" -> 1001.
// Negative parts, and versions whose number does not fit an int, read as 0:
// the same as no version at all.
int VersionNumber(const std::string& version);

// Caches archive hashes by size and modification time, so a changed archive is rehashed.
// Each version of a file is hashed once: requests that come while it is being
// hashed wait for that result.
class HashCache {
  public:
    std::optional<std::string> Sha256(const FileInfo& file);

  private:
    struct Entry {
        long long size;
        std::time_t modified;
        std::shared_future<std::optional<std::string>> hash;
    };
    std::mutex m_mutex;
    std::map<std::string, Entry> m_entries;
};

}  // namespace hv::service
