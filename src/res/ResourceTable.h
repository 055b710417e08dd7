// The one list of every skin resource: the generator draws from it, the
// resource library answers from it. No Qt here so both sides can share it.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace hv {

struct ResourceSpec {
    std::string_view type;  // "PNG", "JPG", "BITMAP", "AVI", "WAVE", "FONT", "ICON"
    unsigned id;
    int width;   // pixels; one frame for AVI; 0 where not an image
    int height;  // pixels; 0 where not an image
    bool keyed;  // pixels of exactly 0xFF00FF are meant to be transparent
    int frames;  // AVI only
    int fps;     // AVI only
    std::string_view description;
};

// Code names a resource by these, never by its number: hv::res::kButtonFace.id.
namespace res {

// Row makers, so that each entry reads as type, number, size and what it is.
constexpr ResourceSpec Image(std::string_view type, unsigned id, int width, int height,
                             std::string_view description) {
    return {type, id, width, height, false, 0, 0, description};
}
// An image whose pixels of exactly 0xFF00FF are transparent.
constexpr ResourceSpec Keyed(std::string_view type, unsigned id, int width, int height,
                             std::string_view description) {
    return {type, id, width, height, true, 0, 0, description};
}
constexpr ResourceSpec Animation(unsigned id, int width, int height, bool keyed, int frames,
                                 int fps, std::string_view description) {
    return {"AVI", id, width, height, keyed, frames, fps, description};
}
// Sound and font files: no pixels.
constexpr ResourceSpec Data(std::string_view type, unsigned id, std::string_view description) {
    return {type, id, 0, 0, false, 0, 0, description};
}

// Shared skin set, loaded once at start-up.
inline constexpr ResourceSpec kScreenBackdrop =
    Image("JPG", 163, 1028, 768, "screen backdrop, stretched behind every screen");
inline constexpr ResourceSpec kLogo =
    Image("PNG", 214, 220, 65, "Halvory wordmark logo, top-left of every screen");
inline constexpr ResourceSpec kSelectedTileGlow =
    Image("PNG", 254, 128, 128, "glow plate behind the selected, enlarged game tile");
inline constexpr ResourceSpec kDetailTile =
    Image("PNG", 266, 126, 126, "glass tile of the game detail screen");
inline constexpr ResourceSpec kGlowRule =
    Image("PNG", 255, 400, 5, "glow rule, shared set, kept but not drawn");
inline constexpr ResourceSpec kDetailEdgeH =
    Image("PNG", 267, 126, 5, "horizontal glow edge framing the detail picture");
inline constexpr ResourceSpec kDetailEdgeV =
    Image("PNG", 271, 5, 114, "vertical glow edge framing the detail picture");
inline constexpr ResourceSpec kWaitBackground =
    Image("PNG", 288, 400, 100, "please-wait dialog background");
inline constexpr ResourceSpec kProgressTrough =
    Image("PNG", 277, 683, 169, "progress bar trough, stretched under the fill");
inline constexpr ResourceSpec kSummaryDividerH =
    Image("PNG", 256, 186, 2, "horizontal divider framing the games summary panel");
inline constexpr ResourceSpec kSummaryDividerV =
    Image("PNG", 258, 2, 186, "vertical divider framing the games summary panel");
inline constexpr ResourceSpec kTopBarBackground =
    Image("PNG", 259, 539, 30, "top bar background, stretched to the bar width");
inline constexpr ResourceSpec kTopBarPlate =
    Image("PNG", 260, 188, 30, "top bar plate under the logo, back and logout");
inline constexpr ResourceSpec kTopBarMonogram = Image("PNG", 261, 33, 24, "top bar monogram");
inline constexpr ResourceSpec kTopBarMonogramLight =
    Image("PNG", 264, 33, 24, "top bar monogram, light variant, kept but not drawn");
inline constexpr ResourceSpec kTopBarBack = Image("PNG", 262, 20, 21, "top bar back button");
inline constexpr ResourceSpec kTopBarLogout = Image("PNG", 263, 20, 20, "top bar logout button");
inline constexpr ResourceSpec kMessageOneButton =
    Image("JPG", 152, 500, 320, "message dialog background, one button");
inline constexpr ResourceSpec kMessageTwoButtons =
    Image("JPG", 198, 500, 320, "message dialog background, two buttons");
inline constexpr ResourceSpec kMessageHelpLink =
    Image("JPG", 213, 500, 320, "message dialog background, with help link");

// Images held by the screens that load them.
inline constexpr ResourceSpec kTileFrame =
    Image("PNG", 244, 128, 128, "glass frame behind each unselected game tile");
inline constexpr ResourceSpec kTileFrameLit =
    Image("PNG", 245, 128, 128, "game tile frame, lit variant");
inline constexpr ResourceSpec kIconPlaceholder =
    Image("PNG", 246, 112, 112, "placeholder for a game without an icon");
inline constexpr ResourceSpec kSmallPanel = Image("PNG", 281, 240, 120, "small glass panel");
inline constexpr ResourceSpec kWidePanel = Image("PNG", 282, 480, 120, "wide glass panel");
inline constexpr ResourceSpec kPageFrame = Image("PNG", 283, 320, 240, "page area frame");
inline constexpr ResourceSpec kScreenBackdropBright =
    Image("JPG", 185, 1028, 768, "alternative screen backdrop with a stronger light");
inline constexpr ResourceSpec kProgramIcon = Image("ICON", 128, 64, 64, "program icon");

// Animated push button.
inline constexpr ResourceSpec kButtonFace = Image("BITMAP", 180, 220, 45, "push button face");
inline constexpr ResourceSpec kButtonGlow =
    Image("BITMAP", 179, 220, 45, "push button glow, pulsed over the face");
inline constexpr ResourceSpec kButtonSweep =
    Image("BITMAP", 178, 325, 51, "diagonal shine swept over buttons and menu rows");

// Menu list rows, stretched to the list width.
inline constexpr ResourceSpec kMenuRow = Image("BITMAP", 157, 225, 45, "menu row");
inline constexpr ResourceSpec kMenuRowChosen = Image("BITMAP", 158, 225, 45, "menu row, chosen");
inline constexpr ResourceSpec kMenuRowFocus =
    Image("BITMAP", 184, 225, 45, "menu row under focus, pulse base");
inline constexpr ResourceSpec kMenuRowFocusLight =
    Image("BITMAP", 182, 225, 45, "menu row under focus, pulse light");
inline constexpr ResourceSpec kMenuRowChosenFocus =
    Image("BITMAP", 183, 225, 45, "chosen menu row under focus, pulse base");
inline constexpr ResourceSpec kMenuRowChosenFocusLight =
    Image("BITMAP", 181, 225, 45, "chosen menu row under focus, pulse light");

// Small image buttons: page and scroll arrows.
inline constexpr ResourceSpec kUpArrow = Keyed("BITMAP", 172, 27, 27, "up arrow button");
inline constexpr ResourceSpec kUpArrowPressed =
    Keyed("BITMAP", 167, 27, 27, "up arrow button, pressed");
inline constexpr ResourceSpec kUpArrowHighlight =
    Keyed("BITMAP", 174, 27, 27, "up arrow button, highlighted");
inline constexpr ResourceSpec kUpArrowDisabled =
    Keyed("BITMAP", 173, 27, 27, "up arrow button, disabled");
inline constexpr ResourceSpec kDownArrow = Keyed("BITMAP", 168, 27, 27, "down arrow button");
inline constexpr ResourceSpec kDownArrowPressed =
    Keyed("BITMAP", 171, 27, 27, "down arrow button, pressed");
inline constexpr ResourceSpec kDownArrowHighlight =
    Keyed("BITMAP", 170, 27, 27, "down arrow button, highlighted");
inline constexpr ResourceSpec kDownArrowDisabled =
    Keyed("BITMAP", 169, 27, 27, "down arrow button, disabled");

// Window buttons of the top bar; opaque, painted over the bar's own shading.
inline constexpr ResourceSpec kCloseButton = Image("BITMAP", 134, 16, 16, "close window button");
inline constexpr ResourceSpec kCloseButtonPressed =
    Image("BITMAP", 133, 16, 16, "close window button, pressed");
inline constexpr ResourceSpec kMaximiseButton =
    Image("BITMAP", 136, 16, 16, "maximise window button");
inline constexpr ResourceSpec kMaximiseButtonPressed =
    Image("BITMAP", 135, 16, 16, "maximise window button, pressed");
inline constexpr ResourceSpec kRestoreButton =
    Image("BITMAP", 132, 16, 16, "restore window button");
inline constexpr ResourceSpec kRestoreButtonPressed =
    Image("BITMAP", 139, 16, 16, "restore window button, pressed");
inline constexpr ResourceSpec kMinimiseButton =
    Image("BITMAP", 138, 16, 16, "minimise window button");
inline constexpr ResourceSpec kMinimiseButtonPressed =
    Image("BITMAP", 137, 16, 16, "minimise window button, pressed");

// Further top bar buttons; only the link pair is ever drawn.
inline constexpr ResourceSpec kLinkButton = Keyed("BITMAP", 192, 28, 27, "top bar link button");
inline constexpr ResourceSpec kLinkButtonPressed =
    Keyed("BITMAP", 191, 28, 27, "top bar link button, pressed");
inline constexpr ResourceSpec kBarLogoButton =
    Keyed("BITMAP", 190, 28, 27, "top bar logo button, spare");
inline constexpr ResourceSpec kBarLogoButtonPressed =
    Keyed("BITMAP", 189, 28, 27, "top bar logo button pressed, spare");
inline constexpr ResourceSpec kBarBackButton =
    Keyed("BITMAP", 186, 28, 27, "top bar back button, spare");
inline constexpr ResourceSpec kBarBackButtonPressed =
    Keyed("BITMAP", 193, 28, 27, "top bar back button pressed, spare");
inline constexpr ResourceSpec kBarLogoutButton =
    Keyed("BITMAP", 194, 28, 27, "top bar logout button, spare");
inline constexpr ResourceSpec kBarLogoutButtonPressed =
    Keyed("BITMAP", 196, 28, 27, "top bar logout button pressed, spare");
inline constexpr ResourceSpec kBarHomeButton =
    Keyed("BITMAP", 195, 28, 27, "top bar home button, spare");
inline constexpr ResourceSpec kBarHomeButtonPressed =
    Keyed("BITMAP", 197, 28, 27, "top bar home button pressed, spare");

// Text box borders: emphasised and normal sets.
inline constexpr ResourceSpec kEditTopEmphasised =
    Keyed("BITMAP", 142, 284, 2, "text box border top, emphasised");
inline constexpr ResourceSpec kEditBottomEmphasised =
    Keyed("BITMAP", 147, 284, 2, "text box border bottom, emphasised");
inline constexpr ResourceSpec kEditLeftEmphasised =
    Keyed("BITMAP", 148, 2, 35, "text box border left, emphasised");
inline constexpr ResourceSpec kEditRightEmphasised =
    Keyed("BITMAP", 149, 2, 35, "text box border right, emphasised");
inline constexpr ResourceSpec kEditTop = Keyed("BITMAP", 146, 284, 2, "text box border top");
inline constexpr ResourceSpec kEditBottom = Keyed("BITMAP", 143, 284, 2, "text box border bottom");
inline constexpr ResourceSpec kEditLeft = Keyed("BITMAP", 144, 2, 35, "text box border left");
inline constexpr ResourceSpec kEditRight = Keyed("BITMAP", 145, 2, 35, "text box border right");

// Login screen.
inline constexpr ResourceSpec kLoginHeaderRule =
    Keyed("BITMAP", 164, 398, 47, "login panel header rule");
inline constexpr ResourceSpec kLoginFooterRule =
    Keyed("BITMAP", 165, 398, 47, "login panel footer rule");

// Download screen and progress.
inline constexpr ResourceSpec kStatusPlate = Image("BITMAP", 200, 640, 50, "status line plate");
inline constexpr ResourceSpec kProgressFill = Image("BITMAP", 201, 363, 20, "progress fill");
inline constexpr ResourceSpec kProgressTroughBitmap =
    Keyed("BITMAP", 203, 428, 57, "progress trough for the bitmap-background mode");
inline constexpr ResourceSpec kResizeGrip =
    Keyed("BITMAP", 205, 15, 15, "resize grip, bottom-right of every screen");

// Rating badges.
inline constexpr ResourceSpec kRatingE = Image("BITMAP", 248, 48, 48, "rating badge E (everyone)");
inline constexpr ResourceSpec kRatingEc =
    Image("BITMAP", 249, 48, 48, "rating badge EC (early childhood)");
inline constexpr ResourceSpec kRatingT = Image("BITMAP", 252, 48, 48, "rating badge T (teen)");
inline constexpr ResourceSpec kRatingM = Image("BITMAP", 250, 48, 48, "rating badge M (mature)");
inline constexpr ResourceSpec kRatingAo =
    Image("BITMAP", 247, 48, 48, "rating badge AO (adults only)");
inline constexpr ResourceSpec kRatingRp =
    Image("BITMAP", 251, 48, 48, "rating badge RP (rating pending)");

// Animations, stored as horizontal frame strips.
inline constexpr ResourceSpec kTransferAnimation =
    Animation(126, 272, 60, false, 31, 15, "transfer animation of the upgrade download dialog");
inline constexpr ResourceSpec kConnectingAnimation =
    Animation(140, 312, 102, true, 41, 15, "connecting animation of the login status screen");

// Sound and fonts.
inline constexpr ResourceSpec kClickSound =
    Data("WAVE", 141, "click sound of buttons and menu rows");
inline constexpr ResourceSpec kFontRegular = Data("FONT", 1, "DejaVu Sans");
inline constexpr ResourceSpec kFontBold = Data("FONT", 2, "DejaVu Sans Bold");

}  // namespace res

// Every resource once, in the order the generator draws them.
inline constexpr std::array kResourceTable{
    // Shared skin set, loaded once at start-up.
    res::kScreenBackdrop,
    res::kLogo,
    res::kSelectedTileGlow,
    res::kDetailTile,
    res::kGlowRule,
    res::kDetailEdgeH,
    res::kDetailEdgeV,
    res::kWaitBackground,
    res::kProgressTrough,
    res::kSummaryDividerH,
    res::kSummaryDividerV,
    res::kTopBarBackground,
    res::kTopBarPlate,
    res::kTopBarMonogram,
    res::kTopBarMonogramLight,
    res::kTopBarBack,
    res::kTopBarLogout,
    res::kMessageOneButton,
    res::kMessageTwoButtons,
    res::kMessageHelpLink,
    // Images held by the screens that load them.
    res::kTileFrame,
    res::kTileFrameLit,
    res::kIconPlaceholder,
    res::kSmallPanel,
    res::kWidePanel,
    res::kPageFrame,
    res::kScreenBackdropBright,
    res::kProgramIcon,
    // Animated push button.
    res::kButtonFace,
    res::kButtonGlow,
    res::kButtonSweep,
    // Menu list rows, stretched to the list width.
    res::kMenuRow,
    res::kMenuRowChosen,
    res::kMenuRowFocus,
    res::kMenuRowFocusLight,
    res::kMenuRowChosenFocus,
    res::kMenuRowChosenFocusLight,
    // Small image buttons: page and scroll arrows.
    res::kUpArrow,
    res::kUpArrowPressed,
    res::kUpArrowHighlight,
    res::kUpArrowDisabled,
    res::kDownArrow,
    res::kDownArrowPressed,
    res::kDownArrowHighlight,
    res::kDownArrowDisabled,
    // Window buttons of the top bar; opaque, painted over the bar's own shading.
    res::kCloseButton,
    res::kCloseButtonPressed,
    res::kMaximiseButton,
    res::kMaximiseButtonPressed,
    res::kRestoreButton,
    res::kRestoreButtonPressed,
    res::kMinimiseButton,
    res::kMinimiseButtonPressed,
    // Further top bar buttons; only the link pair is ever drawn.
    res::kLinkButton,
    res::kLinkButtonPressed,
    res::kBarLogoButton,
    res::kBarLogoButtonPressed,
    res::kBarBackButton,
    res::kBarBackButtonPressed,
    res::kBarLogoutButton,
    res::kBarLogoutButtonPressed,
    res::kBarHomeButton,
    res::kBarHomeButtonPressed,
    // Text box borders: emphasised and normal sets.
    res::kEditTopEmphasised,
    res::kEditBottomEmphasised,
    res::kEditLeftEmphasised,
    res::kEditRightEmphasised,
    res::kEditTop,
    res::kEditBottom,
    res::kEditLeft,
    res::kEditRight,
    // Login screen.
    res::kLoginHeaderRule,
    res::kLoginFooterRule,
    // Download screen and progress.
    res::kStatusPlate,
    res::kProgressFill,
    res::kProgressTroughBitmap,
    res::kResizeGrip,
    // Rating badges.
    res::kRatingE,
    res::kRatingEc,
    res::kRatingT,
    res::kRatingM,
    res::kRatingAo,
    res::kRatingRp,
    // Animations, stored as horizontal frame strips.
    res::kTransferAnimation,
    res::kConnectingAnimation,
    // Sound and fonts.
    res::kClickSound,
    res::kFontRegular,
    res::kFontBold,
};

// What every row must satisfy, checked while compiling.
namespace res {

constexpr bool IsImageType(std::string_view type) {
    return type == "PNG" || type == "JPG" || type == "BITMAP" || type == "AVI" || type == "ICON";
}

constexpr bool IsKnownType(std::string_view type) {
    return IsImageType(type) || type == "WAVE" || type == "FONT";
}

}  // namespace res

static_assert(
    [] {
        for (size_t i = 0; i < kResourceTable.size(); ++i) {
            for (size_t j = 0; j < i; ++j) {
                if (kResourceTable[i].type == kResourceTable[j].type &&
                    kResourceTable[i].id == kResourceTable[j].id) {
                    return false;
                }
            }
        }
        return true;
    }(),
    "a type and number listed twice");
static_assert(
    [] {
        for (const ResourceSpec& s : kResourceTable) {
            if (!res::IsKnownType(s.type) || s.id == 0 || s.description.empty()) {
                return false;
            }
        }
        return true;
    }(),
    "a row with an unknown type, no number or no description");
static_assert(
    [] {
        for (const ResourceSpec& s : kResourceTable) {
            const bool sized = s.width > 0 && s.height > 0;
            const bool unsized = s.width == 0 && s.height == 0;
            if (res::IsImageType(s.type) ? !sized : !unsized) {
                return false;
            }
        }
        return true;
    }(),
    "images need a positive size; sounds and fonts have none");
static_assert(
    [] {
        for (const ResourceSpec& s : kResourceTable) {
            const bool animated = s.frames > 0 && s.fps > 0;
            const bool still = s.frames == 0 && s.fps == 0;
            if (s.type == "AVI" ? !animated : !still) {
                return false;
            }
        }
        return true;
    }(),
    "animations need frames and a rate; nothing else has either");
// Only bitmaps and animation strips are stored without alpha, so only they can carry a key.
static_assert(
    [] {
        for (const ResourceSpec& s : kResourceTable) {
            if (s.keyed && s.type != "BITMAP" && s.type != "AVI") {
                return false;
            }
        }
        return true;
    }(),
    "a key colour on a resource stored with alpha or without pixels");

// Path of a resource inside the bundle, relative to its root: "bitmap/180.png".
// AVI strips are PNG files; their frame data sits beside them in "avi/<id>.json".
inline std::string ResourceFileName(std::string_view type, unsigned id) {
    std::string dir;
    for (char c : type) {
        dir += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    std::string ext = ".png";
    if (type == "JPG") {
        ext = ".jpg";
    } else if (type == "WAVE") {
        ext = ".wav";
    } else if (type == "FONT") {
        ext = ".ttf";
    } else if (type == "AVIINFO") {
        dir = "avi";
        ext = ".json";
    }
    return dir + "/" + std::to_string(id) + ext;
}

}  // namespace hv
