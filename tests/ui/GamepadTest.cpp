#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QWidget>
#include <algorithm>
#include <optional>
#include <tuple>
#include <vector>

#include "Pump.h"
#include "VirtualGamepad.h"
#include "ui/Gamepad.h"
#include "ui/GamepadKeys.h"
#include "ui/MessagePump.h"
#include "ui/Wnd.h"

namespace {

constexpr LPARAM kRepeatBit = LPARAM(1) << 30;
constexpr LPARAM kUpBits = (LPARAM(1) << 30) | (LPARAM(1) << 31);

struct Seen {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;  // from the input filter; 0 for what only the window saw
};

// A window that keeps every key it is shown: by the input filter
// (PreTranslateMessage, key-downs only) and by its window procedure.
class KeyProbe : public CWnd {
  public:
    std::vector<Seen> filtered;
    std::vector<Seen> handled;

    BOOL PreTranslateMessage(MSG* msg) override {
        filtered.push_back({msg->message, msg->wParam, msg->lParam, msg->time});
        return FALSE;
    }

  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_KEYDOWN || message == WM_KEYUP) {
            handled.push_back({message, wParam, lParam, 0});
            return 0;
        }
        return CWnd::WindowProc(message, wParam, lParam);
    }
};

std::vector<int> g_commands;
HHOOK g_hook = nullptr;
LRESULT RecordCommand(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HSHELL_APPCOMMAND) {
        g_commands.push_back(GET_APPCOMMAND_LPARAM(lParam));
    }
    return CallNextHookEx(g_hook, code, wParam, lParam);
}

// A frame with a child that has the keyboard focus, a started controller
// reader and a virtual controller plugged in.
class GamepadInput : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(
            frame.CreateEx(0, "pad", WS_POPUP | WS_VISIBLE, RECT{0, 0, 200, 100}, nullptr, 0));
        ASSERT_TRUE(focus.CreateEx(0, "", WS_CHILD | WS_VISIBLE, RECT{10, 10, 50, 30}, &frame, 1));
        frame.GetWidget()->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(frame.GetWidget()));
        focus.SetFocus();
        ASSERT_EQ(CWnd::GetFocus(), &focus);
        g_commands.clear();
        g_hook = SetWindowsHookExA(WH_SHELL, &RecordCommand, nullptr, GetCurrentThreadId());
        ASSERT_TRUE(gamepad.Start());
        ASSERT_TRUE(pad.Attach()) << pad.Error();
    }
    void TearDown() override {
        gamepad.Stop();
        UnhookWindowsHookEx(g_hook);
    }

    size_t Count(UINT message, WPARAM key, const KeyProbe* probe = nullptr) const {
        const auto& seen = (probe ? probe : &focus)->handled;
        return static_cast<size_t>(std::count_if(seen.begin(), seen.end(), [&](const Seen& s) {
            return s.message == message && s.wParam == key;
        }));
    }
    bool WaitFor(UINT message, WPARAM key, size_t count = 1) {
        return PumpUntil([&] { return Count(message, key) >= count; });
    }
    // Presses and releases B and waits for both: whatever the controller did
    // before has arrived by then.
    bool Settle() {
        const size_t ups = Count(WM_KEYUP, VK_BACK);
        pad.Press(SDL_CONTROLLER_BUTTON_B);
        const bool down = WaitFor(WM_KEYDOWN, VK_BACK, ups + 1);
        pad.Release(SDL_CONTROLLER_BUTTON_B);
        return down && WaitFor(WM_KEYUP, VK_BACK, ups + 1);
    }

    VirtualGamepad pad;  // first: SDL's joystick support outlives the reader
    hv::Gamepad gamepad;
    CWnd frame;
    KeyProbe focus;
};

}  // namespace

// A shoulder is a remote's channel command (through the shell hook), the
// rest are keys that the input filter sees before the window does.
TEST_F(GamepadInput, ButtonsAndStickArriveAsKeysOrChannelCommands) {
    const struct {
        const char* name;
        int button;  // -1: the left stick instead
        SDL_GameControllerAxis axis;
        int value;
        WPARAM key;
        int command;
    } cases[] = {
        {"d-pad up", SDL_CONTROLLER_BUTTON_DPAD_UP, {}, 0, VK_UP, 0},
        {"d-pad down", SDL_CONTROLLER_BUTTON_DPAD_DOWN, {}, 0, VK_DOWN, 0},
        {"d-pad left", SDL_CONTROLLER_BUTTON_DPAD_LEFT, {}, 0, VK_LEFT, 0},
        {"d-pad right", SDL_CONTROLLER_BUTTON_DPAD_RIGHT, {}, 0, VK_RIGHT, 0},
        {"stick up", -1, SDL_CONTROLLER_AXIS_LEFTY, -32768, VK_UP, 0},
        {"stick down", -1, SDL_CONTROLLER_AXIS_LEFTY, 32767, VK_DOWN, 0},
        {"stick left", -1, SDL_CONTROLLER_AXIS_LEFTX, -32768, VK_LEFT, 0},
        {"stick right", -1, SDL_CONTROLLER_AXIS_LEFTX, 32767, VK_RIGHT, 0},
        {"A", SDL_CONTROLLER_BUTTON_A, {}, 0, VK_RETURN, 0},
        {"Start", SDL_CONTROLLER_BUTTON_START, {}, 0, VK_RETURN, 0},
        {"B", SDL_CONTROLLER_BUTTON_B, {}, 0, VK_BACK, 0},
        {"LB", SDL_CONTROLLER_BUTTON_LEFTSHOULDER, {}, 0, 0, APPCOMMAND_MEDIA_CHANNEL_UP},
        {"RB", SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, {}, 0, 0, APPCOMMAND_MEDIA_CHANNEL_DOWN},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto apply = [&](bool on) {
            if (c.button >= 0) {
                pad.SetButton(static_cast<SDL_GameControllerButton>(c.button), on);
            } else {
                pad.SetAxis(c.axis, on ? c.value : 0);
            }
        };
        focus.filtered.clear();
        focus.handled.clear();
        g_commands.clear();
        apply(true);
        if (c.command != 0) {
            ASSERT_TRUE(PumpUntil([] { return !g_commands.empty(); }));
            apply(false);
            ASSERT_TRUE(Settle());
            EXPECT_EQ(g_commands, std::vector<int>{c.command});
            continue;
        }
        ASSERT_TRUE(WaitFor(WM_KEYDOWN, c.key));
        apply(false);
        ASSERT_TRUE(WaitFor(WM_KEYUP, c.key));
        ASSERT_EQ(focus.handled.size(), 2u);
        EXPECT_EQ(focus.handled[0].lParam & kRepeatBit, 0);
        EXPECT_EQ(focus.handled[1].lParam & kUpBits, kUpBits);
        ASSERT_EQ(focus.filtered.size(), 1u);
        EXPECT_EQ(focus.filtered[0].message, static_cast<UINT>(WM_KEYDOWN));
        EXPECT_EQ(focus.filtered[0].wParam, c.key);
    }
}

TEST_F(GamepadInput, TheStickPressesPastItsDeadZoneAndLetsGoBelowASmallerOne) {
    const struct {
        int value;
        bool held;  // VK_RIGHT, after this value
    } steps[] = {
        {hv::kPadStickRelease, false},    {hv::kPadStickPress - 1, false},
        {hv::kPadStickPress, true},       {hv::kPadStickRelease + 1, true},
        {hv::kPadStickPress - 1, true},   {hv::kPadStickRelease, false},
        {hv::kPadStickPress - 1, false},  {32767, true},
        {-hv::kPadStickPress + 1, false},
    };
    for (const auto& step : steps) {
        pad.SetAxis(SDL_CONTROLLER_AXIS_LEFTX, step.value);
        ASSERT_TRUE(Settle()) << step.value;
        EXPECT_EQ(Count(WM_KEYDOWN, VK_RIGHT) > Count(WM_KEYUP, VK_RIGHT), step.held) << step.value;
    }
    EXPECT_EQ(Count(WM_KEYDOWN, VK_LEFT), 0u);
}

// Only a direction repeats: first after the delay, then at the interval; a
// late wake-up skips the repeats it missed rather than firing a burst.
TEST(GamepadKeys, AHeldDirectionRepeatsLikeAKeyboardAndButtonsDoNot) {
    constexpr DWORD kFirst = hv::kPadRepeatDelayMs;
    constexpr DWORD kEvery = hv::kPadRepeatIntervalMs;
    hv::GamepadKeys keys;
    std::vector<MSG> out;
    keys.Button(0, SDL_CONTROLLER_BUTTON_A, true, 0, &out);
    EXPECT_EQ(keys.UntilRepeat(0), std::nullopt);
    keys.Button(0, SDL_CONTROLLER_BUTTON_DPAD_DOWN, true, 0, &out);
    EXPECT_EQ(keys.UntilRepeat(0), kFirst);
    out.clear();
    for (const DWORD now : {kFirst - 1, kFirst, kFirst + kEvery - 1, kFirst + kEvery,
                            kFirst + 10 * kEvery, kFirst + 10 * kEvery + 1}) {
        keys.Repeat(now, &out);
    }
    std::vector<DWORD> times;
    for (const MSG& msg : out) {
        EXPECT_EQ(std::make_tuple(msg.message, msg.wParam, msg.lParam),
                  std::make_tuple(UINT(WM_KEYDOWN), WPARAM(VK_DOWN), 1 | kRepeatBit));
        times.push_back(msg.time);
    }
    EXPECT_EQ(times, (std::vector<DWORD>{kFirst, kFirst + kEvery, kFirst + 10 * kEvery}));
    keys.Button(0, SDL_CONTROLLER_BUTTON_DPAD_DOWN, false, 1000, &out);
    EXPECT_EQ(keys.UntilRepeat(1000), std::nullopt);
}

// A held direction repeats through the input filter; unplugged, its key
// comes up and repeats no more; a controller plugged in while the reader
// runs is heard.
TEST_F(GamepadInput, AHeldDirectionRepeatsUntilItsControllerGoes) {
    focus.filtered.clear();
    pad.Press(SDL_CONTROLLER_BUTTON_DPAD_LEFT);
    ASSERT_TRUE(WaitFor(WM_KEYDOWN, VK_LEFT, 3));
    ASSERT_GE(focus.filtered.size(), 3u);
    EXPECT_EQ(focus.filtered[0].lParam & kRepeatBit, 0);
    EXPECT_EQ(focus.filtered[2].lParam & kRepeatBit, kRepeatBit);
    EXPECT_GE(focus.filtered[1].time - focus.filtered[0].time, hv::kPadRepeatDelayMs - 30);
    pad.Detach();
    ASSERT_TRUE(WaitFor(WM_KEYUP, VK_LEFT));
    const size_t lefts = Count(WM_KEYDOWN, VK_LEFT);
    PumpFor(static_cast<int>(hv::kPadRepeatDelayMs) + 100);
    EXPECT_EQ(Count(WM_KEYDOWN, VK_LEFT), lefts);
    ASSERT_TRUE(pad.Attach()) << pad.Error();
    ASSERT_TRUE(Settle());
}

TEST_F(GamepadInput, KeysGoToTheActiveWindowAndNowhereWhenNoneIs) {
    // Another top-level window of the program is active: it gets the key.
    KeyProbe other;
    ASSERT_TRUE(other.CreateEx(0, "", WS_POPUP | WS_VISIBLE, RECT{300, 0, 400, 100}, nullptr, 0));
    other.GetWidget()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(other.GetWidget()));
    pad.Press(SDL_CONTROLLER_BUTTON_A);
    ASSERT_TRUE(PumpUntil([&] { return Count(WM_KEYDOWN, VK_RETURN, &other) == 1; }));
    pad.Release(SDL_CONTROLLER_BUTTON_A);
    ASSERT_TRUE(PumpUntil([&] { return Count(WM_KEYUP, VK_RETURN, &other) == 1; }));
    EXPECT_EQ(Count(WM_KEYDOWN, VK_RETURN), 0u);

    // No window of the program is active, though both are still on screen
    // and the frame's child still has its focus: the key goes nowhere.
    QApplication::setActiveWindow(nullptr);
    ASSERT_TRUE(PumpUntil([] { return QApplication::activeWindow() == nullptr; }));
    pad.Press(SDL_CONTROLLER_BUTTON_A);
    PumpFor(200);
    pad.Release(SDL_CONTROLLER_BUTTON_A);
    PumpFor(100);
    EXPECT_EQ(Count(WM_KEYDOWN, VK_RETURN, &other), 1u);
    EXPECT_EQ(Count(WM_KEYDOWN, VK_RETURN), 0u);
}
