// The palette as Qt colours, and the layout the skinned dialogs share.
#pragma once

#include <QColor>

#include "skin/Palette.h"

inline QColor ToQColor(COLORREF colour) {
    return QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
}

namespace hv::look {

// The message dialog's wide form (yes/no, purchase, folder), in pixels.
constexpr int kWideMessageWidth = 480;
constexpr int kWideMessageHeight = 320;
constexpr int kWideMessageMargin = 10;
constexpr int kWideMessageTextTop = 70;
constexpr int kWideMessageButtonTop = 260;
constexpr int kWideMessageButtonWidth = 220;
constexpr int kWideMessageButtonHeight = 50;
constexpr int kWideMessageLinkBottom = 250;  // the purchase form's terms link ends here
constexpr int kWideMessageFolderTop = 200;   // the folder entry and its chooser button

}  // namespace hv::look
