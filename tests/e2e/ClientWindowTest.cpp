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
    std::optional<std::string> id;
    halvory::e2e::waitUntil(
        [&] {
            const auto ids = runCommand("xdotool search --onlyvisible --name '^" + title + "$'");
            if (const auto end = ids.value_or("").find('\n'); end != std::string::npos && end > 0) {
                id = ids->substr(0, end);
            }
            return id || program.waitForExit(0ms);
        },
        timeout);
    return id;
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
    // Size of the window's capture, and how much its whole and its bottom-right
    // corner vary: a part left unpainted (or painted from a backdrop cached for
    // another size) shows one flat colour.
    struct Capture {
        int width = 0, height = 0;
        double spread = 0, cornerSpread = 0;
    };
    const auto capture = [&](const std::string& name) {
        const std::string shot = (artifacts / (name + ".png")).string();
        Capture result;
        EXPECT_TRUE(runCommand("import -window " + *window + " '" + shot + "'"))
            << "screenshot failed";
        const auto measured =
            runCommand("convert '" + shot +
                       "' \\( +clone -gravity southeast -crop 200x150+0+0 +repage \\) "
                       "-format '%w %h %[fx:standard_deviation] ' info:");
        std::istringstream figures(measured.value_or(""));
        int cornerWidth = 0;
        int cornerHeight = 0;
        figures >> result.width >> result.height >> result.spread >> cornerWidth >> cornerHeight >>
            result.cornerSpread;
        std::cout << "screenshot: " << shot << "\n";
        return result;
    };
    const auto waitForWidth = [&](int width) {
        return halvory::e2e::waitUntil(
            [&] {
                return runCommand("xwininfo -id " + *window)
                           .value_or("")
                           .find("Width: " + std::to_string(width) + "\n") != std::string::npos;
            },
            5s);
    };

    // The program's own icon (64 x 64) reaches the window manager.
    const auto icon = runCommand("xprop -id " + *window + " _NET_WM_ICON");
    EXPECT_NE(icon.value_or("").find("Icon (64 x 64)"), std::string::npos) << icon.value_or("");

    const Capture normal = capture("client-window");
    EXPECT_EQ(normal.width, 800);
    EXPECT_EQ(normal.height, 600);
    EXPECT_GT(normal.spread, 0.0) << "the window is one flat colour";

    // Maximised through the window manager, then back: each size paints whole.
    ASSERT_TRUE(runCommand("xdotool windowactivate --sync " + *window));
    ASSERT_TRUE(runCommand("wmctrl -i -r " + *window + " -b add,maximized_vert,maximized_horz"));
    ASSERT_TRUE(waitForWidth(1280)) << "the window was not maximised";
    std::this_thread::sleep_for(300ms);
    const Capture maximised = capture("client-window-maximised");
    EXPECT_EQ(maximised.width, 1280);
    EXPECT_GT(maximised.cornerSpread, 0.0) << "the maximised window's corner is not painted";

    ASSERT_TRUE(runCommand("wmctrl -i -r " + *window + " -b remove,maximized_vert,maximized_horz"));
    ASSERT_TRUE(waitForWidth(800)) << "the window was not restored";
    std::this_thread::sleep_for(300ms);
    const Capture restored = capture("client-window-restored");
    EXPECT_EQ(restored.height, 600);
    EXPECT_GT(restored.cornerSpread, 0.0) << "the restored window's corner is not painted";

    ASSERT_TRUE(runCommand("wmctrl -i -c " + *window)) << "wmctrl could not close the window";
    const auto status = client.waitForExit(10s);
    ASSERT_TRUE(status) << "the client was still running 10 s after its window was closed";
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << "wait status " << *status;
}

}  // namespace
