// CPU use of the logged-in client left idle on its home screen, the menu
// focused and pulsing, against a plain Qt window measured the same way in the
// same run; and the memory (PSS) of the client alone before any page and of
// its whole process tree with a page shown. Everything is sampled from
// outside through /proc, so measuring costs the programs nothing.
//
// The client counts as settled once the catalogue file is written, every icon
// the service offers is in the art folder, and neither has changed for a few
// seconds: the art thread renames each finished file into place, so a quiet
// folder with all icons present means the fetching is over.

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "ChildProcess.h"
#include "Display.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using bench::CpuTicks;
using bench::fail;
using bench::Focus;
using bench::Running;
using bench::Service;
using bench::TempDir;
using bench::WaitForFirstPaint;
using halvory::e2e::ChildProcess;
using Clock = std::chrono::steady_clock;

constexpr const char* kUser = "demo";
constexpr const char* kPassword = "demo";
constexpr const char* kClientTitle = "Halvory Client";
constexpr const char* kPlainTitle = "Plain Window";
// The bench never downloads a package: the smallest one the content allows.
constexpr const char* kPackageBytes = "1048576";

constexpr auto kMeasureWindow = 10s;
constexpr auto kQuietBeforeSettled = 3s;
constexpr auto kSettleLimit = 60s;
constexpr auto kStepLimit = 60s;
constexpr auto kPollStep = 250ms;
// The plain window has nothing to fetch; it gets the same pause after focus
// as the client so that start-up work is not counted.
constexpr auto kPlainSettle = 3s;

// Runs a program to its end; its output is read and dropped.
void RunToEnd(const std::string& program, const std::vector<std::string>& args) {
    ChildProcess child(program, {.args = args, .set_env = {}, .unset_env = {}});
    if (!child.started()) {
        fail("cannot start " + child.error());
    }
    ChildProcess::LineResult why = ChildProcess::LineResult::Found;
    while (child.readLine(kStepLimit, why)) {
    }
    const auto status =
        why == ChildProcess::LineResult::Closed ? child.waitForExit(kStepLimit) : std::nullopt;
    if (!status || !WIFEXITED(*status) || WEXITSTATUS(*status) != 0) {
        fail(program + " " + args.front() + " failed");
    }
}

// Voluntary and forced context switches of each live thread, by thread id.
std::map<std::string, long long> ContextSwitches(pid_t pid) {
    std::map<std::string, long long> switches;
    const fs::path tasks = "/proc/" + std::to_string(pid) + "/task";
    for (const auto& task : fs::directory_iterator(tasks)) {
        std::ifstream status(task.path() / "status");
        std::string line;
        long long count = 0;
        while (std::getline(status, line)) {
            if (line.starts_with("voluntary_ctxt_switches:") ||
                line.starts_with("nonvoluntary_ctxt_switches:")) {
                count += std::stoll(line.substr(line.find(':') + 1));
            }
        }
        switches[task.path().filename().string()] = count;
    }
    return switches;
}

struct Sample {
    Clock::time_point at;
    long long ticks = 0;
    std::map<std::string, long long> switches;
};

// The process and its descendants (the web view's processes).
std::vector<pid_t> ProcessTree(pid_t root) {
    std::map<pid_t, std::vector<pid_t>> children;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        std::ifstream in(entry.path() / "stat");
        std::string stat;
        std::getline(in, stat);
        std::istringstream fields(stat.substr(stat.rfind(')') + 1));
        std::string state;
        pid_t parent = 0;
        if (fields >> state >> parent) {
            children[parent].push_back(std::stoi(name));
        }
    }
    std::vector<pid_t> tree{root};
    for (size_t i = 0; i < tree.size(); ++i) {
        const auto found = children.find(tree[i]);
        if (found != children.end()) {
            tree.insert(tree.end(), found->second.begin(), found->second.end());
        }
    }
    return tree;
}

// Proportional set size: shared pages count by the share each process has.
double PssMib(pid_t pid) {
    std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
    std::string line;
    while (std::getline(rollup, line)) {
        if (line.starts_with("Pss:")) {
            return std::stod(line.substr(4)) / 1024;
        }
    }
    fail("cannot read the memory of process " + std::to_string(pid));
}

double TreePssMib(pid_t root) {
    double total = 0;
    for (const pid_t pid : ProcessTree(root)) {
        total += PssMib(pid);
    }
    return total;
}

Sample TakeSample(pid_t pid) {
    Sample sample;
    for (const pid_t member : ProcessTree(pid)) {
        for (const auto& [thread, count] : ContextSwitches(member)) {
            sample.switches[thread] = count;
        }
        sample.ticks += CpuTicks(member);
    }
    sample.at = Clock::now();
    return sample;
}

struct Figures {
    double cpuPercent = 0;
    double wakeupsPerSecond = 0;
};

Figures Measure(ChildProcess& child, const char* name) {
    const Sample first = TakeSample(child.pid());
    std::this_thread::sleep_for(kMeasureWindow);
    const Sample last = TakeSample(child.pid());
    if (!Running(child)) {
        fail(std::string(name) + " ended while it was measured");
    }
    const double seconds = std::chrono::duration<double>(last.at - first.at).count();
    const double cpuSeconds =
        static_cast<double>(last.ticks - first.ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
    // A thread started inside the window counts from zero; one that ended is lost.
    long long switches = 0;
    for (const auto& [thread, count] : last.switches) {
        const auto before = first.switches.find(thread);
        switches += count - (before == first.switches.end() ? 0 : before->second);
    }
    return {cpuSeconds / seconds * 100, static_cast<double>(switches) / seconds};
}

size_t CountIcons(const fs::path& folder) {
    size_t icons = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().extension() == ".jpg") {
            ++icons;
        }
    }
    return icons;
}

// Names, sizes and modification times of what the client writes after login.
std::string InstallState(const fs::path& install) {
    std::ostringstream state;
    const auto describe = [&state](const fs::directory_entry& entry) {
        std::error_code error;
        state << entry.path().filename().string() << ' ' << entry.file_size(error) << ' '
              << entry.last_write_time(error).time_since_epoch().count() << '\n';
    };
    for (const auto& entry : fs::directory_iterator(install / "art")) {
        describe(entry);
    }
    if (fs::exists(install / "moviedata.txt")) {
        describe(fs::directory_entry(install / "moviedata.txt"));
    }
    return state.str();
}

void WaitUntilSettled(ChildProcess& client, const fs::path& install, size_t icons) {
    const auto start = Clock::now();
    auto lastChange = start;
    std::string state = InstallState(install);
    for (;;) {
        if (!Running(client)) {
            fail("the client ended before it settled");
        }
        const bool complete =
            fs::exists(install / "moviedata.txt") && CountIcons(install / "art") >= icons;
        if (complete && Clock::now() - lastChange >= kQuietBeforeSettled) {
            return;
        }
        if (Clock::now() - start > kSettleLimit) {
            fail("the client did not settle: " + std::to_string(CountIcons(install / "art")) +
                 " of " + std::to_string(icons) + " icons after 60 s");
        }
        std::this_thread::sleep_for(kPollStep);
        std::string now = InstallState(install);
        if (now != state) {
            state = std::move(now);
            lastChange = Clock::now();
        }
    }
}

fs::path WriteInstall(const fs::path& install, const std::string& base) {
    fs::create_directories(install / "art");
    fs::copy_file(HV_CLIENT_BINARY, install / "halvory");
    fs::copy_file(HV_ENGINE_LIBRARY, install / "libhalvory.so");
    fs::copy_file(HV_PLATFORM_LIBRARY, install / "libhvplatform.so");
    fs::copy_file(HV_BROWSER_PLUGIN, install / "libhvbrowser.so");
    std::ofstream ini(install / "Halvory.ini");
    ini << "SERVERIPADDR_URL=" << base << "/discover\n"
        << "ARTURL=" << base << "/art/\n"
        << "ARTDIR=" << (install / "art").string() << "/\n"
        << "PLAYERPAGES=" << base << "/pages\n"
        << "HELP_URL=" << base << "/pages\n"
        << "ERRORINFO_URL=" << base << "/pages/errorinfo.htm\n"
        << "ENGINE_URL=" << base << "\n";
    if (!ini.flush()) {
        fail("cannot write " + (install / "Halvory.ini").string());
    }
    return install / "halvory";
}

int Benchmark() {
    TempDir temp("bench_idle");
    const fs::path content = temp.path() / "content";
    const std::string db = (temp.path() / "service.db").string();
    RunToEnd(HV_DEMOCONTENT_BINARY, {"--out", content.string(), "--package-size", kPackageBytes});
    RunToEnd(HV_SERVICE_BINARY, {"admin", "--db", db, "add-user", kUser, kPassword});
    Service service(HV_SERVICE_BINARY, content.string(), db);

    // A private runtime folder: a client running elsewhere for this user
    // would otherwise make this one hand over to it and quit.
    const fs::path runtime = temp.path() / "runtime";
    fs::create_directory(runtime);
    fs::permissions(runtime, fs::perms::owner_all);
    const ChildProcess::Options options{
        .args = {},
        .set_env = {"HALVORY_REPORT_FIRST_PAINT=1", "XDG_RUNTIME_DIR=" + runtime.string()},
        .unset_env = {"QT_QPA_PLATFORM"}};

    const fs::path install = temp.path() / "client";
    const fs::path client = WriteInstall(install, service.baseUrl());
    double clientPss = 0;
    {
        // Without credentials the client stays on its login screen: no page yet.
        ChildProcess child(client.string(), options);
        WaitForFirstPaint(child, "the client");
        std::this_thread::sleep_for(kPlainSettle);
        clientPss = TreePssMib(child.pid());
    }
    Figures clientFigures;
    double treePssWithPage = 0;
    {
        ChildProcess::Options clientOptions = options;
        clientOptions.args = {std::string("/u") + kUser + "//" + kPassword};
        ChildProcess child(client.string(), clientOptions);
        WaitForFirstPaint(child, "the client");
        WaitUntilSettled(child, install, CountIcons(content / "art"));
        treePssWithPage = TreePssMib(child.pid());
        // Continue from the announcements page to the home screen, whose
        // menu takes the focus and pulses.
        Focus(child, kClientTitle);
        halvory::e2e::runCommand("xdotool key Return");
        std::this_thread::sleep_for(kPlainSettle);
        clientFigures = Measure(child, "the client");
    }

    Figures plainFigures;
    {
        ChildProcess::Options plainOptions = options;
        plainOptions.args = {"--stay"};
        ChildProcess child(HV_PLAINWINDOW_BINARY, plainOptions);
        WaitForFirstPaint(child, "the plain window");
        std::this_thread::sleep_for(kPlainSettle);
        Focus(child, kPlainTitle);
        plainFigures = Measure(child, "the plain window");
    }

    std::printf("client_pss_mib: %.1f MiB\n", clientPss);
    std::printf("tree_pss_mib_with_page: %.1f MiB\n", treePssWithPage);
    std::printf("idle_cpu_percent: %.1f %%\n", clientFigures.cpuPercent);
    std::printf("idle_wakeups_per_s: %.1f /s\n", clientFigures.wakeupsPerSecond);
    std::printf("plain_idle_cpu_percent: %.1f %%\n", plainFigures.cpuPercent);
    std::printf("plain_idle_wakeups_per_s: %.1f /s\n", plainFigures.wakeupsPerSecond);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 1) {
        std::fprintf(stderr, "usage: %s\n", argv[0]);
        return 2;
    }
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) {
        std::fprintf(stderr,
                     "bench_idle: needs an X display with a window manager (DISPLAY is unset); "
                     "scripts/bench.sh runs it under Xvfb and openbox\n");
        return 1;
    }
    try {
        return Benchmark();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_idle: %s\n", e.what());
        return 1;
    }
}
