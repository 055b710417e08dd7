// Transfer speed of the engine against a plain libcurl download of the same
// archive from the same local service in the same run, so that the machine's
// disk and load weigh on both alike: the two take turns for a few rounds and
// their medians are compared. Also times the play offer: from the moment the
// progress records show the playable part on disk to the engine's question
// (negative when the engine asks before its records show it).

#include <curl/curl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "Crypto.h"
#include "EngineFrame.h"
#include "Median.h"
#include "halvory/engine.h"

namespace {

namespace fs = std::filesystem;
using bench::fail;
using bench::Service;
using bench::spawn;
using bench::TempDir;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr long long kDefaultPackageSize = 1LL << 30;
constexpr int kRounds = 5;
constexpr const char* kUser = "bench";
constexpr const char* kPassword = "bench-secret";
constexpr const char* kLinkSecret = "bench-link-secret-0123456789";

double MegabytesPerSecond(double bytes, Clock::duration elapsed) {
    return bytes / 1e6 / std::chrono::duration<double>(elapsed).count();
}

// Runs a program to its end, its output discarded, within the deadline.
void Run(const std::vector<std::string>& args) {
    pid_t pid = 0;
    const int out = spawn(args, pid);
    std::thread drain([out] {
        char buffer[4096];
        while (::read(out, buffer, sizeof buffer) > 0) {
        }
        ::close(out);
    });
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (bench::PastDeadline()) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, &status, 0);
            drain.join();
            fail("timed out after 10 minutes running " + args[0]);
        }
        std::this_thread::sleep_for(20ms);
    }
    drain.join();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fail(args[0] + " " + args[1] + " failed");
    }
}

struct Package {
    std::string name;
    std::string title;
    std::string archive;
    long long size = 0;
    long long playableBytes = 0;
};

// The first priced full game, so that the engine asks the purchase question.
Package PickPackage(const fs::path& content) {
    std::ifstream in(content / "catalogue.json");
    const auto catalogue = nlohmann::json::parse(in);
    for (const auto& game : catalogue.at("games")) {
        if (game.at("type").get<int>() != 1 || game.at("price").get<std::string>() == "0") {
            continue;
        }
        Package p;
        p.name = game.at("package").get<std::string>();
        p.title = game.at("title").get<std::string>();
        p.archive = game.at("archive").get<std::string>();
        p.playableBytes = game.at("playable_bytes").get<long long>();
        p.size = static_cast<long long>(fs::file_size(content / "packages" / p.archive));
        return p;
    }
    fail("the demo content has no priced full game");
}

int CurlProgress(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return bench::PastDeadline() ? 1 : 0;
}

// The baseline: one plain GET of the archive into a file.
double CurlMegabytesPerSecond(const std::string& url, const fs::path& target,
                              const std::string& caFile) {
    std::FILE* out = std::fopen(target.c_str(), "wb");
    if (!out) {
        fail("cannot write " + target.string());
    }
    CURL* curl = curl_easy_init();
    if (!curl) {
        std::fclose(out);
        fail("curl_easy_init failed");
    }
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    if (!caFile.empty()) {
        curl_easy_setopt(curl, CURLOPT_CAINFO, caFile.c_str());
    }
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, out);
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, CurlProgress);
    const auto start = Clock::now();
    const CURLcode rc = curl_easy_perform(curl);
    const bool closed = std::fclose(out) == 0;
    const auto elapsed = Clock::now() - start;
    curl_off_t bytes = 0;
    curl_easy_getinfo(curl, CURLINFO_SIZE_DOWNLOAD_T, &bytes);
    curl_easy_cleanup(curl);
    bench::CheckDeadline("fetching the archive with curl");
    if (rc != CURLE_OK) {
        fail(std::string("curl download failed: ") + curl_easy_strerror(rc));
    }
    if (!closed) {
        fail("cannot write " + target.string());
    }
    return MegabytesPerSecond(static_cast<double>(bytes), elapsed);
}

// Writes back and discards what the last step left, so that neither side's
// timed run pays for the other's files: curl's copy would otherwise still be
// going to the disk, and being deleted, while the engine runs.
void Settle() {
    ::sync();
}

struct EngineFigures {
    double megabytesPerSecond = 0;
    double playOfferMs = 0;
};

EngineFigures RunEngine(const fs::path& dir, const std::string& baseUrl, const Package& package,
                        const fs::path& packageKey, const std::string& caFile) {
    bench::WriteEngineSettings(dir, baseUrl, packageKey, caFile);
    const bench::Engine engine(HV_ENGINE_LIBRARY);
    bench::EngineFrame frame(engine, (dir / "games" / package.title).string(),
                             package.playableBytes);
    frame.Download(kUser, kPassword, package.name, package.title);
    if (!frame.playOffer) {
        fail("the engine never offered to play");
    }
    if (!frame.playableCovered) {
        fail("no progress record covered the playable part");
    }
    EngineFigures figures;
    figures.megabytesPerSecond =
        MegabytesPerSecond(static_cast<double>(package.size - frame.firstDoneBytes),
                           *frame.done - *frame.firstProgress);
    figures.playOfferMs =
        std::chrono::duration<double, std::milli>(*frame.playOffer - *frame.playableCovered)
            .count();
    return figures;
}

struct Medians {
    double engineRate = 0, curlRate = 0, playOfferMs = 0;
};

// Rounds of curl and the engine taking turns against one running service. A
// first, uncounted round warms what both read: the service's copy of the
// archive and the page cache both write through.
Medians Rounds(const fs::path& temp, const Service& service, const Package& package,
               const fs::path& packageKey, const std::string& caFile) {
    // The baseline fetches the archive at an address signed as the service signs it.
    const std::string path = "/packages/" + package.archive;
    const long long expires = std::chrono::duration_cast<std::chrono::seconds>(
                                  std::chrono::system_clock::now().time_since_epoch())
                                  .count() +
                              3600;
    const std::string archiveUrl = service.baseUrl() + path + "?md5=" +
                                   hv::service::LinkSignature(path, expires, kLinkSecret) +
                                   "&expires=" + std::to_string(expires);
    std::vector<double> curlRates, engineRates, playOffers;
    for (int round = 0; round <= kRounds; ++round) {
        const fs::path baseline = temp / "baseline.tar";
        const double curlRate = CurlMegabytesPerSecond(archiveUrl, baseline, caFile);
        if (static_cast<long long>(fs::file_size(baseline)) != package.size) {
            fail("the curl download is incomplete");
        }
        fs::remove(baseline);
        Settle();

        // A fresh install folder each round, so the engine downloads it all again.
        const fs::path dir = temp / ("round" + std::to_string(round));
        fs::create_directories(dir);
        {
            bench::WorkingDir inRound(dir);
            const EngineFigures engine =
                RunEngine(dir, service.baseUrl(), package, packageKey, caFile);
            if (round > 0) {
                curlRates.push_back(curlRate);
                engineRates.push_back(engine.megabytesPerSecond);
                playOffers.push_back(engine.playOfferMs);
            }
        }
        fs::remove_all(dir);
        Settle();
    }
    return {bench::median(engineRates), bench::median(curlRates), bench::median(playOffers)};
}

int Benchmark(long long packageSize) {
    TempDir temp("bench_transfer");
    const fs::path content = temp.path() / "content";
    const std::string db = (temp.path() / "service.db").string();
    Run({HV_DEMOCONTENT_BINARY, "--out", content.string(), "--package-size",
         std::to_string(packageSize)});
    Run({HV_SERVICE_BINARY, "admin", "--db", db, "add-user", kUser, kPassword});
    const Package package = PickPackage(content);
    const fs::path secretFile = temp.path() / "link-secret";
    std::ofstream(secretFile) << kLinkSecret << "\n";
    // The engine checks every block against the manifest signed with this key.
    const fs::path signingKey = temp.path() / "signing-key.pem",
                   packageKey = temp.path() / "signing-key.pub";
    Run({HV_SERVICE_BINARY, "admin", "new-signing-key", signingKey.string(), packageKey.string()});
    const std::vector<std::string> serve = {"--link-secret-file", secretFile.string(),
                                            "--signing-key-file", signingKey.string()};

    Settle();
    Medians plain;
    {
        const Service service(HV_SERVICE_BINARY, content.string(), db, serve);
        plain = Rounds(temp.path(), service, package, packageKey, {});
    }
    // The same over TLS, with an authority of its own that both are told of.
    const fs::path tls = temp.path() / "tls";
    fs::create_directories(tls);
    const std::string ca = (tls / "ca.pem").string(), caKey = (tls / "ca-key.pem").string(),
                      cert = (tls / "cert.pem").string(), key = (tls / "key.pem").string(),
                      request = (tls / "cert.csr").string(), ext = (tls / "cert.ext").string();
    std::ofstream(ext) << "subjectAltName=IP:127.0.0.1\n";
    Run({"/usr/bin/openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
         "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", caKey, "-out", ca, "-days", "1",
         "-subj", "/CN=bench authority"});
    Run({"/usr/bin/openssl", "req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
         "-nodes", "-keyout", key, "-out", request, "-subj", "/CN=127.0.0.1"});
    Run({"/usr/bin/openssl", "x509", "-req", "-in", request, "-CA", ca, "-CAkey", caKey,
         "-CAcreateserial", "-out", cert, "-days", "1", "-extfile", ext});
    std::vector<std::string> serveTls = serve;
    serveTls.insert(serveTls.end(), {"--tls-cert-file", cert, "--tls-key-file", key});
    Medians secure;
    {
        const Service service(HV_SERVICE_BINARY, content.string(), db, serveTls);
        secure = Rounds(temp.path(), service, package, packageKey, ca);
    }

    std::printf("transfer_rounds: %d\n", kRounds);
    std::printf("transfer_engine: %.1f MB/s\n", plain.engineRate);
    std::printf("transfer_curl: %.1f MB/s\n", plain.curlRate);
    std::printf("transfer_vs_curl: %.2f x\n", plain.engineRate / plain.curlRate);
    std::printf("play_offer_ms: %.1f ms\n", plain.playOfferMs);
    std::printf("transfer_https_engine: %.1f MB/s\n", secure.engineRate);
    std::printf("transfer_https_curl: %.1f MB/s\n", secure.curlRate);
    std::printf("transfer_https_vs_curl_https: %.2f x\n", secure.engineRate / secure.curlRate);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    long long packageSize = kDefaultPackageSize;
    if (argc > 2 || (argc == 2 && (packageSize = std::atoll(argv[1])) < (1 << 20))) {
        std::fprintf(stderr, "usage: %s [package-bytes]   (>= 1048576, default %lld)\n", argv[0],
                     kDefaultPackageSize);
        return 2;
    }
    // A write to a connection the service closed must fail, not end the run.
    ::signal(SIGPIPE, SIG_IGN);
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
        std::fprintf(stderr, "bench_transfer: curl_global_init failed\n");
        return 1;
    }
    int rc = 1;
    try {
        rc = Benchmark(packageSize);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_transfer: %s\n", e.what());
    }
    curl_global_cleanup();
    return rc;
}
