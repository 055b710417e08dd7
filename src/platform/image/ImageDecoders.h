// The decoders under CxImage. Each one fills a DecodedImage (RGBA, stride
// width * 4) or returns false and leaves it untouched.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "image/CxImage.h"

namespace hv::image {

struct DecodedImage {
    std::unique_ptr<uint8_t[]> pixels;
    uint32_t width = 0;
    uint32_t height = 0;
    bool hasAlpha = false;
};

// Whether an RGBA image of this size may be allocated at all.
bool SizeAllowed(uint64_t width, uint64_t height);
// An uninitialised RGBA buffer for an allowed size, or null.
std::unique_ptr<uint8_t[]> AllocatePixels(uint32_t width, uint32_t height);

bool DecodePng(const uint8_t* data, size_t size, DecodedImage* out);
// With fitSide, decodes at the smallest of libjpeg's eighth scales that still
// covers a fit within fitSide x fitSide, so a large picture is never decoded
// whole only to be shrunk.
bool DecodeJpeg(const uint8_t* data, size_t size, DecodedImage* out, uint32_t fitSide = 0);

// The size that fits within maxSide x maxSide with the aspect kept; the
// size itself when it already fits.
void FitSize(uint32_t width, uint32_t height, uint32_t maxSide, uint32_t* fitWidth,
             uint32_t* fitHeight);
// Shrinks the image by area averaging to fit within maxSide x maxSide.
bool ShrinkToFit(DecodedImage* image, uint32_t maxSide);

}  // namespace hv::image
