// Reads the input as archive entries, one a line: a kind letter (f file,
// d folder, l symbolic link, h hard link), the path, and for a link a tab and
// its target. Each entry the guard lets through is put into a model of the
// target folder, which follows symbolic links the way the system does; every
// let-through entry must then be written, and every link must lead, inside
// the target, also once later entries have changed what its target passes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "EntryGuard.h"

namespace {

constexpr std::size_t kMaxEntries = 24;
// The system gives up on a path after this many links: it then leads nowhere.
constexpr int kMaxLinks = 40;

using Kind = hv::EntryGuard::Kind;
// Path below the target -> the link target of a symbolic link there, if it is one.
using Model = std::map<std::string, std::string>;

// The parts of a path; empty and "." ones name no folder and are left out.
std::vector<std::string> Split(std::string_view path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string_view::npos) {
            end = path.size();
        }
        std::string_view part = path.substr(start, end - start);
        if (!part.empty() && part != ".") {
            parts.emplace_back(part);
        }
        start = end + 1;
    }
    return parts;
}

std::string Join(const std::vector<std::string>& parts) {
    std::string path;
    for (const auto& part : parts) {
        path += (path.empty() ? "" : "/") + part;
    }
    return path;
}

// Walks parts from the folder where, following every link met on the way (the
// last part's only when followLast); false once the walk leaves the target.
bool Resolve(const Model& links, std::vector<std::string>& where,
             const std::vector<std::string>& parts, bool followLast, int& budget) {
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const std::string& part = parts[i];
        if (part == "..") {
            if (where.empty()) {
                return false;
            }
            where.pop_back();
            continue;
        }
        where.push_back(part);
        auto link = links.find(Join(where));
        if (link == links.end() || (i + 1 == parts.size() && !followLast)) {
            continue;
        }
        if (--budget < 0) {
            return true;
        }
        if (link->second.empty() || link->second[0] == '/') {
            return false;
        }
        where.pop_back();
        if (!Resolve(links, where, Split(link->second), true, budget)) {
            return false;
        }
    }
    return true;
}

bool LeadsInside(const Model& links, std::vector<std::string> from,
                 const std::vector<std::string>& parts) {
    int budget = kMaxLinks;
    return Resolve(links, from, parts, true, budget);
}

// A link's target read from the folder the link is in.
bool LinkLeadsInside(const Model& links, const std::string& at, const std::string& target) {
    std::vector<std::string> folder = Split(at);
    folder.pop_back();
    return !target.empty() && target[0] != '/' && LeadsInside(links, folder, Split(target));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    hv::EntryGuard guard;
    Model links;
    for (std::size_t n = 0; !input.empty() && n < kMaxEntries; ++n) {
        std::string_view line = input.substr(0, input.find('\n'));
        input.remove_prefix(std::min(input.size(), line.size() + 1));
        if (line.empty()) {
            continue;
        }
        const char letter = line[0];
        const Kind kind = letter == 'l'   ? Kind::Symlink
                          : letter == 'h' ? Kind::Hardlink
                          : letter == 'd' ? Kind::Folder
                                          : Kind::File;
        line.remove_prefix(1);
        const std::size_t tab = line.find('\t');
        const std::string path(line.substr(0, tab));
        const std::string target(tab == std::string_view::npos ? "" : line.substr(tab + 1));
        if (!guard.Admit(kind, path, target)) {
            continue;
        }
        // The entry is written in its folder, found through whatever is there.
        std::vector<std::string> folder = Split(path);
        if (path.empty() || path[0] == '/') {
            __builtin_trap();
        }
        if (folder.empty()) {
            continue;
        }
        const std::string name = Join(folder);
        folder.pop_back();
        if (!LeadsInside(links, {}, folder) ||
            (kind == Kind::Hardlink &&
             (target.empty() || target[0] == '/' || !LeadsInside(links, {}, Split(target))))) {
            __builtin_trap();
        }
        if (kind == Kind::Symlink) {
            links[name] = target;
        } else {
            links.erase(name);
        }
        for (const auto& [at, linkTarget] : links) {
            if (!LinkLeadsInside(links, at, linkTarget)) {
                __builtin_trap();
            }
        }
    }
    return 0;
}
