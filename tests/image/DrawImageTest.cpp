#include <gtest/gtest.h>

#include <QPainter>

#include "image/CxImageQt.h"

namespace {

CxImage Filled(uint32_t width, uint32_t height, bool withAlpha, QRgb rgb, uint8_t alpha) {
    CxImage image;
    EXPECT_TRUE(image.Create(width, height, withAlpha));
    for (size_t i = 0; i < size_t{width} * height; ++i) {
        uint8_t* p = image.Pixels() + i * 4;
        p[0] = static_cast<uint8_t>(qRed(rgb));
        p[1] = static_cast<uint8_t>(qGreen(rgb));
        p[2] = static_cast<uint8_t>(qBlue(rgb));
        p[3] = alpha;
    }
    return image;
}

QImage Canvas(int width, int height, QColor fill) {
    QImage canvas(width, height, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(fill);
    return canvas;
}

void Draw(QImage* canvas, const CxImage& image, const QRect& target) {
    QPainter painter(canvas);
    DrawImage(painter, image, target);
}

void ExpectColor(const QImage& canvas, int x, int y, QColor expected, int tolerance = 2) {
    const QColor actual = canvas.pixelColor(x, y);
    EXPECT_NEAR(actual.red(), expected.red(), tolerance) << "at " << x << ", " << y;
    EXPECT_NEAR(actual.green(), expected.green(), tolerance) << "at " << x << ", " << y;
    EXPECT_NEAR(actual.blue(), expected.blue(), tolerance) << "at " << x << ", " << y;
    EXPECT_NEAR(actual.alpha(), expected.alpha(), tolerance) << "at " << x << ", " << y;
}

TEST(DrawImage, HalfTransparentRedOverBlueMixes) {
    QImage canvas = Canvas(4, 4, Qt::blue);
    Draw(&canvas, Filled(2, 2, true, qRgb(255, 0, 0), 128), QRect(0, 0, 4, 4));
    ExpectColor(canvas, 0, 0, QColor(128, 0, 127));
    ExpectColor(canvas, 3, 3, QColor(128, 0, 127));
}

TEST(DrawImage, OpaqueImageReplacesEvenATransparentTarget) {
    QImage canvas = Canvas(3, 3, Qt::transparent);
    Draw(&canvas, Filled(1, 1, false, qRgb(10, 200, 30), 255), QRect(1, 1, 1, 1));
    ExpectColor(canvas, 1, 1, QColor(10, 200, 30), 0);
    ExpectColor(canvas, 0, 0, Qt::transparent, 0);
    ExpectColor(canvas, 2, 2, Qt::transparent, 0);
}

TEST(DrawImage, StretchesWithoutSmoothing) {
    CxImage image;
    ASSERT_TRUE(image.Create(2, 2, false));
    const uint8_t colors[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};
    for (int i = 0; i < 4; ++i) {
        std::copy(colors[i], colors[i] + 3, image.Pixels() + i * 4);
    }
    QImage canvas = Canvas(6, 6, Qt::black);
    Draw(&canvas, image, QRect(1, 1, 4, 4));
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            const uint8_t* c = colors[(y / 2) * 2 + x / 2];
            ExpectColor(canvas, 1 + x, 1 + y, QColor(c[0], c[1], c[2]), 0);
        }
    }
    ExpectColor(canvas, 0, 0, Qt::black, 0);
    ExpectColor(canvas, 5, 5, Qt::black, 0);
}

TEST(DrawImage, AlphaMaximumCapsTheOpacity) {
    CxImage image = Filled(2, 2, false, qRgb(255, 255, 255), 255);
    image.AlphaCreate();
    image.AlphaSetMax(90);
    QImage canvas = Canvas(2, 2, Qt::black);
    Draw(&canvas, image, QRect(0, 0, 2, 2));
    ExpectColor(canvas, 1, 1, QColor(90, 90, 90));

    // Without its alpha channel the image is drawn fully again.
    image.AlphaDelete();
    Draw(&canvas, image, QRect(0, 0, 2, 2));
    ExpectColor(canvas, 1, 1, QColor(255, 255, 255), 0);
}

TEST(DrawImage, LeavesThePainterAsItWas) {
    QImage canvas = Canvas(2, 2, Qt::blue);
    QPainter painter(&canvas);
    painter.setOpacity(0.5);
    DrawImage(painter, Filled(1, 1, false, qRgb(255, 0, 0), 255), QRect(0, 0, 1, 1));
    EXPECT_DOUBLE_EQ(painter.opacity(), 0.5);
    EXPECT_EQ(painter.compositionMode(), QPainter::CompositionMode_SourceOver);
}

TEST(DrawImage, NothingToDrawLeavesTheTarget) {
    QImage canvas = Canvas(2, 2, Qt::blue);
    Draw(&canvas, CxImage(), QRect(0, 0, 2, 2));
    Draw(&canvas, Filled(1, 1, false, qRgb(255, 0, 0), 255), QRect(0, 0, 0, 2));
    ExpectColor(canvas, 0, 0, Qt::blue, 0);
}

TEST(ToQImage, OwnsItsPixelsAndAppliesTheMaximum) {
    CxImage image = Filled(3, 2, true, qRgb(1, 2, 3), 200);
    image.AlphaSetMax(100);
    QImage converted = ToQImage(image);
    ASSERT_EQ(converted.size(), QSize(3, 2));
    EXPECT_EQ(converted.format(), QImage::Format_RGBA8888);
    EXPECT_EQ(converted.pixelColor(2, 1), QColor(1, 2, 3, 200 * 100 / 255));
    EXPECT_EQ(image.Pixels()[3], 200) << "the image itself keeps its alpha";

    image.Destroy();
    EXPECT_EQ(converted.pixelColor(0, 0).red(), 1) << "the copy outlives the image";

    CxImage opaque = Filled(1, 1, false, qRgb(7, 8, 9), 255);
    converted = ToQImage(opaque);
    EXPECT_EQ(converted.format(), QImage::Format_RGBX8888);
    EXPECT_EQ(converted.pixelColor(0, 0), QColor(7, 8, 9));
    EXPECT_TRUE(ToQImage(CxImage()).isNull());
}

}  // namespace
