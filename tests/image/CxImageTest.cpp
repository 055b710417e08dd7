#include "image/CxImage.h"

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <array>

#include "../support/TestFiles.h"
#include "TestImages.h"

namespace {

using Rgba = std::array<int, 4>;

Rgba PixelAt(const CxImage& image, uint32_t x, uint32_t y) {
    const uint8_t* p = image.Pixels() + y * image.GetStride() + x * 4;
    return {p[0], p[1], p[2], p[3]};
}

bool DecodeBytes(CxImage* image, const std::vector<uint8_t>& bytes, uint32_t format) {
    return image->Decode(bytes.data(), bytes.size(), format);
}

TEST(PngDecode, RgbaKeepsEveryChannelInterlacedOrNot) {
    for (const bool interlaced : {false, true}) {
        SCOPED_TRACE(interlaced ? "interlaced" : "plain");
        CxImage image;
        ASSERT_TRUE(
            DecodeBytes(&image, testimg::GradientRgbaPng(7, 5, interlaced), CXIMAGE_FORMAT_PNG));
        EXPECT_EQ(image.GetWidth(), 7u);
        EXPECT_EQ(image.GetHeight(), 5u);
        EXPECT_EQ(image.GetType(), uint32_t{CXIMAGE_FORMAT_PNG});
        EXPECT_TRUE(image.AlphaIsValid());
        for (int y = 0; y < 5; ++y) {
            for (int x = 0; x < 7; ++x) {
                EXPECT_EQ(PixelAt(image, x, y), (Rgba{x * 40, y * 40, 100, 50 + x + y}))
                    << x << ", " << y;
            }
        }
    }
}

TEST(PngDecode, EveryColourTypeBecomesRgba) {
    const testimg::PngSpec palette{.width = 4,
                                   .colorType = PNG_COLOR_TYPE_PALETTE,
                                   .bitDepth = 4,
                                   .rows = {0x01, 0x22},
                                   .palette = {255, 0, 0, 0, 255, 0, 0, 0, 255}};
    testimg::PngSpec paletteAlpha = palette;
    paletteAlpha.paletteAlpha = {0, 128};
    // Alpha is valid exactly where some pixel is not opaque.
    const struct {
        const char* name;
        testimg::PngSpec png;
        std::vector<Rgba> row;  // the first pixels of row 0
    } cases[] = {
        {"rgb",
         {.width = 2, .colorType = PNG_COLOR_TYPE_RGB, .rows = {10, 20, 30, 200, 210, 220}},
         {{10, 20, 30, 255}, {200, 210, 220, 255}}},
        {"1-bit grey",
         {.width = 3, .bitDepth = 1, .rows = {0b10100000}},
         {{255, 255, 255, 255}, {0, 0, 0, 255}, {255, 255, 255, 255}}},
        {"grey and alpha",
         {.colorType = PNG_COLOR_TYPE_GRAY_ALPHA, .rows = {0x40, 0x80}},
         {{0x40, 0x40, 0x40, 0x80}}},
        {"grey with a transparent key",
         {.width = 2, .rows = {7, 9}, .transparentKey = {9}},
         {{7, 7, 7, 255}, {9, 9, 9, 0}}},
        {"16-bit rgba",
         {.colorType = PNG_COLOR_TYPE_RGB_ALPHA,
          .bitDepth = 16,
          .rows = {255, 255, 128, 128, 0, 0, 51, 51}},
         {{255, 128, 0, 51}}},
        {"palette", palette, {{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}}},
        {"palette with alphas for its first entries",
         paletteAlpha,
         {{255, 0, 0, 0}, {0, 255, 0, 128}, {0, 0, 255, 255}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CxImage image;
        ASSERT_TRUE(DecodeBytes(&image, testimg::WritePng(c.png), CXIMAGE_FORMAT_PNG));
        EXPECT_EQ(image.AlphaIsValid(),
                  std::ranges::any_of(c.row, [](const Rgba& p) { return p[3] != 255; }));
        for (uint32_t x = 0; x < c.row.size(); ++x) {
            EXPECT_EQ(PixelAt(image, x, 0), c.row[x]) << "pixel " << x;
        }
    }
}

TEST(JpegDecode, EveryCodingAndColourSpaceBecomesOpaqueRgb) {
    using testimg::JpegColor;
    const struct {
        const char* name;
        std::vector<uint8_t> pixel;
        bool progressive;
        JpegColor color;
        Rgba colour;
    } cases[] = {
        {"baseline", {200, 40, 90}, false, JpegColor::Rgb, {200, 40, 90, 255}},
        {"progressive", {200, 40, 90}, true, JpegColor::Rgb, {200, 40, 90, 255}},
        {"grey", {77}, false, JpegColor::Gray, {77, 77, 77, 255}},
        // Adobe CMYK stores 255 for no ink: this is full magenta and yellow, i.e. red.
        {"inverted cmyk", {255, 0, 0, 255}, false, JpegColor::InvertedCmyk, {255, 0, 0, 255}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CxImage image;
        ASSERT_TRUE(DecodeBytes(&image, testimg::SolidJpeg(17, 9, c.pixel, c.progressive, c.color),
                                CXIMAGE_FORMAT_JPG));
        EXPECT_EQ(image.GetWidth(), 17u);
        EXPECT_EQ(image.GetHeight(), 9u);
        EXPECT_FALSE(image.AlphaIsValid());
        for (const Rgba& p : {PixelAt(image, 0, 0), PixelAt(image, 16, 8)}) {
            for (int i = 0; i < 4; ++i) {
                EXPECT_NEAR(p[i], c.colour[i], i < 3 ? 4 : 0) << "channel " << i;
            }
        }
    }
}

TEST(Decode, FormatIsTakenFromTheSignatureOnlyWhenUnknown) {
    const auto png = testimg::GradientRgbaPng(2, 2, false);
    const auto jpg = testimg::SolidJpeg(8, 8, {1, 2, 3});
    CxImage image;
    EXPECT_TRUE(DecodeBytes(&image, png, CXIMAGE_FORMAT_UNKNOWN));
    EXPECT_EQ(image.GetType(), uint32_t{CXIMAGE_FORMAT_PNG});
    EXPECT_TRUE(DecodeBytes(&image, jpg, CXIMAGE_FORMAT_UNKNOWN));
    EXPECT_EQ(image.GetType(), uint32_t{CXIMAGE_FORMAT_JPG});

    // A failed decode leaves the image empty.
    EXPECT_FALSE(DecodeBytes(&image, png, CXIMAGE_FORMAT_JPG));
    EXPECT_FALSE(image.IsValid());
    EXPECT_EQ(image.GetWidth(), 0u);
    EXPECT_FALSE(DecodeBytes(&image, jpg, CXIMAGE_FORMAT_PNG));
    EXPECT_FALSE(DecodeBytes(&image, png, 77));
    EXPECT_FALSE(image.Decode(nullptr, 0, CXIMAGE_FORMAT_PNG));
}

TEST(Alpha, CopyIsDeepAndKeepsTheAlphaStateAndDeleteMakesTheImageOpaque) {
    CxImage image;
    ASSERT_TRUE(DecodeBytes(&image, testimg::GradientRgbaPng(2, 2, false), CXIMAGE_FORMAT_PNG));
    image.AlphaSetMax(42);
    CxImage copy(image);
    copy.Pixels()[0] = 99;
    EXPECT_EQ(PixelAt(image, 0, 0)[0], 0);
    EXPECT_TRUE(copy.AlphaIsValid());
    EXPECT_EQ(copy.AlphaGetMax(), 42);
    EXPECT_EQ(copy.GetWidth(), 2u);
    image.AlphaDelete();
    EXPECT_FALSE(image.AlphaIsValid());
    EXPECT_EQ(PixelAt(image, 1, 1), (Rgba{40, 40, 100, 255}));
}

bool FakeResources(std::string_view type, unsigned id, std::vector<uint8_t>* out) {
    if (type == "PNG" && id == 277) {
        *out = testimg::GradientRgbaPng(4, 3, false);
        return true;
    }
    return false;
}

TEST(Load, ResourcesByTypeAndNumberAndFilesThatExist) {
    CxImage image;
    EXPECT_FALSE(image.LoadResource("PNG", 277, CXIMAGE_FORMAT_PNG)) << "no loader registered";
    CxImage::SetResourceLoader(FakeResources);
    EXPECT_TRUE(image.LoadResource("PNG", 277, CXIMAGE_FORMAT_PNG));
    EXPECT_EQ(image.GetWidth(), 4u);
    EXPECT_FALSE(image.LoadResource("PNG", 278, CXIMAGE_FORMAT_PNG));
    EXPECT_FALSE(image.IsValid());
    CxImage::SetResourceLoader(nullptr);

    const hvtest::TempDir dir;
    const auto jpg = testimg::SolidJpeg(24, 16, {0, 128, 255}, true);
    const auto path = dir.Path() / "a.jpg";
    hvtest::WriteFile(path, std::string(jpg.begin(), jpg.end()));
    EXPECT_TRUE(image.Load(path.string(), CXIMAGE_FORMAT_JPG));
    EXPECT_EQ(image.GetWidth(), 24u);
    std::filesystem::remove(path);
    EXPECT_FALSE(image.Load(path.string(), CXIMAGE_FORMAT_JPG));
    EXPECT_FALSE(image.IsValid());
}

}  // namespace
