// Transfer speed of the engine against a plain libcurl download of the same
// archive from the same local service in the same run, so that the machine's
// disk and load weigh on both alike: the two take turns for a few rounds and
// their medians are compared. Also times the play offer: from the moment the
// progress records show the playable part on disk to the engine's question
// (negative when the engine asks before its records show it).

#include <curl/curl.h>
#include <dlfcn.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
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
constexpr int kRounds = 3;
constexpr const char* kUser = "bench";
constexpr const char* kPassword = "bench-secret";

const Clock::time_point gDeadline = Clock::now() + 10min;

void CheckDeadline(const char* phase) {
    if (Clock::now() > gDeadline) {
        fail(std::string("timed out after 10 minutes while ") + phase);
    }
}

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
        if (Clock::now() > gDeadline) {
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
    return Clock::now() > gDeadline ? 1 : 0;
}

// The baseline: one plain GET of the archive into a file.
double CurlMegabytesPerSecond(const std::string& url, const fs::path& target) {
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
    CheckDeadline("fetching the archive with curl");
    if (rc != CURLE_OK) {
        fail(std::string("curl download failed: ") + curl_easy_strerror(rc));
    }
    if (!closed) {
        fail("cannot write " + target.string());
    }
    return MegabytesPerSecond(static_cast<double>(bytes), elapsed);
}

struct Engine {
    PFN_hv_Init init = nullptr;
    PFN_hv_Shutdown shutdown = nullptr;
    PFN_hv_LoginA login = nullptr;
    PFN_hv_DownloadA download = nullptr;
    PFN_hv_SetGamePath setGamePath = nullptr;

    Engine() {
        // Never closed: the engine's threads may outlive hv_Shutdown briefly.
        void* lib = ::dlopen(HV_ENGINE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        if (!lib) {
            fail(std::string("cannot load the engine: ") + ::dlerror());
        }
        init = Resolve<PFN_hv_Init>(lib, "hv_Init");
        shutdown = Resolve<PFN_hv_Shutdown>(lib, "hv_Shutdown");
        login = Resolve<PFN_hv_LoginA>(lib, "hv_LoginA");
        download = Resolve<PFN_hv_DownloadA>(lib, "hv_DownloadA");
        setGamePath = Resolve<PFN_hv_SetGamePath>(lib, "hv_SetGamePath");
    }

    template <typename F>
    static F Resolve(void* lib, const char* name) {
        void* symbol = ::dlsym(lib, name);
        if (!symbol) {
            fail(std::string("the engine does not export ") + name);
        }
        return reinterpret_cast<F>(symbol);
    }
};

// Plays the client's user-interface thread: owns the frame window, answers the
// engine's questions and notes when each notification arrives.
class Frame {
  public:
    Frame(const Engine& engine, std::string storage, long long playableBytes)
        : m_engine(engine), m_storage(std::move(storage)), m_playableBytes(playableBytes) {
        m_window = hvCreateWindowHandle(&Frame::Proc, this);
        m_engine.init(m_window);
    }
    ~Frame() {
        m_engine.shutdown();
        hvDispatchPending();
        hvDestroyWindowHandle(m_window);
    }
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;

    // Runs fn on a worker, since the engine sends to this thread meanwhile.
    template <typename F>
    auto OnWorker(const char* phase, F fn) {
        auto result = std::async(std::launch::async, fn);
        auto ready = [&] { return result.wait_for(0s) == std::future_status::ready; };
        try {
            PumpUntil(phase, ready);
        } catch (...) {
            // The future's destructor waits for the call: stop the engine so
            // that it returns, and keep serving its sends meanwhile.
            m_engine.shutdown();
            const auto grace = Clock::now() + 10s;
            while (!ready() && Clock::now() < grace) {
                if (hvDispatchPending() == 0) {
                    std::this_thread::sleep_for(1ms);
                }
            }
            if (!ready()) {
                std::fprintf(stderr, "bench_transfer: the engine is stuck while %s\n", phase);
                std::_Exit(1);
            }
            throw;
        }
        return result.get();
    }

    void PumpUntil(const char* phase, const std::function<bool()>& done) {
        while (!done()) {
            if (!m_problem.empty()) {
                fail(m_problem + " while " + phase);
            }
            CheckDeadline(phase);
            if (hvDispatchPending() == 0) {
                std::this_thread::sleep_for(1ms);
            }
        }
    }

    std::optional<Clock::time_point> firstProgress, playableCovered, playOffer, done;
    long long firstDoneBytes = 0;

  private:
    static LRESULT Proc(void* context, HWND, UINT msg, WPARAM, LPARAM lParam) {
        auto* self = static_cast<Frame*>(context);
        const auto now = Clock::now();
        switch (msg) {
            case UWM_ENGINE_PROGRESS: {
                const auto& p = *reinterpret_cast<const TransferProgress*>(lParam);
                const long long bytes = static_cast<long long>(p.lDone) * 1024;
                if (!self->firstProgress) {
                    self->firstProgress = now;
                    self->firstDoneBytes = bytes;
                }
                // Records come at intervals: place the crossing between the
                // last record short of the playable part and the first past it.
                if (!self->playableCovered && bytes >= self->m_playableBytes) {
                    self->playableCovered = now;
                    if (self->m_lastShort && bytes > self->m_lastShort->bytes) {
                        const double share =
                            static_cast<double>(self->m_playableBytes - self->m_lastShort->bytes) /
                            static_cast<double>(bytes - self->m_lastShort->bytes);
                        self->playableCovered =
                            self->m_lastShort->at + std::chrono::duration_cast<Clock::duration>(
                                                        (now - self->m_lastShort->at) * share);
                    }
                } else if (!self->playableCovered) {
                    self->m_lastShort = Sample{now, bytes};
                }
                return 0;
            }
            case UWM_CONFIRM_PURCHASE: {
                // The engine waits on the named event for the second confirmation.
                HANDLE yes = CreateEventA(nullptr, TRUE, FALSE, HV_PURCHASE_EVENT);
                SetEvent(yes);
                CloseHandle(yes);
                return 1;
            }
            case UWM_ASK_STORAGE: self->m_engine.setGamePath(self->m_storage.c_str()); return 1;
            case UWM_ASK_PLAY_NOW:
                if (!self->playOffer) {
                    self->playOffer = now;
                }
                return 0;
            case UWM_DOWNLOAD_DONE: self->done = now; return 0;
            case UWM_CONNECTION_LOST: self->m_problem = "the engine lost the service"; return 0;
            case UWM_DISK_FULL: self->m_problem = "the engine reported a full disk"; return 0;
            case UWM_ENGINE_CANCEL: self->m_problem = "the engine cancelled the download"; return 0;
        }
        return 0;
    }

    struct Sample {
        Clock::time_point at;
        long long bytes;
    };

    const Engine& m_engine;
    std::optional<Sample> m_lastShort;
    std::string m_storage;
    long long m_playableBytes;
    HWND m_window = nullptr;
    std::string m_problem;
};

struct EngineFigures {
    double megabytesPerSecond = 0;
    double playOfferMs = 0;
};

EngineFigures RunEngine(const fs::path& dir, const std::string& baseUrl, const Package& package) {
    {
        std::ofstream ini(dir / "Halvory.ini");
        ini << "ENGINE_URL=" << baseUrl << "/\n";
        if (!ini) {
            fail("cannot write Halvory.ini");
        }
    }
    const Engine engine;
    Frame frame(engine, (dir / "games" / package.title).string(), package.playableBytes);

    const int login =
        frame.OnWorker("logging in", [&] { return engine.login(kUser, kPassword, 1); });
    if (login != HV_LOGIN_OK && login != HV_LOGIN_OK_ALT) {
        fail("engine login failed with code " + std::to_string(login));
    }
    const int started = frame.OnWorker("starting the download", [&] {
        char buffer[HV_BUFFER_SIZE] = {};
        return engine.download(package.name.c_str(), package.title.c_str(), 1, buffer);
    });
    if (started != HV_DL_OK) {
        fail("engine download failed with code " + std::to_string(started));
    }
    frame.PumpUntil("downloading with the engine", [&] { return frame.done.has_value(); });

    if (!frame.firstProgress) {
        fail("the engine sent no progress record");
    }
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

// Restores the working directory on every way out.
class WorkingDir {
  public:
    explicit WorkingDir(const fs::path& dir) : m_previous(fs::current_path()) {
        fs::current_path(dir);
    }
    ~WorkingDir() {
        std::error_code ignored;
        fs::current_path(m_previous, ignored);
    }
    WorkingDir(const WorkingDir&) = delete;
    WorkingDir& operator=(const WorkingDir&) = delete;

  private:
    fs::path m_previous;
};

int Benchmark(long long packageSize) {
    TempDir temp("bench_transfer");
    const fs::path content = temp.path() / "content";
    const std::string db = (temp.path() / "service.db").string();
    Run({HV_DEMOCONTENT_BINARY, "--out", content.string(), "--package-size",
         std::to_string(packageSize)});
    Run({HV_SERVICE_BINARY, "admin", "--db", db, "add-user", kUser, kPassword});
    const Package package = PickPackage(content);
    Service service(HV_SERVICE_BINARY, content.string(), db);

    std::vector<double> curlRates, engineRates, playOffers;
    for (int round = 0; round < kRounds; ++round) {
        const fs::path baseline = temp.path() / "baseline.tar";
        curlRates.push_back(
            CurlMegabytesPerSecond(service.baseUrl() + "/packages/" + package.archive, baseline));
        if (static_cast<long long>(fs::file_size(baseline)) != package.size) {
            fail("the curl download is incomplete");
        }
        fs::remove(baseline);

        // A fresh install folder each round, so the engine downloads it all again.
        const fs::path dir = temp.path() / ("round" + std::to_string(round));
        fs::create_directories(dir);
        {
            WorkingDir inRound(dir);
            const EngineFigures engine = RunEngine(dir, service.baseUrl(), package);
            engineRates.push_back(engine.megabytesPerSecond);
            playOffers.push_back(engine.playOfferMs);
        }
        fs::remove_all(dir);
    }

    const double engineRate = bench::median(engineRates), curlRate = bench::median(curlRates);
    std::printf("transfer_rounds: %d\n", kRounds);
    std::printf("transfer_engine: %.1f MB/s\n", engineRate);
    std::printf("transfer_curl: %.1f MB/s\n", curlRate);
    std::printf("transfer_vs_curl: %.2f x\n", engineRate / curlRate);
    std::printf("play_offer_ms: %.1f ms\n", bench::median(playOffers));
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
