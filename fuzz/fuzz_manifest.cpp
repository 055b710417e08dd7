// Reads any input as a manifest: as it stands, which must be refused since it
// carries no signature of the key, and as the signed part of one, which is
// where a hostile manifest that verified would land. Never a crash; an
// accepted manifest has exactly one block hash per block.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "trust/ManifestBody.h"
#include "trust/PackageManifest.h"

namespace {

const hv::SigningKey& Key() {
    static const hv::SigningKey key = *hv::NewSigningKey();
    return key;
}

void Check(const std::optional<hv::PackageManifest>& opened) {
    if (opened &&
        opened->blocks.size() != (opened->size + opened->blockSize - 1) / opened->blockSize) {
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (hv::OpenManifest(text, Key().publicPem)) {
        __builtin_trap();
    }
    std::string why;
    Check(hv::ReadManifestBody(text, &why));
    return 0;
}
