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

}  // namespace testcat
