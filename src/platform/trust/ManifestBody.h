// The fields of a manifest's signed part, read strictly. OpenManifest hands it
// a text only once the signature verified; nothing else may trust what it
// returns. The fuzz target reads any text with it directly: signing every
// input first would slow it a thousandfold.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "trust/PackageManifest.h"

namespace hv {

std::optional<PackageManifest> ReadManifestBody(std::string_view body, std::string* error);

}  // namespace hv
