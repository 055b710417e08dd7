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
    // Palette entries as RGB triples, and tRNS: alphas for a palette, or the
    // transparent grey sample.
    std::vector<uint8_t> palette{};
    std::vector<uint8_t> paletteAlpha{};
    std::vector<uint16_t> transparentKey{};
};

// Empty when libpng refuses the image or its rows.
std::vector<uint8_t> WritePng(const PngSpec& entry);

// An RGBA image whose pixel (x, y) is (x * 40, y * 40, 100, 50 + x + y).
std::vector<uint8_t> GradientRgbaPng(uint32_t width, uint32_t height, bool interlaced);

enum class JpegColor { Rgb, Gray, InvertedCmyk };

// A flat colour of the given size in baseline or progressive coding; `pixel`
// has one sample per component: RGB, gray or CMYK as given by color.
std::vector<uint8_t> SolidJpeg(uint32_t width, uint32_t height, const std::vector<uint8_t>& pixel,
                               bool progressive = false, JpegColor color = JpegColor::Rgb);

}  // namespace testimg
