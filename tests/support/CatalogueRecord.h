// Catalogue records in the engine's file layout, for tests and benchmarks.
#pragma once

#include <array>
#include <cstdio>
#include <string>

#include "catalogue/CatalogueFile.h"

namespace testcat {

using Fields = std::array<std::string, kCatalogueFieldCount>;

// The header of widths, then the fields laid end to end.
inline std::string Record(const Fields& fields) {
    std::string header;
    std::string body;
    for (const std::string& field : fields) {
        char width[8];
        std::snprintf(width, sizeof width, "%4d", static_cast<int>(field.size()));
        header += width;
        body += field;
    }
    return header + body;
}

// A listed record with the members the client keeps.
inline std::string GameRecord(const std::string& package, const std::string& title,
                              const std::string& type = "1",
                              const std::string& categories = "Action") {
    Fields fields;
    fields[0] = package;
    fields[1] = title;
    fields[2] = type;
    fields[3] = categories;
    return Record(fields);
}

// Parses one record into records through the client's own parser, so that
// its texts are kept as the client keeps them, with its art under artDir.
// Returns the listed record; the type field must be above 0.
inline GameInfo& Add(GameList& records, const Fields& fields, const std::string& artDir = "") {
    const std::string record = Record(fields);
    ParseCatalogueBytes(record.data(), record.size(), artDir, records);
    return *CCatalogueIndex(records).Find(fields[0]);
}

}  // namespace testcat
