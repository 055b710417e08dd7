#pragma once

#include <nlohmann/json.hpp>

#include <atomic>

namespace hv::service {

// Failures the service can be told to cause, for testing how a client copes.
// All off (0) by default; shared by every request thread.
class Faults {
  public:
    std::atomic<long long> throttleBps{0};      // body bytes per second for file transfers
    std::atomic<long long> dropAfterBytes{0};   // close the connection after this many body bytes
    std::atomic<long long> flipByteAt{0};       // invert this byte of every file sent (from 1)
    std::atomic<long long> flipTimes{0};        // only in this many answers (0: in every one)
    std::atomic<long long> failNext{0};         // answer the next N requests with 503
    std::atomic<long long> loginDelayMs{0};     // hold every login answer this long
    std::atomic<long long> discoverDelayMs{0};  // and every discovery answer
    // How far ahead of the real one the service's clock runs (page links,
    // sessions, login limits), so that a test can see them expire without waiting.
    std::atomic<long long> clockOffsetMs{0};

    // Takes one pending failure; true when this request must fail.
    bool TakeFailure();
    // True when an answer that holds the byte at flipByteAt is to invert it.
    bool TakeFlip();
    // Sets every field from the object; absent fields switch that fault off.
    void Assign(const nlohmann::json& settings);
    nlohmann::json ToJson() const;

  private:
    std::atomic<long long> m_flipped{0};  // answers that inverted their byte since Assign
};

}  // namespace hv::service
