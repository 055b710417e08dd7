#pragma once

#include <deque>
#include <map>
#include <mutex>
#include <string>

namespace hv::service {

// Login attempts that may be guesses, per user name and per address, over a
// sliding window; shared by every request thread. An attempt counts from its
// start, so parallel guesses cannot slip past the limit, and is taken back
// when the password was right.
class LoginLimiter {
  public:
    static constexpr long long kWindowMs = 15LL * 60 * 1000;
    static constexpr std::size_t kPerUser = 5;
    static constexpr std::size_t kPerAddress = 20;

    // False when either limit is reached; otherwise the attempt counts.
    bool Begin(const std::string& user, const std::string& address, long long nowMs);
    // The attempt begun at nowMs had the right password.
    void Succeeded(const std::string& user, const std::string& address, long long nowMs);

  private:
    using Attempts = std::map<std::string, std::deque<long long>>;
    static std::size_t Recent(Attempts& attempts, const std::string& key, long long nowMs);
    static void Forget(Attempts& attempts, const std::string& key, long long stamp);
    void Sweep(long long nowMs);

    std::mutex m_mutex;
    Attempts m_byUser;
    Attempts m_byAddress;
};

}  // namespace hv::service
