// Runs the real client on a real X display with a window manager, as a user
// would see it, and closes it the way the window manager's close button does.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>

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

    // The program's own icon (64 x 64) reaches the window manager.
    const auto icon = runCommand("xprop -id " + *window + " _NET_WM_ICON");
    EXPECT_NE(icon.value_or("").find("Icon (64 x 64)"), std::string::npos) << icon.value_or("");

    // As it opens, maximised through the window manager, then back: each size
    // paints whole. The window's capture and its bottom-right corner must
    // vary: a part left unpainted (or painted from a backdrop cached for
    // another size) shows one flat colour.
    const std::filesystem::path artifacts = HALVORY_ARTIFACTS_DIR;
    std::filesystem::create_directories(artifacts);
    ASSERT_TRUE(runCommand("xdotool windowactivate --sync " + *window));
    for (const auto& [change, width, height, name] :
         {std::tuple{"", 800, 600, "client-window"},
          {"add", 1280, 1024, "client-window-maximised"},
          {"remove", 800, 600, "client-window-restored"}}) {
        SCOPED_TRACE(name);
        if (*change) {
            ASSERT_TRUE(runCommand("wmctrl -i -r " + *window + " -b " + change +
                                   ",maximized_vert,maximized_horz"));
            ASSERT_TRUE(halvory::e2e::waitUntil(
                [&, wanted = width] {
                    return runCommand("xwininfo -id " + *window)
                               .value_or("")
                               .find("Width: " + std::to_string(wanted) + "\n") !=
                           std::string::npos;
                },
                5s));
            std::this_thread::sleep_for(300ms);
        }
        const std::string shot = (artifacts / (std::string(name) + ".png")).string();
        ASSERT_TRUE(runCommand("import -window " + *window + " '" + shot + "'"));
        std::istringstream figures(
            runCommand("convert '" + shot +
                       "' \\( +clone -gravity southeast -crop 200x150+0+0 +repage \\) "
                       "-format '%w %h %[fx:standard_deviation] ' info:")
                .value_or(""));
        int shotWidth = 0;
        int shotHeight = 0;
        double spread = 0;
        int cornerSize = 0;  // the crop's own, read past
        double cornerSpread = 0;
        figures >> shotWidth >> shotHeight >> spread >> cornerSize >> cornerSize >> cornerSpread;
        EXPECT_EQ(shotWidth, width);
        EXPECT_EQ(shotHeight, height);
        EXPECT_GT(spread, 0.0);
        EXPECT_GT(cornerSpread, 0.0);
    }

    ASSERT_TRUE(runCommand("wmctrl -i -c " + *window)) << "wmctrl could not close the window";
    const auto status = client.waitForExit(10s);
    ASSERT_TRUE(status) << "the client was still running 10 s after its window was closed";
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << "wait status " << *status;
}

}  // namespace
