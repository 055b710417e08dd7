#include "Faults.h"

#include <stdexcept>

namespace hv::service {

namespace {

long long Field(const nlohmann::json& settings, const char* name) {
    if (!settings.contains(name)) {
        return 0;
    }
    const auto& v = settings.at(name);
    if (!v.is_number_integer() || v.get<long long>() < 0) {
        throw std::invalid_argument(std::string(name) + " must be a non-negative integer");
    }
    return v.get<long long>();
}

}  // namespace

bool Faults::TakeFailure() {
    long long pending = failNext.load();
    while (pending > 0) {
        if (failNext.compare_exchange_weak(pending, pending - 1)) {
            return true;
        }
    }
    return false;
}

bool Faults::TakeFlip() {
    const long long times = flipTimes;
    return times == 0 || m_flipped.fetch_add(1) < times;
}

void Faults::Assign(const nlohmann::json& settings) {
    if (!settings.is_object()) {
        throw std::invalid_argument("fault settings must be an object");
    }
    // Validate everything before changing anything.
    long long throttle = Field(settings, "throttle_bps");
    long long drop = Field(settings, "drop_after_bytes");
    long long flip = Field(settings, "flip_byte_at");
    long long flips = Field(settings, "flip_times");
    long long fail = Field(settings, "fail_next");
    long long delay = Field(settings, "login_delay_ms");
    long long discoverDelay = Field(settings, "discover_delay_ms");
    long long offset = Field(settings, "clock_offset_ms");
    throttleBps = throttle;
    dropAfterBytes = drop;
    flipByteAt = flip;
    flipTimes = flips;
    m_flipped = 0;
    failNext = fail;
    loginDelayMs = delay;
    discoverDelayMs = discoverDelay;
    clockOffsetMs = offset;
}

nlohmann::json Faults::ToJson() const {
    return {{"throttle_bps", throttleBps.load()},
            {"drop_after_bytes", dropAfterBytes.load()},
            {"flip_byte_at", flipByteAt.load()},
            {"flip_times", flipTimes.load()},
            {"fail_next", failNext.load()},
            {"login_delay_ms", loginDelayMs.load()},
            {"discover_delay_ms", discoverDelayMs.load()},
            {"clock_offset_ms", clockOffsetMs.load()}};
}

}  // namespace hv::service
