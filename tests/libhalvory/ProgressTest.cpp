#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "Progress.h"

namespace {

// Feeds the meter a line described by the bytes that have come at each
// millisecond, sampled where bytes arrive, and returns its rate at the end.
double RateAfter(hv::ProgressMeter& meter, const std::vector<std::uint64_t>& arrivals,
                 const std::function<std::uint64_t(std::uint64_t)>& bytesAt) {
    for (std::uint64_t t : arrivals) {
        meter.Sample(bytesAt(t), t);
    }
    return meter.BytesPerSecond();
}

std::vector<std::uint64_t> Every(std::uint64_t stepMs, std::uint64_t fromMs, std::uint64_t toMs) {
    std::vector<std::uint64_t> times;
    for (std::uint64_t t = fromMs; t <= toMs; t += stepMs) {
        times.push_back(t);
    }
    return times;
}

TEST(ProgressMeter, RateFollowsTheLine) {
    struct Case {
        std::string line;
        std::vector<std::uint64_t> arrivals;
        std::function<std::uint64_t(std::uint64_t)> bytesAt;
        double rate;  // bytes per second; 0: not known yet
    };
    const std::vector<Case> cases = {
        {"steady, in pieces every 50 ms", Every(50, 0, 6000), [](auto t) { return t; }, 1000},
        // The first piece came over a time nobody saw: bytes already on disk
        // from an earlier transfer, or a burst right after the request.
        {"after 5 MB at once", Every(50, 0, 6000), [](auto t) { return 5000000 + t; }, 1000},
        {"not yet a second measured", Every(50, 0, 900), [](auto t) { return t; }, 0},
        {"a lasting change shows within seconds", Every(50, 0, 15000),
         [](auto t) { return t < 10000 ? 10 * t : 100000 + (t - 10000); }, 1000},
        // In bursts, as a TCP stream comes: the rate over the window, not
        // over the last gap.
        {"200 bytes after gaps of 10, 40 and 150 ms",
         [] {
             std::vector<std::uint64_t> times;
             for (std::uint64_t t = 0; t < 6000; t += 200) {
                 times.insert(times.end(), {t + 10, t + 50, t + 200});
             }
             return times;
         }(),
         [](auto t) { return 600 * (t / 200) + 200 * (t % 200 > 0) + 200 * (t % 200 > 10); }, 3000},
    };
    for (const Case& c : cases) {
        hv::ProgressMeter meter;
        const double rate = RateAfter(meter, c.arrivals, c.bytesAt);
        EXPECT_NEAR(rate, c.rate, c.rate * 0.1) << c.line;
    }
}

// Over a broken connection the rate stays what the line gave: the outage
// neither counts as a slow spell nor makes the rate unknown again.
TEST(ProgressMeter, BreakKeepsTheRateAndSkipsTheOutage) {
    hv::ProgressMeter meter;
    RateAfter(meter, Every(50, 0, 5000), [](auto t) { return t; });
    meter.Break();
    meter.Sample(5000, 9000);  // the first bytes of the new connection
    EXPECT_NEAR(meter.BytesPerSecond(), 1000, 10);
    meter.Sample(5050, 9050);
    EXPECT_NEAR(meter.BytesPerSecond(), 1000, 10);
    // 2.3 s, in whole seconds rounded up.
    EXPECT_EQ(meter.SecondsUntil(5050, 7350), 3);
}

// Sizes in KiB, the rate from the meter, and no time to play without a rate,
// while retrying, or once the playable part is there.
TEST(ProgressRecord, FieldsAndUnits) {
    constexpr std::uint64_t kMiB = 1024 * 1024;
    constexpr std::uint64_t kBig = std::uint64_t{50} << 30;  // 50 GiB
    struct Case {
        std::uint64_t have, total, playable, rateBytes;  // rate over one second; 0: none
        int state;
        TransferProgress expected;
    };
    constexpr int kRestored = HV_STATE_RESTORED, kRetrying = HV_STATE_RETRYING;
    const std::vector<Case> cases = {
        {2 * kMiB, 8 * kMiB, 6 * kMiB, kMiB, kRestored, {25, 4, 1024, 2048, 8192, kRestored}},
        {2 * kMiB, 8 * kMiB, 6 * kMiB, kMiB, kRetrying, {25, 0, 0, 2048, 8192, kRetrying}},
        {10, 100, 50, 0, kRestored, {10, 0, 0, 0, 1, kRestored}},
        {60, 100, 50, 60, kRestored, {60, 0, 0, 0, 1, kRestored}},
        // Done and total are equal exactly when every byte is there.
        {804351, 804352, 0, 0, kRestored, {99, 0, 0, 785, 786, kRestored}},
        {804352, 804352, 0, 0, kRestored, {100, 0, 0, 786, 786, kRestored}},
        {0, 0, 0, 60, kRestored, {0, 0, 0, 0, 0, kRestored}},
        {kBig / 2, kBig, kBig, 0, kRestored, {50, 0, 0, 25 << 20, 50 << 20, kRestored}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.have << " in state " << c.state);
        hv::ProgressMeter meter;
        if (c.rateBytes > 0) {
            meter.Sample(c.have - std::min(c.have, c.rateBytes), 0);
            meter.Sample(c.have, 1000);
        }
        const TransferProgress p = hv::MakeProgress(c.have, c.total, c.playable, meter, c.state);
        auto fields = [](const TransferProgress& r) {
            return std::tuple(r.lPercent, r.lSecondsToPlay, r.lExtra, r.lDone, r.lTotal, r.lState);
        };
        EXPECT_EQ(fields(p), fields(c.expected));
    }
}

}  // namespace
