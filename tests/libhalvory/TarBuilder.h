// Builds tar archives in memory for the tests, hostile ones included.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "../support/TestFiles.h"

namespace hvtest {

struct TarEntry {
    enum Kind { File, Dir, Symlink, Hardlink, Fifo };
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

}  // namespace hvtest
