#include "EntryGuard.h"

#include <utility>

namespace hv {

namespace {

// The components of path; empty and "." ones say nothing and are left out.
std::vector<std::string> Components(const std::string& path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        std::string part = path.substr(start, end - start);
        if (!part.empty() && part != ".") {
            parts.push_back(std::move(part));
        }
        start = end + 1;
    }
    return parts;
}

std::string Join(const std::vector<std::string>& parts) {
    std::string path;
    for (const auto& part : parts) {
        if (!path.empty()) {
            path += '/';
        }
        path += part;
    }
    return path;
}

}  // namespace

bool IsSafeEntryPath(const std::string& path) {
    if (path.empty() || path[0] == '/') {
        return false;
    }
    for (const auto& part : Components(path)) {
        if (part == "..") {
            return false;
        }
    }
    return true;
}

EntryGuard::EntryGuard(LinkProbe linkOnDisk) : m_linkOnDisk(std::move(linkOnDisk)) {}

bool EntryGuard::IsLink(const std::string& path) const {
    return m_links.contains(path) || (m_linkOnDisk && m_linkOnDisk(path));
}

bool EntryGuard::Walk(std::vector<std::string>& where, const std::vector<std::string>& parts,
                      const std::string& self, std::vector<std::string>& passed) const {
    for (const auto& part : parts) {
        if (part == "..") {
            if (where.empty()) {
                return false;
            }
            where.pop_back();
            continue;
        }
        where.push_back(part);
        std::string folder = Join(where);
        if (folder == self || IsLink(folder)) {
            return false;
        }
        passed.push_back(std::move(folder));
    }
    return true;
}

bool EntryGuard::Admit(Kind kind, const std::string& path, const std::string& target) {
    if (!IsSafeEntryPath(path)) {
        return false;
    }
    std::vector<std::string> folder = Components(path);
    if (folder.empty()) {
        // The target itself, as "./" names it.
        return kind == Kind::Folder;
    }
    const std::string name = folder.back();
    folder.pop_back();
    std::vector<std::string> where, passed;
    if (!Walk(where, folder, {}, passed)) {
        return false;
    }
    if (kind == Kind::File || kind == Kind::Folder) {
        return true;
    }
    if (kind == Kind::Hardlink) {
        // Its last part too: a hard link to a symbolic link would carry the
        // link's text to another folder.
        std::vector<std::string> from, unused;
        return IsSafeEntryPath(target) && !Components(target).empty() &&
               Walk(from, Components(target), {}, unused);
    }
    const std::string entry = Join(folder) + (folder.empty() ? "" : "/") + name;
    if (target.empty() || target[0] == '/' || m_passed.contains(entry)) {
        return false;
    }
    std::vector<std::string> parts = Components(target);
    // The last part may be anything inside, another link included: that
    // link's own target was held to the same rules.
    std::string last = parts.empty() ? std::string() : parts.back();
    if (!parts.empty()) {
        parts.pop_back();
    }
    if (!Walk(where, parts, entry, passed) || (last == ".." && where.empty())) {
        return false;
    }
    m_passed.insert(passed.begin(), passed.end());
    m_links.insert(entry);
    return true;
}

}  // namespace hv
