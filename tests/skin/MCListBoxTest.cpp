#include <gtest/gtest.h>

#include <QApplication>
#include <string>
#include <vector>

#include "messages/Messages.h"
#include "skin/AnimationClock.h"
#include "skin/MCListBox.h"

namespace {

// Writes down what the list tells its screen: "choose:<row>:<text>",
// "exit:<key>", "key:<key>".
class Screen : public CWnd {
  public:
    Screen() { CreateEx(0, "", WS_POPUP | WS_VISIBLE, RECT{0, 0, 400, 400}, nullptr, 0); }
    std::vector<std::string> heard;

  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == UWM_MENU_CHOOSE) {
            heard.push_back("choose:" + std::to_string(wParam) + ":" +
                            hv::LParam<UWM_MENU_CHOOSE>(lParam)->text);
        } else if (message == UWM_MENU_EXIT) {
            heard.push_back("exit:" + std::to_string(wParam));
        } else if (message == WM_KEYDOWN) {
            heard.push_back("key:" + std::to_string(wParam));
        }
        return CWnd::WindowProc(message, wParam, lParam);
    }
};

// Rows A, B, a separator, C, D: 47 pixels apart, 225 wide.
struct MCListBoxTest : ::testing::Test {
    Screen screen;
    CWnd other;
    CWnd placeholder;
    CMCListBox list;
    UINT nextId = 1001;
    void SetUp() override {
        other.CreateEx(0, "", WS_CHILD | WS_VISIBLE, RECT{250, 0, 300, 50}, &screen, 1000);
        Make(placeholder, list);
        screen.SetForegroundWindow();
        QApplication::processEvents();
    }
    // The list takes over a control of the screen, as on a form.
    void Make(CWnd& control, CMCListBox& made) {
        const UINT id = nextId++;
        control.CreateEx(0, "", WS_CHILD | WS_VISIBLE, RECT{0, 0, 225, 300}, &screen, id);
        ASSERT_TRUE(made.SubclassDlgItem(id, &screen));
        made.LoadRowImages();
        for (const char* text : {"A", "B", "-", "C", "D"}) {
            made.AddItem(text, text[0] == '-' ? CMCListBox::kSeparator : 1, 0);
        }
        made.SetCurSel(1);
    }
    static LPARAM At(int y) { return MAKELPARAM(10, y); }
};

}  // namespace

TEST_F(MCListBoxTest, HitTestFollowsThe47PixelPitchSkipsSeparatorsAndScrolls) {
    const struct {
        int y, row;
    } rows[] = {{0, 0},    {46, 0},  {47, 1},  {92, 1},   {94, -1},
                {140, -1}, {141, 3}, {234, 4}, {235, -1}, {-1, -1}};
    for (const auto& row : rows) {
        EXPECT_EQ(list.HitTest(10, row.y), row.row) << "y " << row.y;
    }
    list.SetCurSel(1);
    list.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, At(100));
    EXPECT_FALSE(list.IsConfirming()) << "a click on a separator does nothing";
    EXPECT_EQ(list.GetCurrentRow(), 1);

    // A window two rows high over five rows: the current row stays in view.
    list.MoveWindow(0, 0, 225, 94);
    list.SetCurSel(0);
    const struct {
        UINT key;
        int current, atTop, atSecond;
    } steps[] = {
        {VK_DOWN, 1, 0, 1}, {VK_DOWN, 3, -1, 3},  // past the separator, which shows at the top
        {VK_DOWN, 4, 3, 4}, {VK_UP, 3, 3, 4},    {VK_UP, 1, 1, -1},
    };
    for (const auto& step : steps) {
        list.SendMessage(WM_KEYDOWN, step.key, 1);
        EXPECT_EQ(list.GetCurrentRow(), step.current);
        EXPECT_EQ(list.HitTest(10, 10), step.atTop) << "row " << step.current;
        EXPECT_EQ(list.HitTest(10, 57), step.atSecond) << "row " << step.current;
    }
    list.SetCurSel(0);
    EXPECT_EQ(list.HitTest(10, 10), 0);
}

// From a current row, one key or wheel message: the row after it and what
// the screen heard.
TEST_F(MCListBoxTest, KeysAndWheelMoveOverSeparatorsAndLeaveAtTheEdges) {
    const LPARAM repeat = 1 | (LPARAM(1) << 30);
    const struct {
        int from;
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        int to;
        std::vector<std::string> heard;
    } rows[] = {
        {0, WM_KEYDOWN, VK_DOWN, 1, 1, {}},
        {1, WM_KEYDOWN, VK_DOWN, 1, 3, {}},
        {3, WM_KEYDOWN, VK_UP, 1, 1, {}},
        {0, WM_KEYDOWN, VK_UP, 1, 0, {}},
        {4, WM_KEYDOWN, VK_DOWN, 1, 4, {"exit:40"}},
        {1, WM_KEYDOWN, VK_RIGHT, 1, 1, {"exit:39"}},
        {1, WM_KEYDOWN, VK_DOWN, repeat, 1, {}},
        {1, WM_KEYDOWN, VK_BROWSER_BACK, 1, 1, {"key:166"}},
        {3, WM_MOUSEWHEEL, MAKEWPARAM(0, 120), 0, 1, {}},
        {4, WM_MOUSEWHEEL, MAKEWPARAM(0, 119), 0, 4, {}},
        {0, WM_MOUSEWHEEL, MAKEWPARAM(0, -240), 0, 3, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.from << " " << row.message << " " << row.wParam);
        list.SetCurSel(row.from);
        screen.heard.clear();
        list.SendMessage(row.message, row.wParam, row.lParam);
        QApplication::processEvents();
        EXPECT_EQ(list.GetCurrentRow(), row.to);
        EXPECT_EQ(screen.heard, row.heard);
    }
}

// Scripts on a list at row 1: c<row> clicks, d<row> double-clicks, s steps
// the sweep, f gives the list the focus, o gives it to another window;
// whatever was posted is delivered after each action. A 225-pixel row: the
// sixth step crosses it.
TEST_F(MCListBoxTest, ChoiceIsReportedOnceAfterTheSweepOrAtOnce) {
    const struct {
        const char* script;
        std::vector<std::string> heard;
        int current;
        bool confirming;
    } rows[] = {
        {"c3sssss", {}, 3, true},
        {"c3ssssss", {"choose:3:C"}, 3, false},
        {"c2", {}, 1, false},                // a separator
        {"c0d3", {"choose:0:A"}, 3, false},  // the pending row is reported
        {"fc3o", {"choose:3:C"}, 0, false},  // the focus leaves during the sweep
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.script);
        CWnd control;
        CMCListBox fresh;
        Make(control, fresh);
        screen.heard.clear();
        const std::string script = row.script;
        for (size_t i = 0; i < script.size(); ++i) {
            const char action = script[i];
            if (action == 'c' || action == 'd') {
                const int y = (script[++i] - '0') * CMCListBox::kRowPitch + 10;
                fresh.SendMessage(action == 'c' ? WM_LBUTTONDOWN : WM_LBUTTONDBLCLK, MK_LBUTTON,
                                  At(y));
            } else if (action == 's') {
                fresh.Step();
            } else if (action == 'f') {
                fresh.SetFocus();
                ASSERT_TRUE(CAnimationClock::Instance().IsSubscribed(&fresh));
                // The test steps, not the clock.
                CAnimationClock::Instance().Unsubscribe(&fresh);
            } else {
                other.SetFocus();
            }
            QApplication::processEvents();
        }
        EXPECT_EQ(screen.heard, row.heard);
        EXPECT_EQ(fresh.GetCurrentRow(), row.current);
        EXPECT_EQ(fresh.IsConfirming(), row.confirming);
        EXPECT_FALSE(CAnimationClock::Instance().IsSubscribed(&fresh))
            << "pulses only when focused";
    }
}
