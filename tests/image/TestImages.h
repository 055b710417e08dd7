// Small PNG and JPEG files written in memory with libpng and libjpeg, so the
// tests control every colour type, depth and coding mode.
#pragma once

#include <cstdint>
#include <vector>

namespace testimg {

struct PngSpec {
    uint32_t width = 1;
    uint32_t height = 1;
    int colorType = 0;  // PNG_COLOR_TYPE_*
    int bitDepth = 8;
    bool interlaced = false;
    // Rows packed as the PNG stores them (big-endian 16-bit samples).
    std::vector<uint8_t> rows{};
    // Palette entries as RGB triples, and tRNS: alphas for a palette, or one
    // key sample (gray) or three (RGB) in 16 bits each.
    std::vector<uint8_t> palette{};
    std::vector<uint8_t> paletteAlpha{};
    std::vector<uint16_t> transparentKey{};
};

std::vector<uint8_t> WritePng(const PngSpec& entry);

// An RGBA image whose pixel (x, y) is (x * 40, y * 40, 100, 50 + x + y).
std::vector<uint8_t> GradientRgbaPng(uint32_t width, uint32_t height, bool interlaced);

enum class JpegColor { Rgb, Gray, InvertedCmyk };

struct JpegSpec {
    uint32_t width = 8;
    uint32_t height = 8;
    JpegColor color = JpegColor::Rgb;
    bool progressive = false;
    // One sample per component and pixel: RGB, gray or CMYK as given by color.
    std::vector<uint8_t> samples{};
};

std::vector<uint8_t> WriteJpeg(const JpegSpec& entry);

// A flat colour of the given size in baseline or progressive coding.
std::vector<uint8_t> SolidJpeg(uint32_t width, uint32_t height, uint8_t r, uint8_t g, uint8_t b,
                               bool progressive);

}  // namespace testimg
