#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <string>
#include <vector>

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
        if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
            ++clicks;
            return 0;
        }
        return CWnd::WindowProc(message, wParam, lParam);
    }
};

struct Fixture : ::testing::Test {
    Parent parent;
    CAniButton button;
    void SetUp() override { Make(button, 10); }
    void Make(CAniButton& made, int top) {
        ASSERT_TRUE(made.Create("Yes", WS_VISIBLE, RECT{10, top, 230, top + 45}, &parent, 6));
        made.SetSkinImages();
    }
};

// The test steps the pulse, not the clock.
void StartHeld(CAniButton& button) {
    button.StartAnimation();
    CAnimationClock::Instance().Unsubscribe(&button);
}

}  // namespace

// Scripts: a starts the pulse, c clicks, s steps, S steps and delivers what was
// posted, x stops. A 220-pixel face: the shine is drawn at 5,
// 105, ..., 505; the sixth step has crossed the right edge and posts the click.
TEST_F(Fixture, ClickReachesTheParentOnceAfterTheSweep) {
    const struct {
        const char* script;
        int clicks;
    } rows[] = {
        {"acSSSSS", 0},
        {"acSSSSSS", 1},
        {"acSSSSSSSSSSSSSSSS", 1},    // back to pulsing
        {"acSSSSSScSSSSS", 1},        // the next sweep starts at the left edge again
        {"acSScSSSSSSSSSS", 1},       // a second click during the sweep is the only one
        {"acsssxaSSSSSSSSSS", 0},     // stopped halfway through the sweep
        {"acssssssxaSSSSSSSSSS", 0},  // stopped once it has posted
        {"c", 0},                     // without animation only the second click arrives
        {"cc", 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.script);
        CAniButton fresh;
        Make(fresh, 60);
        parent.clicks = 0;
        for (const char action : std::string(row.script)) {
            switch (action) {
                case 'a': StartHeld(fresh); break;
                case 'c': fresh.Click(); break;
                case 'x': fresh.StopAnimation(); break;
                case 's': fresh.Step(); break;
                default:  // 'S': a step, then whatever it posted is delivered
                    fresh.Step();
                    QApplication::processEvents();
            }
        }
        QApplication::processEvents();
        EXPECT_EQ(parent.clicks, row.clicks);
    }
}

TEST_F(Fixture, PulseRisesToFullAndFallsBack) {
    StartHeld(button);
    std::vector<int> levels;
    for (int step = 0; step < 23; ++step) {
        levels.push_back(button.GlowLevel());
        button.Step();
    }
    EXPECT_EQ(levels, (std::vector<int>{0,   25,  50,  75,  100, 125, 150, 175, 200, 225, 250, 255,
                                        230, 205, 180, 155, 130, 105, 80,  55,  30,  5,   0}));
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
    Make(second, 60);
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
