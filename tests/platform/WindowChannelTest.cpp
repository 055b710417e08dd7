// The second-start channel is open to every local process of the user: only
// the one request a second start makes may reach the frame.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <future>
#include <string>
#include <vector>

#include "messages/Messages.h"
#include "ui/WindowChannel.h"

TEST(WindowChannel, APublishedWindowHearsOnlyASecondStart) {
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    std::vector<UINT> heard;
    const HWND hwnd = hvCreateWindowHandle(
        [](void* heard, HWND, UINT message, WPARAM, LPARAM) -> LRESULT {
            static_cast<std::vector<UINT>*>(heard)->push_back(message);
            return 7;
        },
        &heard);
    const std::string title = "channel-test-" + std::to_string(::getpid());
    const hv::WindowPublication publication(title, hwnd, UWM_ACTIVATE_RUNNING);
    for (const UINT message :
         {UINT{UWM_SHOW_MESSAGE}, UINT{WM_CLOSE}, UINT{UWM_ACTIVATE_RUNNING}}) {
        auto reply = std::async(std::launch::async,
                                [&] { return hv::SendToPublishedWindow(title, message, 2000); });
        while (reply.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready) {
            QCoreApplication::processEvents();
        }
        EXPECT_EQ(reply.get(),
                  message == UWM_ACTIVATE_RUNNING ? std::optional<LRESULT>(7) : std::nullopt);
    }
    EXPECT_EQ(heard, std::vector<UINT>{UWM_ACTIVATE_RUNNING});
    hvDestroyWindowHandle(hwnd);
}
