#include <gtest/gtest.h>

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

TEST(ProgressRecord, FieldsAndUnits) {
    hv::ProgressMeter meter;
    meter.Sample(0, 0);
    meter.Sample(2048 * 1024, 2000);  // 1 MiB/s
    TransferProgress p =
        hv::MakeProgress(2048 * 1024, 8192 * 1024, 6144 * 1024, meter, HV_STATE_RESTORED);
    EXPECT_EQ(p.lPercent, 25);
    EXPECT_EQ(p.lSecondsToPlay, 4);
    EXPECT_EQ(p.lExtra, 1024);
    EXPECT_EQ(p.lDone, 2048);
    EXPECT_EQ(p.lTotal, 8192);
    EXPECT_EQ(p.lState, HV_STATE_RESTORED);
}

TEST(ProgressRecord, NoTimeWithoutARateOrOncePlayable) {
    hv::ProgressMeter meter;
    TransferProgress unknown = hv::MakeProgress(10, 100, 50, meter, HV_STATE_DOWNLOADING);
    EXPECT_EQ(unknown.lSecondsToPlay, 0);
    EXPECT_EQ(unknown.lPercent, 10);
    meter.Sample(0, 0);
    meter.Sample(60, 1000);
    EXPECT_EQ(hv::MakeProgress(60, 100, 50, meter, 0).lSecondsToPlay, 0);
    EXPECT_EQ(hv::MakeProgress(0, 0, 0, meter, 0).lPercent, 0);
}

TEST(ProgressRecord, LargePackagesFitTheFields) {
    hv::ProgressMeter meter;
    const std::uint64_t total = std::uint64_t{50} << 30;  // 50 GiB
    TransferProgress p = hv::MakeProgress(total / 2, total, total, meter, 0);
    EXPECT_EQ(p.lPercent, 50);
    EXPECT_EQ(p.lTotal, 50 * 1024 * 1024);
    EXPECT_EQ(p.lDone, 25 * 1024 * 1024);
}

}  // namespace
