#include "res/Resources.h"

#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtEndian>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <set>
#include <string>

namespace {

std::string Name(const hv::ResourceInfo& r) {
    return std::string(r.type) + " " + std::to_string(r.id);
}

QImage Decode(const hv::ResourceInfo& r, QByteArray* formatOut = nullptr) {
    std::vector<uint8_t> bytes;
    if (!hv::LoadResourceData(r.type, r.id, &bytes)) {
        return {};
    }
    const QByteArray data(reinterpret_cast<const char*>(bytes.data()),
                          static_cast<qsizetype>(bytes.size()));
    if (formatOut != nullptr) {
        *formatOut = data.startsWith("\x89PNG") ? "png" : data.startsWith("\xFF\xD8") ? "jpg" : "";
    }
    return QImage::fromData(data);
}

bool IsImage(const hv::ResourceInfo& r) {
    return r.type != "WAVE" && r.type != "FONT";
}

constexpr QRgb kKey = 0xFF00FF;

bool NearMagenta(QRgb c) {
    return qRed(c) > 200 && qBlue(c) > 200 && qGreen(c) < 90;
}

}  // namespace

TEST(ResourceTable, NamesAreUniqueAndCoverTheNamedSkin) {
    std::set<std::pair<std::string, unsigned>> seen;
    for (const hv::ResourceInfo& r : hv::AllResources()) {
        EXPECT_TRUE(seen.insert({std::string(r.type), r.id}).second) << Name(r);
    }
    // A sample of numbers the screens and controls load by number.
    for (unsigned id : {163u, 152u, 198u, 213u}) {
        EXPECT_NE(hv::FindResource("JPG", id), nullptr) << id;
    }
    for (unsigned id : {214u, 254u, 266u, 255u, 267u, 271u, 288u, 277u, 256u, 258u, 259u, 260u,
                        261u, 264u, 262u, 263u, 244u, 246u}) {
        EXPECT_NE(hv::FindResource("PNG", id), nullptr) << id;
    }
    for (unsigned id = 132; id <= 139; ++id) {
        EXPECT_NE(hv::FindResource("BITMAP", id), nullptr) << id;
    }
    for (unsigned id = 142; id <= 149; ++id) {
        EXPECT_NE(hv::FindResource("BITMAP", id), nullptr) << id;
    }
    for (unsigned id = 186; id <= 197; ++id) {
        if (id != 187 && id != 188) {
            EXPECT_NE(hv::FindResource("BITMAP", id), nullptr) << id;
        }
    }
    for (unsigned id = 247; id <= 252; ++id) {
        EXPECT_NE(hv::FindResource("BITMAP", id), nullptr) << id;
    }
    EXPECT_NE(hv::FindResource("WAVE", 141), nullptr);
    EXPECT_NE(hv::FindResource("AVI", 126), nullptr);
    EXPECT_NE(hv::FindResource("AVI", 140), nullptr);
}

TEST(ResourceLookup, TypeIgnoresCaseAndUnknownNamesFail) {
    std::vector<uint8_t> upper;
    std::vector<uint8_t> lower;
    ASSERT_TRUE(hv::LoadResourceData("PNG", 277, &upper));
    ASSERT_TRUE(hv::LoadResourceData("png", 277, &lower));
    EXPECT_EQ(upper, lower);
    EXPECT_EQ(hv::ResourcePath("Bitmap", 180), QStringLiteral(":/skin/bitmap/180.png"));

    std::vector<uint8_t> bytes{1, 2, 3};
    EXPECT_FALSE(hv::LoadResourceData("PNG", 180, &bytes));  // 180 is a BITMAP
    EXPECT_TRUE(bytes.empty());
    EXPECT_FALSE(hv::LoadResourceData("GIF", 277, &bytes));
    EXPECT_FALSE(hv::LoadResourceData("BITMAP", 9999, &bytes));
    EXPECT_TRUE(hv::ResourcePath("JPG", 277).isEmpty());
    EXPECT_TRUE(hv::ResourcePath("AVIINFO", 141).isEmpty());
}

TEST(ResourceImages, EveryImageDecodesAtItsInventoriedSize) {
    for (const hv::ResourceInfo& r : hv::AllResources()) {
        if (!IsImage(r)) {
            continue;
        }
        SCOPED_TRACE(Name(r));
        EXPECT_TRUE(QFile::exists(hv::ResourcePath(r.type, r.id)));
        QByteArray format;
        const QImage img = Decode(r, &format);
        ASSERT_FALSE(img.isNull());
        const int width = r.type == "AVI" ? r.width * r.frames : r.width;
        EXPECT_EQ(img.size(), QSize(width, r.height));
        EXPECT_EQ(format, r.type == "JPG" ? QByteArray("jpg") : QByteArray("png"));
        if (r.type == "BITMAP" || r.keyed) {
            EXPECT_FALSE(img.hasAlphaChannel()) << "bitmaps are stored without alpha";
        }
    }
}

TEST(ResourceImages, TransparentPartsOfSkinPngsCarryAlpha) {
    for (unsigned id : {214u, 260u, 261u, 262u, 263u, 244u, 254u, 288u}) {
        const hv::ResourceInfo* r = hv::FindResource("PNG", id);
        ASSERT_NE(r, nullptr);
        const QImage img = Decode(*r).convertToFormat(QImage::Format_ARGB32);
        ASSERT_TRUE(img.hasAlphaChannel()) << id;
        int clear = 0;
        for (int y = 0; y < img.height(); ++y) {
            for (int x = 0; x < img.width(); ++x) {
                clear += qAlpha(img.pixel(x, y)) == 0 ? 1 : 0;
            }
        }
        EXPECT_GT(clear, 0) << id << ": the shape should leave clear pixels around it";
        EXPECT_LT(clear, img.width() * img.height()) << id;
    }
}

TEST(ResourceImages, KeyedImagesUseExactMagentaWithCleanEdges) {
    int keyedCount = 0;
    for (const hv::ResourceInfo& r : hv::AllResources()) {
        if (!r.keyed) {
            continue;
        }
        ++keyedCount;
        SCOPED_TRACE(Name(r));
        const QImage img = Decode(r).convertToFormat(QImage::Format_RGB32);
        ASSERT_FALSE(img.isNull());
        int keyPixels = 0;
        int opaquePixels = 0;
        int badNeighbours = 0;
        for (int y = 0; y < img.height(); ++y) {
            for (int x = 0; x < img.width(); ++x) {
                const QRgb c = img.pixel(x, y) & 0xFFFFFF;
                if (c == kKey) {
                    ++keyPixels;
                    continue;
                }
                ++opaquePixels;
                if (NearMagenta(c)) {
                    ++badNeighbours;
                }
            }
        }
        EXPECT_GT(keyPixels, 0) << "no key colour at all";
        EXPECT_GT(opaquePixels, 0) << "nothing but key colour";
        EXPECT_EQ(badNeighbours, 0) << "pixels blended towards the key colour";
    }
    EXPECT_GE(keyedCount, 30);
}

TEST(ResourceImages, OpaqueBitmapsHaveNoKeyColour) {
    for (const hv::ResourceInfo& r : hv::AllResources()) {
        if (r.type != "BITMAP" || r.keyed) {
            continue;
        }
        SCOPED_TRACE(Name(r));
        const QImage img = Decode(r).convertToFormat(QImage::Format_RGB32);
        for (int y = 0; y < img.height(); ++y) {
            for (int x = 0; x < img.width(); ++x) {
                ASSERT_NE(img.pixel(x, y) & 0xFFFFFF, kKey) << x << "," << y;
            }
        }
    }
}

TEST(ResourceAnimations, StripsMatchTheirFrameData) {
    for (const unsigned id : {126u, 140u}) {
        const hv::ResourceInfo* r = hv::FindResource("AVI", id);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->fps, 15);
        std::vector<uint8_t> json;
        ASSERT_TRUE(hv::LoadResourceData("AVIINFO", id, &json));
        const QJsonObject info =
            QJsonDocument::fromJson(QByteArray(reinterpret_cast<const char*>(json.data()),
                                               static_cast<qsizetype>(json.size())))
                .object();
        EXPECT_EQ(info.value("frames").toInt(), r->frames);
        EXPECT_EQ(info.value("width").toInt(), r->width);
        EXPECT_EQ(info.value("height").toInt(), r->height);
        EXPECT_EQ(info.value("fps").toInt(), 15);

        // Frames really move: neighbouring frames differ, and the loop closes smoothly.
        const QImage strip = Decode(*r);
        const QImage first = strip.copy(0, 0, r->width, r->height);
        const QImage second = strip.copy(r->width, 0, r->width, r->height);
        EXPECT_NE(first, second);
    }
    EXPECT_EQ(hv::FindResource("AVI", 126)->frames, 31);
    EXPECT_EQ(hv::FindResource("AVI", 140)->frames, 41);
    EXPECT_EQ(hv::FindResource("AVI", 140)->width, 312);
    EXPECT_EQ(hv::FindResource("AVI", 126)->width, 272);
}

TEST(ResourceSound, ClickIsStereo16BitPcmOfAboutOnePointThreeSeconds) {
    std::vector<uint8_t> wav;
    ASSERT_TRUE(hv::LoadResourceData("WAVE", 141, &wav));
    ASSERT_GT(wav.size(), 44u);
    const uint8_t* d = wav.data();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(d), 4), "RIFF");
    EXPECT_EQ(qFromLittleEndian<uint32_t>(d + 4), wav.size() - 8);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(d + 8), 8), "WAVEfmt ");
    EXPECT_EQ(qFromLittleEndian<uint16_t>(d + 20), 1);  // PCM
    const int channels = qFromLittleEndian<uint16_t>(d + 22);
    const uint32_t rate = qFromLittleEndian<uint32_t>(d + 24);
    const int bits = qFromLittleEndian<uint16_t>(d + 34);
    EXPECT_EQ(channels, 2);
    EXPECT_EQ(rate, 44000u);
    EXPECT_EQ(bits, 16);
    EXPECT_EQ(qFromLittleEndian<uint32_t>(d + 28), rate * channels * bits / 8);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(d + 36), 4), "data");
    const uint32_t dataBytes = qFromLittleEndian<uint32_t>(d + 40);
    ASSERT_EQ(dataBytes, wav.size() - 44);
    const double seconds = static_cast<double>(dataBytes) / (rate * channels * bits / 8);
    EXPECT_NEAR(seconds, 1.3, 0.1);

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
    for (unsigned id : {1u, 2u}) {
        std::vector<uint8_t> ttf;
        ASSERT_TRUE(hv::LoadResourceData("FONT", id, &ttf));
        const int handle = QFontDatabase::addApplicationFontFromData(QByteArray(
            reinterpret_cast<const char*>(ttf.data()), static_cast<qsizetype>(ttf.size())));
        ASSERT_GE(handle, 0) << id;
        EXPECT_TRUE(QFontDatabase::applicationFontFamilies(handle).contains("DejaVu Sans")) << id;
    }
}
