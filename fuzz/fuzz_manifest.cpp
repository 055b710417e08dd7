// Reads any input as a manifest twice: as it stands, which is refused unless
// it carries a good signature, and signed with the key, so that every input
// also reaches the parser behind the signature check. Never a crash; an
// accepted manifest has exactly one block hash per block.
#include <cstddef>
#include <cstdint>
#include <string>

#include "trust/PackageManifest.h"

namespace {

const hv::SigningKey& Key() {
    static const hv::SigningKey key = *hv::NewSigningKey();
    return key;
}

void Check(const std::string& text) {
    const auto opened = hv::OpenManifest(text, Key().publicPem);
    if (opened &&
        opened->blocks.size() != (opened->size + opened->blockSize - 1) / opened->blockSize) {
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    Check(text);
    Check(hv::SignText(text, Key().privatePem));
    return 0;
}
