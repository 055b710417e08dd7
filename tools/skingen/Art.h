// Palette and drawing helpers that keep every piece of the skin in one style.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QRectF>

namespace skin {

// Night-blue backdrop range, the one accent, and the text colours.
inline const QColor kNightDeep{0x0A, 0x14, 0x24};
inline const QColor kNightHigh{0x16, 0x28, 0x4A};
inline const QColor kMatte{0x0F, 0x1C, 0x33};  // what keyed pixels are flattened onto
inline const QColor kAccent{0x3F, 0xC1, 0xFF};
inline const QColor kText{0xEE, 0xEE, 0xEE};
inline const QColor kTextGrey{0xB9, 0xB9, 0xB9};
inline const QColor kKey{0xFF, 0x00, 0xFF};

constexpr qreal kRadius = 6.0;  // corner radius of buttons, rows and plates

QColor WithAlpha(QColor c, int alpha);
QColor Mix(const QColor& a, const QColor& b, qreal t);

// A transparent image ready for antialiased painting.
QImage NewCanvas(int w, int h);
// Sets up a painter with antialiasing and smooth pixmap transforms.
void Prepare(QPainter& p);

// Fonts registered from the bundled files.
void RegisterFonts(const QString& regular, const QString& bold);
QFont SkinFont(qreal pixels, bool bold);

// Night-blue backdrop with a soft diagonal light from the upper left.
void PaintBackdrop(QPainter& p, const QRectF& r, qreal lightStrength);

enum class Glass { Plain, Raised, Chosen };
// Dark glass body with a thin light edge and a top sheen.
void PaintGlass(QPainter& p, const QRectF& r, qreal radius, Glass kind);
// A cyan light that fades inwards from the edge of a rounded rectangle.
void PaintInnerGlow(QPainter& p, const QRectF& r, qreal radius, qreal strength, int depth);
// A white band at 60 degrees centred on x.
void PaintShine(QPainter& p, const QRectF& clip, qreal x, qreal width, int alpha);

// Top bar shading, a function of y only so that other bar pieces can match it.
void PaintBarBackground(QPainter& p, const QRectF& r);

// The Halvory monogram: a rounded hexagon carrying an H.
void PaintMonogram(QPainter& p, const QRectF& box, bool light);

// Flattens a painted ARGB canvas onto the matte colour and turns what is
// (almost) transparent into exact 0xFF00FF, with no blended key pixels.
QImage ApplyKey(const QImage& argb);
// Flattens onto a solid colour without keying (opaque bitmaps).
QImage Flatten(const QImage& argb, const QColor& under);

}  // namespace skin
