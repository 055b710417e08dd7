// Truncated and hostile files must fail cleanly; run under ASan and UBSan,
// these also catch any read past the input or the pixel buffer. Random
// damage is fuzz/fuzz_image.cpp's business.
#include <gtest/gtest.h>
#include <zlib.h>

#include "TestImages.h"
#include "image/CxImage.h"

namespace {

void PutBigEndian(std::vector<uint8_t>* bytes, size_t at, uint32_t value, int size) {
    for (int i = 0; i < size; ++i) {
        (*bytes)[at + i] = static_cast<uint8_t>(value >> (8 * (size - 1 - i)));
    }
}

// Rewrites the IHDR size of a PNG and its CRC, so only the size check can refuse it.
std::vector<uint8_t> WithPngSize(std::vector<uint8_t> png, uint32_t width, uint32_t height) {
    PutBigEndian(&png, 16, width, 4);
    PutBigEndian(&png, 20, height, 4);
    PutBigEndian(&png, 29, static_cast<uint32_t>(crc32(0, png.data() + 12, 17)), 4);
    return png;
}

std::vector<uint8_t> WithJpegSize(std::vector<uint8_t> jpg, uint16_t width, uint16_t height) {
    for (size_t i = 2; i + 9 < jpg.size(); ++i) {
        if (jpg[i] == 0xFF && (jpg[i + 1] == 0xC0 || jpg[i + 1] == 0xC2)) {
            PutBigEndian(&jpg, i + 5, height, 2);
            PutBigEndian(&jpg, i + 7, width, 2);
            return jpg;
        }
    }
    ADD_FAILURE() << "no frame header";
    return jpg;
}

TEST(DamagedInput, EveryProperPrefixFails) {
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
        uint32_t format;
    } samples[] = {
        {"png", testimg::GradientRgbaPng(5, 4, false), CXIMAGE_FORMAT_PNG},
        {"interlaced png", testimg::GradientRgbaPng(9, 9, true), CXIMAGE_FORMAT_PNG},
        {"baseline jpeg", testimg::SolidJpeg(16, 16, 30, 60, 90, false), CXIMAGE_FORMAT_JPG},
        {"progressive jpeg", testimg::SolidJpeg(16, 16, 30, 60, 90, true), CXIMAGE_FORMAT_JPG},
    };
    for (const auto& sample : samples) {
        CxImage image;
        ASSERT_TRUE(image.Decode(sample.bytes.data(), sample.bytes.size(), sample.format))
            << sample.name;
        for (size_t length = 0; length < sample.bytes.size(); ++length) {
            // A copy of exactly this length, so ASan sees any read past it.
            const std::vector<uint8_t> prefix(sample.bytes.begin(), sample.bytes.begin() + length);
            EXPECT_FALSE(image.Decode(prefix.data(), prefix.size(), sample.format))
                << sample.name << ", first " << length << " bytes";
        }
    }
}

TEST(HostileInput, SizesBeyondTheLimitsAreRefused) {
    const auto png = testimg::GradientRgbaPng(2, 2, false);
    CxImage image;
    ASSERT_TRUE(image.Decode(WithPngSize(png, 2, 2).data(), png.size(), CXIMAGE_FORMAT_PNG));
    for (auto [width, height] : {std::pair<uint32_t, uint32_t>{100000, 1},
                                 {1, CxImage::kMaxSide + 1},
                                 {CxImage::kMaxSide, CxImage::kMaxSide},
                                 {8192, 8192},
                                 {0x7FFFFFFF, 0x7FFFFFFF},
                                 {0, 5}}) {
        const auto hostile = WithPngSize(png, width, height);
        EXPECT_FALSE(image.Decode(hostile.data(), hostile.size(), CXIMAGE_FORMAT_PNG))
            << "png " << width << " x " << height;
    }
    for (const bool progressive : {false, true}) {
        const auto jpg = testimg::SolidJpeg(8, 8, 1, 2, 3, progressive);
        // The last is allowed, but its data ends after the first blocks.
        for (auto [width, height] : {std::pair<uint16_t, uint16_t>{65000, 65000},
                                     {16385, 1},
                                     {16384, 16384},
                                     {0, 8},
                                     {4096, 4096}}) {
            const auto hostile = WithJpegSize(jpg, width, height);
            EXPECT_FALSE(image.Decode(hostile.data(), hostile.size(), CXIMAGE_FORMAT_JPG))
                << (progressive ? "progressive " : "baseline ") << width << " x " << height;
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
