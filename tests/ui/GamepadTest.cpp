#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QTest>
#include <QWidget>
#include <functional>
#include <numeric>
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
        if (attach) {
            ASSERT_TRUE(pad.Attach()) << pad.Error();
        }
    }
    void TearDown() override {
        gamepad.Stop();
        UnhookWindowsHookEx(g_hook);
    }

    size_t Count(UINT message, WPARAM key) const {
        return static_cast<size_t>(
            std::count_if(focus.handled.begin(), focus.handled.end(),
                          [&](const Seen& s) { return s.message == message && s.wParam == key; }));
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
    bool attach = true;
};

struct Control {
    const char* name;
    int button;  // -1: the left stick instead
    int axis;
    int value;
};

void Apply(VirtualGamepad& pad, const Control& control, bool on) {
    if (control.button >= 0) {
        pad.SetButton(static_cast<SDL_GameControllerButton>(control.button), on);
    } else {
        pad.SetAxis(static_cast<SDL_GameControllerAxis>(control.axis), on ? control.value : 0);
    }
}

}  // namespace

TEST_F(GamepadInput, ButtonsAndStickArriveAsKeysThroughTheInputFilter) {
    const struct {
        Control control;
        WPARAM key;
    } cases[] = {
        {{"d-pad up", SDL_CONTROLLER_BUTTON_DPAD_UP, 0, 0}, VK_UP},
        {{"d-pad down", SDL_CONTROLLER_BUTTON_DPAD_DOWN, 0, 0}, VK_DOWN},
        {{"d-pad left", SDL_CONTROLLER_BUTTON_DPAD_LEFT, 0, 0}, VK_LEFT},
        {{"d-pad right", SDL_CONTROLLER_BUTTON_DPAD_RIGHT, 0, 0}, VK_RIGHT},
        {{"stick up", -1, SDL_CONTROLLER_AXIS_LEFTY, -32768}, VK_UP},
        {{"stick down", -1, SDL_CONTROLLER_AXIS_LEFTY, 32767}, VK_DOWN},
        {{"stick left", -1, SDL_CONTROLLER_AXIS_LEFTX, -32768}, VK_LEFT},
        {{"stick right", -1, SDL_CONTROLLER_AXIS_LEFTX, 32767}, VK_RIGHT},
        {{"A", SDL_CONTROLLER_BUTTON_A, 0, 0}, VK_RETURN},
        {{"Start", SDL_CONTROLLER_BUTTON_START, 0, 0}, VK_RETURN},
        {{"B", SDL_CONTROLLER_BUTTON_B, 0, 0}, VK_BACK},
    };
    for (const auto& c : cases) {
        focus.filtered.clear();
        focus.handled.clear();
        Apply(pad, c.control, true);
        ASSERT_TRUE(WaitFor(WM_KEYDOWN, c.key)) << c.control.name;
        Apply(pad, c.control, false);
        ASSERT_TRUE(WaitFor(WM_KEYUP, c.key)) << c.control.name;
        ASSERT_EQ(focus.handled.size(), 2u) << c.control.name;
        EXPECT_EQ(focus.handled[0].lParam & kRepeatBit, 0) << c.control.name;
        EXPECT_EQ(focus.handled[1].lParam & kUpBits, kUpBits) << c.control.name;
        // The input filter saw the key-down first, as it sees a keyboard's.
        ASSERT_EQ(focus.filtered.size(), 1u) << c.control.name;
        EXPECT_EQ(focus.filtered[0].message, static_cast<UINT>(WM_KEYDOWN)) << c.control.name;
        EXPECT_EQ(focus.filtered[0].wParam, c.key) << c.control.name;
    }
}

TEST_F(GamepadInput, ShouldersAreTheRemotesChannelCommands) {
    const struct {
        SDL_GameControllerButton button;
        int command;
    } cases[] = {
        {SDL_CONTROLLER_BUTTON_LEFTSHOULDER, APPCOMMAND_MEDIA_CHANNEL_UP},
        {SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, APPCOMMAND_MEDIA_CHANNEL_DOWN},
    };
    for (const auto& c : cases) {
        g_commands.clear();
        pad.Press(c.button);
        ASSERT_TRUE(PumpUntil([] { return !g_commands.empty(); })) << c.command;
        pad.Release(c.button);
        ASSERT_TRUE(Settle());
        EXPECT_EQ(g_commands, std::vector<int>{c.command});
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
    bool held = false;
    for (const auto& step : steps) {
        pad.SetAxis(SDL_CONTROLLER_AXIS_LEFTX, step.value);
        ASSERT_TRUE(Settle()) << step.value;
        held = Count(WM_KEYDOWN, VK_RIGHT) > Count(WM_KEYUP, VK_RIGHT);
        EXPECT_EQ(held, step.held) << step.value;
    }
    EXPECT_EQ(Count(WM_KEYDOWN, VK_LEFT), 0u);
}

TEST_F(GamepadInput, AHeldDirectionRepeatsLikeAKeyboardAndButtonsDoNot) {
    const struct {
        SDL_GameControllerButton button;
        WPARAM key;
        bool repeats;
    } cases[] = {
        {SDL_CONTROLLER_BUTTON_DPAD_DOWN, VK_DOWN, true},
        {SDL_CONTROLLER_BUTTON_A, VK_RETURN, false},
    };
    for (const auto& c : cases) {
        focus.filtered.clear();
        focus.handled.clear();
        pad.Press(c.button);
        ASSERT_TRUE(WaitFor(WM_KEYDOWN, c.key)) << c.key;
        PumpFor(static_cast<int>(hv::kPadRepeatDelayMs) + 400);
        pad.Release(c.button);
        ASSERT_TRUE(WaitFor(WM_KEYUP, c.key)) << c.key;
        const size_t downs = Count(WM_KEYDOWN, c.key);
        PumpFor(100);
        EXPECT_EQ(Count(WM_KEYDOWN, c.key), downs) << "no repeat after the key-up";

        const auto& seen = focus.filtered;
        ASSERT_FALSE(seen.empty());
        EXPECT_EQ(seen[0].lParam & kRepeatBit, 0) << c.key;
        if (!c.repeats) {
            EXPECT_EQ(seen.size(), 1u) << c.key;
            continue;
        }
        ASSERT_GE(seen.size(), 5u) << c.key;
        for (size_t i = 1; i < seen.size(); ++i) {
            EXPECT_EQ(seen[i].lParam & kRepeatBit, kRepeatBit) << i;
        }
        const DWORD first = seen[1].time - seen[0].time;
        EXPECT_GE(first, hv::kPadRepeatDelayMs - 30);
        EXPECT_LE(first, hv::kPadRepeatDelayMs + 200);
        const double interval =
            static_cast<double>(seen.back().time - seen[1].time) / double(seen.size() - 2);
        EXPECT_GE(interval, hv::kPadRepeatIntervalMs * 0.8);
        EXPECT_LE(interval, hv::kPadRepeatIntervalMs * 2.0);
    }
}

class GamepadHotPlug : public GamepadInput {
  protected:
    GamepadHotPlug() { attach = false; }
};

TEST_F(GamepadHotPlug, ControllersCanComeGoAndComeBackWhileRunning) {
    PumpFor(300);  // the reader is listening with nothing plugged in
    ASSERT_TRUE(pad.Attach()) << pad.Error();
    pad.Press(SDL_CONTROLLER_BUTTON_A);
    ASSERT_TRUE(WaitFor(WM_KEYDOWN, VK_RETURN)) << "a controller plugged in after the start";
    pad.Release(SDL_CONTROLLER_BUTTON_A);
    ASSERT_TRUE(WaitFor(WM_KEYUP, VK_RETURN));

    // Unplugged while a direction is held: the key comes up, it does not stick.
    pad.Press(SDL_CONTROLLER_BUTTON_DPAD_LEFT);
    ASSERT_TRUE(WaitFor(WM_KEYDOWN, VK_LEFT));
    pad.Detach();
    ASSERT_TRUE(WaitFor(WM_KEYUP, VK_LEFT)) << "the key of an unplugged controller";
    const size_t lefts = Count(WM_KEYDOWN, VK_LEFT);
    PumpFor(static_cast<int>(hv::kPadRepeatDelayMs) + 100);
    EXPECT_EQ(Count(WM_KEYDOWN, VK_LEFT), lefts) << "no repeat after the controller left";

    ASSERT_TRUE(pad.Attach()) << pad.Error();
    ASSERT_TRUE(Settle()) << "the same controller plugged in again";
}

TEST_F(GamepadInput, KeysGoToTheActiveWindowAndNowhereWhenNoneIs) {
    // Another top-level window of the program is active: it gets the key.
    QWidget other;
    other.setGeometry(300, 0, 100, 100);
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    struct KeyCounter : QObject {
        int returns = 0;
        int releases = 0;
        bool eventFilter(QObject*, QEvent* event) override {
            if ((event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) &&
                static_cast<QKeyEvent*>(event)->key() == Qt::Key_Return) {
                ++(event->type() == QEvent::KeyPress ? returns : releases);
            }
            return false;
        }
    } counter;
    other.installEventFilter(&counter);
    pad.Press(SDL_CONTROLLER_BUTTON_A);
    ASSERT_TRUE(PumpUntil([&] { return counter.returns == 1; }));
    pad.Release(SDL_CONTROLLER_BUTTON_A);
    ASSERT_TRUE(PumpUntil([&] { return counter.releases == 1; }));
    EXPECT_EQ(Count(WM_KEYDOWN, VK_RETURN), 0u);

    // No window of the program is active, though both are still on screen
    // and the frame's child still has its focus: the key goes nowhere.
    QApplication::setActiveWindow(nullptr);
    ASSERT_TRUE(PumpUntil([] { return QApplication::activeWindow() == nullptr; }));
    pad.Press(SDL_CONTROLLER_BUTTON_A);
    PumpFor(200);
    pad.Release(SDL_CONTROLLER_BUTTON_A);
    PumpFor(100);
    EXPECT_EQ(counter.returns, 1);
    EXPECT_EQ(Count(WM_KEYDOWN, VK_RETURN), 0u);
}
