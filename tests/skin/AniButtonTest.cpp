#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>

#include "skin/AniButton.h"
#include "skin/AnimationClock.h"

namespace {

// Counts the clicks its buttons report.
class Parent : public CWnd {
  public:
    Parent() { CreateEx(0, "", WS_POPUP | WS_VISIBLE, RECT{0, 0, 400, 200}, nullptr, 0); }
    int clicks = 0;

  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_COMMAND && LOWORD(wParam) == 6 && HIWORD(wParam) == BN_CLICKED) {
            ++clicks;
            return 0;
        }
        return CWnd::WindowProc(message, wParam, lParam);
    }
};

struct Fixture : ::testing::Test {
    Parent parent;
    CAniButton button;
    void SetUp() override {
        ASSERT_TRUE(button.Create("Yes", WS_VISIBLE, RECT{10, 10, 230, 55}, &parent, 6));
        button.SetSkinImages();
    }
    void Pump() { QApplication::processEvents(); }
    void HoldClock() { CAnimationClock::Instance().Unsubscribe(&button); }
    void Steps(int count) {
        for (int step = 0; step < count; ++step) {
            button.Step();
            Pump();
        }
    }
};

}  // namespace

TEST_F(Fixture, ClickReachesTheParentOnceAfterTheSweep) {
    button.StartAnimation();
    HoldClock();  // the test steps it
    button.Click();
    Pump();
    EXPECT_EQ(parent.clicks, 0) << "the first notification is the button's";
    EXPECT_TRUE(button.IsClicked());
    // A 220-pixel face: the shine is drawn at 5, 105, ..., 505; the sixth
    // step has crossed the right edge and posts the click.
    for (int step = 0; step < 5; ++step) {
        button.Step();
        Pump();
        EXPECT_EQ(parent.clicks, 0) << step;
    }
    button.Step();
    Pump();
    EXPECT_EQ(parent.clicks, 1);
    EXPECT_FALSE(button.IsClicked());
    EXPECT_EQ(button.SweepPosition(), 5);
    Steps(10);
    EXPECT_EQ(parent.clicks, 1) << "back to pulsing";

    // A second click during the sweep is the only one that arrives.
    button.Click();
    button.Step();
    button.Step();
    button.Click();
    EXPECT_EQ(parent.clicks, 2);
    Steps(10);
    EXPECT_EQ(parent.clicks, 2);

    // Stopped halfway through a sweep, or once it has posted, the click is dropped.
    for (const int steps : {3, 6}) {
        button.Click();
        for (int step = 0; step < steps; ++step) {
            button.Step();
        }
        button.StopAnimation();
        button.StartAnimation();
        HoldClock();
        Steps(10);
        EXPECT_EQ(parent.clicks, 2) << steps;
    }
}

TEST_F(Fixture, WithoutAnimationOnlyTheSecondClickArrives) {
    button.Click();
    Pump();
    EXPECT_EQ(parent.clicks, 0);
    button.Click();
    EXPECT_EQ(parent.clicks, 1);
}

TEST_F(Fixture, PulseRisesToFullAndFallsBack) {
    button.StartAnimation();
    HoldClock();
    std::vector<int> levels;
    for (int step = 0; step < 23; ++step) {
        levels.push_back(button.GlowLevel());
        button.Step();
    }
    EXPECT_EQ(levels[0], 0);
    EXPECT_EQ(levels[10], 250);
    EXPECT_EQ(levels[11], 255);
    EXPECT_EQ(levels[12], 230);
    EXPECT_EQ(levels[21], 5);
    EXPECT_EQ(levels[22], 0);
}

TEST_F(Fixture, OnTheClockOnlyWhileAnimatingAndVisible) {
    CAnimationClock& clock = CAnimationClock::Instance();
    button.SetImages(hv::res::kButtonFace.id, 0, hv::res::kButtonSweep.id);
    button.StartAnimation();
    EXPECT_FALSE(button.IsAnimating()) << "it needs all three images";
    EXPECT_FALSE(clock.IsSubscribed(&button));
    button.SetSkinImages();
    button.StartAnimation();
    EXPECT_TRUE(clock.IsSubscribed(&button));
    button.ShowWindow(SW_HIDE);
    EXPECT_FALSE(clock.IsSubscribed(&button));
    EXPECT_TRUE(button.IsAnimating()) << "paused, not stopped";
    button.ShowWindow(SW_SHOW);
    EXPECT_TRUE(clock.IsSubscribed(&button));
    parent.ShowWindow(SW_HIDE);
    EXPECT_FALSE(clock.IsSubscribed(&button)) << "hidden with its parent";
    parent.ShowWindow(SW_SHOW);
    EXPECT_TRUE(clock.IsSubscribed(&button));
    button.StopAnimation();
    EXPECT_FALSE(button.IsAnimating());
    EXPECT_FALSE(clock.IsSubscribed(&button));
    EXPECT_FALSE(clock.IsRunning());
}

TEST_F(Fixture, ButtonsPulseTogetherInHundredMillisecondSteps) {
    CAniButton second;
    ASSERT_TRUE(second.Create("No", WS_VISIBLE, RECT{10, 60, 230, 105}, &parent, 7));
    second.SetSkinImages();
    button.StartAnimation();
    second.StartAnimation();
    QElapsedTimer timer;
    timer.start();
    while (button.GlowLevel() < 3 * 25 && timer.elapsed() < 5000) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    EXPECT_EQ(button.GlowLevel(), 3 * 25);
    EXPECT_GE(timer.elapsed(), 3 * CAnimationClock::kStepMs * 9 / 10)
        << "not faster than the steps";
    EXPECT_EQ(second.GlowLevel(), button.GlowLevel()) << "both step on the one tick";
    second.StopAnimation();
    button.StopAnimation();
    EXPECT_FALSE(CAnimationClock::Instance().IsRunning());
}
