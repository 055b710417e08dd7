// Drawing CxImage with Qt: the client paints into QImage memory bitmaps.
#pragma once

#include <QImage>
#include <QRect>

#include "image/CxImage.h"

class QPainter;

// Stretches the whole image over target without smoothing. An image with an
// alpha channel is blended over what the target holds, at most at its alpha
// maximum; an image without one replaces the target's pixels.
void DrawImage(QPainter& painter, const CxImage& image, const QRect& target);

// A copy that owns its pixels: Format_RGBA8888 with the alpha maximum applied
// when the image has an alpha channel, Format_RGBX8888 otherwise. Null for an
// invalid image.
QImage ToQImage(const CxImage& image);
