#include "image/CxImageQt.h"

#include <QPainter>

namespace {

// Shares the image's buffer; valid as long as the image is unchanged.
QImage WrapPixels(const CxImage& image) {
    return QImage(image.Pixels(), static_cast<int>(image.GetWidth()),
                  static_cast<int>(image.GetHeight()), static_cast<qsizetype>(image.GetStride()),
                  image.AlphaIsValid() ? QImage::Format_RGBA8888 : QImage::Format_RGBX8888);
}

}  // namespace

void DrawImage(QPainter& painter, const CxImage& image, const QRect& target) {
    if (!image.IsValid() || target.isEmpty()) {
        return;
    }
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    if (image.AlphaIsValid()) {
        // The alpha maximum scales every pixel's alpha, which is what the
        // painter's opacity does, without a pass over the pixels.
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        painter.setOpacity(painter.opacity() * image.AlphaGetMax() / 255.0);
        painter.drawImage(target,
                          WrapPixels(image).convertToFormat(QImage::Format_RGBA8888_Premultiplied));
    } else {
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(target, WrapPixels(image));
    }
    painter.restore();
}

QImage ToQImage(const CxImage& image) {
    if (!image.IsValid()) {
        return {};
    }
    QImage copy = WrapPixels(image).copy();
    const unsigned max = image.AlphaGetMax();
    if (image.AlphaIsValid() && max < 255) {
        for (int y = 0; y < copy.height(); ++y) {
            uchar* row = copy.scanLine(y);
            for (int x = 0; x < copy.width(); ++x) {
                row[x * 4 + 3] = static_cast<uchar>(row[x * 4 + 3] * max / 255);
            }
        }
    }
    return copy;
}
