// Which archive entries may be written below the target folder. Paths are
// archive paths: '/'-separated and relative to the target.
#pragma once

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace hv {

// A relative path without ".." components.
bool IsSafeEntryPath(const std::string& path);

// Decides entry by entry, in archive order, whether an entry stays inside the
// target. A symbolic link's target is only read on the text, so no path may
// pass through a link, whether let through before or already on the disk, and
// no link may take the place of a folder that an earlier link's target passes.
class EntryGuard {
  public:
    enum class Kind { File, Folder, Symlink, Hardlink };
    // Tells whether a path below the target is a symbolic link on the disk.
    using LinkProbe = std::function<bool(const std::string& path)>;

    explicit EntryGuard(LinkProbe linkOnDisk = nullptr);

    // True when the entry may be written; target is the link target of a
    // symbolic or hard link. A symbolic link let through is remembered.
    bool Admit(Kind kind, const std::string& path, const std::string& target = {});

  private:
    bool IsLink(const std::string& path) const;
    // Walks parts from the folder where; false when they leave the target or
    // pass through a link (self counting as one). The folders passed go to passed.
    bool Walk(std::vector<std::string>& where, const std::vector<std::string>& parts,
              const std::string& self, std::vector<std::string>& passed) const;

    LinkProbe m_linkOnDisk;
    std::set<std::string> m_links;   // symbolic links let through
    std::set<std::string> m_passed;  // folders the targets of those links pass through
};

}  // namespace hv
