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

class ClientWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display) {
            GTEST_SKIP() << "needs an X display with a window manager (DISPLAY is unset); "
                            "scripts/test.sh runs it under Xvfb and openbox";
        }
        for (const char* tool : {"xdotool", "wmctrl", "import", "convert"}) {
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
    ASSERT_TRUE(window) << "no visible window titled \"Halvory Client\" within 20 s; wait status "
                        << client.waitForExit(0ms).value_or(-1);
    ASSERT_EQ(client.waitForLine("first-paint", 10s), ChildProcess::LineResult::Found)
        << "the client did not report its first painted frame";

    const std::filesystem::path artifacts = HALVORY_ARTIFACTS_DIR;
    std::filesystem::create_directories(artifacts);
    const std::string shot = (artifacts / "client-window.png").string();
    ASSERT_TRUE(runCommand("import -window " + *window + " '" + shot + "'")) << "screenshot failed";
    std::cout << "screenshot: " << shot << "\n";
    // A window that never painted its skin shows one flat colour.
    const auto measured =
        runCommand("convert '" + shot + "' -format '%w %h %[fx:standard_deviation]' info:");
    ASSERT_TRUE(measured) << "could not measure the screenshot";
    std::istringstream figures(*measured);
    int width = 0;
    int height = 0;
    double spread = 0;
    figures >> width >> height >> spread;
    EXPECT_EQ(width, 800);
    EXPECT_EQ(height, 600);
    EXPECT_GT(spread, 0.0) << "the window is one flat colour";

    ASSERT_TRUE(runCommand("wmctrl -i -c " + *window)) << "wmctrl could not close the window";
    const auto status = client.waitForExit(10s);
    ASSERT_TRUE(status) << "the client was still running 10 s after its window was closed";
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << "wait status " << *status;
}

}  // namespace
