// Decodes any input both as PNG and as JPEG, the way the client meets skin
// resources and downloaded icons.
#include <cstddef>
#include <cstdint>

#include "image/CxImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (uint32_t format : {CXIMAGE_FORMAT_PNG, CXIMAGE_FORMAT_JPG}) {
        CxImage image;
        if (image.Decode(data, size, format)) {
            // Touch the first and last pixel so a short buffer shows up.
            const uint8_t* pixels = image.Pixels();
            const size_t last = image.GetStride() * image.GetHeight() - 1;
            volatile uint8_t sink = pixels[0] ^ pixels[last];
            (void)sink;
            image.AlphaCreate();
            image.AlphaDelete();
        }
    }
    return 0;
}
