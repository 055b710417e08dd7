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

inline constexpr std::array kResourceTable = std::to_array<ResourceSpec>({
    // Shared skin set, loaded once at start-up.
    {"JPG", 163, 1028, 768, false, 0, 0, "screen backdrop, stretched behind every screen"},
    {"PNG", 214, 220, 65, false, 0, 0, "Halvory wordmark logo, top-left of every screen"},
    {"PNG", 254, 128, 128, false, 0, 0, "glow plate behind the selected, enlarged game tile"},
    {"PNG", 266, 126, 126, false, 0, 0, "glass tile of the game detail screen"},
    {"PNG", 255, 400, 5, false, 0, 0, "glow rule, shared set, kept but not drawn"},
    {"PNG", 267, 126, 5, false, 0, 0, "horizontal glow edge framing the detail picture"},
    {"PNG", 271, 5, 114, false, 0, 0, "vertical glow edge framing the detail picture"},
    {"PNG", 288, 400, 100, false, 0, 0, "please-wait dialog background"},
    {"PNG", 277, 683, 169, false, 0, 0, "progress bar trough, stretched under the fill"},
    {"PNG", 256, 186, 2, false, 0, 0, "horizontal divider framing the games summary panel"},
    {"PNG", 258, 2, 186, false, 0, 0, "vertical divider framing the games summary panel"},
    {"PNG", 259, 539, 30, false, 0, 0, "top bar background, stretched to the bar width"},
    {"PNG", 260, 188, 30, false, 0, 0, "top bar plate under the logo, back and logout"},
    {"PNG", 261, 33, 24, false, 0, 0, "top bar monogram"},
    {"PNG", 264, 33, 24, false, 0, 0, "top bar monogram, light variant, kept but not drawn"},
    {"PNG", 262, 20, 21, false, 0, 0, "top bar back button"},
    {"PNG", 263, 20, 20, false, 0, 0, "top bar logout button"},
    {"JPG", 152, 500, 320, false, 0, 0, "message dialog background, one button"},
    {"JPG", 198, 500, 320, false, 0, 0, "message dialog background, two buttons"},
    {"JPG", 213, 500, 320, false, 0, 0, "message dialog background, with help link"},
    // Images held by the screens that load them.
    {"PNG", 244, 128, 128, false, 0, 0, "glass frame behind each unselected game tile"},
    {"PNG", 245, 128, 128, false, 0, 0, "game tile frame, lit variant"},
    {"PNG", 246, 112, 112, false, 0, 0, "placeholder for a game without an icon"},
    {"PNG", 281, 240, 120, false, 0, 0, "small glass panel"},
    {"PNG", 282, 480, 120, false, 0, 0, "wide glass panel"},
    {"PNG", 283, 320, 240, false, 0, 0, "page area frame"},
    {"JPG", 185, 1028, 768, false, 0, 0, "alternative screen backdrop with a stronger light"},
    {"ICON", 128, 64, 64, false, 0, 0, "program icon"},
    // Animated push button.
    {"BITMAP", 180, 220, 45, false, 0, 0, "push button face"},
    {"BITMAP", 179, 220, 45, false, 0, 0, "push button glow, pulsed over the face"},
    {"BITMAP", 178, 325, 51, false, 0, 0, "diagonal shine swept over buttons and menu rows"},
    // Menu list rows, stretched to the list width.
    {"BITMAP", 157, 225, 45, false, 0, 0, "menu row"},
    {"BITMAP", 158, 225, 45, false, 0, 0, "menu row, chosen"},
    {"BITMAP", 184, 225, 45, false, 0, 0, "menu row under focus, pulse base"},
    {"BITMAP", 182, 225, 45, false, 0, 0, "menu row under focus, pulse light"},
    {"BITMAP", 183, 225, 45, false, 0, 0, "chosen menu row under focus, pulse base"},
    {"BITMAP", 181, 225, 45, false, 0, 0, "chosen menu row under focus, pulse light"},
    // Small image buttons: page and scroll arrows.
    {"BITMAP", 172, 27, 27, true, 0, 0, "up arrow button"},
    {"BITMAP", 167, 27, 27, true, 0, 0, "up arrow button, pressed"},
    {"BITMAP", 174, 27, 27, true, 0, 0, "up arrow button, highlighted"},
    {"BITMAP", 173, 27, 27, true, 0, 0, "up arrow button, disabled"},
    {"BITMAP", 168, 27, 27, true, 0, 0, "down arrow button"},
    {"BITMAP", 171, 27, 27, true, 0, 0, "down arrow button, pressed"},
    {"BITMAP", 170, 27, 27, true, 0, 0, "down arrow button, highlighted"},
    {"BITMAP", 169, 27, 27, true, 0, 0, "down arrow button, disabled"},
    // Window buttons of the top bar; opaque, painted over the bar's own shading.
    {"BITMAP", 134, 16, 16, false, 0, 0, "close window button"},
    {"BITMAP", 133, 16, 16, false, 0, 0, "close window button, pressed"},
    {"BITMAP", 136, 16, 16, false, 0, 0, "maximise window button"},
    {"BITMAP", 135, 16, 16, false, 0, 0, "maximise window button, pressed"},
    {"BITMAP", 132, 16, 16, false, 0, 0, "restore window button"},
    {"BITMAP", 139, 16, 16, false, 0, 0, "restore window button, pressed"},
    {"BITMAP", 138, 16, 16, false, 0, 0, "minimise window button"},
    {"BITMAP", 137, 16, 16, false, 0, 0, "minimise window button, pressed"},
    // Further top bar buttons; only the link pair is ever drawn.
    {"BITMAP", 192, 28, 27, true, 0, 0, "top bar link button"},
    {"BITMAP", 191, 28, 27, true, 0, 0, "top bar link button, pressed"},
    {"BITMAP", 190, 28, 27, true, 0, 0, "top bar logo button, spare"},
    {"BITMAP", 189, 28, 27, true, 0, 0, "top bar logo button pressed, spare"},
    {"BITMAP", 186, 28, 27, true, 0, 0, "top bar back button, spare"},
    {"BITMAP", 193, 28, 27, true, 0, 0, "top bar back button pressed, spare"},
    {"BITMAP", 194, 28, 27, true, 0, 0, "top bar logout button, spare"},
    {"BITMAP", 196, 28, 27, true, 0, 0, "top bar logout button pressed, spare"},
    {"BITMAP", 195, 28, 27, true, 0, 0, "top bar home button, spare"},
    {"BITMAP", 197, 28, 27, true, 0, 0, "top bar home button pressed, spare"},
    // Text box borders: emphasised and normal sets.
    {"BITMAP", 142, 284, 2, true, 0, 0, "text box border top, emphasised"},
    {"BITMAP", 147, 284, 2, true, 0, 0, "text box border bottom, emphasised"},
    {"BITMAP", 148, 2, 35, true, 0, 0, "text box border left, emphasised"},
    {"BITMAP", 149, 2, 35, true, 0, 0, "text box border right, emphasised"},
    {"BITMAP", 146, 284, 2, true, 0, 0, "text box border top"},
    {"BITMAP", 143, 284, 2, true, 0, 0, "text box border bottom"},
    {"BITMAP", 144, 2, 35, true, 0, 0, "text box border left"},
    {"BITMAP", 145, 2, 35, true, 0, 0, "text box border right"},
    // Login screen.
    {"BITMAP", 164, 398, 47, true, 0, 0, "login panel header rule"},
    {"BITMAP", 165, 398, 47, true, 0, 0, "login panel footer rule"},
    // Download screen and progress.
    {"BITMAP", 200, 640, 50, false, 0, 0, "status line plate"},
    {"BITMAP", 201, 363, 20, false, 0, 0, "progress fill"},
    {"BITMAP", 203, 428, 57, true, 0, 0, "progress trough for the bitmap-background mode"},
    {"BITMAP", 205, 15, 15, true, 0, 0, "resize grip, bottom-right of every screen"},
    // Rating badges.
    {"BITMAP", 248, 48, 48, false, 0, 0, "rating badge E (everyone)"},
    {"BITMAP", 249, 48, 48, false, 0, 0, "rating badge EC (early childhood)"},
    {"BITMAP", 252, 48, 48, false, 0, 0, "rating badge T (teen)"},
    {"BITMAP", 250, 48, 48, false, 0, 0, "rating badge M (mature)"},
    {"BITMAP", 247, 48, 48, false, 0, 0, "rating badge AO (adults only)"},
    {"BITMAP", 251, 48, 48, false, 0, 0, "rating badge RP (rating pending)"},
    // Animations, stored as horizontal frame strips.
    {"AVI", 126, 272, 60, false, 31, 15, "transfer animation of the upgrade download dialog"},
    {"AVI", 140, 312, 102, true, 41, 15, "connecting animation of the login status screen"},
    // Sound and fonts.
    {"WAVE", 141, 0, 0, false, 0, 0, "click sound of buttons and menu rows"},
    {"FONT", 1, 0, 0, false, 0, 0, "DejaVu Sans"},
    {"FONT", 2, 0, 0, false, 0, 0, "DejaVu Sans Bold"},
});

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
