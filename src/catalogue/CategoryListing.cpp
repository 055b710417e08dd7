#include "catalogue/CategoryListing.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <utility>

#include "text/NoCase.h"

namespace {

// Records with a pairing key, grouped by the key's case-blind hash and in
// array order within a group; each group keeps how far along it no candidate
// is left: records behind the walk or already partnered never become
// candidates again, since links are never undone. Sorted arrays rather than
// a map of lists: a hundred thousand small allocations cost more than the
// walk.
struct KeyIndex {
    std::vector<std::pair<uint64_t, uint32_t>> entries;  // (hash, position), sorted
    std::vector<uint32_t> groupOf;                       // position -> its group's first entry
    std::vector<uint32_t> cursor;                        // by group's first entry
};

constexpr uint32_t kNoGroup = UINT32_MAX;

KeyIndex IndexKeys(const GameList& records) {
    KeyIndex index;
    index.entries.reserve(records.size());
    for (size_t i = 0; i < records.size(); ++i) {
        // Without a key a record is no one's partner: an empty key matching
        // every other empty key would link unrelated games and hide one.
        if (records[i] && !records[i]->m_strPairKey.empty()) {
            index.entries.emplace_back(hv::HashNoCase(records[i]->m_strPairKey),
                                       static_cast<uint32_t>(i));
        }
    }
    std::sort(index.entries.begin(), index.entries.end());
    index.groupOf.assign(records.size(), kNoGroup);
    index.cursor.resize(index.entries.size());
    for (uint32_t e = 0, first = 0; e < index.entries.size(); ++e) {
        if (index.entries[e].first != index.entries[first].first) {
            first = e;
        }
        index.groupOf[index.entries[e].second] = first;
        index.cursor[first] = first;
    }
    return index;
}

// The first record after `i` without a partner and with i's key, or null.
GameInfo* FindPartner(const GameList& records, KeyIndex& index, size_t i) {
    const uint32_t group = index.groupOf[i];
    if (group == kNoGroup) {
        return nullptr;
    }
    const uint64_t hash = index.entries[group].first;
    const auto inGroup = [&](uint32_t e) {
        return e < index.entries.size() && index.entries[e].first == hash;
    };
    uint32_t& cursor = index.cursor[group];
    while (inGroup(cursor) && (index.entries[cursor].second <= i ||
                               records[index.entries[cursor].second]->m_pPartner)) {
        ++cursor;
    }
    // Another key with the same hash is passed over, not dropped: it is
    // still a candidate for its own records.
    for (uint32_t e = cursor; inGroup(e); ++e) {
        GameInfo* other = records[index.entries[e].second].get();
        if (!other->m_pPartner && hv::EqualsNoCase(other->m_strPairKey, records[i]->m_strPairKey)) {
            return other;
        }
    }
    return nullptr;
}

// The records listed so far: open addressing on the address, no allocation
// per record.
class ListedSet {
  public:
    explicit ListedSet(size_t capacity) {
        size_t size = 16;
        while (size < 2 * capacity) {
            size *= 2;
        }
        m_slots.assign(size, nullptr);
    }
    bool Contains(const GameInfo* game) const { return game && m_slots[Find(game)] == game; }
    void Insert(const GameInfo* game) { m_slots[Find(game)] = game; }

  private:
    size_t Find(const GameInfo* game) const {
        const size_t mask = m_slots.size() - 1;
        size_t slot = (std::hash<const GameInfo*>{}(game) >> 4) * 0x9E3779B97F4A7C15ull & mask;
        while (m_slots[slot] && m_slots[slot] != game) {
            slot = (slot + 1) & mask;
        }
        return slot;
    }

    std::vector<const GameInfo*> m_slots;
};

}  // namespace

std::vector<GameInfo*> ListCategory(const GameList& records, std::string_view category) {
    KeyIndex index = IndexKeys(records);
    const bool all = hv::EqualsNoCase(category, "All");
    std::vector<GameInfo*> listed;
    ListedSet inList(records.size());
    for (size_t i = 0; i < records.size(); ++i) {
        GameInfo* game = records[i].get();
        if (!game || (!all && std::string_view(game->m_strCategories).find(category) ==
                                  std::string_view::npos)) {
            continue;
        }
        if (GameInfo* other = FindPartner(records, index, i)) {
            game->m_pPartner = other;
            other->m_pPartner = game;
        } else if (inList.Contains(game) || inList.Contains(game->m_pPartner)) {
            continue;
        }
        listed.push_back(game);
        inList.Insert(game);
    }
    return listed;
}
