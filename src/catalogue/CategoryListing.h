// The games of one category as the games screen lists them: each game with
// its demo once, whichever of the two comes first and is in the category.
#pragma once

#include <string_view>
#include <vector>

#include "catalogue/CatalogueFile.h"

// Walks the records in order. A record outside the category (by substring,
// case-sensitive; "All" in any case takes every record) is passed over. A
// record in it is linked, both ways, with the first later record that has no
// partner and the same pairing key ignoring case, and is listed; without such
// a record (or without a key) it is listed unless it or its partner already
// is. Links stay on the records for later calls.
std::vector<GameInfo*> ListCategory(const GameList& records, std::string_view category);
