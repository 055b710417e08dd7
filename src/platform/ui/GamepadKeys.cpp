#include "ui/GamepadKeys.h"

#include <SDL2/SDL_gamecontroller.h>

#include <cstdint>

namespace hv {

namespace {

// The keys a controller can press; the first four are the stick's directions.
enum Key { kUp, kDown, kLeft, kRight, kReturn, kBack, kChannelUp, kChannelDown };

struct KeyMessage {
    UINT message;  // WM_KEYDOWN for a key, WM_APPCOMMAND for a remote's command
    int code;      // virtual key or command
};

constexpr KeyMessage kKeyMessages[GamepadKeys::kKeyCount] = {
    {WM_KEYDOWN, VK_UP},
    {WM_KEYDOWN, VK_DOWN},
    {WM_KEYDOWN, VK_LEFT},
    {WM_KEYDOWN, VK_RIGHT},
    {WM_KEYDOWN, VK_RETURN},
    {WM_KEYDOWN, VK_BACK},
    {WM_APPCOMMAND, APPCOMMAND_MEDIA_CHANNEL_UP},
    {WM_APPCOMMAND, APPCOMMAND_MEDIA_CHANNEL_DOWN},
};

// -1 for a button that means nothing here.
int KeyOfButton(int button) {
    switch (button) {
        case SDL_CONTROLLER_BUTTON_DPAD_UP: return kUp;
        case SDL_CONTROLLER_BUTTON_DPAD_DOWN: return kDown;
        case SDL_CONTROLLER_BUTTON_DPAD_LEFT: return kLeft;
        case SDL_CONTROLLER_BUTTON_DPAD_RIGHT: return kRight;
        case SDL_CONTROLLER_BUTTON_A:
        case SDL_CONTROLLER_BUTTON_START: return kReturn;
        case SDL_CONTROLLER_BUTTON_B: return kBack;
        case SDL_CONTROLLER_BUTTON_LEFTSHOULDER: return kChannelUp;
        case SDL_CONTROLLER_BUTTON_RIGHTSHOULDER: return kChannelDown;
        default: return -1;
    }
}

// Only the directions repeat: a held A must not confirm twice.
bool Repeats(int key) {
    return key <= kRight;
}

constexpr LPARAM kRepeatBit = LPARAM(1) << 30;
constexpr LPARAM kReleaseBits = (LPARAM(1) << 30) | (LPARAM(1) << 31);

MSG Message(UINT message, WPARAM wParam, LPARAM lParam, DWORD now) {
    MSG msg{};
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = now;
    return msg;
}

// `toward`: the axis value signed so that positive points this direction.
bool Pressed(bool was, int toward) {
    return was ? toward > kPadStickRelease : toward >= kPadStickPress;
}

bool Passed(DWORD now, DWORD due) {
    return static_cast<int32_t>(now - due) >= 0;
}

}  // namespace

void GamepadKeys::Button(int pad, int button, bool down, DWORD now, std::vector<MSG>* out) {
    if (button < 0 || button >= static_cast<int>(Pad{}.buttons.size())) {
        return;
    }
    m_pads[pad].buttons[static_cast<size_t>(button)] = down;
    Update(now, out);
}

void GamepadKeys::Axis(int pad, int axis, int value, DWORD now, std::vector<MSG>* out) {
    auto& stick = m_pads[pad].stick;
    if (axis == SDL_CONTROLLER_AXIS_LEFTX) {
        stick[kLeft] = Pressed(stick[kLeft], -value);
        stick[kRight] = Pressed(stick[kRight], value);
    } else if (axis == SDL_CONTROLLER_AXIS_LEFTY) {
        stick[kUp] = Pressed(stick[kUp], -value);  // down is positive
        stick[kDown] = Pressed(stick[kDown], value);
    } else {
        return;
    }
    Update(now, out);
}

void GamepadKeys::Remove(int pad, DWORD now, std::vector<MSG>* out) {
    if (m_pads.erase(pad) != 0) {
        Update(now, out);
    }
}

void GamepadKeys::Update(DWORD now, std::vector<MSG>* out) {
    std::bitset<kKeyCount> held;
    for (const auto& [id, pad] : m_pads) {
        for (size_t button = 0; button < pad.buttons.size(); ++button) {
            if (pad.buttons[button]) {
                if (const int key = KeyOfButton(static_cast<int>(button)); key >= 0) {
                    held[static_cast<size_t>(key)] = true;
                }
            }
        }
        for (size_t direction = 0; direction < pad.stick.size(); ++direction) {
            held[direction] = held[direction] || pad.stick[direction];
        }
    }
    // Releases first, so that a key pressed in the same step is the newest.
    for (int key = 0; key < kKeyCount; ++key) {
        const auto k = static_cast<size_t>(key);
        if (m_held[k] && !held[k]) {
            if (kKeyMessages[k].message == WM_KEYDOWN) {
                out->push_back(Message(WM_KEYUP, static_cast<WPARAM>(kKeyMessages[k].code),
                                       1 | kReleaseBits, now));
            }
            if (m_repeating == key) {
                m_repeating = -1;  // as on a keyboard, an older held key does not take over
            }
        }
    }
    for (int key = 0; key < kKeyCount; ++key) {
        const auto k = static_cast<size_t>(key);
        if (!m_held[k] && held[k]) {
            const KeyMessage& what = kKeyMessages[k];
            if (what.message == WM_KEYDOWN) {
                out->push_back(Message(WM_KEYDOWN, static_cast<WPARAM>(what.code), 1, now));
            } else {
                out->push_back(
                    Message(WM_APPCOMMAND, 0, static_cast<LPARAM>(what.code) << 16, now));
            }
            if (Repeats(key)) {
                m_repeating = key;
                m_repeatDue = now + kPadRepeatDelayMs;
            }
        }
    }
    m_held = held;
}

void GamepadKeys::Repeat(DWORD now, std::vector<MSG>* out) {
    if (m_repeating < 0 || !Passed(now, m_repeatDue)) {
        return;
    }
    out->push_back(Message(WM_KEYDOWN,
                           static_cast<WPARAM>(kKeyMessages[static_cast<size_t>(m_repeating)].code),
                           1 | kRepeatBit, now));
    m_repeatDue += kPadRepeatIntervalMs;
    // A late wake-up skips the repeats it missed rather than firing a burst.
    if (Passed(now, m_repeatDue)) {
        m_repeatDue = now + kPadRepeatIntervalMs;
    }
}

std::optional<DWORD> GamepadKeys::UntilRepeat(DWORD now) const {
    if (m_repeating < 0) {
        return std::nullopt;
    }
    return Passed(now, m_repeatDue) ? 0 : m_repeatDue - now;
}

}  // namespace hv
