// Throughput and time-to-play arithmetic for the progress records.
#pragma once

#include <cstdint>
#include <deque>
#include <utility>

#include "halvory/engine.h"

namespace hv {

// Throughput over a sliding window of recent samples, so a stall or a burst
// shows within a few seconds instead of being averaged over the transfer.
class ProgressMeter {
  public:
    explicit ProgressMeter(std::uint64_t windowMs = 3000) : m_windowMs(windowMs) {}

    // bytes is the running count of bytes on disk; it never goes down.
    void Sample(std::uint64_t bytes, std::uint64_t nowMs);
    // Forget the history (after a stall the old rate means nothing).
    void Restart() { m_samples.clear(); }
    double BytesPerSecond() const;
    // Whole seconds, rounded up, until target bytes are there: 0 when they
    // are, -1 while no rate is known.
    int SecondsUntil(std::uint64_t have, std::uint64_t target) const;

  private:
    std::uint64_t m_windowMs;
    std::deque<std::pair<std::uint64_t, std::uint64_t>> m_samples;  // (ms, bytes)
};

// Sizes go out in KiB so that packages beyond 2 GiB fit the 32-bit fields.
TransferProgress MakeProgress(std::uint64_t have, std::uint64_t total, std::uint64_t playable,
                              const ProgressMeter& meter, int state);

}  // namespace hv
