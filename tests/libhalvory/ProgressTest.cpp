#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <vector>

#include "Progress.h"

namespace {

TEST(ProgressMeter, RateComesFromTheRecentWindow) {
    hv::ProgressMeter meter(3000);
    EXPECT_EQ(meter.BytesPerSecond(), 0.0);
    EXPECT_EQ(meter.SecondsUntil(0, 100), -1);
    meter.Sample(0, 0);
    meter.Sample(1000, 1000);
    EXPECT_DOUBLE_EQ(meter.BytesPerSecond(), 1000.0);
    EXPECT_EQ(meter.SecondsUntil(1000, 5000), 4);
    EXPECT_EQ(meter.SecondsUntil(1000, 5500), 5);  // 4.5 s rounds up
    EXPECT_EQ(meter.SecondsUntil(1000, 1001), 1);
    EXPECT_EQ(meter.SecondsUntil(5000, 5000), 0);

    // A slow spell pushes the early burst out of the window.
    for (std::uint64_t t = 2000; t <= 10000; t += 1000) {
        meter.Sample(1000 + (t - 1000) / 10, t);
    }
    EXPECT_NEAR(meter.BytesPerSecond(), 100.0, 1.0);
}

TEST(ProgressMeter, RestartForgetsTheOldRate) {
    hv::ProgressMeter meter;
    meter.Sample(0, 0);
    meter.Sample(100000, 1000);
    meter.Restart();
    EXPECT_EQ(meter.BytesPerSecond(), 0.0);
    meter.Sample(100000, 5000);
    meter.Sample(100500, 6000);
    EXPECT_DOUBLE_EQ(meter.BytesPerSecond(), 500.0);
}

// Sizes in KiB, the rate from the meter, and no time to play without a rate
// or once the playable part is there.
TEST(ProgressRecord, FieldsAndUnits) {
    constexpr std::uint64_t kMiB = 1024 * 1024;
    constexpr std::uint64_t kBig = std::uint64_t{50} << 30;  // 50 GiB
    struct Case {
        std::uint64_t have, total, playable, rateBytes;  // rate over one second; 0: none
        TransferProgress expected;
    };
    const std::vector<Case> cases = {
        {2 * kMiB, 8 * kMiB, 6 * kMiB, kMiB, {25, 4, 1024, 2048, 8192, HV_STATE_RESTORED}},
        {10, 100, 50, 0, {10, 0, 0, 0, 1, HV_STATE_RESTORED}},
        {60, 100, 50, 60, {60, 0, 0, 0, 1, HV_STATE_RESTORED}},
        {0, 0, 0, 60, {0, 0, 0, 0, 0, HV_STATE_RESTORED}},
        {kBig / 2,
         kBig,
         kBig,
         0,
         {50, 0, 0, 25 * 1024 * 1024, 50 * 1024 * 1024, HV_STATE_RESTORED}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.have);
        hv::ProgressMeter meter;
        if (c.rateBytes > 0) {
            meter.Sample(c.have - std::min(c.have, c.rateBytes), 0);
            meter.Sample(c.have, 1000);
        }
        const TransferProgress p =
            hv::MakeProgress(c.have, c.total, c.playable, meter, HV_STATE_RESTORED);
        auto fields = [](const TransferProgress& r) {
            return std::tuple(r.lPercent, r.lSecondsToPlay, r.lExtra, r.lDone, r.lTotal, r.lState);
        };
        EXPECT_EQ(fields(p), fields(c.expected));
    }
}

}  // namespace
