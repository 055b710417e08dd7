// The skin's shared colours and image numbers, named once.
#pragma once

#include <QColor>

#include "winapi/winapi.h"

using COLORREF = DWORD;  // 0x00BBGGRR

inline QColor ToQColor(COLORREF colour) {
    return QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
}

namespace look {

constexpr COLORREF kKeyColour = 0xFF00FF;      // transparent pixels of skin bitmaps
constexpr COLORREF kStaticText = 0xEEEEEE;     // text on skinned surfaces
constexpr COLORREF kButtonTextHot = 0xFFFFFF;  // focused or hovered button
constexpr COLORREF kButtonText = 0xB9B9B9;
constexpr COLORREF kLinkText = 0x54FFFF;

// Shared JPG pictures.
constexpr UINT kScreenBackground = 163;
constexpr UINT kMessageOneButton = 152;
constexpr UINT kMessageTwoButtons = 198;
constexpr UINT kMessageHelpLink = 213;

// Shared PNG images.
constexpr UINT kLogo = 214;
constexpr UINT kListTile = 254;
constexpr UINT kDetailTile = 266;
constexpr UINT kUnusedBar = 255;
constexpr UINT kDetailEdgeH = 267;
constexpr UINT kDetailEdgeV = 271;
constexpr UINT kWaitBackground = 288;
constexpr UINT kProgressBackground = 277;
constexpr UINT kDividerH = 256;
constexpr UINT kDividerV = 258;
constexpr UINT kTopBarBackground = 259;
constexpr UINT kTopBarTitle = 260;
constexpr UINT kTopBarLogo = 261;
constexpr UINT kUnusedLogo = 264;
constexpr UINT kTopBarBack = 262;
constexpr UINT kTopBarLogout = 263;

// Push button images: face, glow and sweep.
constexpr UINT kButtonFace = 180;
constexpr UINT kButtonGlow = 179;
constexpr UINT kButtonSweep = 178;

// The resize grip of every screen.
constexpr UINT kResizeGrip = 205;

// The click sound.
constexpr UINT kClickSound = 141;

}  // namespace look
