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
class TestWindow {
  public:
    using Handler = std::function<LRESULT(UINT, WPARAM, LPARAM)>;
    explicit TestWindow(Handler handler)
        : m_handler(std::move(handler)), m_hwnd(hvCreateWindowHandle(&TestWindow::Proc, this)) {}
    ~TestWindow() { hvDestroyWindowHandle(m_hwnd); }
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    HWND Hwnd() const { return m_hwnd; }

  private:
    static LRESULT Proc(void* context, HWND, UINT msg, WPARAM wParam, LPARAM lParam) {
        return static_cast<TestWindow*>(context)->m_handler(msg, wParam, lParam);
    }

    Handler m_handler;
    HWND m_hwnd;
};

// The test's thread plays the user-interface thread, whose event loop the
// waker wakes.
class UiLoop {
  public:
    UiLoop() {
        hvSetThreadWaker([](void* wakes) { ++*static_cast<std::atomic<int>*>(wakes); }, &m_wakes);
    }
    ~UiLoop() { hvSetThreadWaker(nullptr, nullptr); }
    UiLoop(const UiLoop&) = delete;
    UiLoop& operator=(const UiLoop&) = delete;

    // True if the waker fired since the last call, or does within the timeout.
    bool Woken(std::chrono::milliseconds timeout = 5s) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (m_wakes == 0 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(1ms);
        }
        return m_wakes.exchange(0) > 0;
    }

  private:
    std::atomic<int> m_wakes{0};
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

TEST(Messages, SameThreadSendIsADirectCall) {
    int calls = 0;
    TestWindow window([&](UINT, WPARAM w, LPARAM) -> LRESULT { return ++calls * 100 + w; });
    EXPECT_EQ(SendMessageA(window.Hwnd(), kMsg, 5, 0), 105);
    EXPECT_EQ(hvDispatchPending(), 0);
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

TEST(Messages, BlockedSenderServesANestedSendBack) {
    const DWORD mainThread = GetCurrentThreadId();
    DWORD nestedOn = 0;
    TestWindow mine([&](UINT, WPARAM w, LPARAM) -> LRESULT {
        nestedOn = GetCurrentThreadId();
        return static_cast<LRESULT>(w) * 2;
    });
    const UniqueHandle quit(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    std::atomic<HWND> theirs{nullptr};
    std::jthread owner([&] {
        TestWindow window([back = mine.Hwnd()](UINT, WPARAM w, LPARAM) -> LRESULT {
            return SendMessageA(back, kMsg, w + 1, 0) + 1000;
        });
        theirs = window.Hwnd();
        EXPECT_EQ(hvWaitHandlingSent(1, quit.Address(), 5000), WAIT_OBJECT_0);
    });
    while (theirs.load() == nullptr) {
        std::this_thread::yield();
    }
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

TEST(Messages, StaleHandlesNeverNameANewWindow) {
    int calls = 0;
    const auto count = [&](UINT, WPARAM, LPARAM) -> LRESULT { return ++calls; };
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
    EXPECT_EQ(hvDispatchPending(), 0);
    EXPECT_EQ(calls, 0);
}

TEST(Messages, WaitHandlingSentServesSendsButNotPosts) {
    UiLoop ui;
    const DWORD uiThread = GetCurrentThreadId();
    std::vector<UINT> seen;
    DWORD sendHandledOn = 0;
    TestWindow window([&](UINT msg, WPARAM w, LPARAM) -> LRESULT {
        seen.push_back(msg);
        sendHandledOn = msg == kMsg + 1 ? GetCurrentThreadId() : sendHandledOn;
        return static_cast<LRESULT>(w) + 1;
    });
    const UniqueHandle done(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    std::jthread worker([&] {
        PostMessageA(window.Hwnd(), kMsg, 0, 0);
        EXPECT_EQ(SendMessageA(window.Hwnd(), kMsg + 1, 41, 0), 42);
        SetEvent(done.Get());
    });
    // A plain wait cannot finish: the worker is stuck in its send to us.
    EXPECT_EQ(WaitForSingleObject(done.Get(), 100), WAIT_TIMEOUT);
    EXPECT_EQ(hvWaitHandlingSent(1, done.Address(), 5000), WAIT_OBJECT_0);
    EXPECT_EQ(sendHandledOn, uiThread);
    // The posted message waits for the event loop.
    EXPECT_EQ(seen, std::vector<UINT>{kMsg + 1});
    EXPECT_EQ(hvDispatchPending(), 1);
    EXPECT_EQ(seen, (std::vector<UINT>{kMsg + 1, kMsg}));
}

TEST(Messages, RegisteredMessagesAreStablePerNameIgnoringCase) {
    const UINT shellHook = RegisterWindowMessageA("SHELLHOOK");
    EXPECT_GE(shellHook, 0xC000u);
    EXPECT_LE(shellHook, 0xFFFFu);
    EXPECT_EQ(RegisterWindowMessageA("ShellHook"), shellHook);
    UINT other = 0;
    std::thread([&] { other = RegisterWindowMessageA("HalvoryTestMessage"); }).join();
    EXPECT_NE(other, shellHook);
    EXPECT_EQ(RegisterWindowMessageA("halvorytestmessage"), other);
    EXPECT_EQ(RegisterWindowMessageA(""), 0u);
    EXPECT_EQ(RegisterWindowMessageA(nullptr), 0u);
}

}  // namespace
