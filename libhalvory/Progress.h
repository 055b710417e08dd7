// Throughput and time-to-play arithmetic for the progress records.
#pragma once

#include <cstdint>
#include <deque>
#include <utility>

#include "halvory/engine.h"

namespace hv {

// Throughput over a sliding window of recent samples, so a stall or a burst
// shows within a few seconds instead of being averaged over the transfer.
// The window runs on the line's own clock: time without a connection is not
// in it, so an outage neither reads as a slow spell nor loses the rate.
class ProgressMeter {
  public:
    explicit ProgressMeter(std::uint64_t windowMs = 3000, std::uint64_t settleMs = 1000)
        : m_windowMs(windowMs), m_settleMs(settleMs) {}

    // bytes is the running count of bytes on disk. The first sample, and the
    // first after Break(), only marks where to count from: what is on disk
    // by then came over a time this meter did not see.
    void Sample(std::uint64_t bytes, std::uint64_t nowMs);
    // The connection is gone; the rate so far stays the best guess for the next.
    void Break() { m_anchored = false; }
    // 0 until settleMs of transfer have been measured: the first moments of a
    // connection say little about the line.
    double BytesPerSecond() const;
    // Whole seconds, rounded up, until target bytes are there: 0 when they
    // are, -1 while no rate is known.
    int SecondsUntil(std::uint64_t have, std::uint64_t target) const;

  private:
    std::uint64_t m_windowMs;
    std::uint64_t m_settleMs;
    bool m_anchored = false;
    std::uint64_t m_lastMs = 0, m_lastBytes = 0;                    // the last sample as given
    std::uint64_t m_lineMs = 0, m_lineBytes = 0;                    // measured so far
    std::deque<std::pair<std::uint64_t, std::uint64_t>> m_samples;  // (line ms, line bytes)
};

// Sizes go out in KiB so that packages beyond 2 GiB fit the 32-bit fields.
// While retrying no time to play is given: nobody knows when bytes come again.
TransferProgress MakeProgress(std::uint64_t have, std::uint64_t total, std::uint64_t playable,
                              const ProgressMeter& meter, int state);

}  // namespace hv
