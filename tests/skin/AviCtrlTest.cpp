#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>

#include "Backdrop.h"
#include "res/ResourceTable.h"
#include "skin/AviCtrl.h"

namespace {

constexpr hv::ResourceSpec kAnimation = hv::res::kConnectingAnimation;
constexpr UINT kMissing = 9999;

struct AviCtrlTest : ::testing::Test {
    Backdrop parent{400, 200};
    CAviCtrl avi;

    void Make(DWORD style) {
        ASSERT_TRUE(avi.CreateEx(0, "", WS_CHILD | WS_VISIBLE | style,
                                 RECT{10, 10, 10 + kAnimation.width, 10 + kAnimation.height},
                                 &parent, 1));
    }
    void Tick() { avi.SendMessage(WM_TIMER, 110, 0); }
};

}  // namespace

TEST_F(AviCtrlTest, OpensOnlyAnAnimationThatExistsInAWindowThatExists) {
    const struct {
        bool window;
        DWORD style;
        UINT id;
        BOOL opened;
        bool playing;
    } rows[] = {{true, 0, kAnimation.id, TRUE, false},
                {true, ACS_AUTOPLAY, kAnimation.id, TRUE, true},
                {true, ACS_AUTOPLAY, kMissing, FALSE, false},
                {false, 0, kAnimation.id, FALSE, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.window << " " << row.style << " " << row.id);
        avi.DestroyWindow();
        if (row.window) {
            Make(row.style);
        }
        EXPECT_EQ(avi.OpenResource(row.id), row.opened);
        EXPECT_EQ(avi.IsPlaying(), row.playing);
        EXPECT_EQ(avi.FrameCount(), row.opened ? kAnimation.frames : 0);
        if (!row.playing) {
            EXPECT_EQ(avi.Play(0, -1, -1), row.opened);
        }
    }
}

// Each tick shows one frame; a run ends after `limit` frames shown, whatever
// the range, and starts over at the first frame when it reaches the last.
TEST_F(AviCtrlTest, FramesAdvanceWrapAndStopAtTheLimit) {
    Make(ACS_TRANSPARENT);
    ASSERT_TRUE(avi.OpenResource(kAnimation.id));
    const int frames = kAnimation.frames;
    const struct {
        int first, last, limit, ticks, current;
        bool playing;
    } rows[] = {
        {0, -1, -1, frames - 1, frames - 1, true},
        {0, -1, -1, frames, 0, true},
        {0, -1, -1, 3 * frames + 5, 5, true},
        {0, -1, 10, 9, 9, true},
        {0, -1, 10, 10, 0, false},
        {5, 10, -1, 4, 9, true},
        {5, 10, -1, 5, 5, true},
        {0, 3, 10, 9, 0, true},  // the limit counts frames, not loops
        {0, 3, 10, 10, 0, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.first << " " << row.last << " " << row.limit);
        ASSERT_TRUE(avi.Play(row.first, row.last, row.limit));
        for (int i = 0; i < row.ticks; ++i) {
            Tick();
        }
        EXPECT_EQ(avi.CurrentFrame(), row.current);
        EXPECT_EQ(avi.IsPlaying(), row.playing);
        EXPECT_EQ(avi.FramesShown(), row.playing ? row.ticks : 0);
    }
}

// The frame timer runs at the animation's rate, and only while the control
// can be seen.
TEST_F(AviCtrlTest, TimerRunsAtTheFrameRateWhileVisible) {
    Make(ACS_TRANSPARENT);
    ASSERT_TRUE(avi.OpenResource(kAnimation.id));
    const int period = 1000 / kAnimation.fps;
    EXPECT_EQ(avi.FramePeriod(), period);
    ASSERT_TRUE(avi.Play(0, -1, -1));
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return avi.FramesShown() >= 3; }, 5000));
    EXPECT_GE(clock.elapsed(), 3 * period * 9 / 10);

    for (CWnd* hidden : std::initializer_list<CWnd*>{&avi, &parent}) {
        SCOPED_TRACE(hidden == &avi ? "the control" : "its parent");
        hidden->ShowWindow(SW_HIDE);
        const int shown = avi.FramesShown();
        QTest::qWait(4 * period);
        EXPECT_EQ(avi.FramesShown(), shown);
        EXPECT_TRUE(avi.IsPlaying());
        hidden->ShowWindow(SW_SHOW);
        EXPECT_TRUE(QTest::qWaitFor([&] { return avi.FramesShown() > shown; }, 5000));
    }
    avi.DestroyWindow();
    EXPECT_FALSE(avi.IsPlaying());
    EXPECT_EQ(avi.FrameCount(), 0);
}

// Idle, a control shows nothing over its parent when transparent and the
// window colour otherwise; playing, the key colour of the frames shows the
// parent only when transparent.
TEST_F(AviCtrlTest, KeyColourShowsTheParentOnlyWhenTransparent) {
    const QRgb magenta = qRgb(0xFF, 0x00, 0xFF);
    const struct {
        DWORD style;
        bool playing, allParent, someParent, someKey;
    } rows[] = {{ACS_TRANSPARENT, false, true, true, false},
                {0, false, false, false, false},
                {ACS_TRANSPARENT, true, false, true, false},
                {0, true, false, false, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "style " << row.style << ", playing " << row.playing);
        avi.DestroyWindow();
        Make(row.style);
        ASSERT_TRUE(avi.OpenResource(kAnimation.id));
        if (row.playing) {
            ASSERT_TRUE(avi.Play(0, -1, -1));
        }
        const QImage shot = parent.Shot(avi);
        const int pixels = shot.width() * shot.height();
        const int parentPixels = CountColour(shot, Backdrop::kColour);
        EXPECT_EQ(parentPixels == pixels, row.allParent);
        EXPECT_EQ(parentPixels > 0, row.someParent);
        EXPECT_EQ(CountColour(shot, magenta) > 0, row.someKey);
        if (!row.playing && !row.style) {
            EXPECT_EQ(CountColour(shot, avi.GetWidget()->palette().color(QPalette::Base).rgb()),
                      pixels);
        }
    }
}
