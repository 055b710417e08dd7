#include "Art.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QRandomGenerator>

#include <jpeglib.h>
#include <cstdio>
#include <memory>
#include <stdexcept>

namespace hv::democontent {

namespace {

const QColor kNight(0x07, 0x10, 0x24);
const QColor kDeep(0x0e, 0x1f, 0x42);
const QColor kCyan(0x35, 0xd6, 0xf0);
const QColor kText(0xee, 0xf6, 0xff);

void DrawMotif(QPainter& p, QRandomGenerator& rng, int kind) {
    p.setPen(Qt::NoPen);
    switch (kind % 4) {
        case 0:  // stars
            for (int i = 0; i < 60; ++i) {
                int a = 80 + rng.bounded(160);
                p.setBrush(QColor(0xcf, 0xe8, 0xff, a));
                double r = 0.6 + rng.bounded(2.0);
                p.drawEllipse(QPointF(rng.bounded(256.0), rng.bounded(170.0)), r, r);
            }
            break;
        case 1: {  // mountains
            QPainterPath path;
            path.moveTo(0, 190);
            for (int x = 0; x <= 256; x += 32) {
                path.lineTo(x, 90 + rng.bounded(80));
            }
            path.lineTo(256, 256);
            path.lineTo(0, 256);
            p.setBrush(QColor(0x12, 0x2d, 0x55));
            p.drawPath(path);
            break;
        }
        case 2:  // rings
            p.setBrush(Qt::NoBrush);
            for (int i = 0; i < 5; ++i) {
                QColor c = kCyan;
                c.setAlpha(40 + i * 30);
                p.setPen(QPen(c, 2 + i));
                p.drawEllipse(QPointF(128, 100), 20.0 + i * 18, 20.0 + i * 18);
            }
            break;
        default:  // grid
            p.setPen(QPen(QColor(0x35, 0xd6, 0xf0, 70), 1));
            for (int i = 0; i < 256; i += 24) {
                p.drawLine(QPointF(128, 110), QPointF(i, 256));
                p.drawLine(QPointF(0, 130 + i / 3.0), QPointF(256, 130 + i / 3.0));
            }
            break;
    }
}

}  // namespace

QImage DrawIcon(const QString& title, const QString& category, unsigned seed) {
    QImage img(256, 256, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    QRandomGenerator rng(seed);

    QLinearGradient bg(0, 0, 0, 256);
    bg.setColorAt(0, kDeep);
    bg.setColorAt(1, kNight);
    p.fillRect(img.rect(), bg);
    QRadialGradient glow(QPointF(60 + rng.bounded(136), 70), 140);
    QColor hue = QColor::fromHsv(static_cast<int>(180 + rng.bounded(60)), 200, 255, 90);
    glow.setColorAt(0, hue);
    glow.setColorAt(1, Qt::transparent);
    p.fillRect(img.rect(), glow);
    DrawMotif(p, rng, static_cast<int>(seed));
    DrawMotif(p, rng, static_cast<int>(seed / 4 + 1));

    // A large emblem letter keeps games apart even when their motifs match.
    QFont emblem(QStringLiteral("DejaVu Sans"));
    emblem.setBold(true);
    emblem.setPixelSize(96);
    p.setFont(emblem);
    QColor halo = kCyan;
    halo.setAlpha(60);
    p.setPen(halo);
    p.drawText(QRect(3, 23, 256, 140), Qt::AlignCenter, title.left(1));
    p.setPen(QColor(0xd8, 0xf7, 0xff, 230));
    p.drawText(QRect(0, 20, 256, 140), Qt::AlignCenter, title.left(1));

    // Caption band with the game's name.
    p.fillRect(QRect(0, 168, 256, 88), QColor(0x03, 0x08, 0x14, 200));
    p.setPen(QPen(kCyan, 3));
    p.drawLine(0, 168, 256, 168);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(title.size() > 14 ? 20 : 26);
    p.setFont(font);
    p.setPen(kText);
    p.drawText(QRect(10, 172, 236, 58), Qt::AlignCenter | Qt::TextWordWrap, title);
    QFont small(QStringLiteral("DejaVu Sans"));
    small.setPixelSize(13);
    p.setFont(small);
    p.setPen(kCyan);
    p.drawText(QRect(10, 230, 236, 20), Qt::AlignCenter, category.toUpper());
    p.setPen(QPen(QColor(0x35, 0xd6, 0xf0, 160), 2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(img.rect().adjusted(1, 1, -2, -2));
    return img;
}

void SaveJpeg(const QImage& image, const std::filesystem::path& file, int quality) {
    QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    std::unique_ptr<FILE, int (*)(FILE*)> out(std::fopen(file.c_str(), "wb"), std::fclose);
    if (!out) {
        throw std::runtime_error("cannot write " + file.string());
    }
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, out.get());
    cinfo.image_width = static_cast<JDIMENSION>(rgb.width());
    cinfo.image_height = static_cast<JDIMENSION>(rgb.height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        auto* row = const_cast<JSAMPLE*>(rgb.constScanLine(static_cast<int>(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
}

}  // namespace hv::democontent
