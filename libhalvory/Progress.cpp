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
    if (!m_samples.empty() && (nowMs < m_samples.back().first || bytes < m_samples.back().second)) {
        m_samples.clear();
    }
    m_samples.emplace_back(nowMs, bytes);
    // Keep one sample at or before the window start so the span covers it.
    while (m_samples.size() > 2 && nowMs - m_samples[1].first >= m_windowMs) {
        m_samples.pop_front();
    }
}

double ProgressMeter::BytesPerSecond() const {
    if (m_samples.size() < 2) {
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
    p.lPercent = total ? Clamp32(static_cast<double>(std::min(have, total)) * 100.0 /
                                 static_cast<double>(total))
                       : 0;
    int seconds = meter.SecondsUntil(have, playable);
    p.lSecondsToPlay = seconds > 0 ? seconds : 0;
    p.lExtra = Clamp32(meter.BytesPerSecond() / 1024.0);
    p.lDone = Clamp32(static_cast<double>(have / 1024));
    p.lTotal = Clamp32(static_cast<double>((total + 1023) / 1024));
    p.lState = state;
    return p;
}

}  // namespace hv
