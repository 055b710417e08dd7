// What a game controller's buttons and left stick say as keyboard input: the
// messages a keyboard would make for the same presses, auto-repeat included.
// Plain logic on times given by the caller, so one thread can drive it from
// whatever it reads.
#pragma once

#include <bitset>
#include <map>
#include <optional>
#include <vector>

#include "winapi/winuser.h"

namespace hv {

// A held direction first repeats after this, then at this interval.
inline constexpr DWORD kPadRepeatDelayMs = 500;
inline constexpr DWORD kPadRepeatIntervalMs = 30;
// The stick presses a direction past kPadStickPress and lets go below
// kPadStickRelease (of 32767), so a thumb resting near the edge does not chatter.
inline constexpr int kPadStickPress = 16000;
inline constexpr int kPadStickRelease = 12000;

class GamepadKeys {
  public:
    // Each call appends the messages of what changed to `out`: WM_KEYDOWN,
    // WM_KEYUP (lParam bits as a keyboard's) or WM_APPCOMMAND (the command in
    // the high word of lParam). `pad` tells controllers apart; `button` and
    // `axis` are SDL's game-controller numbers.
    void Button(int pad, int button, bool down, DWORD now, std::vector<MSG>* out);
    void Axis(int pad, int axis, int value, DWORD now, std::vector<MSG>* out);
    // A controller went away: whatever it held is let go.
    void Remove(int pad, DWORD now, std::vector<MSG>* out);
    // The auto-repeat that is due at `now`, if any.
    void Repeat(DWORD now, std::vector<MSG>* out);
    // Milliseconds from `now` to the next repeat; nullopt when nothing repeats.
    std::optional<DWORD> UntilRepeat(DWORD now) const;

    static constexpr int kKeyCount = 8;

  private:
    struct Pad {
        std::bitset<32> buttons;
        std::bitset<4> stick;  // up, down, left, right
    };

    void Update(DWORD now, std::vector<MSG>* out);

    std::map<int, Pad> m_pads;
    std::bitset<kKeyCount> m_held;
    int m_repeating = -1;  // the newest held direction, which repeats
    DWORD m_repeatDue = 0;
};

}  // namespace hv
