#include "image/CxImage.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <utility>

#include <unistd.h>

#include "TestImages.h"

namespace {

struct Rgba {
    int r, g, b, a;
    bool operator==(const Rgba&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Rgba& p) {
    return os << "(" << p.r << ", " << p.g << ", " << p.b << ", " << p.a << ")";
}

Rgba PixelAt(const CxImage& image, uint32_t x, uint32_t y) {
    const uint8_t* p = image.Pixels() + y * image.GetStride() + x * 4;
    return {p[0], p[1], p[2], p[3]};
}

void ExpectNear(const Rgba& actual, const Rgba& expected, int tolerance) {
    EXPECT_NEAR(actual.r, expected.r, tolerance) << actual;
    EXPECT_NEAR(actual.g, expected.g, tolerance) << actual;
    EXPECT_NEAR(actual.b, expected.b, tolerance) << actual;
    EXPECT_EQ(actual.a, expected.a) << actual;
}

bool DecodeBytes(CxImage* image, const std::vector<uint8_t>& bytes, uint32_t format) {
    return image->Decode(bytes.data(), bytes.size(), format);
}

TEST(PngDecode, RgbaKeepsEveryChannel) {
    CxImage image;
    ASSERT_TRUE(DecodeBytes(&image, testimg::GradientRgbaPng(3, 2, false), CXIMAGE_FORMAT_PNG));
    EXPECT_TRUE(image.IsValid());
    EXPECT_EQ(image.GetWidth(), 3u);
    EXPECT_EQ(image.GetHeight(), 2u);
    EXPECT_EQ(image.GetStride(), 12u);
    EXPECT_EQ(image.GetType(), uint32_t{CXIMAGE_FORMAT_PNG});
    EXPECT_TRUE(image.AlphaIsValid());
    EXPECT_EQ(PixelAt(image, 0, 0), (Rgba{0, 0, 100, 50}));
    EXPECT_EQ(PixelAt(image, 2, 1), (Rgba{80, 40, 100, 53}));
}

TEST(PngDecode, InterlacedGivesTheSamePixels) {
    CxImage plain, interlaced;
    ASSERT_TRUE(DecodeBytes(&plain, testimg::GradientRgbaPng(7, 5, false), CXIMAGE_FORMAT_PNG));
    ASSERT_TRUE(DecodeBytes(&interlaced, testimg::GradientRgbaPng(7, 5, true), CXIMAGE_FORMAT_PNG));
    ASSERT_EQ(interlaced.GetWidth(), 7u);
    ASSERT_EQ(interlaced.GetHeight(), 5u);
    EXPECT_EQ(0, std::memcmp(plain.Pixels(), interlaced.Pixels(), 7 * 5 * 4));
}

TEST(PngDecode, RgbWithoutAlphaIsOpaque) {
    testimg::PngSpec entry;
    entry.width = 2;
    entry.colorType = PNG_COLOR_TYPE_RGB;
    entry.rows = {10, 20, 30, 200, 210, 220};
    CxImage image;
    ASSERT_TRUE(DecodeBytes(&image, testimg::WritePng(entry), CXIMAGE_FORMAT_PNG));
    EXPECT_FALSE(image.AlphaIsValid());
    EXPECT_EQ(PixelAt(image, 0, 0), (Rgba{10, 20, 30, 255}));
    EXPECT_EQ(PixelAt(image, 1, 0), (Rgba{200, 210, 220, 255}));
}

TEST(PngDecode, GreyDepthsExpandToRgb) {
    testimg::PngSpec grey8;
    grey8.width = 2;
    grey8.rows = {0x11, 0xEE};
    CxImage image;
    ASSERT_TRUE(DecodeBytes(&image, testimg::WritePng(grey8), CXIMAGE_FORMAT_PNG));
    EXPECT_EQ(PixelAt(image, 0, 0), (Rgba{0x11, 0x11, 0x11, 255}));
    EXPECT_EQ(PixelAt(image, 1, 0), (Rgba{0xEE, 0xEE, 0xEE, 255}));

    testimg::PngSpec grey1;
    grey1.width = 3;
    grey1.bitDepth = 1;
    grey1.rows = {0b10100000};
    ASSERT_TRUE(DecodeBytes(&image, testimg::WritePng(grey1), CXIMAGE_FORMAT_PNG));
    EXPECT_EQ(PixelAt(image, 0, 0), (Rgba{255, 255, 255, 255}));
    EXPECT_EQ(PixelAt(image, 1, 0), (Rgba{0, 0, 0, 255}));
    EXPECT_EQ(PixelAt(image, 2, 0), (Rgba{255, 255, 255, 255}));

    testimg::PngSpec greyAlpha;
    greyAlpha.colorType = PNG_COLOR_TYPE_GRAY_ALPHA;
    greyAlpha.rows = {0x40, 0x80};
    ASSERT_TRUE(DecodeBytes(&image, testimg::WritePng(greyAlpha), CXIMAGE_FORMAT_PNG));
    EXPECT_TRUE(image.AlphaIsValid());
    EXPECT_EQ(PixelAt(image, 0, 0), (Rgba{0x40, 0x40, 0x40, 0x80}));
}

TEST(PngDecode, GreyKeyBecomesTransparent) {
    testimg::PngSpec entry;
    entry.width = 2;
    entry.rows = {7, 9};
    entry.transparentKey = {9};
    CxImage image;
    ASSERT_TRUE(DecodeBytes(&image, testimg::WritePng(entry), CXIMAGE_FORMAT_PNG));
    EXPECT_TRUE(image.AlphaIsValid());
    EXPECT_EQ(PixelAt(image, 0, 0).a, 255);
    EXPECT_EQ(PixelAt(image, 1, 0).a, 0);
}

TEST(PngDecode, SixteenBitSamplesScaleToEight) {
    testimg::PngSpec entry;
    entry.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
    entry.bitDepth = 16;
    entry.rows = {0xFF, 0xFF, 0x80, 0x80, 0x00, 0x00, 0x33, 0x33};
    CxImage image;
    ASSERT_TRUE(DecodeBytes(&image, testimg::WritePng(entry), CXIMAGE_FORMAT_PNG));
    EXPECT_EQ(PixelAt(image, 0, 0), (Rgba{255, 128, 0, 0x33}));
}

TEST(PngDecode, PaletteWithAndWithoutTransparency) {
    testimg::PngSpec entry;
    entry.width = 4;
    entry.colorType = PNG_COLOR_TYPE_PALETTE;
    entry.bitDepth = 4;
    entry.palette = {255, 0, 0, 0, 255, 0, 0, 0, 255};
    entry.rows = {0x01, 0x22};
    CxImage image;
    ASSERT_TRUE(DecodeBytes(&image, testimg::WritePng(entry), CXIMAGE_FORMAT_PNG));
    EXPECT_FALSE(image.AlphaIsValid());
    EXPECT_EQ(PixelAt(image, 0, 0), (Rgba{255, 0, 0, 255}));
    EXPECT_EQ(PixelAt(image, 1, 0), (Rgba{0, 255, 0, 255}));
    EXPECT_EQ(PixelAt(image, 3, 0), (Rgba{0, 0, 255, 255}));

    entry.paletteAlpha = {0, 128};
    ASSERT_TRUE(DecodeBytes(&image, testimg::WritePng(entry), CXIMAGE_FORMAT_PNG));
    EXPECT_TRUE(image.AlphaIsValid());
    EXPECT_EQ(PixelAt(image, 0, 0), (Rgba{255, 0, 0, 0}));
    EXPECT_EQ(PixelAt(image, 1, 0), (Rgba{0, 255, 0, 128}));
    EXPECT_EQ(PixelAt(image, 2, 0), (Rgba{0, 0, 255, 255}));
}

TEST(JpegDecode, BaselineAndProgressiveColour) {
    for (bool progressive : {false, true}) {
        SCOPED_TRACE(progressive ? "progressive" : "baseline");
        CxImage image;
        ASSERT_TRUE(DecodeBytes(&image, testimg::SolidJpeg(17, 9, 200, 40, 90, progressive),
                                CXIMAGE_FORMAT_JPG));
        EXPECT_EQ(image.GetWidth(), 17u);
        EXPECT_EQ(image.GetHeight(), 9u);
        EXPECT_EQ(image.GetType(), uint32_t{CXIMAGE_FORMAT_JPG});
        EXPECT_FALSE(image.AlphaIsValid());
        ExpectNear(PixelAt(image, 0, 0), {200, 40, 90, 255}, 4);
        ExpectNear(PixelAt(image, 16, 8), {200, 40, 90, 255}, 4);
    }
}

TEST(JpegDecode, GreyAndCmykBecomeRgb) {
    testimg::JpegSpec grey;
    grey.color = testimg::JpegColor::Gray;
    grey.samples.assign(64, 77);
    CxImage image;
    ASSERT_TRUE(DecodeBytes(&image, testimg::WriteJpeg(grey), CXIMAGE_FORMAT_JPG));
    ExpectNear(PixelAt(image, 3, 3), {77, 77, 77, 255}, 2);

    // Adobe CMYK stores 255 for no ink: this is full magenta and yellow, i.e. red.
    testimg::JpegSpec cmyk;
    cmyk.color = testimg::JpegColor::InvertedCmyk;
    for (int i = 0; i < 64; ++i) {
        cmyk.samples.insert(cmyk.samples.end(), {255, 0, 0, 255});
    }
    ASSERT_TRUE(DecodeBytes(&image, testimg::WriteJpeg(cmyk), CXIMAGE_FORMAT_JPG));
    ExpectNear(PixelAt(image, 4, 4), {255, 0, 0, 255}, 4);
}

TEST(Decode, FormatIsTakenFromTheSignatureOnlyWhenUnknown) {
    const auto png = testimg::GradientRgbaPng(2, 2, false);
    const auto jpg = testimg::SolidJpeg(8, 8, 1, 2, 3, false);
    CxImage image;
    EXPECT_TRUE(DecodeBytes(&image, png, CXIMAGE_FORMAT_UNKNOWN));
    EXPECT_EQ(image.GetType(), uint32_t{CXIMAGE_FORMAT_PNG});
    EXPECT_TRUE(DecodeBytes(&image, jpg, CXIMAGE_FORMAT_UNKNOWN));
    EXPECT_EQ(image.GetType(), uint32_t{CXIMAGE_FORMAT_JPG});

    EXPECT_FALSE(DecodeBytes(&image, png, CXIMAGE_FORMAT_JPG));
    EXPECT_FALSE(image.IsValid());
    EXPECT_FALSE(DecodeBytes(&image, jpg, CXIMAGE_FORMAT_PNG));
    EXPECT_FALSE(DecodeBytes(&image, png, 77));
    EXPECT_FALSE(image.Decode(nullptr, 0, CXIMAGE_FORMAT_PNG));
}

TEST(Alpha, CreateSetMaxAndDeleteOnAnOpaqueImage) {
    CxImage image;
    image.AlphaCreate();
    EXPECT_FALSE(image.AlphaIsValid()) << "an empty image gets no alpha";

    ASSERT_TRUE(image.Create(2, 1, false));
    image.AlphaCreate();
    EXPECT_TRUE(image.AlphaIsValid());
    EXPECT_EQ(PixelAt(image, 0, 0).a, 255);
    EXPECT_EQ(PixelAt(image, 1, 0).a, 255);

    image.AlphaSetMax(90);
    EXPECT_EQ(image.AlphaGetMax(), 90);
    EXPECT_EQ(PixelAt(image, 0, 0).a, 255) << "the maximum applies when drawing";

    image.AlphaDelete();
    EXPECT_FALSE(image.AlphaIsValid());
    image.AlphaSetMax(255);
    EXPECT_EQ(image.AlphaGetMax(), 255);
}

TEST(Alpha, DeleteMakesADecodedAlphaImageOpaque) {
    CxImage image;
    ASSERT_TRUE(DecodeBytes(&image, testimg::GradientRgbaPng(2, 2, false), CXIMAGE_FORMAT_PNG));
    image.AlphaDelete();
    EXPECT_FALSE(image.AlphaIsValid());
    EXPECT_EQ(PixelAt(image, 1, 1), (Rgba{40, 40, 100, 255}));
    image.AlphaCreate();
    EXPECT_EQ(PixelAt(image, 1, 1).a, 255);
}

TEST(Alpha, FailedDecodeClearsTheImage) {
    CxImage image;
    ASSERT_TRUE(DecodeBytes(&image, testimg::GradientRgbaPng(2, 2, false), CXIMAGE_FORMAT_PNG));
    const uint8_t junk[] = {1, 2, 3};
    EXPECT_FALSE(image.Decode(junk, sizeof junk, CXIMAGE_FORMAT_PNG));
    EXPECT_FALSE(image.IsValid());
    EXPECT_FALSE(image.AlphaIsValid());
    EXPECT_EQ(image.GetWidth(), 0u);
    EXPECT_EQ(image.Pixels(), nullptr);
}

TEST(Copy, IsDeepAndKeepsAlphaState) {
    CxImage image;
    ASSERT_TRUE(DecodeBytes(&image, testimg::GradientRgbaPng(2, 2, false), CXIMAGE_FORMAT_PNG));
    image.AlphaSetMax(42);
    CxImage copy(image);
    copy.Pixels()[0] = 99;
    EXPECT_EQ(PixelAt(image, 0, 0).r, 0);
    EXPECT_TRUE(copy.AlphaIsValid());
    EXPECT_EQ(copy.AlphaGetMax(), 42);
    EXPECT_EQ(copy.GetWidth(), 2u);
}

class ResourceTest : public ::testing::Test {
  protected:
    static bool FakeResources(std::string_view type, unsigned id, std::vector<uint8_t>* out) {
        if (type == "PNG" && id == 277) {
            *out = testimg::GradientRgbaPng(4, 3, false);
            return true;
        }
        if (type == "JPG" && id == 163) {
            *out = testimg::SolidJpeg(16, 8, 10, 20, 30, false);
            return true;
        }
        return false;
    }
    void TearDown() override { CxImage::SetResourceLoader(nullptr); }
};

TEST_F(ResourceTest, LoadsByTypeAndNumber) {
    CxImage image;
    EXPECT_FALSE(image.LoadResource("PNG", 277, CXIMAGE_FORMAT_PNG)) << "no loader registered";

    CxImage::SetResourceLoader(FakeResources);
    ASSERT_TRUE(image.LoadResource("PNG", 277, CXIMAGE_FORMAT_PNG));
    EXPECT_EQ(image.GetWidth(), 4u);
    EXPECT_EQ(image.GetHeight(), 3u);
    ASSERT_TRUE(image.LoadResource("JPG", 163, CXIMAGE_FORMAT_JPG));
    EXPECT_EQ(image.GetWidth(), 16u);

    EXPECT_FALSE(image.LoadResource("PNG", 278, CXIMAGE_FORMAT_PNG));
    EXPECT_FALSE(image.IsValid());
    EXPECT_FALSE(image.LoadResource("JPG", 163, CXIMAGE_FORMAT_PNG));
}

class FileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_dir =
            std::filesystem::temp_directory_path() / ("cximage-test-" + std::to_string(::getpid()));
        std::filesystem::create_directories(m_dir);
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        const auto path = m_dir / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }

    std::filesystem::path m_dir;
};

TEST_F(FileTest, LoadsADownloadedIcon) {
    CxImage image;
    ASSERT_TRUE(image.Load(Write("Game.jpg", testimg::SolidJpeg(24, 16, 0, 128, 255, true)),
                           CXIMAGE_FORMAT_JPG));
    EXPECT_EQ(image.GetWidth(), 24u);
    EXPECT_EQ(image.GetHeight(), 16u);
    ExpectNear(PixelAt(image, 12, 8), {0, 128, 255, 255}, 4);
}

TEST_F(FileTest, MissingEmptyOrForeignFilesFail) {
    CxImage image;
    EXPECT_FALSE(image.Load((m_dir / "absent.jpg").string(), CXIMAGE_FORMAT_JPG));
    EXPECT_FALSE(image.Load(Write("empty.jpg", {}), CXIMAGE_FORMAT_JPG));
    EXPECT_FALSE(image.Load(Write("page.jpg", {'<', 'h', 't', 'm', 'l', '>'}), CXIMAGE_FORMAT_JPG));
    EXPECT_FALSE(image.Load(m_dir.string(), CXIMAGE_FORMAT_JPG)) << "a folder is no image";
    EXPECT_FALSE(image.IsValid());
}

}  // namespace
