#include <gtest/gtest.h>

#include <QPainter>
#include <algorithm>

#include "image/CxImageQt.h"

namespace {

CxImage Filled(uint32_t width, uint32_t height, bool withAlpha, QRgb rgb, uint8_t alpha) {
    CxImage image;
    EXPECT_TRUE(image.Create(width, height, withAlpha));
    const uint8_t pixel[4] = {static_cast<uint8_t>(qRed(rgb)), static_cast<uint8_t>(qGreen(rgb)),
                              static_cast<uint8_t>(qBlue(rgb)), alpha};
    for (size_t i = 0; i < size_t{width} * height; ++i) {
        std::copy(pixel, pixel + 4, image.Pixels() + i * 4);
    }
    return image;
}

QImage DrawnOn(QColor fill, QSize size, const CxImage& image, const QRect& target) {
    QImage canvas(size, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(fill);
    QPainter painter(&canvas);
    DrawImage(painter, image, target);
    return canvas;
}

void ExpectColor(const QImage& canvas, int x, int y, QColor expected, int tolerance) {
    const QColor actual = canvas.pixelColor(x, y);
    for (auto channel : {&QColor::red, &QColor::green, &QColor::blue, &QColor::alpha}) {
        EXPECT_NEAR((actual.*channel)(), (expected.*channel)(), tolerance)
            << "at " << x << ", " << y;
    }
}

TEST(DrawImage, AlphaBlendsAndOpaqueReplaces) {
    QImage canvas =
        DrawnOn(Qt::blue, {4, 4}, Filled(2, 2, true, qRgb(255, 0, 0), 128), {0, 0, 4, 4});
    ExpectColor(canvas, 3, 3, QColor(128, 0, 127), 2);
    canvas =
        DrawnOn(Qt::transparent, {3, 3}, Filled(1, 1, false, qRgb(10, 200, 30), 255), {1, 1, 1, 1});
    ExpectColor(canvas, 1, 1, QColor(10, 200, 30), 0);
    ExpectColor(canvas, 2, 2, Qt::transparent, 0);
}

TEST(DrawImage, StretchesWithoutSmoothing) {
    CxImage image;
    ASSERT_TRUE(image.Create(2, 2, false));
    const uint8_t colors[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};
    for (int i = 0; i < 4; ++i) {
        std::copy(colors[i], colors[i] + 3, image.Pixels() + i * 4);
    }
    const QImage canvas = DrawnOn(Qt::black, {6, 6}, image, {1, 1, 4, 4});
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            const uint8_t* c = colors[(y / 2) * 2 + x / 2];
            ExpectColor(canvas, 1 + x, 1 + y, QColor(c[0], c[1], c[2]), 0);
        }
    }
    ExpectColor(canvas, 0, 0, Qt::black, 0);
    ExpectColor(canvas, 5, 5, Qt::black, 0);
}

TEST(DrawImage, AlphaMaximumCapsTheOpacityAndLeavesThePainterAsItWas) {
    CxImage image = Filled(2, 2, false, qRgb(255, 255, 255), 255);
    image.AlphaCreate();
    image.AlphaSetMax(90);
    QImage canvas(2, 2, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::black);
    QPainter painter(&canvas);
    painter.setOpacity(0.5);
    DrawImage(painter, image, QRect(0, 0, 2, 2));
    EXPECT_DOUBLE_EQ(painter.opacity(), 0.5);
    EXPECT_EQ(painter.compositionMode(), QPainter::CompositionMode_SourceOver);
    painter.end();
    ExpectColor(canvas, 1, 1, QColor(45, 45, 45), 2);

    // Without its alpha channel the image is drawn fully again.
    image.AlphaDelete();
    canvas = DrawnOn(Qt::black, {2, 2}, image, {0, 0, 2, 2});
    ExpectColor(canvas, 1, 1, QColor(255, 255, 255), 0);
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

    converted = ToQImage(Filled(1, 1, false, qRgb(7, 8, 9), 255));
    EXPECT_EQ(converted.format(), QImage::Format_RGBX8888);
    EXPECT_EQ(converted.pixelColor(0, 0), QColor(7, 8, 9));
    EXPECT_TRUE(ToQImage(CxImage()).isNull());
}

}  // namespace
