// Builds tar archives in memory for the tests, hostile ones included.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace hvtest {

struct TarEntry {
    enum Kind { File, Dir, Symlink, Hardlink };
    std::string path;
    std::string data;  // file contents
    Kind kind = File;
    std::string target;  // link target
    int mode = 0644;
};

inline TarEntry File(std::string path, std::string data, int mode = 0644) {
    return {std::move(path), std::move(data), TarEntry::File, {}, mode};
}
inline TarEntry Folder(std::string path) {
    return {std::move(path), {}, TarEntry::Dir, {}, 0755};
}
inline TarEntry Symlink(std::string path, std::string target) {
    return {std::move(path), {}, TarEntry::Symlink, std::move(target), 0777};
}
inline TarEntry Hardlink(std::string path, std::string target) {
    return {std::move(path), {}, TarEntry::Hardlink, std::move(target), 0644};
}

std::string MakeTar(const std::vector<TarEntry>& entries);

// A fresh folder under the system temporary folder, removed by the destructor.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_path; }

  private:
    std::string m_path;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& data);

}  // namespace hvtest
