// Catalogue parsing at scale: a 100,000-record file parsed into an empty
// catalogue, the same file parsed again over the full one (every record a
// merge), and how the time grows from 10,000 to 100,000 records. Each figure
// is the median of several runs, since the machine is shared.

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "CatalogueRecord.h"
#include "Median.h"
#include "catalogue/CatalogueFile.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRuns = 7;

std::string Record(size_t n) {
    testcat::Fields fields;
    fields[0] = "com.halvory.game" + std::to_string(n);
    fields[1] = "Game Number " + std::to_string(n);
    fields[2] = n % 7 == 0 ? "3" : "1";
    fields[3] = "Action,Puzzle,Category " + std::to_string(n % 40);
    fields[4] = "T - Teen";
    fields[5] = std::to_string(n % 50) + ".99";
    fields[7] = "unused";
    fields[9] = "Developer " + std::to_string(n % 300);
    fields[10] = "Publisher " + std::to_string(n % 90);
    fields[11] = "1024";
    fields[13] = "1073741824";
    fields[18] = "536870912";
    fields[20] = "PAIR" + std::to_string(n / 2) + "   ";
    return testcat::Record(fields);
}

std::string CatalogueOf(size_t records) {
    std::string bytes;
    bytes.reserve(records * 260);
    for (size_t n = 0; n < records; ++n) {
        bytes += Record(n);
    }
    return bytes;
}

double Milliseconds(Clock::duration elapsed) {
    return std::chrono::duration<double, std::milli>(elapsed).count();
}

// Times a parse into a fresh catalogue; when again is set, the catalogue is
// first filled with the same file so that the timed parse merges every record.
double TimeParse(const std::string& bytes, bool again, size_t expected) {
    std::vector<double> runs;
    size_t categories = 0;
    for (int run = 0; run < kRuns; ++run) {
        GameList records;
        if (again) {
            ParseCatalogueBytes(bytes.data(), bytes.size(), "art/", records);
        }
        const auto start = Clock::now();
        ParseCatalogueBytes(bytes.data(), bytes.size(), "art/", records,
                            [&categories](const std::string&) { ++categories; });
        runs.push_back(Milliseconds(Clock::now() - start));
        if (records.size() != expected) {
            std::fprintf(stderr, "parsed %zu records, expected %zu\n", records.size(), expected);
            return -1;
        }
    }
    return categories > 0 ? bench::median(runs) : -1;
}

}  // namespace

int main() {
    const std::string small = CatalogueOf(10'000);
    const std::string large = CatalogueOf(100'000);
    const double parse10k = TimeParse(small, false, 10'000);
    const double parse100k = TimeParse(large, false, 100'000);
    const double reparse100k = TimeParse(large, true, 100'000);
    if (parse10k <= 0 || parse100k <= 0 || reparse100k <= 0) {
        return 1;
    }
    std::printf("catalogue_file_mb: %.1f MB\n", large.size() / 1e6);
    std::printf("parse_10k_ms: %.1f ms\n", parse10k);
    std::printf("parse_100k_ms: %.1f ms\n", parse100k);
    std::printf("reparse_100k_ms: %.1f ms\n", reparse100k);
    std::printf("growth_10x: %.2f x\n", parse100k / parse10k);
    return 0;
}
