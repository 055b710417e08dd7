// Runs the real client on a real X display with a window manager, as a user
// would see it, and closes it the way the window manager's close button does.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "ChildProcess.h"

namespace {

using namespace std::chrono_literals;
using halvory::e2e::ChildProcess;
using halvory::e2e::runCommand;

// The value of a "Name: value" line in xwininfo's report.
std::optional<long> xwininfoField(const std::string& report, const std::string& name) {
    std::istringstream lines(report);
    const std::string prefix = name + ":";
    for (std::string line; std::getline(lines, line);) {
        const auto start = line.find_first_not_of(' ');
        if (start != std::string::npos && line.compare(start, prefix.size(), prefix) == 0) {
            return std::strtol(line.c_str() + start + prefix.size(), nullptr, 10);
        }
    }
    return std::nullopt;
}

// The id of the first visible window with this exact title; nothing if none
// shows up in time or the program ends first.
std::optional<std::string> waitForVisibleWindow(ChildProcess& program, const std::string& title,
                                                std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    do {
        if (auto ids = runCommand("xdotool search --onlyvisible --name '^" + title + "$'")) {
            if (const auto end = ids->find('\n'); end != std::string::npos && end > 0) {
                return ids->substr(0, end);
            }
        }
        if (program.waitForExit(0ms)) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(100ms);
    } while (std::chrono::steady_clock::now() < deadline);
    return std::nullopt;
}

std::string describeStatus(int status) {
    if (WIFEXITED(status)) {
        return "exited with status " + std::to_string(WEXITSTATUS(status));
    }
    if (WIFSIGNALED(status)) {
        return "killed by signal " + std::to_string(WTERMSIG(status));
    }
    return "ended with wait status " + std::to_string(status);
}

class ClientWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display) {
            GTEST_SKIP() << "needs an X display with a window manager (DISPLAY is unset); "
                            "scripts/test.sh runs it under Xvfb and openbox";
        }
        for (const char* tool : {"xdotool", "wmctrl", "xwininfo", "import", "convert"}) {
            ASSERT_TRUE(runCommand(std::string("command -v ") + tool))
                << tool << " is missing: run scripts/install-deps.sh";
        }
    }
};

TEST_F(ClientWindowTest, OpensPaintsAndClosesThroughTheWindowManager) {
    // The client must reach the display, whatever the unit tests' platform is.
    ChildProcess client(HALVORY_CLIENT, {.args = {},
                                         .set_env = {"HALVORY_REPORT_FIRST_PAINT=1"},
                                         .unset_env = {"QT_QPA_PLATFORM"}});
    ASSERT_TRUE(client.started()) << client.error();

    const auto window = waitForVisibleWindow(client, "Halvory Client", 20s);
    if (const auto status = client.waitForExit(0ms)) {
        FAIL() << "the client " << describeStatus(*status) << " before showing its window";
    }
    ASSERT_TRUE(window) << "no visible window titled \"Halvory Client\" within 20 s";
    ASSERT_EQ(client.waitForLine("first-paint", 10s), ChildProcess::LineResult::Found)
        << "the client did not report its first painted frame";

    const auto info = runCommand("xwininfo -id " + *window);
    ASSERT_TRUE(info) << "xwininfo failed for window " << *window;
    const auto x = xwininfoField(*info, "Absolute upper-left X");
    const auto y = xwininfoField(*info, "Absolute upper-left Y");
    ASSERT_TRUE(x && y) << *info;
    EXPECT_EQ(xwininfoField(*info, "Width"), 800) << *info;
    EXPECT_EQ(xwininfoField(*info, "Height"), 600) << *info;

    const std::filesystem::path artifacts = HALVORY_ARTIFACTS_DIR;
    std::filesystem::create_directories(artifacts);
    const std::string shot = (artifacts / "client-window.png").string();
    ASSERT_TRUE(runCommand("import -window root '" + shot + "'")) << "screenshot failed";
    std::cout << "screenshot: " << shot << "\n";

    // A window that never painted its skin shows one flat colour.
    const auto spread =
        runCommand("convert '" + shot + "' -crop 800x600+" + std::to_string(*x) + "+" +
                   std::to_string(*y) + " +repage -format '%[fx:standard_deviation]' info:");
    ASSERT_TRUE(spread) << "could not measure the screenshot";
    EXPECT_GT(std::strtod(spread->c_str(), nullptr), 0.0) << "the window is one flat colour";

    ASSERT_TRUE(runCommand("wmctrl -i -c " + *window)) << "wmctrl could not close the window";
    const auto status = client.waitForExit(10s);
    ASSERT_TRUE(status) << "the client was still running 10 s after its window was closed";
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << describeStatus(*status);
}

}  // namespace
