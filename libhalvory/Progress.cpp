#include "Progress.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace hv {

namespace {
std::int32_t Clamp32(double value) {
    return static_cast<std::int32_t>(
        std::clamp(value, 0.0, static_cast<double>(std::numeric_limits<std::int32_t>::max())));
}
}  // namespace

void ProgressMeter::Sample(std::uint64_t bytes, std::uint64_t nowMs) {
    if (bytes < m_lastBytes || nowMs < m_lastMs) {
        // A count or a clock that went back cannot be compared with this one.
        m_anchored = false;
    }
    if (m_anchored) {
        m_lineMs += nowMs - m_lastMs;
        m_lineBytes += bytes - m_lastBytes;
        m_samples.emplace_back(m_lineMs, m_lineBytes);
        // Keep one sample at or before the window start so the span covers it.
        while (m_samples.size() > 2 && m_lineMs - m_samples[1].first >= m_windowMs) {
            m_samples.pop_front();
        }
    } else if (m_samples.empty()) {
        m_samples.emplace_back(0, 0);
    }
    m_anchored = true;
    m_lastMs = nowMs;
    m_lastBytes = bytes;
}

double ProgressMeter::BytesPerSecond() const {
    if (m_lineMs < m_settleMs || m_samples.size() < 2) {
        return 0.0;
    }
    const auto& first = m_samples.front();
    const auto& last = m_samples.back();
    if (last.first <= first.first) {
        return 0.0;
    }
    return static_cast<double>(last.second - first.second) * 1000.0 /
           static_cast<double>(last.first - first.first);
}

int ProgressMeter::SecondsUntil(std::uint64_t have, std::uint64_t target) const {
    if (have >= target) {
        return 0;
    }
    double rate = BytesPerSecond();
    if (rate <= 0.0) {
        return -1;
    }
    return std::max(1, Clamp32(std::ceil(static_cast<double>(target - have) / rate)));
}

TransferProgress MakeProgress(std::uint64_t have, std::uint64_t total, std::uint64_t playable,
                              const ProgressMeter& meter, int state) {
    TransferProgress p{};
    const bool retrying = state == HV_STATE_RETRYING;
    p.lPercent = total ? Clamp32(static_cast<double>(std::min(have, total)) * 100.0 /
                                 static_cast<double>(total))
                       : 0;
    int seconds = retrying ? 0 : meter.SecondsUntil(have, playable);
    p.lSecondsToPlay = seconds > 0 ? seconds : 0;
    p.lExtra = retrying ? 0 : Clamp32(meter.BytesPerSecond() / 1024.0);
    // Rounded alike, so that the counts are equal exactly when all is there.
    p.lTotal = Clamp32(static_cast<double>((total + 1023) / 1024));
    p.lDone = have >= total ? p.lTotal : Clamp32(static_cast<double>(have / 1024));
    p.lState = state;
    return p;
}

}  // namespace hv
