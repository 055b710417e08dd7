// The skin's colours, named once: the generator paints the skin with them and
// the client draws over that skin with them. No Qt here so both can share it.
#pragma once

#include <cstdint>

using COLORREF = std::uint32_t;  // 0x00BBGGRR

constexpr COLORREF RGB(unsigned red, unsigned green, unsigned blue) {
    return (red & 0xFF) | (green & 0xFF) << 8 | (blue & 0xFF) << 16;
}

namespace hv::look {

constexpr COLORREF kKeyColour = 0xFF00FF;      // transparent pixels of skin bitmaps
constexpr COLORREF kStaticText = 0xEEEEEE;     // text on skinned surfaces
constexpr COLORREF kButtonTextHot = 0xFFFFFF;  // focused or hovered button
constexpr COLORREF kButtonText = 0xB9B9B9;
constexpr COLORREF kLinkText = 0x54FFFF;

// The night-blue backdrop range and the one accent.
constexpr COLORREF kNightDeep = RGB(0x0A, 0x14, 0x24);
constexpr COLORREF kNightHigh = RGB(0x16, 0x28, 0x4A);
constexpr COLORREF kAccent = RGB(0x3F, 0xC1, 0xFF);
// What the edges of keyed pixels are flattened onto.
constexpr COLORREF kMatte = RGB(0x0F, 0x1C, 0x33);
// Under a dialog whose background image did not load.
constexpr COLORREF kDialogFill = RGB(0x10, 0x1C, 0x34);

}  // namespace hv::look
