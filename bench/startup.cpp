// Time from starting the client to its first painted frame, against a plain
// Qt window started the same way in the same run, so that the machine's load
// affects both alike.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "Median.h"

namespace {

using namespace std::chrono_literals;
using halvory::e2e::ChildProcess;

struct Subject {
    const char* name;
    std::filesystem::path program;
    std::vector<double> samples_ms;
};

// Milliseconds from just before the spawn to the child's "first-paint" line,
// or a negative value after printing why there is none.
double timeFirstPaint(const Subject& subject) {
    const auto start = std::chrono::steady_clock::now();
    ChildProcess child(subject.program.string(),
                       {.args = {}, .set_env = {"HALVORY_REPORT_FIRST_PAINT=1"}, .unset_env = {}});
    if (!child.started()) {
        std::fprintf(stderr, "bench_startup: cannot start %s\n", child.error().c_str());
        return -1;
    }
    const auto result = child.waitForLine("first-paint", 10s);
    const std::chrono::duration<double, std::milli> elapsed =
        std::chrono::steady_clock::now() - start;
    child.terminate(5s);
    switch (result) {
        case ChildProcess::LineResult::Found: return elapsed.count();
        case ChildProcess::LineResult::TimedOut:
            std::fprintf(stderr, "bench_startup: %s did not report first-paint within 10 s\n",
                         subject.program.c_str());
            return -1;
        case ChildProcess::LineResult::Closed: break;
    }
    std::fprintf(stderr, "bench_startup: %s closed its output without reporting first-paint\n",
                 subject.program.c_str());
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 11;
    if (argc > 2 || (argc == 2 && (runs = std::atoi(argv[1])) < 1)) {
        std::fprintf(stderr, "usage: %s [runs]   (runs >= 1, default 11)\n", argv[0]);
        return 2;
    }
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) {
        std::fprintf(stderr,
                     "bench_startup: needs an X display (DISPLAY is unset); "
                     "scripts/bench.sh runs it under Xvfb\n");
        return 1;
    }

    const auto dir = std::filesystem::read_symlink("/proc/self/exe").parent_path();
    Subject client{"client", dir / "halvory", {}};
    Subject plain{"plain", dir / "bench_plainwindow", {}};

    // Alternate, so that a slow spell on the machine hits both.
    for (int i = 0; i < runs; ++i) {
        for (Subject* subject : {&client, &plain}) {
            const double ms = timeFirstPaint(*subject);
            if (ms < 0) {
                std::fprintf(stderr, "bench_startup: run %d of %s failed\n", i + 1, subject->name);
                return 1;
            }
            subject->samples_ms.push_back(ms);
        }
    }

    const double client_ms = bench::median(client.samples_ms);
    const double plain_ms = bench::median(plain.samples_ms);
    std::printf("startup_client_median: %.1f ms\n", client_ms);
    std::printf("startup_plain_median: %.1f ms\n", plain_ms);
    std::printf("startup_ratio: %.2f x\n", client_ms / plain_ms);
    return 0;
}
