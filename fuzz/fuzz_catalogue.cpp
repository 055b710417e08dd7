// Parses any input as a catalogue file, twice into the same list, the way the
// client meets a catalogue that the engine rewrites.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "catalogue/CatalogueFile.h"
#include "catalogue/CategoryListing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    GameList records;
    size_t names = 0;
    const CategorySink count = [&names](std::string_view) { ++names; };
    ParseCatalogueBytes(bytes, size, "art/", records, count);
    const size_t first = records.size();
    ParseCatalogueBytes(bytes, size, "art/", records, count);
    // The same packages again merge into the records already listed.
    if (records.size() != first) {
        __builtin_trap();
    }
    // Pairing walks whatever keys the input made up.
    ListCategory(records, "All");
    return 0;
}
