#include "Art.h"

#include <QFontDatabase>
#include <QLinearGradient>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>

namespace skin {
namespace {

QString g_regularFamily = QStringLiteral("DejaVu Sans");

}  // namespace

QColor WithAlpha(QColor c, int alpha) {
    c.setAlpha(std::clamp(alpha, 0, 255));
    return c;
}

QColor Mix(const QColor& a, const QColor& b, qreal t) {
    auto lerp = [t](int x, int y) { return static_cast<int>(std::lround(x + (y - x) * t)); };
    return QColor(lerp(a.red(), b.red()), lerp(a.green(), b.green()), lerp(a.blue(), b.blue()),
                  lerp(a.alpha(), b.alpha()));
}

QImage NewCanvas(int w, int h) {
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    return img;
}

void Prepare(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
}

void RegisterFonts(const QString& regular, const QString& bold) {
    const int id = QFontDatabase::addApplicationFont(regular);
    QFontDatabase::addApplicationFont(bold);
    const QStringList families = QFontDatabase::applicationFontFamilies(id);
    if (!families.isEmpty()) {
        g_regularFamily = families.front();
    }
}

QFont SkinFont(qreal pixels, bool bold) {
    QFont f(g_regularFamily);
    f.setPixelSize(static_cast<int>(std::lround(pixels)));
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferNoHinting);
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}

void PaintBackdrop(QPainter& p, const QRectF& r, qreal lightStrength) {
    QLinearGradient base(r.topLeft(), r.bottomRight());
    base.setColorAt(0.0, kNightHigh);
    base.setColorAt(0.55, Mix(kNightDeep, kNightHigh, 0.35));
    base.setColorAt(1.0, kNightDeep);
    p.fillRect(r, base);

    // The light: a wide soft band across the diagonal, brightest near the top left.
    const qreal diag = std::hypot(r.width(), r.height());
    QRadialGradient light(r.left() + r.width() * 0.22, r.top() - r.height() * 0.1, diag * 0.75);
    light.setColorAt(0.0,
                     WithAlpha(QColor(0x7F, 0xB8, 0xFF), static_cast<int>(70 * lightStrength)));
    light.setColorAt(0.45,
                     WithAlpha(QColor(0x4A, 0x7F, 0xD0), static_cast<int>(26 * lightStrength)));
    light.setColorAt(1.0, WithAlpha(kNightDeep, 0));
    p.fillRect(r, light);

    QLinearGradient beam(r.left(), r.top(), r.left() + r.width() * 0.6, r.top() + r.height());
    beam.setColorAt(0.30, WithAlpha(Qt::white, 0));
    beam.setColorAt(0.42,
                    WithAlpha(QColor(0xA0, 0xD8, 0xFF), static_cast<int>(14 * lightStrength)));
    beam.setColorAt(0.50, WithAlpha(Qt::white, 0));
    beam.setColorAt(0.58, WithAlpha(QColor(0xA0, 0xD8, 0xFF), static_cast<int>(8 * lightStrength)));
    beam.setColorAt(0.66, WithAlpha(Qt::white, 0));
    p.fillRect(r, beam);

    // A quiet vignette keeps the corners deep.
    QRadialGradient vignette(r.center(), diag * 0.62);
    vignette.setColorAt(0.6, WithAlpha(Qt::black, 0));
    vignette.setColorAt(1.0, WithAlpha(Qt::black, 90));
    p.fillRect(r, vignette);
}

void PaintGlass(QPainter& p, const QRectF& r, qreal radius, Glass kind) {
    p.save();
    QPainterPath body;
    body.addRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);

    QLinearGradient fill(r.topLeft(), r.bottomLeft());
    switch (kind) {
        case Glass::Plain:
            fill.setColorAt(0.0, QColor(0x1C, 0x30, 0x54));
            fill.setColorAt(1.0, QColor(0x0E, 0x1A, 0x30));
            break;
        case Glass::Raised:
            fill.setColorAt(0.0, QColor(0x25, 0x3E, 0x69));
            fill.setColorAt(1.0, QColor(0x11, 0x1F, 0x3A));
            break;
        case Glass::Chosen:
            fill.setColorAt(0.0, QColor(0x1F, 0x4A, 0x78));
            fill.setColorAt(1.0, QColor(0x0F, 0x26, 0x46));
            break;
    }
    p.fillPath(body, fill);

    // Sheen over the upper half.
    QPainterPath sheen;
    QRectF top = r.adjusted(1.5, 1.5, -1.5, -r.height() * 0.5);
    sheen.addRoundedRect(top, std::max(radius - 1.5, 0.0), std::max(radius - 1.5, 0.0));
    QLinearGradient sheenFill(top.topLeft(), top.bottomLeft());
    sheenFill.setColorAt(0.0, WithAlpha(Qt::white, 40));
    sheenFill.setColorAt(1.0, WithAlpha(Qt::white, 6));
    p.fillPath(sheen, sheenFill);

    // Thin light edge, brighter on top.
    QLinearGradient edge(r.topLeft(), r.bottomLeft());
    const QColor edgeColor = kind == Glass::Chosen ? QColor(0x8F, 0xDD, 0xFF) : QColor(Qt::white);
    edge.setColorAt(0.0, WithAlpha(edgeColor, kind == Glass::Chosen ? 150 : 110));
    edge.setColorAt(1.0, WithAlpha(edgeColor, 28));
    p.setPen(QPen(QBrush(edge), 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawPath(body);
    p.restore();
}

void PaintInnerGlow(QPainter& p, const QRectF& r, qreal radius, qreal strength, int depth) {
    p.save();
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < depth; ++i) {
        const qreal t = static_cast<qreal>(i) / depth;
        const int alpha = static_cast<int>(std::lround(150 * strength * (1 - t) * (1 - t)));
        p.setPen(QPen(WithAlpha(kAccent, alpha), 1.0));
        const qreal inset = 1.5 + i;
        p.drawRoundedRect(r.adjusted(inset, inset, -inset, -inset), std::max(radius - i, 1.0),
                          std::max(radius - i, 1.0));
    }
    // A soft pool of light along the lower edge.
    QRadialGradient pool(r.center().x(), r.bottom(), r.width() * 0.55);
    pool.setColorAt(0.0, WithAlpha(kAccent, static_cast<int>(90 * strength)));
    pool.setColorAt(1.0, WithAlpha(kAccent, 0));
    QPainterPath clip;
    clip.addRoundedRect(r.adjusted(1, 1, -1, -1), radius, radius);
    p.setClipPath(clip);
    p.fillRect(r, pool);
    p.restore();
}

void PaintShine(QPainter& p, const QRectF& clip, qreal x, qreal width, int alpha) {
    p.save();
    p.setClipRect(clip);
    const qreal slant = clip.height() * 0.58;  // 60 degrees
    QPainterPath band;
    band.moveTo(x - width / 2 + slant / 2, clip.top());
    band.lineTo(x + width / 2 + slant / 2, clip.top());
    band.lineTo(x + width / 2 - slant / 2, clip.bottom());
    band.lineTo(x - width / 2 - slant / 2, clip.bottom());
    band.closeSubpath();
    QLinearGradient g(x - width / 2, 0, x + width / 2, 0);
    g.setColorAt(0.0, WithAlpha(Qt::white, 0));
    g.setColorAt(0.5, WithAlpha(Qt::white, alpha));
    g.setColorAt(1.0, WithAlpha(Qt::white, 0));
    p.fillPath(band, g);
    p.restore();
}

void PaintBarBackground(QPainter& p, const QRectF& r) {
    QLinearGradient g(0, r.top(), 0, r.bottom());
    g.setColorAt(0.0, QColor(0x22, 0x3A, 0x63));
    g.setColorAt(0.48, QColor(0x16, 0x29, 0x4A));
    g.setColorAt(0.52, QColor(0x11, 0x21, 0x3D));
    g.setColorAt(1.0, QColor(0x0B, 0x16, 0x2A));
    p.fillRect(r, g);
    p.fillRect(QRectF(r.left(), r.top(), r.width(), 1), WithAlpha(Qt::white, 40));
    p.fillRect(QRectF(r.left(), r.bottom() - 1, r.width(), 1), WithAlpha(kAccent, 110));
}

void PaintMonogram(QPainter& p, const QRectF& box, bool light) {
    p.save();
    const qreal s = std::min(box.width(), box.height());
    const QPointF c = box.center();
    QPainterPath hex;
    for (int i = 0; i < 6; ++i) {
        const qreal a = (60.0 * i - 90.0) * M_PI / 180.0;
        const QPointF pt(c.x() + std::cos(a) * s * 0.48, c.y() + std::sin(a) * s * 0.48);
        if (i == 0) {
            hex.moveTo(pt);
        } else {
            hex.lineTo(pt);
        }
    }
    hex.closeSubpath();
    QLinearGradient fill(box.topLeft(), box.bottomRight());
    if (light) {
        fill.setColorAt(0.0, QColor(0xF4, 0xFA, 0xFF));
        fill.setColorAt(1.0, QColor(0xA8, 0xC8, 0xE8));
    } else {
        fill.setColorAt(0.0, QColor(0x7F, 0xDB, 0xFF));
        fill.setColorAt(1.0, QColor(0x1A, 0x7F, 0xD8));
    }
    p.setPen(QPen(WithAlpha(Qt::white, light ? 200 : 150), std::max(1.0, s / 28)));
    p.setBrush(fill);
    p.drawPath(hex);

    // The H: two posts and a bar, slightly slanted for motion.
    const qreal w = s * 0.11;
    const qreal h = s * 0.46;
    const QColor ink = light ? QColor(0x12, 0x24, 0x42) : QColor(0x08, 0x16, 0x2C);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.translate(c);
    p.shear(-0.12, 0);
    p.drawRoundedRect(QRectF(-s * 0.17 - w / 2, -h / 2, w, h), w * 0.3, w * 0.3);
    p.drawRoundedRect(QRectF(s * 0.17 - w / 2, -h / 2, w, h), w * 0.3, w * 0.3);
    p.drawRect(QRectF(-s * 0.17, -w * 0.45, s * 0.34, w * 0.9));
    p.restore();
}

QImage ApplyKey(const QImage& argb) {
    const QImage src = argb.convertToFormat(QImage::Format_ARGB32);
    QImage out(src.size(), QImage::Format_RGB32);
    for (int y = 0; y < src.height(); ++y) {
        const QRgb* in = reinterpret_cast<const QRgb*>(src.constScanLine(y));
        QRgb* dst = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < src.width(); ++x) {
            const int a = qAlpha(in[x]);
            if (a < 48) {
                dst[x] = kKey.rgb();
                continue;
            }
            auto over = [a](int c, int m) { return (c * a + m * (255 - a) + 127) / 255; };
            dst[x] = qRgb(over(qRed(in[x]), kMatte.red()), over(qGreen(in[x]), kMatte.green()),
                          over(qBlue(in[x]), kMatte.blue()));
        }
    }
    return out;
}

QImage Flatten(const QImage& argb, const QColor& under) {
    QImage out(argb.size(), QImage::Format_RGB32);
    out.fill(under);
    QPainter p(&out);
    p.drawImage(0, 0, argb);
    p.end();
    return out;
}

}  // namespace skin
