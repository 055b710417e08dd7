// The download screen against the transfer it shows. First, the CPU use of
// the client while the screen shows a running transfer with every animation
// going (the Cancel button pulses, the status dots move, the bar fills),
// against a plain Qt window measured the same way in the same run. Then the
// time a large package takes through the client with that screen shown,
// against the engine alone, the two taking turns: painting must never hold
// the transfer up.
//
// The client is the driven client of the end-to-end tests: the real client
// with a driver that walks to the download screen as a user would, with real
// X input, and reports each step on its standard output. Its CPU is sampled
// from outside through /proc, the driver's own look every 100 ms included.
// For the CPU figure the service slows the transfer to a home line's speed:
// at loopback speed the engine's work inside the client's process would hide
// what the screen costs.
//
// The engine alone runs in a fresh process each round, as the client does,
// and leaves the play question open as long as the client's user just did:
// the install waits for the answer, and the user's moment is no part of what
// the screen costs. The times of both come from the engine's log, so
// that they are taken alike: from its first progress record to the record
// that all bytes are in, and to its news that the download is done.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "ChildProcess.h"
#include "Display.h"
#include "EngineFrame.h"
#include "Median.h"
#include "ServiceHarness.h"
#include "halvory/engine.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using bench::fail;
using halvory::e2e::ChildProcess;
using Clock = std::chrono::steady_clock;

constexpr const char* kUser = "bench";
constexpr const char* kPassword = "bench-secret";
// The demo the driver's walks take.
constexpr const char* kPackage = "HV-STARFALL-RUN-DEMO";
constexpr const char* kTitle = "Starfall Run Demo";
constexpr const char* kPlainTitle = "Plain Window";
// The benchmark runs itself with this for each transfer by the engine alone.
constexpr const char* kEngineRound = "--engine-round";

constexpr long long kDefaultPackageSize = 512LL << 20;
constexpr int kRounds = 5;
// A fast home line; the transfer must outlast the measuring at this speed.
constexpr long long kLineBytesPerSecond = 2'000'000;
constexpr long long kLeastPackageSize = 64LL << 20;

constexpr auto kMeasureWindow = 10s;
// Lets the closed question's repaint pass before the screen is measured.
constexpr auto kAfterQuestion = 1s;
// The plain window gets a pause after its first frame, as the client has
// its walk, so that start-up work is not counted.
constexpr auto kPlainSettle = 3s;
// The driver gives up on a step itself after 30 s and says why.
constexpr auto kReportLimit = 120s;
constexpr auto kExitLimit = 30s;

struct Demo {
    std::string archive;
    long long playableBytes = 0;
};

Demo FindDemo(const fs::path& content) {
    std::ifstream in(content / "catalogue.json");
    const auto catalogue = nlohmann::json::parse(in);
    for (const auto& game : catalogue.at("games")) {
        if (game.at("package").get<std::string>() == kPackage) {
            return {game.at("archive").get<std::string>(),
                    game.at("playable_bytes").get<long long>()};
        }
    }
    fail(std::string("the demo content has no ") + kPackage);
}

// Only the demo is fetched: the other archives would only fill the disk.
void KeepOnlyArchive(const fs::path& content, const std::string& archive) {
    for (const auto& entry : fs::directory_iterator(content / "packages")) {
        if (entry.path().filename() != archive) {
            fs::remove(entry.path());
        }
    }
}

void SetFaults(const hvtest::ServiceProcess& service, const std::string& settings) {
    if (service.Faults(settings) != 200) {
        fail("the service refused the faults " + settings);
    }
}

std::string ReadText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The log's time of one of its lines, in seconds.
double LineTime(const std::string& line) {
    std::tm utc{};
    int milliseconds = 0;
    if (std::sscanf(line.c_str(), "%d-%d-%dT%d:%d:%d.%dZ", &utc.tm_year, &utc.tm_mon, &utc.tm_mday,
                    &utc.tm_hour, &utc.tm_min, &utc.tm_sec, &milliseconds) != 7) {
        fail("a log line without its time: " + line);
    }
    utc.tm_year -= 1900;
    utc.tm_mon -= 1;
    return static_cast<double>(timegm(&utc)) + milliseconds / 1000.0;
}

// One transfer as the engine's log tells it, in seconds from its first
// progress record: to its record that all bytes are in, and to its news that
// the download is done (the extraction and the install finished too).
struct TransferTimes {
    double bytesIn = 0;
    double done = 0;
};

TransferTimes ReadTransferTimes(const std::string& log) {
    const auto record = [](int state) {
        return "progress to the frame: state " + std::to_string(state) + " at ";
    };
    const std::string doneNews =
        "posted WM_USER+" + std::to_string(UWM_DOWNLOAD_DONE - WM_USER) + " (";
    std::istringstream lines(log);
    std::string line;
    double start = -1;
    double bytesIn = -1;
    while (std::getline(lines, line)) {
        if (start < 0 && line.find(record(HV_STATE_DOWNLOADING)) != std::string::npos) {
            start = LineTime(line);
        } else if (start >= 0 && bytesIn < 0 &&
                   line.find(record(HV_STATE_EXTRACTING)) != std::string::npos) {
            bytesIn = LineTime(line);
        } else if (bytesIn >= 0 && line.find(doneNews) != std::string::npos) {
            return {bytesIn - start, LineTime(line) - start};
        }
    }
    fail("the engine's log does not tell the whole transfer");
}

// How long the client's user left the play question open, from the client's
// first word of it to the engine's hearing the answer, in seconds.
double QuestionSeconds(const std::string& log) {
    const std::string number = std::to_string(UWM_ASK_PLAY_NOW - WM_USER);
    std::istringstream lines(log);
    std::string line;
    double asked = -1;
    while (std::getline(lines, line)) {
        if (asked < 0 && line.find("engine notification WM_USER+" + number) != std::string::npos) {
            asked = LineTime(line);
        } else if (asked >= 0 &&
                   line.find("sent WM_USER+" + number + " to the frame") != std::string::npos) {
            return LineTime(line) - asked;
        }
    }
    fail("the client's log does not show the play question answered");
}

// A log, its older half first once it has been turned over.
std::string LogText(const fs::path& log) {
    const fs::path older = log.string() + ".1";
    return (fs::exists(older) ? ReadText(older) : std::string()) + ReadText(log);
}

struct CpuSample {
    Clock::time_point at;
    long long process = 0;
    long long uiThread = 0;
};

CpuSample TakeSample(pid_t pid) {
    CpuSample sample;
    sample.process = bench::CpuTicks(pid);
    sample.uiThread = bench::ThreadCpuTicks(pid, pid);
    sample.at = Clock::now();
    return sample;
}

// Percentages of one core.
struct CpuShare {
    double process = 0;
    double uiThread = 0;
};

CpuShare Between(const CpuSample& first, const CpuSample& last) {
    const double seconds = std::chrono::duration<double>(last.at - first.at).count();
    const auto percent = [&](long long ticks) {
        return static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK)) / seconds *
               100;
    };
    return {percent(last.process - first.process), percent(last.uiThread - first.uiThread)};
}

// The driven client on the benchmark's walk, from a fresh install folder with
// the real engine, logged in from the command line; its log goes into the
// install folder.
class DrivenClient {
  public:
    DrivenClient(const fs::path& install, const std::string& baseUrl, const fs::path& packageKey,
                 const fs::path& runtime)
        : m_log(install / "halvory.log"),
          m_child(WriteInstall(install, baseUrl, packageKey),
                  {.args = {std::string("/u") + kUser + "//" + kPassword},
                   .set_env = {"HALVORY_E2E_SCENARIO=download-bench",
                               "HALVORY_LOG_FILE=" + m_log.string(),
                               // A client running elsewhere for this user would
                               // otherwise make this one hand over to it and quit.
                               "XDG_RUNTIME_DIR=" + runtime.string()},
                   .unset_env = {"QT_QPA_PLATFORM"}}) {
        if (!m_child.started()) {
            fail("cannot start the driven client: " + m_child.error());
        }
    }

    pid_t Pid() const { return m_child.pid(); }
    const fs::path& Log() const { return m_log; }

    // Reads the walk's report up to the step's line.
    void Await(const std::string& step) {
        const auto deadline = Clock::now() + kReportLimit;
        for (;;) {
            bench::CheckDeadline("waiting for the driven client");
            ChildProcess::LineResult why = ChildProcess::LineResult::Found;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::max(deadline - Clock::now(), Clock::duration::zero()));
            const auto line = m_child.readLine(left, why);
            if (!line) {
                fail(why == ChildProcess::LineResult::TimedOut
                         ? "the driven client did not report '" + step + "' within 120 s"
                         : "the driven client ended before '" + step + "'");
            }
            if (*line == "e2e: " + step) {
                return;
            }
            if (line->starts_with("e2e: failed")) {
                fail("the driven client's walk " + line->substr(5));
            }
        }
    }

    // Nothing is reported for a while: the walk stays where it is.
    void Quiet(Clock::duration duration) {
        ChildProcess::LineResult why = ChildProcess::LineResult::Found;
        const auto line =
            m_child.readLine(std::chrono::duration_cast<std::chrono::milliseconds>(duration), why);
        if (line) {
            fail("the driven client went on while it was measured: " + *line);
        }
        if (why != ChildProcess::LineResult::TimedOut) {
            fail("the driven client ended while it was measured");
        }
    }

    // The walk's verdict; the client must then end on its own.
    void Finish() {
        Await("passed");
        const auto status = m_child.waitForExit(kExitLimit);
        if (!status || !WIFEXITED(*status) || WEXITSTATUS(*status) != 0) {
            fail("the driven client did not end well after its walk");
        }
    }

  private:
    static std::string WriteInstall(const fs::path& install, const std::string& base,
                                    const fs::path& packageKey) {
        fs::create_directories(install / "art");
        fs::copy_file(HV_DRIVEN_CLIENT_BINARY, install / "halvory");
        fs::copy_file(HV_ENGINE_LIBRARY, install / "libhalvory.so");
        fs::copy_file(HV_PLATFORM_LIBRARY, install / "libhvplatform.so");
        std::ofstream ini(install / "Halvory.ini");
        ini << "SERVERIPADDR_URL=" << base << "/discover\n"
            << "ARTURL=" << base << "/art/\n"
            << "ARTDIR=" << (install / "art").string() << "/\n"
            << "PLAYERPAGES=" << base << "/pages\n"
            << "HELP_URL=" << base << "/pages\n"
            << "ENGINE_URL=" << base << "\n"
            << "PACKAGEKEY=" << packageKey.string() << "\n";
        if (!ini.flush()) {
            fail("cannot write " + (install / "Halvory.ini").string());
        }
        return (install / "halvory").string();
    }

    fs::path m_log;
    ChildProcess m_child;
};

// The screen on a slowed transfer, once the play question is declined: the
// long stretch of any real download.
CpuShare MeasureScreen(const fs::path& install, const hvtest::ServiceProcess& service,
                       const fs::path& runtime) {
    DrivenClient client(install, service.Url(), service.PackageKey(), runtime);
    // Slowed only now, so that the art and pages before come at full speed.
    client.Await("the demo asks where to store it");
    SetFaults(service, R"({"throttle_bps": )" + std::to_string(kLineBytesPerSecond) + "}");
    client.Await("declined");
    client.Quiet(kAfterQuestion);
    const CpuSample first = TakeSample(client.Pid());
    client.Quiet(kMeasureWindow);
    const CpuSample last = TakeSample(client.Pid());
    SetFaults(service, "{}");
    client.Await("transfer ended");
    client.Finish();
    return Between(first, last);
}

double MeasurePlainWindow(const fs::path& runtime) {
    ChildProcess child(HV_PLAINWINDOW_BINARY, {.args = {"--stay"},
                                               .set_env = {"XDG_RUNTIME_DIR=" + runtime.string()},
                                               .unset_env = {"QT_QPA_PLATFORM"}});
    bench::WaitForFirstPaint(child, "the plain window");
    std::this_thread::sleep_for(kPlainSettle);
    bench::Focus(child, kPlainTitle);
    const CpuSample first = TakeSample(child.pid());
    std::this_thread::sleep_for(kMeasureWindow);
    const CpuSample last = TakeSample(child.pid());
    if (!bench::Running(child)) {
        fail("the plain window ended while it was measured");
    }
    return Between(first, last).process;
}

// One transfer by the engine alone in this process, for EngineTransfer.
void EngineRound(const fs::path& dir, const std::string& baseUrl, const fs::path& packageKey,
                 long long playableBytes, double answerAfter) {
    bench::WorkingDir inRound(dir);
    bench::WriteEngineSettings(dir, baseUrl, packageKey);
    const bench::Engine engine(HV_ENGINE_LIBRARY);
    bench::EngineFrame frame(engine, (dir / kTitle).string(), playableBytes);
    frame.playAnswerDelay =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(answerAfter));
    frame.Download(kUser, kPassword, kPackage, kTitle);
}

// The engine alone in a fresh process and folder, as the client comes each
// time; it leaves the play question open for `answerAfter` seconds.
TransferTimes EngineTransfer(const fs::path& dir, const hvtest::ServiceProcess& service,
                             const Demo& demo, double answerAfter) {
    fs::create_directories(dir);
    const fs::path log = dir / "halvory.log";
    {
        ChildProcess child(
            fs::read_symlink("/proc/self/exe").string(),
            {.args = {kEngineRound, dir.string(), service.Url(), service.PackageKey().string(),
                      std::to_string(demo.playableBytes), std::to_string(answerAfter)},
             .set_env = {"HALVORY_LOG_FILE=" + log.string()},
             .unset_env = {}});
        if (!child.started()) {
            fail("cannot start the engine's round: " + child.error());
        }
        const auto status = child.waitForExit(kReportLimit);
        if (!status || !WIFEXITED(*status) || WEXITSTATUS(*status) != 0) {
            fail("the engine alone did not download the package");
        }
    }
    const TransferTimes times = ReadTransferTimes(LogText(log));
    fs::remove_all(dir);
    return times;
}

struct ClientFigures {
    TransferTimes times;
    double questionSeconds = 0;
    CpuShare cpu;
};

// The client from a fresh install, so that it downloads it all again.
ClientFigures ClientTransfer(const fs::path& install, const hvtest::ServiceProcess& service,
                             const fs::path& runtime) {
    ClientFigures figures;
    {
        DrivenClient client(install, service.Url(), service.PackageKey(), runtime);
        client.Await("transfer started");
        const CpuSample first = TakeSample(client.Pid());
        client.Await("transfer ended");
        figures.cpu = Between(first, TakeSample(client.Pid()));
        client.Finish();
        const std::string log = LogText(client.Log());
        figures.times = ReadTransferTimes(log);
        figures.questionSeconds = QuestionSeconds(log);
    }
    fs::remove_all(install);
    return figures;
}

int Benchmark(long long packageSize) {
    bench::TempDir temp("bench_download");

    const fs::path content = temp.path() / "content";
    // Only the demo the walks take is large.
    if (hvtest::RunProgram({HV_DEMOCONTENT_BINARY, "--out", content.string(), "--package-size",
                            std::to_string(packageSize), "--sized-package", kPackage}) != 0) {
        fail("halvory-democontent failed");
    }
    const Demo demo = FindDemo(content);
    KeepOnlyArchive(content, demo.archive);
    hvtest::ServiceProcess service(content, temp.path() / "service.db");
    if (service.Url().empty()) {
        fail("the service did not start");
    }
    if (service.Admin({"add-user", kUser, kPassword}) != 0) {
        fail("the service did not add the user");
    }
    const fs::path runtime = temp.path() / "runtime";
    fs::create_directory(runtime);
    fs::permissions(runtime, fs::perms::owner_all);

    const CpuShare screen = MeasureScreen(temp.path() / "screen", service, runtime);
    const double plain = MeasurePlainWindow(runtime);

    std::vector<double> engineDone, clientDone, engineBytesIn, clientBytesIn, questions, uiThread;
    for (int round = 0; round < kRounds; ++round) {
        const std::string number = std::to_string(round);
        const ClientFigures client =
            ClientTransfer(temp.path() / ("client" + number), service, runtime);
        clientDone.push_back(client.times.done);
        clientBytesIn.push_back(client.times.bytesIn);
        questions.push_back(client.questionSeconds);
        uiThread.push_back(client.cpu.uiThread);
        const TransferTimes engine = EngineTransfer(temp.path() / ("engine" + number), service,
                                                    demo, client.questionSeconds);
        engineDone.push_back(engine.done);
        engineBytesIn.push_back(engine.bytesIn);
    }

    const double engine = bench::median(engineDone), client = bench::median(clientDone);
    std::printf("download_package_mib: %lld MiB\n", packageSize >> 20);
    std::printf("download_screen_line: %.1f MB/s\n",
                static_cast<double>(kLineBytesPerSecond) / 1e6);
    std::printf("download_screen_cpu_percent: %.1f %%\n", screen.process);
    std::printf("download_screen_ui_thread_cpu_percent: %.1f %%\n", screen.uiThread);
    std::printf("plain_window_cpu_percent: %.1f %%\n", plain);
    std::printf("transfer_rounds: %d\n", kRounds);
    std::printf("transfer_engine_median: %.2f s\n", engine);
    std::printf("transfer_client_median: %.2f s\n", client);
    std::printf("transfer_with_screen_vs_engine: %.2f x\n", engine / client);
    std::printf("bytes_in_engine_median: %.2f s\n", bench::median(engineBytesIn));
    std::printf("bytes_in_client_median: %.2f s\n", bench::median(clientBytesIn));
    std::printf("bytes_in_with_screen_vs_engine: %.2f x\n",
                bench::median(engineBytesIn) / bench::median(clientBytesIn));
    std::printf("play_question_open_ms: %.0f ms\n", bench::median(questions) * 1000);
    std::printf("transfer_client_ui_thread_cpu_percent: %.1f %%\n", bench::median(uiThread));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 7 && std::string(argv[1]) == kEngineRound) {
        // A write to a connection the service closed must fail, not end the run.
        ::signal(SIGPIPE, SIG_IGN);
        try {
            EngineRound(argv[2], argv[3], argv[4], std::atoll(argv[5]), std::atof(argv[6]));
            return 0;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "bench_download: %s\n", e.what());
            return 1;
        }
    }
    long long packageSize = kDefaultPackageSize;
    if (argc > 2 || (argc == 2 && (packageSize = std::atoll(argv[1])) < kLeastPackageSize)) {
        std::fprintf(stderr, "usage: %s [package-bytes]   (>= %lld, default %lld)\n", argv[0],
                     kLeastPackageSize, kDefaultPackageSize);
        return 2;
    }
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) {
        std::fprintf(stderr,
                     "bench_download: needs an X display with a window manager (DISPLAY is "
                     "unset); scripts/bench.sh runs it under Xvfb and openbox\n");
        return 1;
    }
    try {
        return Benchmark(packageSize);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_download: %s\n", e.what());
        return 1;
    }
}
