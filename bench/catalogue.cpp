// Catalogue parsing at scale: a 100,000-record file parsed into an empty
// catalogue, the same file parsed again over the full one (every record a
// merge), how the time grows from 10,000 to 100,000 records, and the parse
// against reading the same file once. Each figure is the median of several
// runs, since the machine is shared.

#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "CatalogueRecord.h"
#include "Median.h"
#include "TestFiles.h"
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

// Every run starts on memory the process has not used yet, as the client's
// first parse does: without this the allocator hands back the pages of the
// run before, and a fresh page is what costs here.
void ReturnFreeMemory() {
    malloc_trim(0);
}

// Times a parse of the file into a fresh catalogue; when again is set, the
// catalogue is first filled from the same file so that the timed parse merges
// every record.
double TimeParse(const std::string& path, bool again, size_t expected) {
    std::vector<double> runs;
    size_t categories = 0;
    for (int run = 0; run < kRuns; ++run) {
        {
            GameList records;
            if (again) {
                ParseCatalogueFile(path, "art/", records);
            }
            const auto start = Clock::now();
            ParseCatalogueFile(path, "art/", records,
                               [&categories](std::string_view) { ++categories; });
            runs.push_back(Milliseconds(Clock::now() - start));
            if (records.size() != expected) {
                std::fprintf(stderr, "parsed %zu records, expected %zu\n", records.size(),
                             expected);
                return -1;
            }
        }
        ReturnFreeMemory();
    }
    return categories > 0 ? bench::median(runs) : -1;
}

// Times reading the whole file once into a fresh buffer with plain read().
double TimeRead(const std::string& path, size_t expected) {
    std::vector<double> runs;
    for (int run = 0; run < kRuns; ++run) {
        size_t got = 0;
        {
            const auto start = Clock::now();
            const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            struct stat st {};
            if (fd < 0 || ::fstat(fd, &st) != 0) {
                return -1;
            }
            const auto size = static_cast<size_t>(st.st_size);
            const auto buffer = std::make_unique_for_overwrite<char[]>(size);
            for (ssize_t n = 1; got < size && n > 0; got += static_cast<size_t>(n)) {
                n = ::read(fd, buffer.get() + got, size - got);
                n = n < 0 ? 0 : n;
            }
            ::close(fd);
            runs.push_back(Milliseconds(Clock::now() - start));
        }
        ReturnFreeMemory();
        if (got != expected) {
            return -1;
        }
    }
    return bench::median(runs);
}

}  // namespace

int main() {
    const hvtest::TempDir dir;
    const std::string smallPath = (dir.Path() / "small.txt").string();
    const std::string largePath = (dir.Path() / "large.txt").string();
    size_t largeSize = 0;
    {
        const std::string small = CatalogueOf(10'000);
        const std::string large = CatalogueOf(100'000);
        hvtest::WriteFile(smallPath, small);
        hvtest::WriteFile(largePath, large);
        largeSize = large.size();
    }
    ReturnFreeMemory();
    const double parse10k = TimeParse(smallPath, false, 10'000);
    const double parse100k = TimeParse(largePath, false, 100'000);
    const double reparse100k = TimeParse(largePath, true, 100'000);
    const double read100k = TimeRead(largePath, largeSize);
    if (parse10k <= 0 || parse100k <= 0 || reparse100k <= 0 || read100k <= 0) {
        return 1;
    }
    std::printf("catalogue_file_mb: %.1f MB\n", largeSize / 1e6);
    std::printf("parse_10k_ms: %.1f ms\n", parse10k);
    std::printf("parse_100k_ms: %.1f ms\n", parse100k);
    std::printf("reparse_100k_ms: %.1f ms\n", reparse100k);
    std::printf("read_100k_ms: %.1f ms\n", read100k);
    std::printf("parse_vs_read: %.2f x\n", parse100k / read100k);
    std::printf("growth_10x: %.2f x\n", parse100k / parse10k);
    return 0;
}
