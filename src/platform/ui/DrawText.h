// Text drawing with the platform's DT_ flags, on a QPainter.
#pragma once

#include <QRect>
#include <string>

#include "winapi/winuser.h"

class QPainter;

namespace hv {

// Draws `text` into `rect` with the painter's font and pen; returns the
// height of the text drawn. With DT_CALCRECT nothing is drawn and `rect`
// receives the size the text needs.
int DrawText(QPainter& painter, const std::string& text, QRect* rect, UINT flags);

}  // namespace hv
