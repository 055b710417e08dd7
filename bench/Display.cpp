#include "Display.h"

#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include "BenchSupport.h"

namespace bench {

namespace {

using namespace std::chrono_literals;
using halvory::e2e::ChildProcess;
using Clock = std::chrono::steady_clock;

constexpr auto kFirstPaintLimit = 30s;
constexpr auto kPollStep = 250ms;
constexpr auto kAfterFocus = 1s;

std::string FirstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

}  // namespace

bool Running(ChildProcess& child) {
    return !child.waitForExit(0ms).has_value();
}

void WaitForFirstPaint(ChildProcess& child, const char* name) {
    if (!child.started()) {
        fail("cannot start " + child.error());
    }
    if (child.waitForLine("first-paint", kFirstPaintLimit) != ChildProcess::LineResult::Found) {
        fail(std::string(name) + " did not paint its window");
    }
}

void Focus(ChildProcess& child, const char* title) {
    const std::string search = "xdotool search --all --onlyvisible --pid " +
                               std::to_string(child.pid()) + " --name '^" + title + "$'";
    const std::optional<std::string> found = halvory::e2e::runCommand(search);
    const std::string window = found ? FirstLine(*found) : std::string();
    if (window.empty()) {
        fail(std::string("no visible window titled \"") + title + "\"");
    }
    halvory::e2e::runCommand("xdotool windowactivate " + window + " 2>/dev/null");
    const auto deadline = Clock::now() + 5s;
    while (FirstLine(halvory::e2e::runCommand("xdotool getactivewindow").value_or("")) != window) {
        if (Clock::now() > deadline) {
            fail(std::string("the window \"") + title + "\" does not take the focus");
        }
        std::this_thread::sleep_for(kPollStep);
    }
    std::this_thread::sleep_for(kAfterFocus);
}

}  // namespace bench
