#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>

#include "skin/AnimationClock.h"

namespace {

void Pump(int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

}  // namespace

TEST(AnimationClock, EveryTickStepsEachSubscriberOnce) {
    CAnimationClock& clock = CAnimationClock::Instance();
    int a = 0;
    int b = 0;
    clock.Subscribe(&a, [&] { ++a; });
    clock.Subscribe(&b, [&] { ++b; });
    clock.Subscribe(&a, [&] { a += 10; });  // replaces, does not add
    clock.Tick();
    EXPECT_EQ(a, 10);
    EXPECT_EQ(b, 1);
    clock.Unsubscribe(&a);
    clock.Tick();
    EXPECT_EQ(a, 10);
    EXPECT_EQ(b, 2);
    clock.Unsubscribe(&b);
}

TEST(AnimationClock, AStepMayEndSubscriptionsDuringTheTick) {
    CAnimationClock& clock = CAnimationClock::Instance();
    int first = 0;
    int second = 0;
    clock.Subscribe(&first, [&] {
        ++first;
        clock.Unsubscribe(&first);
        clock.Unsubscribe(&second);
    });
    clock.Subscribe(&second, [&] { ++second; });
    clock.Tick();
    clock.Tick();
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0) << "ended before its turn in the same tick";
    EXPECT_FALSE(clock.IsRunning());
}

TEST(AnimationClock, RunsOnlyWhileSomeoneIsSubscribed) {
    CAnimationClock& clock = CAnimationClock::Instance();
    EXPECT_FALSE(clock.IsRunning());
    int ticks = 0;
    clock.Subscribe(&ticks, [&] { ++ticks; });
    EXPECT_TRUE(clock.IsRunning());
    QElapsedTimer timer;
    timer.start();
    while (ticks < 3 && timer.elapsed() < 5000) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    EXPECT_EQ(ticks, 3);
    EXPECT_GE(timer.elapsed(), 3 * CAnimationClock::kStepMs * 9 / 10);

    clock.Unsubscribe(&ticks);
    EXPECT_FALSE(clock.IsRunning());
    Pump(3 * CAnimationClock::kStepMs);
    EXPECT_EQ(ticks, 3) << "no ticks without subscribers";
}
