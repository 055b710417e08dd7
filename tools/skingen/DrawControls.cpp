// Buttons, menu rows, arrows, window buttons, borders, bars and badges.
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

QImage PushButton(const hv::ResourceSpec& s, bool glow) {
    QImage img = Canvas(s);
    QPainter p(&img);
    Prepare(p);
    const QRectF r(0, 0, s.width, s.height);
    PaintGlass(p, r, kRadius, Glass::Raised);
    if (glow) {
        PaintInnerGlow(p, r, kRadius, 1.0, 9);
        p.setPen(QPen(WithAlpha(QColor(0xA8, 0xE6, 0xFF), 210), 1));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), kRadius, kRadius);
    }
    return img;
}

QImage Sweep(const hv::ResourceSpec& s) {
    QImage img = Canvas(s);
    QPainter p(&img);
    Prepare(p);
    const QRectF r(0, 0, s.width, s.height);
    PaintGlass(p, r, kRadius, Glass::Raised);
    // The leading edge carries the shine; the trail is the plain face.
    PaintShine(p, r, s.width * 0.80, 76, 235);
    PaintShine(p, r, s.width * 0.80, 18, 255);
    PaintShine(p, r, s.width * 0.63, 22, 120);
    return img;
}

void PaintChevronRight(QPainter& p, qreal x, qreal cy, const QColor& c) {
    p.setPen(QPen(c, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({QPointF(x, cy - 5), QPointF(x + 5, cy), QPointF(x, cy + 5)}));
}

enum class Row { Plain, Chosen, FocusBase, FocusLight, ChosenFocusBase, ChosenFocusLight };

QImage MenuRow(const hv::ResourceSpec& s, Row kind) {
    QImage img = Canvas(s);
    QPainter p(&img);
    Prepare(p);
    const QRectF r(0, 0, s.width, s.height);
    const bool chosen =
        kind == Row::Chosen || kind == Row::ChosenFocusBase || kind == Row::ChosenFocusLight;
    const bool light = kind == Row::FocusLight || kind == Row::ChosenFocusLight;
    if (kind == Row::Plain) {
        p.setOpacity(0.72);
        PaintGlass(p, r, kRadius, Glass::Plain);
        p.setOpacity(1);
    } else {
        PaintGlass(p, r, kRadius, chosen ? Glass::Chosen : Glass::Raised);
    }
    if (light) {
        PaintInnerGlow(p, r, kRadius, 1.0, 8);
        p.setPen(QPen(WithAlpha(QColor(0xA8, 0xE6, 0xFF), 200), 1));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), kRadius, kRadius);
    }
    if (chosen) {
        // Marker left of the text (the text starts 5 pixels in).
        QLinearGradient bar(0, 10, 0, 35);
        bar.setColorAt(0.0, QColor(0xA8, 0xE6, 0xFF));
        bar.setColorAt(1.0, kAccent);
        p.setPen(Qt::NoPen);
        p.setBrush(bar);
        p.drawRoundedRect(QRectF(1.5, 11, 2.5, s.height - 22), 1.2, 1.2);
    }
    if (chosen || light) {
        PaintChevronRight(p, s.width - 20, s.height / 2.0,
                          light ? QColor(0xE8, 0xF8, 0xFF) : WithAlpha(kAccent, 220));
    }
    return img;
}

enum class Arrow { Normal, Pressed, Highlight, Disabled };

QImage ArrowButton(const hv::ResourceSpec& s, bool up, Arrow state) {
    QImage img = Canvas(s);
    QPainter p(&img);
    Prepare(p);
    const QRectF circle(1, 1, s.width - 2, s.height - 2);
    QLinearGradient fill(circle.topLeft(), circle.bottomLeft());
    QColor edge = WithAlpha(Qt::white, 130);
    QColor ink = kText;
    qreal shift = 0;
    switch (state) {
        case Arrow::Normal:
            fill.setColorAt(0.0, QColor(0x2C, 0x4A, 0x7A));
            fill.setColorAt(1.0, QColor(0x10, 0x20, 0x3C));
            break;
        case Arrow::Pressed:
            fill.setColorAt(0.0, QColor(0x0B, 0x18, 0x2E));
            fill.setColorAt(1.0, QColor(0x1C, 0x34, 0x5C));
            edge = WithAlpha(kAccent, 200);
            ink = kAccent;
            shift = 1;
            break;
        case Arrow::Highlight:
            fill.setColorAt(0.0, QColor(0x2F, 0x62, 0x96));
            fill.setColorAt(1.0, QColor(0x12, 0x2C, 0x50));
            edge = QColor(0xA8, 0xE6, 0xFF);
            ink = Qt::white;
            break;
        case Arrow::Disabled:
            fill.setColorAt(0.0, QColor(0x1A, 0x26, 0x3A));
            fill.setColorAt(1.0, QColor(0x12, 0x1B, 0x2C));
            edge = WithAlpha(Qt::white, 45);
            ink = QColor(0x5A, 0x66, 0x78);
            break;
    }
    p.setPen(QPen(edge, state == Arrow::Highlight ? 1.6 : 1.0));
    p.setBrush(fill);
    p.drawEllipse(circle);
    if (state == Arrow::Highlight) {
        QRadialGradient g(circle.center(), circle.width() / 2);
        g.setColorAt(0.55, WithAlpha(kAccent, 0));
        g.setColorAt(1.0, WithAlpha(kAccent, 110));
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawEllipse(circle.adjusted(1, 1, -1, -1));
    }
    const qreal cx = s.width / 2.0;
    const qreal cy = s.height / 2.0 + shift;
    const qreal d = up ? -1 : 1;
    p.setPen(QPen(ink, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({QPointF(cx - 5.5, cy - 2.5 * d), QPointF(cx, cy + 3 * d),
                              QPointF(cx + 5.5, cy - 2.5 * d)}));
    return img;
}

enum class WindowGlyph { Close, Maximise, Restore, Minimise };

QImage WindowButton(const hv::ResourceSpec& s, WindowGlyph glyph, bool pressed) {
    QImage img = Canvas(s);
    QPainter p(&img);
    // The bar draws these 7 pixels down; reuse its shading so they sit seamlessly.
    PaintBarBackground(p, QRectF(0, -7, s.width, 30));
    Prepare(p);
    const QRectF face(0.5, 0.5, s.width - 1, s.height - 1);
    p.setPen(QPen(pressed ? WithAlpha(kAccent, 220) : WithAlpha(Qt::white, 70), 1));
    p.setBrush(pressed ? WithAlpha(kAccent, 110) : WithAlpha(Qt::white, 16));
    p.drawRoundedRect(face, 3, 3);
    const QColor ink = pressed ? Qt::white : kText;
    p.setPen(QPen(ink, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    switch (glyph) {
        case WindowGlyph::Close:
            p.drawLine(QPointF(5, 5), QPointF(11, 11));
            p.drawLine(QPointF(11, 5), QPointF(5, 11));
            break;
        case WindowGlyph::Maximise:
            p.drawRect(QRectF(4.5, 4.5, 7, 7));
            p.drawLine(QPointF(4.5, 5.2), QPointF(11.5, 5.2));
            break;
        case WindowGlyph::Restore:
            p.drawRect(QRectF(4.5, 6.5, 5, 5));
            p.drawPolyline(QPolygonF(
                {QPointF(6.5, 4.5), QPointF(11.5, 4.5), QPointF(11.5, 9.5), QPointF(10, 9.5)}));
            break;
        case WindowGlyph::Minimise: p.drawLine(QPointF(5, 10.5), QPointF(11, 10.5)); break;
    }
    return img;
}

enum class BarGlyph { Link, Logo, Back, Logout, Home };

QImage BarButton(const hv::ResourceSpec& s, BarGlyph glyph, bool pressed) {
    QImage img = Canvas(s);
    QPainter p(&img);
    Prepare(p);
    const QRectF face(1, 1, s.width - 2, s.height - 2);
    PaintGlass(p, face, 5, pressed ? Glass::Chosen : Glass::Raised);
    const QColor ink = pressed ? kAccent : kText;
    const QPointF c = face.center() + QPointF(0, pressed ? 0.5 : 0);
    p.setPen(QPen(ink, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    switch (glyph) {
        case BarGlyph::Link:  // two chain links
            p.save();
            p.translate(c);
            p.rotate(-45);
            p.drawRoundedRect(QRectF(-8, -3, 9, 6), 3, 3);
            p.drawRoundedRect(QRectF(-1, -3, 9, 6), 3, 3);
            p.restore();
            break;
        case BarGlyph::Logo:
            PaintMonogram(p, QRectF(c.x() - 9, c.y() - 9, 18, 18), !pressed);
            break;
        case BarGlyph::Back:
            p.drawLine(QPointF(c.x() + 5, c.y()), QPointF(c.x() - 5, c.y()));
            p.drawPolyline(QPolygonF({QPointF(c.x() - 1, c.y() - 4), QPointF(c.x() - 5, c.y()),
                                      QPointF(c.x() - 1, c.y() + 4)}));
            break;
        case BarGlyph::Logout:
            p.drawArc(QRectF(c.x() - 5.5, c.y() - 4.5, 11, 11), 120 * 16, 300 * 16);
            p.drawLine(QPointF(c.x(), c.y() - 6.5), QPointF(c.x(), c.y() - 0.5));
            break;
        case BarGlyph::Home:
            p.drawPolyline(QPolygonF({QPointF(c.x() - 6, c.y() - 0.5), QPointF(c.x(), c.y() - 6),
                                      QPointF(c.x() + 6, c.y() - 0.5)}));
            p.drawPolyline(
                QPolygonF({QPointF(c.x() - 4, c.y() - 2), QPointF(c.x() - 4, c.y() + 5),
                           QPointF(c.x() + 4, c.y() + 5), QPointF(c.x() + 4, c.y() - 2)}));
            break;
    }
    return img;
}

// Two-pixel borders of the text boxes: an outer line and a softer inner one,
// with the outer corner pixels keyed out so the corners read as rounded.
QImage EditBorder(const hv::ResourceSpec& s, bool emphasised, int side) {
    const QColor outer = emphasised ? kAccent : QColor(0x4E, 0x66, 0x8A);
    const QColor inner = emphasised ? QColor(0xB0, 0xE8, 0xFF) : QColor(0x9A, 0xAC, 0xC4);
    QImage img(s.width, s.height, QImage::Format_ARGB32);
    const bool horizontal = side == 0 || side == 1;
    for (int y = 0; y < s.height; ++y) {
        for (int x = 0; x < s.width; ++x) {
            int depth = 0;  // 0 = outer line, 1 = inner line
            switch (side) {
                case 0: depth = y; break;
                case 1: depth = s.height - 1 - y; break;
                case 2: depth = x; break;
                default: depth = s.width - 1 - x; break;
            }
            const int along = horizontal ? x : y;
            const int length = horizontal ? s.width : s.height;
            const int fromEnd = std::min(along, length - 1 - along);
            bool keyed = false;
            if (horizontal) {
                keyed = (depth == 0 && fromEnd <= 1) || (depth == 1 && fromEnd == 0);
            } else {
                keyed = depth == 0 && fromEnd == 0;
            }
            img.setPixel(x, y, keyed ? qRgba(0, 0, 0, 0) : (depth == 0 ? outer : inner).rgb());
        }
    }
    return img;
}

void PaintTaperedRule(QPainter& p, qreal x0, qreal x1, qreal y, bool thickAtRight) {
    QPainterPath rule;
    const qreal thin = 0.6;
    const qreal thick = 1.6;
    const qreal a = thickAtRight ? thin : thick;
    const qreal b = thickAtRight ? thick : thin;
    rule.moveTo(x0, y - a);
    rule.lineTo(x1, y - b);
    rule.lineTo(x1, y + b);
    rule.lineTo(x0, y + a);
    rule.closeSubpath();
    QLinearGradient g(x0, 0, x1, 0);
    g.setColorAt(0.0, thickAtRight ? QColor(0x2A, 0x6A, 0x9A) : kAccent);
    g.setColorAt(1.0, thickAtRight ? kAccent : QColor(0x2A, 0x6A, 0x9A));
    p.fillPath(rule, g);
}

QImage LoginRule(const hv::ResourceSpec& s, bool header) {
    QImage img = Canvas(s);
    QPainter p(&img);
    Prepare(p);
    const qreal cy = s.height / 2.0;
    if (header) {
        const QRectF pill(s.width / 2.0 - 82, cy - 14, 164, 28);
        PaintTaperedRule(p, 10, pill.left() - 6, cy, true);
        PaintTaperedRule(p, pill.right() + 6, s.width - 10, cy, false);
        PaintGlass(p, pill, 14, Glass::Raised);
        QFont f = SkinFont(13, true);
        f.setLetterSpacing(QFont::AbsoluteSpacing, 3);
        p.setFont(f);
        p.setPen(kText);
        p.drawText(pill.translated(1.5, 0), Qt::AlignCenter, QStringLiteral("SIGN IN"));
    } else {
        PaintTaperedRule(p, 10, s.width / 2.0 - 16, cy, true);
        PaintTaperedRule(p, s.width / 2.0 + 16, s.width - 10, cy, false);
        PaintMonogram(p, QRectF(s.width / 2.0 - 10, cy - 10, 20, 20), false);
    }
    return img;
}

QImage StatusPlate(const hv::ResourceSpec& s) {
    QImage img = Canvas(s);
    QPainter p(&img);
    Prepare(p);
    const QRectF r(0, 0, s.width, s.height);
    p.setOpacity(0.9);
    PaintGlass(p, r, 8, Glass::Plain);
    p.setOpacity(1);
    QLinearGradient rule(0, 0, s.width, 0);
    rule.setColorAt(0.0, WithAlpha(kAccent, 0));
    rule.setColorAt(0.5, WithAlpha(kAccent, 170));
    rule.setColorAt(1.0, WithAlpha(kAccent, 0));
    p.fillRect(QRectF(24, 1, s.width - 48, 1), rule);
    return img;
}

QImage ProgressFill(const hv::ResourceSpec& s) {
    QImage img = Canvas(s);
    QPainter p(&img);
    QLinearGradient g(0, 0, 0, s.height);
    g.setColorAt(0.0, QColor(0x9C, 0xE4, 0xFF));
    g.setColorAt(0.45, kAccent);
    g.setColorAt(0.55, QColor(0x27, 0xA2, 0xE6));
    g.setColorAt(1.0, QColor(0x13, 0x6A, 0xB4));
    p.fillRect(img.rect(), g);
    p.fillRect(QRect(0, 0, s.width, 1), WithAlpha(Qt::white, 150));
    p.fillRect(QRect(0, s.height - 1, s.width, 1), WithAlpha(QColor(0x06, 0x2A, 0x50), 200));
    return img;
}

QImage Grip(const hv::ResourceSpec& s) {
    // Pixel-aligned 2 x 2 studs with a shadow: crisp at this size, no keyed fringes.
    QImage img = Canvas(s);
    QPainter p(&img);
    const QPoint studs[] = {{11, 11}, {11, 7}, {7, 11}, {11, 3}, {7, 7}, {3, 11}};
    for (const QPoint& d : studs) {
        p.fillRect(QRect(d + QPoint(1, 1), QSize(2, 2)), QColor(0x05, 0x0C, 0x18));
        p.fillRect(QRect(d, QSize(2, 2)), QColor(0x9F, 0xC8, 0xE8));
        p.fillRect(QRect(d, QSize(1, 1)), QColor(0xE0, 0xF2, 0xFF));
    }
    return img;
}

QImage Badge(const hv::ResourceSpec& s, const QString& letters, const QColor& color) {
    QImage img = Canvas(s);
    QPainter p(&img);
    Prepare(p);
    const QRectF r(0.5, 0.5, s.width - 1, s.height - 1);
    QLinearGradient fill(r.topLeft(), r.bottomLeft());
    fill.setColorAt(0.0, color.lighter(125));
    fill.setColorAt(1.0, color.darker(135));
    p.setPen(QPen(WithAlpha(Qt::black, 120), 1));
    p.setBrush(fill);
    p.drawRoundedRect(r, 8, 8);
    p.setPen(QPen(WithAlpha(Qt::white, 210), 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(r.adjusted(3, 3, -3, -3), 5.5, 5.5);
    QPainterPath sheen;
    sheen.addRoundedRect(r.adjusted(4.5, 4.5, -4.5, -s.height * 0.5), 4, 4);
    p.fillPath(sheen, WithAlpha(Qt::white, 34));
    p.setFont(SkinFont(letters.size() == 1 ? 27 : 19, true));
    p.setPen(WithAlpha(Qt::black, 90));
    p.drawText(r.translated(0, 1.2), Qt::AlignCenter, letters);
    p.setPen(Qt::white);
    p.drawText(r, Qt::AlignCenter, letters);
    return img;
}

}  // namespace

void AddControlPainters(PainterMap& map) {
    map[Key(hv::res::kButtonFace)] = [](const auto& s) { return PushButton(s, false); };
    map[Key(hv::res::kButtonGlow)] = [](const auto& s) { return PushButton(s, true); };
    map[Key(hv::res::kButtonSweep)] = Sweep;

    map[Key(hv::res::kMenuRow)] = [](const auto& s) { return MenuRow(s, Row::Plain); };
    map[Key(hv::res::kMenuRowChosen)] = [](const auto& s) { return MenuRow(s, Row::Chosen); };
    map[Key(hv::res::kMenuRowFocus)] = [](const auto& s) { return MenuRow(s, Row::FocusBase); };
    map[Key(hv::res::kMenuRowFocusLight)] = [](const auto& s) {
        return MenuRow(s, Row::FocusLight);
    };
    map[Key(hv::res::kMenuRowChosenFocus)] = [](const auto& s) {
        return MenuRow(s, Row::ChosenFocusBase);
    };
    map[Key(hv::res::kMenuRowChosenFocusLight)] = [](const auto& s) {
        return MenuRow(s, Row::ChosenFocusLight);
    };

    const struct {
        const hv::ResourceSpec* resource;
        bool up;
        Arrow state;
    } arrows[] = {{&hv::res::kUpArrow, true, Arrow::Normal},
                  {&hv::res::kUpArrowPressed, true, Arrow::Pressed},
                  {&hv::res::kUpArrowHighlight, true, Arrow::Highlight},
                  {&hv::res::kUpArrowDisabled, true, Arrow::Disabled},
                  {&hv::res::kDownArrow, false, Arrow::Normal},
                  {&hv::res::kDownArrowPressed, false, Arrow::Pressed},
                  {&hv::res::kDownArrowHighlight, false, Arrow::Highlight},
                  {&hv::res::kDownArrowDisabled, false, Arrow::Disabled}};
    for (const auto& a : arrows) {
        map[Key(*a.resource)] = [a](const auto& s) { return ArrowButton(s, a.up, a.state); };
    }

    const struct {
        const hv::ResourceSpec* resource;
        WindowGlyph glyph;
        bool pressed;
    } windowButtons[] = {{&hv::res::kCloseButton, WindowGlyph::Close, false},
                         {&hv::res::kCloseButtonPressed, WindowGlyph::Close, true},
                         {&hv::res::kMaximiseButton, WindowGlyph::Maximise, false},
                         {&hv::res::kMaximiseButtonPressed, WindowGlyph::Maximise, true},
                         {&hv::res::kRestoreButton, WindowGlyph::Restore, false},
                         {&hv::res::kRestoreButtonPressed, WindowGlyph::Restore, true},
                         {&hv::res::kMinimiseButton, WindowGlyph::Minimise, false},
                         {&hv::res::kMinimiseButtonPressed, WindowGlyph::Minimise, true}};
    for (const auto& w : windowButtons) {
        map[Key(*w.resource)] = [w](const auto& s) { return WindowButton(s, w.glyph, w.pressed); };
    }

    const struct {
        const hv::ResourceSpec* resource;
        BarGlyph glyph;
        bool pressed;
    } barButtons[] = {{&hv::res::kLinkButton, BarGlyph::Link, false},
                      {&hv::res::kLinkButtonPressed, BarGlyph::Link, true},
                      {&hv::res::kBarLogoButton, BarGlyph::Logo, false},
                      {&hv::res::kBarLogoButtonPressed, BarGlyph::Logo, true},
                      {&hv::res::kBarBackButton, BarGlyph::Back, false},
                      {&hv::res::kBarBackButtonPressed, BarGlyph::Back, true},
                      {&hv::res::kBarLogoutButton, BarGlyph::Logout, false},
                      {&hv::res::kBarLogoutButtonPressed, BarGlyph::Logout, true},
                      {&hv::res::kBarHomeButton, BarGlyph::Home, false},
                      {&hv::res::kBarHomeButtonPressed, BarGlyph::Home, true}};
    for (const auto& b : barButtons) {
        map[Key(*b.resource)] = [b](const auto& s) { return BarButton(s, b.glyph, b.pressed); };
    }

    const struct {
        const hv::ResourceSpec* resource;
        bool emphasised;
        int side;  // top, bottom, left, right
    } borders[] = {
        {&hv::res::kEditTopEmphasised, true, 0},  {&hv::res::kEditBottomEmphasised, true, 1},
        {&hv::res::kEditLeftEmphasised, true, 2}, {&hv::res::kEditRightEmphasised, true, 3},
        {&hv::res::kEditTop, false, 0},           {&hv::res::kEditBottom, false, 1},
        {&hv::res::kEditLeft, false, 2},          {&hv::res::kEditRight, false, 3}};
    for (const auto& b : borders) {
        map[Key(*b.resource)] = [b](const auto& s) { return EditBorder(s, b.emphasised, b.side); };
    }

    map[Key(hv::res::kLoginHeaderRule)] = [](const auto& s) { return LoginRule(s, true); };
    map[Key(hv::res::kLoginFooterRule)] = [](const auto& s) { return LoginRule(s, false); };
    map[Key(hv::res::kStatusPlate)] = StatusPlate;
    map[Key(hv::res::kProgressFill)] = ProgressFill;
    map[Key(hv::res::kResizeGrip)] = Grip;

    const struct {
        const hv::ResourceSpec* resource;
        const char* letters;
        QColor color;
    } badges[] = {{&hv::res::kRatingE, "E", QColor(0x2E, 0xB8, 0x6A)},
                  {&hv::res::kRatingEc, "EC", QColor(0x22, 0xA8, 0xA8)},
                  {&hv::res::kRatingT, "T", QColor(0x2F, 0x86, 0xE8)},
                  {&hv::res::kRatingM, "M", QColor(0xE0, 0x7A, 0x2E)},
                  {&hv::res::kRatingAo, "AO", QColor(0xCE, 0x3A, 0x4C)},
                  {&hv::res::kRatingRp, "RP", QColor(0x6E, 0x7C, 0x92)}};
    for (const auto& b : badges) {
        map[Key(*b.resource)] = [b](const auto& s) {
            return Badge(s, QString::fromLatin1(b.letters), b.color);
        };
    }
}

}  // namespace skin
