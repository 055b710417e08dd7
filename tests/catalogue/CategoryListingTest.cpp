#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/CategoryListing.h"
#include "text/NoCase.h"

namespace {

// The listing rule word for word, one walk over the later records for each;
// a record without a pairing key pairs with nothing.
std::vector<GameInfo*> ListByWalking(const GameList& records, std::string_view category) {
    std::vector<GameInfo*> listed;
    const auto holds = [&listed](GameInfo* game) {
        return std::find(listed.begin(), listed.end(), game) != listed.end();
    };
    for (size_t i = 0; i < records.size(); ++i) {
        GameInfo* game = records[i].get();
        if (!game) {
            continue;
        }
        if (!hv::EqualsNoCase(category, "All") &&
            std::string_view(game->m_strCategories).find(category) == std::string_view::npos) {
            continue;
        }
        GameInfo* other = nullptr;
        for (size_t j = i + 1; j < records.size() && !other && !game->m_strPairKey.empty(); ++j) {
            if (records[j] && !records[j]->m_pPartner &&
                hv::EqualsNoCase(records[j]->m_strPairKey, game->m_strPairKey)) {
                other = records[j].get();
            }
        }
        if (other) {
            game->m_pPartner = other;
            listed.push_back(game);
            other->m_pPartner = game;
        } else if (!holds(game) && !(game->m_pPartner && holds(game->m_pPartner))) {
            listed.push_back(game);
        }
    }
    return listed;
}

struct Entry {
    const char* key;  // null: an empty slot in the array
    const char* categories;
};

GameList Build(const std::vector<Entry>& entries) {
    GameList records;
    for (const Entry& entry : entries) {
        if (!entry.key) {
            records.push_back(nullptr);
            continue;
        }
        auto game = std::make_unique<GameInfo>();
        game->m_strPairKey = entry.key;
        game->m_strCategories = entry.categories;
        records.push_back(std::move(game));
    }
    return records;
}

// Positions, so that two catalogues built alike compare; the size for none.
std::vector<int> Positions(const GameList& records, const std::vector<GameInfo*>& games) {
    std::vector<int> positions;
    for (const GameInfo* game : games) {
        const auto at = std::find_if(records.begin(), records.end(),
                                     [game](const auto& record) { return record.get() == game; });
        positions.push_back(static_cast<int>(at - records.begin()));
    }
    return positions;
}

std::vector<int> Partners(const GameList& records) {
    std::vector<GameInfo*> partners;
    for (const auto& record : records) {
        partners.push_back(record ? record->m_pPartner : nullptr);
    }
    return Positions(records, partners);
}

// Runs both on twin catalogues, one category after the other; true when the
// lists and the links agree after every call.
::testing::AssertionResult SameAsWalking(const std::vector<Entry>& entries,
                                         const std::vector<std::string>& categories) {
    const GameList walked = Build(entries);
    const GameList indexed = Build(entries);
    for (const std::string& category : categories) {
        const std::vector<int> expected = Positions(walked, ListByWalking(walked, category));
        const std::vector<int> got = Positions(indexed, ListCategory(indexed, category));
        if (got != expected) {
            return ::testing::AssertionFailure() << "listing differs for " << category;
        }
        if (Partners(indexed) != Partners(walked)) {
            return ::testing::AssertionFailure() << "links differ after " << category;
        }
    }
    return ::testing::AssertionSuccess();
}

struct Case {
    const char* name;
    std::vector<Entry> records;
    std::vector<std::string> categories;
    std::vector<int> firstList;  // what the first call lists, by position
};

TEST(CategoryListing, AgreesWithTheRuleOnHandMadeCatalogues) {
    const std::vector<Case> cases = {
        {"demo after its game, key in another case",
         {{"p1", "Action"}, {"x", "Action"}, {"P1", "Action"}},
         {"All"},
         {0, 1}},
        {"a record paired earlier in the walk takes a later one too",
         {{"k", "Puzzle"}, {"K", "Puzzle"}, {"k", "Puzzle"}},
         {"all"},
         {0, 1}},
        {"a pair whose first record is outside the category lists the second",
         {{"k", "Racing"}, {"k", "Action"}},
         {"Action", "Racing", "All"},
         {1}},
        {"categories compare case-sensitively",
         {{"a", "Action"}, {"b", "action"}},
         {"action", "Action", "ALL"},
         {1}},
        {"records without a key pair with nothing; empty slots are passed over",
         {{"", "A"}, {nullptr, ""}, {"", "A"}, {"", "A"}},
         {"A", "A"},
         {0, 2, 3}},
        {"a record whose partner comes later is listed at its own place",
         {{"k", "A"}, {"k", "A,B"}, {"k", "B"}},
         {"B", "A", "All"},
         {1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const GameList records = Build(c.records);
        EXPECT_EQ(Positions(records, ListCategory(records, c.categories.front())), c.firstList);
        EXPECT_TRUE(SameAsWalking(c.records, c.categories));
    }
}

TEST(CategoryListing, AgreesWithTheRuleOnRandomCatalogues) {
    std::mt19937 random(20240611);
    const char* const keys[] = {"", "a", "A", "b", "B", "c"};
    const char* const categories[] = {"", "Act", "Action", "Puzzle", "Action,Puzzle", "Racing"};
    const std::vector<std::string> asked = {"Action", "All", "Act", "Puzzle", "all", "Racing"};
    for (int round = 0; round < 3000; ++round) {
        std::vector<Entry> entries(random() % 12);
        for (Entry& entry : entries) {
            entry.key = random() % 10 == 0 ? nullptr : keys[random() % std::size(keys)];
            entry.categories = categories[random() % std::size(categories)];
        }
        std::vector<std::string> calls;
        for (size_t n = 1 + random() % 4; n > 0; --n) {
            calls.push_back(asked[random() % asked.size()]);
        }
        ASSERT_TRUE(SameAsWalking(entries, calls)) << "round " << round;
    }
}

}  // namespace
