#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "winapi/UniqueHandle.h"
#include "winapi/winapi.h"

namespace {

using namespace std::chrono_literals;
using hv::UniqueHandle;

// A window whose procedure is a lambda; destroyed with the object.
struct TestWindow {
    using Handler = std::function<LRESULT(UINT, WPARAM, LPARAM)>;
    explicit TestWindow(Handler h) : handler(std::move(h)) {}
    ~TestWindow() { hvDestroyWindowHandle(hwnd); }
    HWND Hwnd() const { return hwnd; }
    static LRESULT Proc(void* context, HWND, UINT msg, WPARAM wParam, LPARAM lParam) {
        return static_cast<TestWindow*>(context)->handler(msg, wParam, lParam);
    }

    Handler handler;
    const HWND hwnd = hvCreateWindowHandle(&TestWindow::Proc, this);
};

// The test's thread plays the user-interface thread, whose event loop the
// waker wakes.
struct UiLoop {
    UiLoop() {
        hvSetThreadWaker([](void* wakes) { ++*static_cast<std::atomic<int>*>(wakes); }, &wakes);
    }
    ~UiLoop() { hvSetThreadWaker(nullptr, nullptr); }

    // True if the waker fired since the last call, or does within the timeout.
    bool Woken(std::chrono::milliseconds timeout = 5s) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (wakes == 0 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(1ms);
        }
        return wakes.exchange(0) > 0;
    }

    std::atomic<int> wakes{0};
};

constexpr UINT kMsg = WM_USER + 7;

TEST(Messages, PostsAndSendsFromAnotherThreadArriveInOrderOnTheOwnerThread) {
    UiLoop ui;
    const DWORD uiThread = GetCurrentThreadId();
    std::vector<WPARAM> seen;
    bool allOnUiThread = true;
    TestWindow window([&](UINT, WPARAM w, LPARAM l) -> LRESULT {
        seen.push_back(w);
        allOnUiThread = allOnUiThread && GetCurrentThreadId() == uiThread;
        return static_cast<LRESULT>(w) + l;
    });
    // A send queued behind posts from the same thread is handled after them,
    // and its sender waits for the answer.
    std::jthread sender([&] {
        for (WPARAM i = 0; i < 10; ++i) {
            EXPECT_TRUE(PostMessageA(window.Hwnd(), kMsg, i, 0));
        }
        EXPECT_EQ(SendMessageA(window.Hwnd(), kMsg, 10, 32), 42);
        PostMessageA(window.Hwnd(), kMsg, 11, 0);
    });
    while (seen.size() < 12 && ui.Woken()) {
        hvDispatchPending();
    }
    EXPECT_EQ(seen, (std::vector<WPARAM>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
    EXPECT_TRUE(allOnUiThread);
}

TEST(Messages, WakerHearsEarlierWorkAndDispatchHandlesOnlyWhatWasQueued) {
    HWND self = nullptr;
    int handled = 0;
    TestWindow window([&](UINT, WPARAM, LPARAM) -> LRESULT {
        ++handled;
        return PostMessageA(self, kMsg, 0, 0);
    });
    self = window.Hwnd();
    std::thread([&] { PostMessageA(self, kMsg, 0, 0); }).join();
    // Set after the post, the waker still hears of it.
    UiLoop ui;
    EXPECT_TRUE(ui.Woken(0ms));
    EXPECT_EQ(hvDispatchPending(), 1);
    // The repost woke the loop again and waits for the next round.
    EXPECT_TRUE(ui.Woken(0ms));
    EXPECT_EQ(hvDispatchPending(), 1);
    EXPECT_EQ(handled, 2);
}

// The owner's wait serves a send that jumped its earlier post, and the
// blocked sender serves the send the handler makes back.
TEST(Messages, WaitsServeSendsButNotPostsAndABlockedSenderServesANestedSendBack) {
    const DWORD mainThread = GetCurrentThreadId();
    DWORD nestedOn = 0;
    TestWindow mine([&](UINT, WPARAM w, LPARAM) -> LRESULT {
        nestedOn = GetCurrentThreadId();
        return static_cast<LRESULT>(w) * 2;
    });
    const UniqueHandle quit(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    std::atomic<HWND> theirs{nullptr};
    std::jthread owner([&] {
        std::vector<WPARAM> seen;  // 999 for a message handled on another thread
        const DWORD self = GetCurrentThreadId();
        TestWindow window([&seen, self, back = mine.Hwnd()](UINT, WPARAM w, LPARAM) -> LRESULT {
            seen.push_back(GetCurrentThreadId() == self ? w : 999);
            return w == 0 ? 0 : SendMessageA(back, kMsg, w + 1, 0) + 1000;
        });
        theirs = window.Hwnd();
        // A plain wait serves nothing.
        EXPECT_EQ(WaitForSingleObject(quit.Get(), 100), WAIT_TIMEOUT);
        EXPECT_TRUE(seen.empty());
        EXPECT_EQ(hvWaitHandlingSent(1, quit.Address(), 5000), WAIT_OBJECT_0);
        EXPECT_EQ(seen, std::vector<WPARAM>{20});
        EXPECT_EQ(hvDispatchPending(), 1);
        EXPECT_EQ(seen, (std::vector<WPARAM>{20, 0}));
    });
    while (theirs.load() == nullptr) {
        std::this_thread::yield();
    }
    EXPECT_TRUE(PostMessageA(theirs, kMsg, 0, 0));
    EXPECT_EQ(SendMessageA(theirs, kMsg, 20, 0), 1042);
    EXPECT_EQ(nestedOn, mainThread);
    SetEvent(quit.Get());
}

// A window that never dispatches ends with a post queued and a send waiting:
// destroyed, or with its thread.
TEST(Messages, AnEndingWindowReleasesItsSendersAndDropsItsPosts) {
    for (const bool destroyed : {true, false}) {
        SCOPED_TRACE(destroyed ? "destroyed" : "its thread ended");
        std::atomic<int> handled{0};
        const UniqueHandle end(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        HWND hwnd = nullptr;
        std::jthread owner([&] {
            hwnd = hvCreateWindowHandle(
                [](void* handled, HWND, UINT, WPARAM, LPARAM) -> LRESULT {
                    return ++*static_cast<std::atomic<int>*>(handled);
                },
                &handled);
            PostMessageA(hwnd, kMsg, 0, 0);
            std::jthread sender([window = hwnd, &end] {
                EXPECT_EQ(SendMessageA(window, kMsg, 0, 0), 0);
                SetEvent(end.Get());
            });
            // The send is queued, not answered.
            EXPECT_EQ(WaitForSingleObject(end.Get(), 50), WAIT_TIMEOUT);
            if (destroyed) {
                hvDestroyWindowHandle(hwnd);
                EXPECT_EQ(hvDispatchPending(), 0);
            } else {
                sender.detach();
            }
        });
        owner.join();
        EXPECT_EQ(WaitForSingleObject(end.Get(), 5000), WAIT_OBJECT_0);
        EXPECT_FALSE(IsWindow(hwnd));
        EXPECT_EQ(handled, 0);
    }
}

// A send on the window's own thread is a direct call; a stale handle names nothing.
TEST(Messages, SameThreadSendsAreDirectAndStaleHandlesNeverNameANewWindow) {
    int calls = 0;
    const auto count = [&](UINT, WPARAM w, LPARAM) -> LRESULT { return ++calls * 100 + w; };
    const HWND stale = TestWindow(count).Hwnd();
    EXPECT_FALSE(IsWindow(stale));
    std::vector<std::unique_ptr<TestWindow>> fresh;
    for (int i = 0; i < 50; ++i) {
        fresh.push_back(std::make_unique<TestWindow>(count));
        EXPECT_NE(fresh.back()->Hwnd(), stale);
    }
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(PostMessageA(stale, kMsg, 0, 0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_EQ(SendMessageA(stale, kMsg, 0, 0), 0);
    EXPECT_EQ(SendMessageA(fresh[0]->Hwnd(), kMsg, 5, 0), 105);
    EXPECT_EQ(hvDispatchPending(), 0);
}

TEST(Messages, RegisteredMessagesAreStablePerNameIgnoringCase) {
    const UINT shellHook = RegisterWindowMessageA("SHELLHOOK");
    EXPECT_GE(shellHook, 0xC000u);
    UINT other = 0;
    std::thread([&] { other = RegisterWindowMessageA("HalvoryTestMessage"); }).join();
    EXPECT_NE(other, shellHook);
    EXPECT_EQ(RegisterWindowMessageA("halvorytestmessage"), other);
    EXPECT_EQ(RegisterWindowMessageA(""), 0u);
    EXPECT_EQ(RegisterWindowMessageA(nullptr), 0u);
}

}  // namespace
