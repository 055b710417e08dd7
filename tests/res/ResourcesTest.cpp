#include "res/ResourceTable.h"
#include "res/Resources.h"

#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QtEndian>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <set>
#include <string>

namespace {

std::string Name(const hv::ResourceInfo& r) {
    return std::string(r.type) + " " + std::to_string(r.id);
}

QImage Decode(const hv::ResourceInfo& r) {
    std::vector<uint8_t> bytes;
    if (!hv::LoadResourceData(r.type, r.id, &bytes)) {
        return {};
    }
    return QImage::fromData(bytes.data(), static_cast<int>(bytes.size()));
}

int CountPixels(const QImage& image, const std::function<bool(QRgb)>& match) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += match(image.pixel(x, y)) ? 1 : 0;
        }
    }
    return count;
}

}  // namespace

TEST(ResourceLookup, TypeIgnoresCaseAndUnknownNamesFail) {
    const hv::ResourceSpec& png = hv::res::kProgressTrough;
    const hv::ResourceSpec& bitmap = hv::res::kButtonFace;
    std::vector<uint8_t> upper;
    std::vector<uint8_t> lower;
    ASSERT_TRUE(hv::LoadResourceData("PNG", png.id, &upper));
    ASSERT_TRUE(hv::LoadResourceData("png", png.id, &lower));
    EXPECT_EQ(upper, lower);
    EXPECT_EQ(hv::ResourcePath("Bitmap", bitmap.id),
              QStringLiteral(":/skin/bitmap/%1.png").arg(bitmap.id));

    std::vector<uint8_t> bytes{1, 2, 3};
    EXPECT_FALSE(hv::LoadResourceData("PNG", bitmap.id, &bytes));
    EXPECT_TRUE(bytes.empty());
    EXPECT_FALSE(hv::LoadResourceData("GIF", png.id, &bytes));
    EXPECT_FALSE(hv::LoadResourceData("BITMAP", 9999, &bytes));
    EXPECT_TRUE(hv::ResourcePath("JPG", png.id).isEmpty());
    EXPECT_TRUE(hv::ResourcePath("AVIINFO", hv::res::kClickSound.id).isEmpty());
}

// Every image is a PNG (a JPEG for JPG) of its listed size; bitmaps carry no
// alpha, and the skin PNGs with a shape leave clear pixels around it.
TEST(ResourceImages, EveryImageDecodesAtItsInventoriedSize) {
    using namespace hv::res;
    const std::set<unsigned> shaped = {
        kLogo.id,         kTopBarPlate.id, kTopBarMonogram.id,   kTopBarBack.id,
        kTopBarLogout.id, kTileFrame.id,   kSelectedTileGlow.id, kWaitBackground.id};
    size_t shapedSeen = 0;
    for (const hv::ResourceInfo& r : hv::AllResources()) {
        if (r.type == "WAVE" || r.type == "FONT") {
            continue;
        }
        SCOPED_TRACE(Name(r));
        EXPECT_TRUE(QFile::exists(hv::ResourcePath(r.type, r.id)));
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(hv::LoadResourceData(r.type, r.id, &bytes));
        EXPECT_EQ(bytes.at(0), r.type == "JPG" ? 0xFF : 0x89) << "JPEG or PNG";
        const QImage img = Decode(r);
        const int width = r.type == "AVI" ? r.width * r.frames : r.width;
        EXPECT_EQ(img.size(), QSize(width, r.height));
        if (r.type == "BITMAP" || r.keyed) {
            EXPECT_FALSE(img.hasAlphaChannel()) << "bitmaps are stored without alpha";
        }
        if (r.type == "PNG" && shaped.contains(r.id)) {
            ++shapedSeen;
            ASSERT_TRUE(img.hasAlphaChannel());
            const int clear = CountPixels(img, [](QRgb c) { return qAlpha(c) == 0; });
            EXPECT_GT(clear, 0) << "the shape should leave clear pixels around it";
            EXPECT_LT(clear, img.width() * img.height());
        }
        if (r.type == "AVI") {
            // The frame data is written from the same table: that it loads is enough.
            std::vector<uint8_t> info;
            EXPECT_TRUE(hv::LoadResourceData("AVIINFO", r.id, &info));
            EXPECT_NE(img.copy(0, 0, r.width, r.height), img.copy(r.width, 0, r.width, r.height))
                << "neighbouring frames differ";
        }
    }
    EXPECT_EQ(shapedSeen, shaped.size());
}

// Keyed images use the exact key colour, with no pixels blended towards it;
// the other bitmaps have none of it.
TEST(ResourceImages, OnlyKeyedImagesUseExactMagentaWithCleanEdges) {
    int keyedCount = 0;
    for (const hv::ResourceInfo& r : hv::AllResources()) {
        if (!r.keyed && r.type != "BITMAP") {
            continue;
        }
        keyedCount += r.keyed ? 1 : 0;
        SCOPED_TRACE(Name(r));
        const QImage img = Decode(r).convertToFormat(QImage::Format_RGB32);
        ASSERT_FALSE(img.isNull());
        const int keyPixels = CountPixels(img, [](QRgb c) { return (c & 0xFFFFFF) == 0xFF00FF; });
        const int nearKey = CountPixels(img, [](QRgb c) {
            return (c & 0xFFFFFF) != 0xFF00FF && qRed(c) > 200 && qBlue(c) > 200 && qGreen(c) < 90;
        });
        if (r.keyed) {
            EXPECT_GT(keyPixels, 0) << "no key colour at all";
            EXPECT_LT(keyPixels, img.width() * img.height()) << "nothing but key colour";
            EXPECT_EQ(nearKey, 0) << "pixels blended towards the key colour";
        } else {
            EXPECT_EQ(keyPixels, 0);
        }
    }
    EXPECT_GE(keyedCount, 30);
}

TEST(ResourceSound, ClickIsStereo16BitPcmOfAboutOnePointThreeSeconds) {
    std::vector<uint8_t> wav;
    ASSERT_TRUE(hv::LoadResourceData(hv::res::kClickSound.type, hv::res::kClickSound.id, &wav));
    ASSERT_GT(wav.size(), 44u);
    const uint8_t* d = wav.data();
    const auto u32 = [d](int at) { return qFromLittleEndian<uint32_t>(d + at); };
    const auto u16 = [d](int at) { return uint32_t{qFromLittleEndian<uint16_t>(d + at)}; };
    const auto dataBytes = static_cast<uint32_t>(wav.size() - 44);
    // The plain 44-byte header: PCM, two channels, 44000 Hz, 16 bits.
    EXPECT_EQ(std::string(d, d + 4) + std::string(d + 8, d + 16) + std::string(d + 36, d + 40),
              "RIFFWAVEfmt data");
    EXPECT_EQ((std::vector<uint32_t>{u32(4), u16(20), u16(22), u32(24), u32(28), u16(34), u32(40)}),
              (std::vector<uint32_t>{dataBytes + 36, 1, 2, 44000, 44000 * 4, 16, dataBytes}));
    EXPECT_NEAR(dataBytes / (44000.0 * 4), 1.3, 0.1);

    // Audible, not clipped, and silent again at the very end.
    int peak = 0;
    for (uint32_t i = 0; i < dataBytes; i += 2) {
        peak = std::max(peak, std::abs(static_cast<int>(qFromLittleEndian<int16_t>(d + 44 + i))));
    }
    EXPECT_GT(peak, 3000);
    EXPECT_LT(peak, 32000);
    const int last = std::abs(static_cast<int>(qFromLittleEndian<int16_t>(d + wav.size() - 2)));
    EXPECT_LT(last, 200);
}

TEST(ResourceFonts, BundledDejaVuLoads) {
    int argc = 1;
    char name[] = "res_resources_test";
    char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);
    for (const hv::ResourceSpec* font : {&hv::res::kFontRegular, &hv::res::kFontBold}) {
        const unsigned id = font->id;
        std::vector<uint8_t> ttf;
        ASSERT_TRUE(hv::LoadResourceData(font->type, id, &ttf));
        const int handle = QFontDatabase::addApplicationFontFromData(QByteArray(
            reinterpret_cast<const char*>(ttf.data()), static_cast<qsizetype>(ttf.size())));
        ASSERT_GE(handle, 0) << id;
        EXPECT_TRUE(QFontDatabase::applicationFontFamilies(handle).contains("DejaVu Sans")) << id;
    }
}
