// The two animations as horizontal strips of frames; both loop seamlessly.
#include <QLinearGradient>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>

#include "Art.h"
#include "Painters.h"

namespace skin {
namespace {

void PaintServer(QPainter& p, const QRectF& box) {
    const qreal h = box.height() / 3.0;
    for (int i = 0; i < 3; ++i) {
        const QRectF slab(box.left(), box.top() + i * h + 1, box.width(), h - 2);
        PaintGlass(p, slab, 3, Glass::Raised);
        p.setPen(Qt::NoPen);
        p.setBrush(kAccent);
        p.drawEllipse(QPointF(slab.right() - 6, slab.center().y()), 1.6, 1.6);
        p.setBrush(WithAlpha(Qt::white, 90));
        p.drawRoundedRect(QRectF(slab.left() + 5, slab.center().y() - 1, slab.width() * 0.45, 2), 1,
                          1);
    }
}

void PaintMonitor(QPainter& p, const QRectF& box) {
    const QRectF screen(box.left(), box.top(), box.width(), box.height() * 0.74);
    PaintGlass(p, screen, 3, Glass::Raised);
    QLinearGradient glassFill(screen.topLeft(), screen.bottomRight());
    glassFill.setColorAt(0.0, QColor(0x2C, 0x7C, 0xB8));
    glassFill.setColorAt(1.0, QColor(0x0C, 0x2A, 0x4C));
    p.setPen(Qt::NoPen);
    p.setBrush(glassFill);
    p.drawRoundedRect(screen.adjusted(3, 3, -3, -3), 1.5, 1.5);
    PaintMonogram(p, QRectF(screen.center().x() - 7, screen.center().y() - 7, 14, 14), true);
    p.setBrush(QColor(0x3A, 0x55, 0x7E));
    p.drawRect(QRectF(box.center().x() - 3, screen.bottom(), 6, box.height() * 0.14));
    p.drawRoundedRect(QRectF(box.center().x() - 11, box.bottom() - 4, 22, 4), 2, 2);
}

QImage Transfer(const hv::ResourceSpec& s) {
    QImage strip = NewCanvas(s.width * s.frames, s.height);
    QPainter p(&strip);
    Prepare(p);
    const qreal cy = s.height / 2.0;
    const int dots = 9;
    const qreal x0 = 78;
    const qreal x1 = s.width - 78;
    for (int f = 0; f < s.frames; ++f) {
        p.save();
        p.translate(f * s.width, 0);
        p.setClipRect(QRectF(0, 0, s.width, s.height));
        PaintServer(p, QRectF(24, cy - 21, 40, 42));
        PaintMonitor(p, QRectF(s.width - 68, cy - 21, 46, 42));
        const qreal phase = static_cast<qreal>(f) / s.frames;
        for (int i = 0; i < dots; ++i) {
            const qreal u = static_cast<qreal>(i) / (dots - 1);
            qreal d = std::fabs(u - phase * 1.25 + 0.125);
            const qreal glow = std::exp(-d * d / 0.008);
            const QPointF c(x0 + (x1 - x0) * u, cy);
            p.setPen(Qt::NoPen);
            p.setBrush(Mix(QColor(0x2A, 0x5A, 0x86), QColor(0xE0, 0xF6, 0xFF), glow));
            p.drawEllipse(c, 2.6 + 1.6 * glow, 2.6 + 1.6 * glow);
            if (glow > 0.05) {
                QRadialGradient halo(c, 10);
                halo.setColorAt(0.0, WithAlpha(kAccent, static_cast<int>(150 * glow)));
                halo.setColorAt(1.0, WithAlpha(kAccent, 0));
                p.setBrush(halo);
                p.drawEllipse(c, 10, 10);
            }
        }
        p.restore();
    }
    return strip;
}

QImage Connecting(const hv::ResourceSpec& s) {
    QImage strip = NewCanvas(s.width * s.frames, s.height);
    QPainter p(&strip);
    Prepare(p);
    const QPointF c(s.width / 2.0, s.height / 2.0);
    const qreal rx = 96;
    const qreal ry = 30;
    const int comets = 3;
    const int tail = 10;
    for (int f = 0; f < s.frames; ++f) {
        p.save();
        p.translate(f * s.width, 0);
        p.setClipRect(QRectF(0, 0, s.width, s.height));
        const qreal phase = static_cast<qreal>(f) / s.frames;

        // Rings leave the mark and fade into the backdrop colour, not into
        // transparency, so the keyed frames need no partial pixels.
        for (int k = 0; k < 2; ++k) {
            const qreal t = std::fmod(phase + k * 0.5, 1.0);
            const qreal r = 26 + t * 30;
            p.setPen(QPen(Mix(kAccent, kMatte, t), 1.6));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(c, r * 1.6, r * 0.9);
        }
        auto drawComets = [&](bool front) {
            for (int k = 0; k < comets; ++k) {
                for (int j = tail; j >= 0; --j) {
                    const qreal a = 2 * M_PI * (phase + static_cast<qreal>(k) / comets) - j * 0.11;
                    if ((std::sin(a) >= 0) != front) {
                        continue;
                    }
                    const QPointF pt(c.x() + std::cos(a) * rx, c.y() + std::sin(a) * ry);
                    const qreal fade = static_cast<qreal>(j) / tail;
                    const qreal depth = 0.75 + 0.25 * std::sin(a);
                    p.setPen(Qt::NoPen);
                    p.setBrush(Mix(j == 0 ? QColor(0xE8, 0xF8, 0xFF) : kAccent, kMatte,
                                   fade * 0.85 + (1 - depth) * 0.4));
                    const qreal radius = (4.2 - 2.6 * fade) * depth;
                    p.drawEllipse(pt, radius, radius);
                }
            }
        };
        drawComets(false);
        PaintMonogram(p, QRectF(c.x() - 24, c.y() - 24, 48, 48), false);
        drawComets(true);
        p.restore();
    }
    return strip;
}

}  // namespace

void AddAnimationPainters(PainterMap& map) {
    map[Key(hv::res::kTransferAnimation)] = Transfer;
    map[Key(hv::res::kConnectingAnimation)] = Connecting;
}

}  // namespace skin
