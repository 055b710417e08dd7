// Declared sizes beyond the limits are refused before any pixel is read;
// truncated and random damage is fuzz/fuzz_image.cpp's business.
#include <gtest/gtest.h>
#include <zlib.h>

#include <utility>
#include <vector>

#include "TestImages.h"
#include "image/CxImage.h"

namespace {

void PutBigEndian(std::vector<uint8_t>& bytes, size_t at, uint32_t value, int size) {
    for (int i = 0; i < size; ++i) {
        bytes[at + i] = static_cast<uint8_t>(value >> (8 * (size - 1 - i)));
    }
}

// Rewrites the declared size (and a PNG header's CRC, so that only the size
// check can refuse it).
std::vector<uint8_t> WithSize(std::vector<uint8_t> bytes, uint32_t format, uint32_t width,
                              uint32_t height) {
    if (format == CXIMAGE_FORMAT_PNG) {
        PutBigEndian(bytes, 16, width, 4);
        PutBigEndian(bytes, 20, height, 4);
        PutBigEndian(bytes, 29, static_cast<uint32_t>(crc32(0, bytes.data() + 12, 17)), 4);
        return bytes;
    }
    for (size_t i = 2; i + 9 < bytes.size(); ++i) {
        if (bytes[i] == 0xFF && (bytes[i + 1] == 0xC0 || bytes[i + 1] == 0xC2)) {
            PutBigEndian(bytes, i + 5, height, 2);
            PutBigEndian(bytes, i + 7, width, 2);
            return bytes;
        }
    }
    ADD_FAILURE() << "no frame header";
    return bytes;
}

TEST(HostileInput, SizesBeyondTheLimitsFail) {
    using Sizes = std::vector<std::pair<uint32_t, uint32_t>>;
    // 8192 x 8192 is within the limits but more than the input could inflate to.
    const Sizes pngSizes = {{100000, 1},
                            {1, CxImage::kMaxSide + 1},
                            {8192, 8192},
                            {CxImage::kMaxSide, CxImage::kMaxSide},
                            {0, 5}};
    // The last is allowed, but its data ends after the first blocks.
    const Sizes jpegSizes = {{16385, 1}, {16384, 16384}, {0, 8}, {4096, 4096}};
    const struct {
        std::vector<uint8_t> bytes;
        uint32_t format;
        const Sizes& sizes;
    } samples[] = {
        {testimg::GradientRgbaPng(5, 4, false), CXIMAGE_FORMAT_PNG, pngSizes},
        {testimg::SolidJpeg(16, 16, {30, 60, 90}, true), CXIMAGE_FORMAT_JPG, jpegSizes},
    };
    for (const auto& sample : samples) {
        SCOPED_TRACE(sample.format);
        CxImage image;
        ASSERT_TRUE(image.Decode(sample.bytes.data(), sample.bytes.size(), sample.format));
        const auto same =
            WithSize(sample.bytes, sample.format, image.GetWidth(), image.GetHeight());
        ASSERT_TRUE(image.Decode(same.data(), same.size(), sample.format)) << "its own size";
        for (const auto& [width, height] : sample.sizes) {
            const auto hostile = WithSize(sample.bytes, sample.format, width, height);
            EXPECT_FALSE(image.Decode(hostile.data(), hostile.size(), sample.format))
                << width << " x " << height;
        }
    }
}

// The size check weighs the declared rows against what the input could
// inflate to; a legitimately well-compressed file must still pass it.
TEST(HostileInput, HighlyCompressedPngStillDecodes) {
    testimg::PngSpec entry{.width = 2048, .height = 2048};
    entry.rows.assign(size_t{2048} * 2048, 0);
    const auto png = testimg::WritePng(entry);
    ASSERT_LT(png.size() * 500, entry.rows.size()) << "the sample should be compressed hard";
    CxImage image;
    EXPECT_TRUE(image.Decode(png.data(), png.size(), CXIMAGE_FORMAT_PNG));
}

}  // namespace
