// Reading the catalogue file the engine drops beside the client, and merging
// its records into the catalogue without disturbing records others point to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/GameInfo.h"

using GameList = std::vector<std::unique_ptr<GameInfo>>;

inline constexpr int kCatalogueFieldCount = 23;
inline constexpr int kCatalogueWidthDigits = 4;
inline constexpr size_t kCatalogueHeaderSize = kCatalogueFieldCount * kCatalogueWidthDigits;

// Receives every category name of every accepted record, in file order.
using CategorySink = std::function<void(std::string_view name)>;

// Finds records by package, ignoring case, so merging a large file stays
// linear. Only appends through AddOrMerge keep it current.
class CCatalogueIndex {
  public:
    // expected: how many records may yet be added, so the table is sized once.
    explicit CCatalogueIndex(GameList& records, size_t expected = 0);

    // Appends the record, or copies its file values into the first record
    // with the same package and drops it. Returns the record that is listed.
    GameInfo* AddOrMerge(std::unique_ptr<GameInfo> game);

    // The first record with the package, or null.
    GameInfo* Find(std::string_view package) const;

    // Appends a record whose package is not listed yet.
    GameInfo* Append(std::unique_ptr<GameInfo> game);

    // The same for a package already hashed with hv::HashNoCase, as the
    // parser has it once for both.
    GameInfo* Find(std::string_view package, uint64_t hash) const;
    // Starts loading the slot a Find of the hash looks at first.
    void Prefetch(uint64_t hash) const;
    GameInfo* Append(std::unique_ptr<GameInfo> game, uint64_t hash);

  private:
    // Open addressing on the case-blind hash; position 0 marks a free slot.
    // Eight bytes a slot: the table is touched all over, and every page of
    // it costs a fault the first time.
    struct Slot {
        uint32_t tag = 0;       // high half of the hash; also picks the bucket
        uint32_t position = 0;  // index + 1
    };

    void Reserve(size_t count);
    void Insert(uint64_t hash, size_t index);
    void Place(const Slot& slot);

    GameList& m_records;
    std::vector<Slot> m_slots;
    size_t m_used = 0;
};

// One-off form of CCatalogueIndex::AddOrMerge; a null record is ignored.
GameInfo* AddOrMergeGame(GameList& records, std::unique_ptr<GameInfo> game);

// Copies the members read from the file, with a count on what their texts
// point into; the icon, its lock and the partner stay with the record.
void CopyFileValues(GameInfo& to, const GameInfo& from);

// The title as one file name: a title comes from the network, so a '/' in it
// must not reach another folder. '%' is escaped too, so that no two titles
// share a name.
std::string ArtFileName(std::string_view title);

// The title as one folder name: the art file rule, and a name of nothing but
// dots escaped as well, so that it never means this folder or the one above.
std::string FolderName(std::string_view title);

// Every comma-separated piece, untrimmed, the last one even when empty.
std::vector<std::string> SplitCategories(std::string_view categories);

// Parses records laid end to end and merges each accepted one into records,
// whose texts then point into a copy of the data. Stops at the first record
// that does not fit the data. Returns the number of records accepted.
size_t ParseCatalogueBytes(const char* data, size_t size, const std::string& artDir,
                           GameList& records, const CategorySink& onCategory = {});

// Maps the whole file and parses it in place; the records' texts point into
// the mapping, which lasts as long as one of them does. The file must be
// replaced, never rewritten in place, as the engine does. False when it
// cannot be read or is empty; records is then untouched.
bool ParseCatalogueFile(const std::string& path, const std::string& artDir, GameList& records,
                        const CategorySink& onCategory = {});
