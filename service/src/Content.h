#pragma once

#include <ctime>
#include <filesystem>
#include <functional>
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
    // Tell apart two versions of the file written within one second.
    long long modifiedNs = 0;
    unsigned long long inode = 0;

    bool SameVersion(const FileInfo& other) const {
        return size == other.size && modifiedNs == other.modifiedNs && inode == other.inode;
    }
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

// One result per version of a file (FileInfo::SameVersion): a changed
// file is worked on again. Each version is worked on once: requests that come
// meanwhile wait for that result. A failure is not kept.
template <class Result>
class FileCache {
  public:
    using Work = std::function<std::optional<Result>(const FileInfo&)>;

    std::optional<Result> Get(const FileInfo& file, const Work& work) {
        const std::string key = file.path.string();
        std::promise<std::optional<Result>> mine;
        std::shared_future<std::optional<Result>> result;
        bool workHere = false;
        {
            std::lock_guard lock(m_mutex);
            auto it = m_entries.find(key);
            if (it == m_entries.end() || !it->second.version.SameVersion(file)) {
                result = mine.get_future().share();
                m_entries[key] = Entry{file, result};
                workHere = true;
            } else {
                result = it->second.result;
            }
        }
        if (workHere) {
            auto made = work(file);
            if (!made) {
                std::lock_guard lock(m_mutex);
                auto it = m_entries.find(key);
                if (it != m_entries.end() && it->second.version.SameVersion(file)) {
                    m_entries.erase(it);
                }
            }
            mine.set_value(std::move(made));
        }
        return result.get();
    }

  private:
    struct Entry {
        FileInfo version;
        std::shared_future<std::optional<Result>> result;
    };
    std::mutex m_mutex;
    std::map<std::string, Entry> m_entries;
};

}  // namespace hv::service
