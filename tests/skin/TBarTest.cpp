#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <QWidget>
#include <span>
#include <vector>

#include "Backdrop.h"
#include "messages/Messages.h"
#include "res/ResourceTable.h"
#include "skin/SkinSet.h"
#include "skin/TBStatic.h"
#include "skin/TeTBar.h"

namespace {

// The window the bar is the caption of; it records what the bar asks of it.
class Frame : public CWnd, public IBarOwner {
  public:
    Frame() { CreateEx(0, "", WS_POPUP | WS_VISIBLE, RECT{0, 0, 800, 600}, nullptr, 0); }
    void GoBack() override { ++backs; }
    void SetWasMaximised(int flag) override { wasMaximised = flag; }
    int backs = 0;
    int closes = 0;
    int drags = 0;
    int wasMaximised = -1;
    std::vector<WPARAM> logouts;

  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == UWM_LOGOUT) {
            logouts.push_back(wParam);
            return 0;
        }
        if (message == WM_CLOSE) {
            ++closes;
            return 0;
        }
        if (message == WM_NCLBUTTONDOWN && wParam == HTCAPTION) {
            ++drags;
            return 0;
        }
        return CWnd::WindowProc(message, wParam, lParam);
    }
};

// The hide rule reads this clock instead of the real one.
class ClockedBar : public CTeTBar {
  public:
    DWORD now = 100000;

  protected:
    DWORD Now() const override { return now; }
};

POINT Centre(const RECT& rect) {
    return POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

struct TBarTest : ::testing::Test {
    Frame frame;
    ClockedBar bar;
    // No button images: where the buttons are does not depend on them.
    void SetUp() override {
        ASSERT_TRUE(bar.Create(&frame, 400));
        QApplication::processEvents();
    }

    // Input as the window system delivers it, through the application's filter.
    static void Mouse(CWnd& window, QEvent::Type type, POINT at, Qt::MouseButton button,
                      Qt::MouseButtons held) {
        QWidget* widget = window.GetWidget();
        const QPointF local(at.x, at.y);
        QMouseEvent event(type, local, widget->mapToGlobal(local), button, held, Qt::NoModifier);
        QSpontaneKeyEvent::setSpontaneous(&event);
        QApplication::instance()->notify(widget, &event);
    }
    static void Move(CWnd& window, POINT at, Qt::MouseButtons held = Qt::NoButton) {
        Mouse(window, QEvent::MouseMove, at, Qt::NoButton, held);
    }
    void Press(POINT at) {
        Mouse(bar, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
    }
    void Release(POINT at) {
        Mouse(bar, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
        QApplication::processEvents();
    }
    void Wait(DWORD ms) {
        bar.now += ms;
        bar.SendMessage(WM_TIMER, CTBar::kHideTimer);
    }
};

}  // namespace

TEST_F(TBarTest, OnlyADiagonalMovementOrAButtonHeldOnTheBarKeepsItShown) {
    const struct {
        const char* name;
        int dx, dy;
        bool counts;
    } rows[] = {{"horizontal", 7, 0, false}, {"vertical", 0, 7, false}, {"diagonal", 7, 7, true}};
    POINT at{100, 300};
    Move(frame, at);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Wait(4000);
        ASSERT_FALSE(bar.IsHidden());
        at = POINT{at.x + row.dx, at.y + row.dy};
        Move(frame, at);
        Wait(1500);
        EXPECT_EQ(bar.IsHidden(), !row.counts);
        EXPECT_EQ(QGuiApplication::overrideCursor() != nullptr, !row.counts) << "blank pointer";
        at = POINT{at.x + 1, at.y + 1};
        Move(frame, at);
        EXPECT_FALSE(bar.IsHidden());
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    }
    const POINT caption{300, 15};
    Press(caption);
    Wait(6000);
    EXPECT_FALSE(bar.IsHidden());
    Release(caption);
    Wait(6000);
    EXPECT_TRUE(bar.IsHidden());
}

TEST_F(TBarTest, AWindowButtonActsOnlyWhenReleasedOnIt) {
    const POINT close = Centre(bar.WindowButtonRect(CTBar::kClose));
    const POINT off{close.x - 40, close.y};
    const struct {
        const char* name;
        POINT press;
        std::vector<POINT> drag;
        bool pressedAfterDrag;
        POINT release;
        int closes;
    } rows[] = {
        {"released on it", close, {}, true, close, 1},
        {"dragged off", close, {off}, false, off, 0},
        {"released off, no move seen", close, {}, true, off, 0},
        {"dragged off and back", close, {off, close}, true, close, 1},
        {"pressed elsewhere, dragged on", off, {close}, false, close, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        frame.closes = 0;
        Press(row.press);
        for (const POINT& step : row.drag) {
            Move(bar, step, Qt::LeftButton);
        }
        EXPECT_EQ(bar.IsWindowButtonPressed(CTBar::kClose), row.pressedAfterDrag);
        Release(row.release);
        EXPECT_EQ(frame.closes, row.closes);
    }
}

TEST_F(TBarTest, TheCaptionDragsOnceMovedAndADoubleClickMaximisesOrRestores) {
    const POINT caption{300, 15};
    Press(caption);
    Move(bar, POINT{302, 15}, Qt::LeftButton);
    Release(POINT{302, 15});
    EXPECT_EQ(frame.drags, 0) << "a click is not a drag";
    for (int wasMaximised : {1, 0}) {
        Mouse(bar, QEvent::MouseButtonDblClick, caption, Qt::LeftButton, Qt::LeftButton);
        Release(caption);
        EXPECT_EQ(frame.wasMaximised, wasMaximised);
    }
    Press(caption);
    Move(bar, POINT{330, 25}, Qt::LeftButton);
    Release(POINT{330, 25});
    EXPECT_EQ(frame.drags, 1);
}

TEST_F(TBarTest, LogoutDoesNothingBeforeLogin) {
    const struct {
        const char* name;
        RECT button;
        BOOL loggedIn;
        std::vector<WPARAM> logouts;
        int backs;
    } rows[] = {
        {"logout before login", bar.LogoutRect(), FALSE, {}, 0},
        {"logout after login", bar.LogoutRect(), TRUE, {1}, 0},
        {"back", bar.BackRect(), FALSE, {}, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        frame.logouts.clear();
        frame.backs = 0;
        bar.SetLogoutEnabled(row.loggedIn);
        Press(Centre(row.button));
        Release(Centre(row.button));
        EXPECT_EQ(frame.logouts, row.logouts);
        EXPECT_EQ(frame.backs, row.backs);
    }
}

TEST_F(TBarTest, FollowsItsParent2PixelsInAtTheTop) {
    const struct {
        int width, height;
        bool hiddenBefore;
    } rows[] = {{1024, 700, false}, {900, 650, true}, {800, 600, false}};
    POINT at{100, 300};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.width);
        if (row.hiddenBefore) {
            Wait(6000);
            ASSERT_TRUE(bar.IsHidden());
        }
        frame.MoveWindow(0, 0, row.width, row.height);
        QApplication::processEvents();
        EXPECT_EQ(bar.GetWidget()->geometry(), QRect(2, 0, row.width - 4, 30));
        EXPECT_EQ(bar.IsHidden(), row.hiddenBefore) << "in view, still flagged";
        at = POINT{at.x + 1, at.y + 1};
        Move(frame, at);
    }
}

TEST_F(TBarTest, TipsBelongToTheButtonUnderThePointer) {
    const struct {
        POINT at;
        const char* text;
    } rows[] = {
        {Centre(bar.WindowButtonRect(CTBar::kClose)), "Close"},
        {Centre(bar.BackRect()), "Back"},
        {Centre(bar.LogoutRect()), "Log out"},
        {POINT{300, 15}, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        Move(bar, row.at);
        SendMessageA(bar.ToolTip().GetSafeHwnd(), WM_TIMER, CTeToolTip::kDelayTimer, 0);
        EXPECT_EQ(bar.ToolTip().CurrentText(), row.text);
        EXPECT_EQ(bar.ToolTip().IsWindowVisible(), *row.text != '\0');
    }
    Press(POINT{300, 15});
    EXPECT_FALSE(bar.ToolTip().IsWindowVisible()) << "a press hides it at once";
    Release(POINT{300, 15});
}

// The picture covers its own pixels and shows the window behind at the key colour's.
TEST(TBStaticTest, TheKeyColourShowsTheWindowBehind) {
    Backdrop backdrop(60, 60);
    CTBStatic picture;
    ASSERT_TRUE(picture.CreateEx(0, "", WS_CHILD | WS_VISIBLE, RECT{10, 10, 50, 50}, &backdrop, 1));
    picture.SetBitmap(hv::res::kUpArrow.id);
    QImage expected = LoadBitmapResource(hv::res::kUpArrow.id);
    ASSERT_EQ(expected.size(), QSize(hv::res::kUpArrow.width, hv::res::kUpArrow.height));
    EXPECT_TRUE(LoadBitmapResource(99999).isNull());
    const int keyed = CountColour(expected, 0xFFFF00FF);
    ASSERT_GT(keyed, 0);
    for (QRgb& pixel : std::span(reinterpret_cast<QRgb*>(expected.bits()),
                                 expected.width() * expected.height())) {
        pixel = pixel == 0xFFFF00FF ? Backdrop::kColour : pixel;
    }
    EXPECT_EQ(backdrop.Shot(picture).copy(expected.rect()), expected);
}
