// The art fetch thread over a catalogue of 1,000 titles whose art is already
// cached: what every sign-in costs once the cache is warm. The first run fills
// the cache; the second is timed and must take no body from the server. A
// plain libcurl loop making the same 2,000 HEAD requests on one handle, in the
// same run, is the baseline.

#include <curl/curl.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "CatalogueRecord.h"
#include "TestImages.h"
#include "catalogue/GameInfoThread.h"
#include "net/PercentEncode.h"

namespace {

namespace fs = std::filesystem;
using bench::fail;
using bench::Service;
using bench::TempDir;
using Clock = std::chrono::steady_clock;

constexpr int kTitles = 1000;
constexpr DWORD kRunLimitMs = 10 * 60 * 1000;
constexpr time_t kArtTime = 1600000000;

long long milliseconds(Clock::duration elapsed) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
}

void writeArt(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
    const timespec times[2] = {{kArtTime, 0}, {kArtTime, 0}};
    if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0)
        fail("cannot set the time of " + path.string());
}

// Titles with blanks and punctuation, so every request carries escapes.
std::string titleOf(int i) {
    char title[64];
    std::snprintf(title, sizeof title, "Game %04d: Rise & Fall", i);
    return title;
}

// Inode of every cached file; a replaced file gets a new one.
std::vector<ino_t> inodes(const GameList& records) {
    std::vector<ino_t> out;
    for (const auto& game : records) {
        for (const std::string& path : {game->IconFile(), game->DescFile()}) {
            struct stat st {};
            out.push_back(::stat(path.c_str(), &st) == 0 ? st.st_ino : 0);
        }
    }
    return out;
}

struct Run {
    Clock::duration elapsed;
    unsigned bodies;
};

Run runThread(const std::string& address, GameList& records) {
    CGameInfoThread thread(nullptr, address, records);
    const auto start = Clock::now();
    if (!thread.CreateThread())
        fail("cannot start the art thread");
    if (!thread.Wait(kRunLimitMs))
        fail("the art thread did not finish within 10 minutes");
    const auto elapsed = Clock::now() - start;
    if (thread.ExitCode() != 1)
        fail("the art thread ended with " + std::to_string(thread.ExitCode()));
    return {elapsed, thread.BodiesFetched()};
}

size_t ignoreBody(char*, size_t size, size_t count, void*) {
    return size * count;
}

Clock::duration curlHeads(const std::string& address, const GameList& records) {
    CURL* curl = curl_easy_init();
    if (curl == nullptr)
        fail("curl_easy_init failed");
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(curl, CURLOPT_FILETIME, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, ignoreBody);
    const auto start = Clock::now();
    bool ok = true;
    for (const auto& game : records) {
        const std::string url = address + PercentEncodeSegment(game->m_strTitle);
        for (const char* ext : {".jpg", ".txt"}) {
            curl_easy_setopt(curl, CURLOPT_URL, (url + ext).c_str());
            long status = 0;
            ok = ok && curl_easy_perform(curl) == CURLE_OK &&
                 curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK &&
                 status == 200;
        }
    }
    const auto elapsed = Clock::now() - start;
    curl_easy_cleanup(curl);
    if (!ok)
        fail("a HEAD request of the baseline failed");
    return elapsed;
}

int benchmark() {
    TempDir dir("bench_artsync");
    const fs::path art = dir.path() / "content" / "art";
    const fs::path cache = dir.path() / "cache" / "art";
    fs::create_directories(art);
    const auto iconBytes = testimg::SolidJpeg(64, 64, {30, 120, 200});
    const std::string icon(iconBytes.begin(), iconBytes.end());
    GameList records;
    for (int i = 0; i < kTitles; ++i) {
        const std::string title = titleOf(i);
        writeArt(art / (title + ".jpg"), icon);
        writeArt(art / (title + ".txt"), "All about " + title + ".");
        testcat::Fields fields;
        fields[0] = "PKG-" + std::to_string(i);
        fields[1] = title;
        fields[2] = "1";
        testcat::Add(records, fields, cache.string() + "/");
    }
    Service service(HV_SERVICE_BINARY, (dir.path() / "content").string(),
                    (dir.path() / "svc.db").string());
    const std::string address = service.baseUrl() + "/art/";

    const Run fill = runThread(address, records);
    if (fill.bodies != 2 * kTitles)
        fail("the first run took " + std::to_string(fill.bodies) + " bodies, not " +
             std::to_string(2 * kTitles));
    const auto before = inodes(records);
    const Run warm = runThread(address, records);
    const auto after = inodes(records);
    int replaced = 0;
    for (size_t i = 0; i < before.size(); ++i)
        replaced += before[i] != after[i] ? 1 : 0;
    const auto baseline = curlHeads(address, records);

    std::printf("artsync_fill_1000_ms: %lld ms\n", milliseconds(fill.elapsed));
    std::printf("artsync_1000_ms: %lld ms\n", milliseconds(warm.elapsed));
    std::printf("bodies_downloaded: %u\n", warm.bodies);
    std::printf("files_replaced: %d\n", replaced);
    std::printf("curl_head_2000_ms: %lld ms\n", milliseconds(baseline));
    return warm.bodies == 0 && replaced == 0 ? 0 : 1;
}

}  // namespace

int main() {
    ::signal(SIGPIPE, SIG_IGN);
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
        std::fprintf(stderr, "bench_artsync: curl_global_init failed\n");
        return 1;
    }
    int rc = 1;
    try {
        rc = benchmark();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_artsync: %s\n", e.what());
    }
    curl_global_cleanup();
    return rc;
}
