// Damaged, truncated and hostile files must fail cleanly: run under ASan and
// UBSan, these also catch any read past the input or the pixel buffer.
#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <random>

#include "TestImages.h"
#include "image/CxImage.h"

namespace {

void PutBigEndian32(std::vector<uint8_t>* bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        (*bytes)[at + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
    }
}

// Rewrites the IHDR size of a PNG and its CRC, so only the size check can refuse it.
std::vector<uint8_t> WithPngSize(std::vector<uint8_t> png, uint32_t width, uint32_t height) {
    PutBigEndian32(&png, 16, width);
    PutBigEndian32(&png, 20, height);
    PutBigEndian32(&png, 29, static_cast<uint32_t>(crc32(0, png.data() + 12, 17)));
    return png;
}

std::vector<uint8_t> WithJpegSize(std::vector<uint8_t> jpg, uint16_t width, uint16_t height) {
    for (size_t i = 2; i + 9 < jpg.size(); ++i) {
        if (jpg[i] == 0xFF && (jpg[i + 1] == 0xC0 || jpg[i + 1] == 0xC2)) {
            jpg[i + 5] = static_cast<uint8_t>(height >> 8);
            jpg[i + 6] = static_cast<uint8_t>(height);
            jpg[i + 7] = static_cast<uint8_t>(width >> 8);
            jpg[i + 8] = static_cast<uint8_t>(width);
            return jpg;
        }
    }
    ADD_FAILURE() << "no frame header";
    return jpg;
}

struct Sample {
    const char* name;
    std::vector<uint8_t> bytes;
    uint32_t format;
};

std::vector<Sample> Samples() {
    return {
        {"png", testimg::GradientRgbaPng(5, 4, false), CXIMAGE_FORMAT_PNG},
        {"interlaced png", testimg::GradientRgbaPng(9, 9, true), CXIMAGE_FORMAT_PNG},
        {"baseline jpeg", testimg::SolidJpeg(16, 16, 30, 60, 90, false), CXIMAGE_FORMAT_JPG},
        {"progressive jpeg", testimg::SolidJpeg(16, 16, 30, 60, 90, true), CXIMAGE_FORMAT_JPG},
    };
}

TEST(DamagedInput, EveryProperPrefixFails) {
    for (const Sample& sample : Samples()) {
        SCOPED_TRACE(sample.name);
        CxImage image;
        ASSERT_TRUE(image.Decode(sample.bytes.data(), sample.bytes.size(), sample.format));
        for (size_t length = 0; length < sample.bytes.size(); ++length) {
            // A copy of exactly this length, so ASan sees any read past it.
            const std::vector<uint8_t> prefix(sample.bytes.begin(), sample.bytes.begin() + length);
            EXPECT_FALSE(image.Decode(prefix.data(), prefix.size(), sample.format))
                << "prefix of " << length << " bytes";
            EXPECT_FALSE(image.IsValid());
        }
    }
}

TEST(DamagedInput, RandomByteChangesNeverCrash) {
    std::mt19937 random(20240611);
    for (const Sample& sample : Samples()) {
        SCOPED_TRACE(sample.name);
        int decoded = 0;
        for (int round = 0; round < 1500; ++round) {
            std::vector<uint8_t> bytes = sample.bytes;
            const int changes = 1 + static_cast<int>(random() % 4);
            for (int i = 0; i < changes; ++i) {
                bytes[random() % bytes.size()] = static_cast<uint8_t>(random());
            }
            if (round % 3 == 0) {
                bytes.resize(bytes.size() - random() % bytes.size());
            }
            CxImage image;
            const bool ok = image.Decode(bytes.data(), bytes.size(), sample.format);
            ASSERT_EQ(ok, image.IsValid());
            if (ok) {
                ++decoded;
                ASSERT_NE(image.Pixels(), nullptr);
                ASSERT_LE(uint64_t{image.GetWidth()} * image.GetHeight() * 4,
                          CxImage::kMaxPixelBytes);
            }
        }
        // Changes in ancillary bytes or entropy data may still decode; most must not.
        EXPECT_LT(decoded, 1500);
    }
}

TEST(HostileInput, PngSizesBeyondTheLimitsAreRefused) {
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
            << width << " x " << height;
    }
}

// The size check weighs the declared rows against what the input could
// inflate to; a legitimately well-compressed file must still pass it.
TEST(HostileInput, HighlyCompressedPngStillDecodes) {
    testimg::PngSpec entry;
    entry.width = 2048;
    entry.height = 2048;
    entry.rows.assign(size_t{2048} * 2048, 0);
    const auto png = testimg::WritePng(entry);
    ASSERT_LT(png.size() * 500, entry.rows.size()) << "the sample should be compressed hard";
    CxImage image;
    ASSERT_TRUE(image.Decode(png.data(), png.size(), CXIMAGE_FORMAT_PNG));
    EXPECT_EQ(image.GetWidth(), 2048u);
}

TEST(HostileInput, JpegSizesBeyondTheLimitsAreRefused) {
    for (bool progressive : {false, true}) {
        const auto jpg = testimg::SolidJpeg(8, 8, 1, 2, 3, progressive);
        CxImage image;
        for (auto [width, height] :
             {std::pair<uint16_t, uint16_t>{65000, 65000}, {16385, 1}, {16384, 16384}, {0, 8}}) {
            const auto hostile = WithJpegSize(jpg, width, height);
            EXPECT_FALSE(image.Decode(hostile.data(), hostile.size(), CXIMAGE_FORMAT_JPG))
                << width << " x " << height;
        }
        // Allowed, but the data ends after the first blocks.
        const auto large = WithJpegSize(jpg, 4096, 4096);
        EXPECT_FALSE(image.Decode(large.data(), large.size(), CXIMAGE_FORMAT_JPG));
    }
}

}  // namespace
