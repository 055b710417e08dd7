// How long a player waits on the service while others hold its threads: 64
// long polls of one session asking to wait five minutes and 64 connections
// that send their request a byte every half second. The player logs in and
// fetches the catalogue, in rounds, first with the service to itself and then
// under the siege, in the same run against the same service.

#include "Median.h"
#include "ServiceHarness.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kRounds = 40;
constexpr int kFetchesPerLogin = 4;
constexpr int kSiegePolls = 64;
constexpr int kSiegeSlow = 64;

// The time of each request, in milliseconds; a failed request fails the run.
std::vector<double> PlayerRounds(const hvtest::ServiceProcess& service) {
    std::vector<double> times;
    auto timed = [&times](auto request) {
        const auto start = std::chrono::steady_clock::now();
        const bool ok = request();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
        return ok;
    };
    for (int round = 0; round < kRounds; ++round) {
        std::string session;
        if (!timed([&] { return !(session = service.Session("bob", "pw")).empty(); })) {
            std::fprintf(stderr, "bench_siege: login failed\n");
            std::exit(1);
        }
        for (int fetch = 0; fetch < kFetchesPerLogin; ++fetch) {
            if (!timed([&] {
                    return hvtest::Http("GET", service.Url() + "/api/catalogue", {},
                                        {"X-Session: " + session})
                               .status == 200;
                })) {
                std::fprintf(stderr, "bench_siege: catalogue fetch failed\n");
                std::exit(1);
            }
        }
    }
    return times;
}

double Percentile99(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return times[times.size() * 99 / 100];
}

}  // namespace

int main() {
    hvtest::TempDir dir;
    hvtest::TestContent content{dir.Path()};
    hvtest::ServiceProcess service{content.root, dir.Path() / "a.db"};
    if (service.Admin({"add-user", "mallory", "pw"}) != 0 ||
        service.Admin({"add-user", "bob", "pw"}) != 0) {
        std::fprintf(stderr, "bench_siege: cannot add the users\n");
        return 1;
    }
    const auto alone = PlayerRounds(service);
    const hvtest::Siege siege(service.Port(), service.Session("mallory", "pw"), kSiegePolls,
                              kSiegeSlow);
    const auto besieged = PlayerRounds(service);
    std::printf("requests=%zu each (login and %d catalogue fetches per round)\n", alone.size(),
                kFetchesPerLogin);
    std::printf("api_median_ms=%.1f api_median_under_siege_ms=%.1f\n", bench::median(alone),
                bench::median(besieged));
    std::printf("api_p99_ms=%.1f api_p99_under_siege_ms=%.1f\n", Percentile99(alone),
                Percentile99(besieged));
    std::printf("api_worst_ms=%.1f api_worst_under_siege_ms=%.1f\n",
                *std::max_element(alone.begin(), alone.end()),
                *std::max_element(besieged.begin(), besieged.end()));
    std::printf("siege_polls_answered_at_once=%d of %d\n", siege.PollsAnswered(), kSiegePolls);
    return 0;
}
