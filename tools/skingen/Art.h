// Palette and drawing helpers that keep every piece of the skin in one style.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QRectF>

#include "skin/Look.h"

namespace skin {

// The client's palette (skin/Palette.h), so that both agree by construction.
inline const QColor kNightDeep = ToQColor(hv::look::kNightDeep);
inline const QColor kNightHigh = ToQColor(hv::look::kNightHigh);
inline const QColor kMatte = ToQColor(hv::look::kMatte);
inline const QColor kAccent = ToQColor(hv::look::kAccent);
inline const QColor kText = ToQColor(hv::look::kStaticText);
inline const QColor kTextGrey = ToQColor(hv::look::kButtonText);
inline const QColor kLink = ToQColor(hv::look::kLinkText);
inline const QColor kKey = ToQColor(hv::look::kKeyColour);

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
