#include <gtest/gtest.h>

#include "skin/AnimationClock.h"

// The timer itself is proven by the buttons that pulse on it (AniButtonTest).
TEST(AnimationClock, EveryTickStepsEachSubscriberOnceAndAStepMayEndOthers) {
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

    int first = 0;
    int second = 0;
    clock.Subscribe(&first, [&] {
        ++first;
        clock.Unsubscribe(&first);
        clock.Unsubscribe(&second);
    });
    clock.Subscribe(&second, [&] { ++second; });
    EXPECT_TRUE(clock.IsRunning());
    clock.Tick();
    clock.Tick();
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0) << "ended before its turn in the same tick";
    EXPECT_FALSE(clock.IsRunning());
}
