// The rating badges drawn beside a game's rating text.
#pragma once

#include <QImage>
#include <string_view>

#include "winapi/winuser.h"

// The BITMAP resource of the badge for a rating text, or 0 when the text names
// no badge. The games screen compares ignoring case; the other screens want
// the text exactly.
UINT RatingBadgeId(std::string_view rating, bool ignoreCase);

// The badge faint (at most 100 of 255 opaque), ready to draw; null when the
// resource is missing.
QImage LoadFaintBadge(UINT id);
