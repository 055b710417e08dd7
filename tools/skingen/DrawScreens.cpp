// Backdrops, dialogs, the logo, tiles, frames and the top bar pieces.
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>

#include "Art.h"
#include "Painters.h"

namespace skin {
namespace {

QImage Canvas(const hv::ResourceSpec& s) {
    return NewCanvas(s.width, s.height);
}

void PaintHexOutline(QPainter& p, QPointF c, qreal r, const QColor& color, qreal width) {
    QPainterPath hex;
    for (int i = 0; i < 6; ++i) {
        const qreal a = (60.0 * i - 90.0) * M_PI / 180.0;
        const QPointF pt(c.x() + std::cos(a) * r, c.y() + std::sin(a) * r);
        if (i == 0) {
            hex.moveTo(pt);
        } else {
            hex.lineTo(pt);
        }
    }
    hex.closeSubpath();
    p.setPen(QPen(color, width));
    p.setBrush(Qt::NoBrush);
    p.drawPath(hex);
}

QImage Backdrop(const hv::ResourceSpec& s, qreal light, bool motif) {
    QImage img = Canvas(s);
    QPainter p(&img);
    Prepare(p);
    PaintBackdrop(p, QRectF(img.rect()), light);
    if (motif) {
        // The brand hexagon, very faint, in the quiet lower right.
        PaintHexOutline(p, QPointF(s.width * 0.86, s.height * 0.80), s.height * 0.34,
                        WithAlpha(kAccent, 16), 2.0);
        PaintHexOutline(p, QPointF(s.width * 0.86, s.height * 0.80), s.height * 0.26,
                        WithAlpha(Qt::white, 9), 1.0);
        PaintHexOutline(p, QPointF(s.width * 0.70, s.height * 1.02), s.height * 0.18,
                        WithAlpha(kAccent, 10), 1.5);
    }
    return img;
}

QImage MessageBackground(const hv::ResourceSpec& s, int variant) {
    QImage img = Canvas(s);
    QPainter p(&img);
    Prepare(p);
    const QRectF r(img.rect());
    PaintBackdrop(p, r, 0.8);

    // Title band: the top 25 pixels also drag the dialog.
    QLinearGradient band(0, 0, 0, 28);
    band.setColorAt(0.0, QColor(0x24, 0x3D, 0x68));
    band.setColorAt(1.0, QColor(0x13, 0x24, 0x42));
    p.fillRect(QRectF(0, 0, s.width, 28), band);
    QLinearGradient rule(0, 0, s.width, 0);
    rule.setColorAt(0.0, WithAlpha(kAccent, 0));
    rule.setColorAt(0.25, WithAlpha(kAccent, 200));
    rule.setColorAt(0.75, WithAlpha(kAccent, 200));
    rule.setColorAt(1.0, WithAlpha(kAccent, 0));
    p.fillRect(QRectF(0, 28, s.width, 1), rule);
    PaintMonogram(p, QRectF(s.width - 26, 4, 20, 20), true);

    const qreal floor = s.height - 8;
    auto pool = [&](qreal cx, qreal w) {
        QRadialGradient g(cx, floor, w);
        g.setColorAt(0.0, WithAlpha(kAccent, 46));
        g.setColorAt(1.0, WithAlpha(kAccent, 0));
        p.fillRect(r, g);
    };
    if (variant == 1) {
        pool(s.width * 0.24, 150);
        pool(s.width * 0.76, 150);
    } else {
        pool(s.width / 2.0, 220);
    }
    if (variant == 2) {
        // A faint shelf under the help link.
        QLinearGradient shelf(0, 0, s.width, 0);
        shelf.setColorAt(0.0, WithAlpha(kLink, 0));
        shelf.setColorAt(0.5, WithAlpha(kLink, 40));
        shelf.setColorAt(1.0, WithAlpha(kLink, 0));
        p.fillRect(QRectF(20, s.height * 0.66, s.width - 40, 1), shelf);
    }
    p.setPen(QPen(WithAlpha(Qt::white, 60), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(r.adjusted(0.5, 0.5, -0.5, -0.5));
    return img;
}

QImage Logo(const hv::ResourceSpec& s) {
    QImage img = Canvas(s);
    QPainter p(&img);
    Prepare(p);
    QRadialGradient halo(32, 32, 34);
    halo.setColorAt(0.0, WithAlpha(kAccent, 80));
    halo.setColorAt(1.0, WithAlpha(kAccent, 0));
    p.fillRect(img.rect(), halo);
    PaintMonogram(p, QRectF(8, 9, 48, 48), false);

    // As large as the wordmark can be and still end inside the image.
    qreal size = 37;
    while (size > 20 &&
           QFontMetricsF(SkinFont(size, true)).horizontalAdvance(QStringLiteral("Halvory")) >
               s.width - 64 - 6) {
        size -= 1;
    }
    const QFont word = SkinFont(size, true);
    QPainterPath text;
    text.addText(64, 44, word, QStringLiteral("Halvory"));
    QLinearGradient ink(0, 14, 0, 46);
    ink.setColorAt(0.0, QColor(0xFF, 0xFF, 0xFF));
    ink.setColorAt(1.0, QColor(0xB4, 0xE4, 0xFF));
    p.setPen(Qt::NoPen);
    p.fillPath(text.translated(0, 1.5), WithAlpha(Qt::black, 110));
    p.fillPath(text, ink);

    QFont small = SkinFont(8.5, false);
    small.setLetterSpacing(QFont::AbsoluteSpacing, 2.4);
    p.setFont(small);
    p.setPen(WithAlpha(kAccent, 230));
    p.drawText(QPointF(66, 58), QStringLiteral("GAMES ON DEMAND"));
    return img;
}

QImage Tile(const hv::ResourceSpec& s, Glass glass, qreal glow, bool well) {
    QImage img = Canvas(s);
    QPainter p(&img);
    Prepare(p);
    const QRectF r(1, 1, s.width - 2, s.height - 2);
    PaintGlass(p, r, 10, glass);
    if (well) {
        p.setPen(QPen(WithAlpha(Qt::black, 90), 1));
        p.setBrush(WithAlpha(QColor(0x05, 0x0C, 0x18), 110));
        p.drawRoundedRect(QRectF(7.5, 7.5, s.width - 15, s.height - 15), 5, 5);
    }
    if (glow > 0) {
        PaintInnerGlow(p, r, 10, glow, 7);
    }
    return img;
}

QImage SelectedTile(const hv::ResourceSpec& s) {
    QImage img = Canvas(s);
    QPainter p(&img);
    Prepare(p);
    QRectF r(2, 2, s.width - 4, s.height - 4);
    PaintGlass(p, r, 12, Glass::Chosen);
    PaintInnerGlow(p, r, 12, 1.0, 9);
    p.setPen(QPen(WithAlpha(QColor(0xB8, 0xEC, 0xFF), 230), 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), 12, 12);
    PaintShine(p, r, s.width * 0.3, 40, 26);
    return img;
}

// A light line across the long side, fading at its ends.
QImage GlowLine(const hv::ResourceSpec& s, bool horizontal, qreal fade, const int* profile,
                bool etched) {
    QImage img = Canvas(s);
    QPainter p(&img);
    const int length = horizontal ? s.width : s.height;
    const int across = horizontal ? s.height : s.width;
    for (int i = 0; i < across; ++i) {
        QColor c = etched && i == across - 1
                       ? QColor(0x02, 0x06, 0x10)
                       : (i == across / 2 ? QColor(0xD8, 0xF4, 0xFF) : kAccent);
        QLinearGradient g(0, 0, horizontal ? length : 0, horizontal ? 0 : length);
        g.setColorAt(0.0, WithAlpha(c, 0));
        g.setColorAt(fade, WithAlpha(c, profile[i]));
        g.setColorAt(1.0 - fade, WithAlpha(c, profile[i]));
        g.setColorAt(1.0, WithAlpha(c, 0));
        const QRectF line = horizontal ? QRectF(0, i, length, 1) : QRectF(i, 0, 1, length);
        p.fillRect(line, g);
    }
    return img;
}

QImage WaitBackground(const hv::ResourceSpec& s) {
    QImage img = Canvas(s);
    QPainter p(&img);
    Prepare(p);
    const QRectF r(img.rect());
    QPainterPath body;
    body.addRoundedRect(r, 12, 12);
    p.setClipPath(body);
    PaintBackdrop(p, r, 1.2);
    p.setClipping(false);
    PaintInnerGlow(p, r, 12, 0.45, 5);
    p.setPen(QPen(WithAlpha(Qt::white, 90), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), 12, 12);
    PaintMonogram(p, QRectF(16, 31, 38, 38), false);
    return img;
}

QImage ProgressTrough(const hv::ResourceSpec& s, int targetW, int targetH) {
    // Drawn in the space of the control it is stretched onto, so lines and
    // corners come out even after the unequal stretch.
    QImage img = Canvas(s);
    QPainter p(&img);
    Prepare(p);
    p.scale(static_cast<qreal>(s.width) / targetW, static_cast<qreal>(s.height) / targetH);
    const QRectF outer(0.5, 0.5, targetW - 1, targetH - 1);
    PaintGlass(p, outer, 10, Glass::Plain);
    const QRectF well(12, 7, targetW - 21, targetH - 14);
    QLinearGradient wellFill(well.topLeft(), well.bottomLeft());
    wellFill.setColorAt(0.0, QColor(0x03, 0x08, 0x12));
    wellFill.setColorAt(1.0, QColor(0x0A, 0x16, 0x2A));
    p.setPen(QPen(WithAlpha(Qt::black, 160), 1));
    p.setBrush(wellFill);
    p.drawRoundedRect(well, 5, 5);
    p.setPen(QPen(WithAlpha(kAccent, 70), 1));
    p.setBrush(Qt::NoBrush);
    p.drawLine(QPointF(well.left() + 5, well.bottom() + 0.5),
               QPointF(well.right() - 5, well.bottom() + 0.5));
    return img;
}

QImage TitlePlate(const hv::ResourceSpec& s) {
    QImage img = Canvas(s);
    QPainter p(&img);
    Prepare(p);
    QPainterPath plate;
    plate.moveTo(0, 0);
    plate.lineTo(s.width, 0);
    plate.lineTo(s.width - 16, s.height);
    plate.lineTo(0, s.height);
    plate.closeSubpath();
    QLinearGradient fill(0, 0, 0, s.height);
    fill.setColorAt(0.0, QColor(0x2A, 0x46, 0x74));
    fill.setColorAt(0.5, QColor(0x1A, 0x30, 0x56));
    fill.setColorAt(1.0, QColor(0x0E, 0x1C, 0x36));
    p.fillPath(plate, fill);
    p.fillRect(QRectF(0, 0, s.width - 1, 1), WithAlpha(Qt::white, 55));
    p.setPen(QPen(WithAlpha(kAccent, 200), 1.2));
    p.drawLine(QPointF(s.width - 0.5, 0), QPointF(s.width - 16.5, s.height));
    p.setPen(QPen(WithAlpha(kAccent, 140), 1));
    p.drawLine(QPointF(0, s.height - 0.5), QPointF(s.width - 16, s.height - 0.5));
    // Separators between the logo, back and logout areas.
    for (qreal x : {84.5, 132.5}) {
        p.setPen(QPen(WithAlpha(Qt::white, 30), 1));
        p.drawLine(QPointF(x, 6), QPointF(x, s.height - 6));
    }
    return img;
}

QImage SmallMonogram(const hv::ResourceSpec& s, bool light) {
    QImage img = Canvas(s);
    QPainter p(&img);
    Prepare(p);
    QRadialGradient halo(s.width / 2.0, s.height / 2.0, s.height * 0.6);
    halo.setColorAt(0.0, WithAlpha(kAccent, light ? 30 : 70));
    halo.setColorAt(1.0, WithAlpha(kAccent, 0));
    p.fillRect(img.rect(), halo);
    PaintMonogram(p, QRectF((s.width - 22) / 2.0, 1, 22, 22), light);
    return img;
}

QImage RoundIconButton(const hv::ResourceSpec& s, int glyph) {
    QImage img = Canvas(s);
    QPainter p(&img);
    Prepare(p);
    const qreal d = std::min(s.width, s.height) - 1.0;
    const QRectF circle((s.width - d) / 2.0, (s.height - d) / 2.0, d, d);
    QLinearGradient fill(circle.topLeft(), circle.bottomLeft());
    fill.setColorAt(0.0, QColor(0x2C, 0x4A, 0x7A));
    fill.setColorAt(1.0, QColor(0x10, 0x20, 0x3C));
    p.setPen(QPen(WithAlpha(Qt::white, 120), 1));
    p.setBrush(fill);
    p.drawEllipse(circle);
    const QPointF c = circle.center();
    QPen ink(kText, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(ink);
    p.setBrush(Qt::NoBrush);
    if (glyph == 0) {  // back
        p.drawLine(QPointF(c.x() + 4, c.y()), QPointF(c.x() - 4, c.y()));
        p.drawPolyline(QPolygonF({QPointF(c.x() - 0.5, c.y() - 3.5), QPointF(c.x() - 4, c.y()),
                                  QPointF(c.x() - 0.5, c.y() + 3.5)}));
    } else {  // logout: power
        p.drawArc(QRectF(c.x() - 4.5, c.y() - 4, 9, 9), 120 * 16, 300 * 16);
        p.setPen(QPen(kAccent, 1.8, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(c.x(), c.y() - 5.5), QPointF(c.x(), c.y() - 0.5));
    }
    return img;
}

QImage Placeholder(const hv::ResourceSpec& s) {
    QImage img = Canvas(s);
    QPainter p(&img);
    Prepare(p);
    const QRectF r(0.5, 0.5, s.width - 1, s.height - 1);
    QLinearGradient fill(r.topLeft(), r.bottomRight());
    fill.setColorAt(0.0, QColor(0x22, 0x3A, 0x64));
    fill.setColorAt(1.0, QColor(0x0B, 0x16, 0x2A));
    p.setPen(QPen(WithAlpha(Qt::white, 50), 1));
    p.setBrush(fill);
    p.drawRoundedRect(r, 8, 8);

    // A game pad: body, grips, cross and four buttons.
    const qreal cx = s.width / 2.0;
    const qreal cy = s.height / 2.0 + 2;
    QPainterPath pad;
    pad.addRoundedRect(QRectF(cx - 34, cy - 17, 68, 30), 14, 14);
    pad.addEllipse(QPointF(cx - 24, cy + 10), 12, 13);
    pad.addEllipse(QPointF(cx + 24, cy + 10), 12, 13);
    pad = pad.simplified();
    QLinearGradient padFill(0, cy - 17, 0, cy + 23);
    padFill.setColorAt(0.0, QColor(0x6A, 0x8C, 0xB8));
    padFill.setColorAt(1.0, QColor(0x3A, 0x55, 0x7E));
    p.setPen(QPen(WithAlpha(Qt::white, 90), 1));
    p.setBrush(padFill);
    p.drawPath(pad);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x14, 0x24, 0x40));
    p.drawRoundedRect(QRectF(cx - 25, cy - 5.5, 14, 4), 1, 1);
    p.drawRoundedRect(QRectF(cx - 20, cy - 10.5, 4, 14), 1, 1);
    p.setBrush(kAccent);
    p.drawEllipse(QPointF(cx + 18, cy - 3.5), 2.6, 2.6);
    p.drawEllipse(QPointF(cx + 24, cy - 9), 2.6, 2.6);
    p.setBrush(QColor(0x14, 0x24, 0x40));
    p.drawEllipse(QPointF(cx + 24, cy + 2), 2.6, 2.6);
    p.drawEllipse(QPointF(cx + 30, cy - 3.5), 2.6, 2.6);
    PaintShine(p, r, s.width * 0.72, 26, 18);
    return img;
}

QImage Panel(const hv::ResourceSpec& s) {
    QImage img = Canvas(s);
    QPainter p(&img);
    Prepare(p);
    p.setOpacity(0.88);
    PaintGlass(p, QRectF(0, 0, s.width, s.height), 10, Glass::Plain);
    p.setOpacity(1);
    QLinearGradient rule(0, 0, s.width, 0);
    rule.setColorAt(0.0, WithAlpha(kAccent, 0));
    rule.setColorAt(0.5, WithAlpha(kAccent, 160));
    rule.setColorAt(1.0, WithAlpha(kAccent, 0));
    p.fillRect(QRectF(12, 1, s.width - 24, 1), rule);
    return img;
}

QImage AppIcon(const hv::ResourceSpec& s) {
    QImage img = Canvas(s);
    QPainter p(&img);
    Prepare(p);
    QRadialGradient halo(s.width / 2.0, s.height / 2.0, s.width / 2.0);
    halo.setColorAt(0.0, WithAlpha(kAccent, 90));
    halo.setColorAt(1.0, WithAlpha(kAccent, 0));
    p.fillRect(img.rect(), halo);
    PaintMonogram(p, QRectF(3, 3, s.width - 6, s.height - 6), false);
    return img;
}

}  // namespace

void AddScreenPainters(PainterMap& map) {
    static const int kEdge[] = {34, 110, 235, 110, 34};
    static const int kDivider[] = {120, 110};
    static const int kRule[] = {20, 80, 200, 80, 20};
    map[Key(hv::res::kScreenBackdrop)] = [](const auto& s) { return Backdrop(s, 1.0, true); };
    map[Key(hv::res::kScreenBackdropBright)] = [](const auto& s) {
        return Backdrop(s, 1.7, false);
    };
    map[Key(hv::res::kMessageOneButton)] = [](const auto& s) { return MessageBackground(s, 0); };
    map[Key(hv::res::kMessageTwoButtons)] = [](const auto& s) { return MessageBackground(s, 1); };
    map[Key(hv::res::kMessageHelpLink)] = [](const auto& s) { return MessageBackground(s, 2); };
    map[Key(hv::res::kLogo)] = Logo;
    map[Key(hv::res::kSelectedTileGlow)] = SelectedTile;
    map[Key(hv::res::kDetailTile)] = [](const auto& s) {
        return Tile(s, Glass::Raised, 0.35, false);
    };
    map[Key(hv::res::kTileFrame)] = [](const auto& s) { return Tile(s, Glass::Plain, 0, true); };
    map[Key(hv::res::kTileFrameLit)] = [](const auto& s) {
        return Tile(s, Glass::Raised, 0.7, true);
    };
    map[Key(hv::res::kGlowRule)] = [](const auto& s) {
        return GlowLine(s, true, 0.3, kRule, false);
    };
    map[Key(hv::res::kDetailEdgeH)] = [](const auto& s) {
        return GlowLine(s, true, 0.08, kEdge, false);
    };
    map[Key(hv::res::kDetailEdgeV)] = [](const auto& s) {
        return GlowLine(s, false, 0.08, kEdge, false);
    };
    map[Key(hv::res::kSummaryDividerH)] = [](const auto& s) {
        return GlowLine(s, true, 0.15, kDivider, true);
    };
    map[Key(hv::res::kSummaryDividerV)] = [](const auto& s) {
        return GlowLine(s, false, 0.15, kDivider, true);
    };
    map[Key(hv::res::kWaitBackground)] = WaitBackground;
    // Drawn for the control it is stretched onto, the size the bitmap trough has.
    map[Key(hv::res::kProgressTrough)] = [](const auto& s) {
        return ProgressTrough(s, hv::res::kProgressTroughBitmap.width,
                              hv::res::kProgressTroughBitmap.height);
    };
    map[Key(hv::res::kProgressTroughBitmap)] = [](const auto& s) {
        return ProgressTrough(s, s.width, s.height);
    };
    map[Key(hv::res::kTopBarBackground)] = [](const auto& s) {
        QImage img = Canvas(s);
        QPainter p(&img);
        PaintBarBackground(p, QRectF(img.rect()));
        return img;
    };
    map[Key(hv::res::kTopBarPlate)] = TitlePlate;
    map[Key(hv::res::kTopBarMonogram)] = [](const auto& s) { return SmallMonogram(s, false); };
    map[Key(hv::res::kTopBarMonogramLight)] = [](const auto& s) { return SmallMonogram(s, true); };
    map[Key(hv::res::kTopBarBack)] = [](const auto& s) { return RoundIconButton(s, 0); };
    map[Key(hv::res::kTopBarLogout)] = [](const auto& s) { return RoundIconButton(s, 1); };
    map[Key(hv::res::kIconPlaceholder)] = Placeholder;
    map[Key(hv::res::kSmallPanel)] = Panel;
    map[Key(hv::res::kWidePanel)] = Panel;
    map[Key(hv::res::kPageFrame)] = Panel;
    map[Key(hv::res::kProgramIcon)] = AppIcon;
}

}  // namespace skin
