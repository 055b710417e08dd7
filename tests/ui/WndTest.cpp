#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QWidget>
#include <tuple>

#include "Pump.h"
#include "ui/FrameWnd.h"
#include "ui/KeyMap.h"
#include "ui/MessagePump.h"
#include "ui/Wnd.h"

namespace {

struct Received {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// Keeps what it is told, and the area each paint is to repaint.
class Probe : public CWnd {
  public:
    std::vector<Received> log;
    std::vector<RECT> painted;

    std::vector<Received> Of(UINT message) const {
        std::vector<Received> out;
        std::copy_if(log.begin(), log.end(), std::back_inserter(out),
                     [message](const Received& r) { return r.message == message; });
        return out;
    }

  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        log.push_back({message, wParam, lParam});
        RECT area{};
        switch (message) {
            case WM_PAINT:
                if (GetUpdateRect(&area)) {
                    painted.push_back(area);
                }
                return 0;
            case WM_KEYDOWN:
            case WM_LBUTTONDOWN: return 0;
            default: return CWnd::WindowProc(message, wParam, lParam);
        }
    }
};

}  // namespace

// Keys and clicks reach the window under them in its own terms; a close
// sends WM_CLOSE and WM_DESTROY and the handle is forgotten.
TEST(Wnd, ALifeFromCreateThroughInputToClose) {
    Probe parent;
    ASSERT_TRUE(
        parent.CreateEx(0, "Probe", WS_POPUP | WS_VISIBLE, RECT{0, 0, 300, 200}, nullptr, 0));
    const HWND hwnd = parent.GetSafeHwnd();
    EXPECT_TRUE(IsWindow(hwnd));
    EXPECT_EQ(CWnd::FromHandle(hwnd), &parent);
    EXPECT_EQ(parent.log.front().message, static_cast<UINT>(WM_CREATE));
    RECT client;
    parent.GetClientRect(&client);
    EXPECT_EQ(std::make_tuple(client.right, client.bottom), std::make_tuple(300, 200));

    QTest::keyPress(parent.GetWidget(), Qt::Key_Return);
    QTest::keyPress(parent.GetWidget(), Qt::Key_Down, Qt::NoModifier, -1);
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(parent.GetWidget(), &repeat);
    const auto keys = parent.Of(WM_KEYDOWN);
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_EQ(keys[0].wParam, static_cast<WPARAM>(VK_RETURN));
    EXPECT_EQ(keys[1].wParam, static_cast<WPARAM>(VK_DOWN));
    EXPECT_EQ((keys[1].lParam >> 30) & 1, 0);
    EXPECT_EQ((keys[2].lParam >> 30) & 1, 1);

    Probe child;
    child.CreateEx(0, "", WS_CHILD | WS_VISIBLE, RECT{50, 60, 150, 160}, &parent, 7);
    EXPECT_EQ(parent.GetDlgItem(7), &child);
    QTest::mouseClick(child.GetWidget(), Qt::LeftButton, Qt::NoModifier, QPoint(10, 20));
    const auto down = child.Of(WM_LBUTTONDOWN);
    ASSERT_EQ(down.size(), 1u);
    EXPECT_EQ(GET_X_LPARAM(down[0].lParam), 10);
    EXPECT_EQ(GET_Y_LPARAM(down[0].lParam), 20);
    EXPECT_EQ(down[0].wParam & MK_LBUTTON, static_cast<WPARAM>(MK_LBUTTON));
    EXPECT_EQ(child.Of(WM_LBUTTONUP).size(), 1u);
    // Handled input does not travel up to the parent.
    EXPECT_TRUE(parent.Of(WM_LBUTTONDOWN).empty());

    parent.GetWidget()->close();
    EXPECT_EQ(parent.Of(WM_CLOSE).size(), 1u);
    EXPECT_EQ(parent.Of(WM_DESTROY).size(), 1u);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(CWnd::FromHandle(hwnd), nullptr);
    QApplication::processEvents();

    class Refuses : public CWnd {
        LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
            return message == WM_CREATE ? -1 : CWnd::WindowProc(message, wParam, lParam);
        }
    } refuses;
    EXPECT_FALSE(refuses.CreateEx(0, "", WS_POPUP, RECT{0, 0, 10, 10}, nullptr, 0));
    EXPECT_EQ(refuses.GetSafeHwnd(), nullptr);
}

TEST(Wnd, TimersArriveByTheirOwnIdUntilKilled) {
    Probe probe;
    probe.CreateEx(0, "", WS_POPUP, RECT{0, 0, 10, 10}, nullptr, 0);
    EXPECT_EQ(probe.SetTimer(42, 5), 42u);
    PumpUntil([&] { return probe.Of(WM_TIMER).size() >= 2; }, 5000);
    const auto ticks = probe.Of(WM_TIMER);
    ASSERT_GE(ticks.size(), 2u);
    EXPECT_EQ(ticks[0].wParam, 42u);
    EXPECT_TRUE(probe.KillTimer(42));
    EXPECT_FALSE(probe.KillTimer(42));
    PumpFor(30);
    EXPECT_EQ(probe.Of(WM_TIMER).size(), ticks.size());
}

TEST(Wnd, PaintHandlersReadTheAreaToRepaint) {
    Probe window;
    window.CreateEx(0, "", WS_POPUP | WS_VISIBLE, RECT{0, 0, 100, 80}, nullptr, 0);
    PumpFor(30);
    window.painted.clear();
    window.GetWidget()->repaint(QRect(10, 20, 30, 15));
    ASSERT_EQ(window.painted.size(), 1u);
    const RECT& area = window.painted[0];
    EXPECT_EQ(std::make_tuple(area.left, area.top, area.right, area.bottom),
              std::make_tuple(10, 20, 40, 35));

    RECT outside{1, 1, 1, 1};
    EXPECT_FALSE(window.GetUpdateRect(&outside)) << "nothing to repaint outside WM_PAINT";
    EXPECT_EQ(outside.right - outside.left, 0);
}

TEST(Wnd, SizingFromAnEdgeStopsAtTheMinimum) {
    class Frame : public CFrameWnd {
        LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
            if (message == WM_GETMINMAXINFO) {
                reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = POINT{300, 200};
                return 0;
            }
            return CFrameWnd::WindowProc(message, wParam, lParam);
        }
    } frame;
    ASSERT_TRUE(frame.Create("f", WS_POPUP | WS_THICKFRAME, RECT{100, 100, 500, 400}));
    EXPECT_EQ(frame.GetWidget()->minimumWidth(), 300);
    const RECT top = frame.SizeTo(WMSZ_TOP, RECT{100, 350, 500, 400});
    EXPECT_EQ(std::make_tuple(top.top, top.bottom), std::make_tuple(200, 400));
    const RECT grow = frame.SizeTo(WMSZ_BOTTOMRIGHT, RECT{100, 100, 700, 650});
    EXPECT_EQ(std::make_tuple(grow.right, grow.bottom), std::make_tuple(700, 650));
}

TEST(KeyMap, MediaKeysBecomeRemoteCommandsAndBrowserBackStaysAKey) {
    const struct {
        const char* name;
        int qtKey;
        int command;
        UINT virtualKey;
    } cases[] = {
        {"play", Qt::Key_MediaPlay, APPCOMMAND_MEDIA_PLAY, 0},
        {"channel down", Qt::Key_ChannelDown, APPCOMMAND_MEDIA_CHANNEL_DOWN, 0},
        {"mute", Qt::Key_VolumeMute, APPCOMMAND_VOLUME_MUTE, VK_VOLUME_MUTE},
        {"browser back", Qt::Key_Back, 0, VK_BROWSER_BACK},
        {"backspace", Qt::Key_Backspace, 0, VK_BACK},
        {"F5", Qt::Key_F5, 0, VK_F1 + 4},
        {"A", Qt::Key_A, 0, 'A'},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(hv::AppCommandFromQtKey(c.qtKey), c.command) << c.name;
        EXPECT_EQ(hv::VirtualKeyFromQtKey(c.qtKey), c.virtualKey) << c.name;
    }
}

namespace {
std::vector<std::pair<int, LPARAM>> g_hookCalls;
LRESULT g_hookAnswer = 0;
HHOOK g_hook = nullptr;
LRESULT TestShellHook(int code, WPARAM wParam, LPARAM lParam) {
    g_hookCalls.emplace_back(code, lParam);
    return g_hookAnswer ? g_hookAnswer : CallNextHookEx(g_hook, code, wParam, lParam);
}
}  // namespace

TEST(ShellHook, RemoteKeysReachTheHookWhichMayConsumeThem) {
    Probe probe;
    probe.CreateEx(0, "", WS_POPUP | WS_VISIBLE, RECT{0, 0, 10, 10}, nullptr, 0);
    g_hookCalls.clear();
    g_hook = SetWindowsHookExA(WH_SHELL, &TestShellHook, nullptr, GetCurrentThreadId());
    ASSERT_NE(g_hook, nullptr);

    g_hookAnswer = 1;
    QTest::keyClick(probe.GetWidget(), Qt::Key_MediaPlay);
    ASSERT_EQ(g_hookCalls.size(), 1u);
    EXPECT_EQ(g_hookCalls[0].first, HSHELL_APPCOMMAND);
    EXPECT_EQ(GET_APPCOMMAND_LPARAM(g_hookCalls[0].second), APPCOMMAND_MEDIA_PLAY);

    // Not consumed: the window gets the key as usual.
    g_hookAnswer = 0;
    probe.log.clear();
    QTest::keyClick(probe.GetWidget(), Qt::Key_VolumeMute);
    EXPECT_EQ(g_hookCalls.size(), 2u);
    ASSERT_EQ(probe.Of(WM_KEYDOWN).size(), 1u);
    EXPECT_EQ(probe.Of(WM_KEYDOWN)[0].wParam, static_cast<WPARAM>(VK_VOLUME_MUTE));

    EXPECT_TRUE(UnhookWindowsHookEx(g_hook));
    QTest::keyClick(probe.GetWidget(), Qt::Key_MediaPlay);
    EXPECT_EQ(g_hookCalls.size(), 2u);
}
