#include "catalogue/CategoryListing.h"

#include <string>
#include <unordered_map>
#include <unordered_set>

#include "text/NoCase.h"

namespace {

// The records of one pairing key in array order, and how far along them no
// candidate is left: records behind the walk or already partnered never
// become candidates again, since links are never undone.
struct KeyRecords {
    std::vector<size_t> positions;
    size_t next = 0;
};

}  // namespace

std::vector<GameInfo*> ListCategory(const GameList& records, std::string_view category) {
    std::unordered_map<std::string, KeyRecords> byKey;
    std::vector<KeyRecords*> keyOf(records.size(), nullptr);
    for (size_t i = 0; i < records.size(); ++i) {
        // Without a key a record is no one's partner: an empty key matching
        // every other empty key would link unrelated games and hide one.
        if (records[i] && !records[i]->m_strPairKey.empty()) {
            keyOf[i] = &byKey[hv::FoldCase(records[i]->m_strPairKey)];
            keyOf[i]->positions.push_back(i);
        }
    }

    const bool all = hv::EqualsNoCase(category, "All");
    std::vector<GameInfo*> listed;
    std::unordered_set<const GameInfo*> inList;
    for (size_t i = 0; i < records.size(); ++i) {
        GameInfo* game = records[i].get();
        if (!game || (!all && std::string_view(game->m_strCategories).find(category) ==
                                  std::string_view::npos)) {
            continue;
        }
        KeyRecords* key = keyOf[i];
        while (key && key->next < key->positions.size() &&
               (key->positions[key->next] <= i ||
                records[key->positions[key->next]]->m_pPartner != nullptr)) {
            ++key->next;
        }
        if (key && key->next < key->positions.size()) {
            GameInfo* other = records[key->positions[key->next]].get();
            game->m_pPartner = other;
            other->m_pPartner = game;
        } else if (inList.contains(game) || inList.contains(game->m_pPartner)) {
            continue;
        }
        listed.push_back(game);
        inList.insert(game);
    }
    return listed;
}
