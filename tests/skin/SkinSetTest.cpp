#include <gtest/gtest.h>

#include <QPainter>
#include <set>

#include "res/ResourceTable.h"
#include "res/Resources.h"
#include "skin/SkinSet.h"

namespace {

std::vector<std::pair<std::string, unsigned>> g_asked;
std::pair<std::string, unsigned> g_hidden;

bool HidingLoader(std::string_view type, unsigned id, std::vector<uint8_t>* out) {
    g_asked.emplace_back(std::string(type), id);
    if (g_hidden.first == type && g_hidden.second == id) {
        return false;
    }
    return hv::LoadResourceData(type, id, out);
}

struct LoaderScope {
    explicit LoaderScope(std::pair<std::string, unsigned> hidden) {
        g_hidden = std::move(hidden);
        g_asked.clear();
        CxImage::SetResourceLoader(&HidingLoader);
    }
    ~LoaderScope() { CxImage::SetResourceLoader(&hv::LoadResourceData); }
};

QImage Filled(int w, int h, QRgb colour) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

}  // namespace

// Every shared image is needed, and each is attempted even after one is
// missing, which fails the load.
TEST(SkinSet, EverySharedImageIsNeededAndAllAreTried) {
    std::vector<std::pair<std::string, unsigned>> all;
    {
        LoaderScope scope({"", 0});
        EXPECT_TRUE(CSkinSet().LoadSkinImages());
        all = g_asked;
    }
    EXPECT_EQ(all.size(), 20u) << "the backdrop, the screens' images and the message pictures";
    for (const auto& missing : all) {
        SCOPED_TRACE(missing.first + " " + std::to_string(missing.second));
        LoaderScope scope(missing);
        CSkinSet skin;
        EXPECT_FALSE(skin.LoadSkinImages());
        EXPECT_EQ(g_asked, all);
        EXPECT_EQ(missing.first == "PNG" ? skin.Image(missing.second) : nullptr, nullptr);
    }
    const hv::ResourceSpec& logo = hv::res::kLogo;
    ASSERT_NE(GetSkin()->Image(logo.id), nullptr);
    EXPECT_EQ(GetSkin()->Image(logo.id)->GetWidth(), static_cast<unsigned>(logo.width));
    const hv::ResourceSpec& backdrop = hv::res::kScreenBackdrop;
    ASSERT_NE(GetSkin()->Picture(backdrop.id), nullptr);
    EXPECT_EQ(GetSkin()->Picture(backdrop.id)->image.Source().size(),
              QSize(backdrop.width, backdrop.height));
}

TEST(SkinSet, FontsKeepTheirPixelHeights) {
    CSkinSet skin;
    skin.CreateSharedFonts();
    EXPECT_EQ(skin.Font(30, 400).pixelSize(), 30);
    EXPECT_EQ(skin.Font(18, 700).pixelSize(), 18);
    EXPECT_TRUE(skin.Font(18, 700).bold());
    EXPECT_FALSE(skin.Font(30, 400).bold());
    EXPECT_EQ(skin.Font(30, 400).family(), skin.Font(13, 700).family());
}

// Only the exact key is clear: one channel off is paint.
TEST(Drawing, MaskedBitmapLeavesKeyPixelsAlone) {
    const QRgb target = qRgb(10, 20, 30);
    const QRgb key = qRgb(255, 0, 255);
    const QRgb paint = qRgb(200, 100, 50);
    const QRgb nearKeys[] = {qRgb(255, 1, 255), qRgb(255, 0, 254), qRgb(254, 0, 255)};
    QImage bitmap = Filled(3, 2, paint);
    bitmap.setPixel(1, 0, key);
    for (int x = 0; x < 3; ++x) {
        bitmap.setPixel(x, 1, nearKeys[x]);
    }
    const QImage before = bitmap;
    QImage canvas = Filled(4, 2, target);
    QPainter(&canvas).drawImage(1, 0, MaskKeyColour(bitmap, hv::look::kKeyColour));
    QImage expected = Filled(4, 2, target);
    expected.setPixel(1, 0, paint);
    expected.setPixel(3, 0, paint);
    for (int x = 0; x < 3; ++x) {
        expected.setPixel(x + 1, 1, nearKeys[x]);
    }
    EXPECT_EQ(canvas, expected);
    EXPECT_EQ(bitmap, before) << "the bitmap is left as it was";
    EXPECT_TRUE(MaskKeyColour(QImage(), hv::look::kKeyColour).isNull());
}

TEST(Drawing, ScaleBitmapStretchesWithoutSmoothing) {
    QImage source = Filled(2, 1, qRgb(255, 0, 0));
    source.setPixel(1, 0, qRgb(0, 0, 255));
    EXPECT_EQ(ScaleBitmap(source, 2, 1), source);
    const QImage wide = ScaleBitmap(source, 4, 2);
    EXPECT_EQ(wide.size(), QSize(4, 2));
    EXPECT_EQ(wide.pixel(1, 1), qRgb(255, 0, 0));
    EXPECT_EQ(wide.pixel(2, 0), qRgb(0, 0, 255));
    EXPECT_TRUE(ScaleBitmap(QImage(), 3, 3).isNull());
}

// A picture is stretched once per size and drawn only where asked; at its
// natural size it is the source itself.
TEST(Drawing, PictureIsStretchedOnceAndDrawnOnlyWhereAsked) {
    CPicture picture{CScaledImage(Filled(2, 2, qRgb(0, 0, 255)))};
    const CScaledImage& image = picture.image;
    EXPECT_EQ(image.At(QSize(2, 2)).cacheKey(), image.Source().cacheKey());
    EXPECT_TRUE(CScaledImage().At(QSize(3, 3)).isNull());
    QImage canvas = Filled(8, 8, qRgb(0, 0, 0));
    const QRect part(2, 2, 3, 3);
    {
        QPainter painter(&canvas);
        DrawPicture(painter, picture, QRect(0, 0, 8, 8), part);
    }
    for (const QPoint& at : {QPoint(2, 2), QPoint(4, 4), QPoint(1, 1), QPoint(5, 5)}) {
        EXPECT_EQ(canvas.pixel(at), part.contains(at) ? qRgb(0, 0, 255) : qRgb(0, 0, 0)) << at.x();
    }
    const qint64 stretched = image.At(QSize(8, 8)).cacheKey();
    {
        QPainter painter(&canvas);
        DrawPicture(painter, picture, QRect(0, 0, 8, 8), QRect(0, 0, 8, 8));
    }
    EXPECT_EQ(image.At(QSize(8, 8)).cacheKey(), stretched) << "not scaled again";
    EXPECT_EQ(canvas, Filled(8, 8, qRgb(0, 0, 255)));
    const QImage& resized = image.At(QSize(6, 3));
    EXPECT_EQ(resized.size(), QSize(6, 3));
    EXPECT_NE(resized.cacheKey(), stretched) << "a new size is";
}
