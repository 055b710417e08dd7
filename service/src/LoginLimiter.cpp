#include "LoginLimiter.h"

#include <algorithm>

namespace hv::service {

namespace {

// Names and addresses are chosen by the peer; past this many, the ones with
// nothing recent are dropped.
constexpr std::size_t kSweepAbove = 10000;

}  // namespace

std::size_t LoginLimiter::Recent(Attempts& attempts, const std::string& key, long long nowMs) {
    auto it = attempts.find(key);
    if (it == attempts.end()) {
        return 0;
    }
    auto& stamps = it->second;
    while (!stamps.empty() && nowMs - stamps.front() >= kWindowMs) {
        stamps.pop_front();
    }
    return stamps.size();
}

void LoginLimiter::Forget(Attempts& attempts, const std::string& key, long long stamp) {
    auto it = attempts.find(key);
    if (it == attempts.end()) {
        return;
    }
    auto& stamps = it->second;
    auto found = std::find(stamps.begin(), stamps.end(), stamp);
    if (found != stamps.end()) {
        stamps.erase(found);
    }
}

void LoginLimiter::Sweep(long long nowMs) {
    for (auto* attempts : {&m_byUser, &m_byAddress}) {
        if (attempts->size() <= kSweepAbove) {
            continue;
        }
        std::erase_if(*attempts, [nowMs](const auto& entry) {
            return entry.second.empty() || nowMs - entry.second.back() >= kWindowMs;
        });
    }
}

bool LoginLimiter::Begin(const std::string& user, const std::string& address, long long nowMs) {
    std::lock_guard lock(m_mutex);
    if (Recent(m_byUser, user, nowMs) >= kPerUser ||
        Recent(m_byAddress, address, nowMs) >= kPerAddress) {
        return false;
    }
    Sweep(nowMs);
    m_byUser[user].push_back(nowMs);
    m_byAddress[address].push_back(nowMs);
    return true;
}

void LoginLimiter::Succeeded(const std::string& user, const std::string& address, long long nowMs) {
    std::lock_guard lock(m_mutex);
    Forget(m_byUser, user, nowMs);
    Forget(m_byAddress, address, nowMs);
}

}  // namespace hv::service
