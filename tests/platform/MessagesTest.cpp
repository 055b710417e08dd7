#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <latch>
#include <mutex>
#include <thread>
#include <vector>

#include "winapi/winapi.h"

namespace {

using namespace std::chrono_literals;

// A window whose procedure is a lambda; destroyed with the object.
class TestWindow {
  public:
    using Handler = std::function<LRESULT(UINT, WPARAM, LPARAM)>;
    explicit TestWindow(Handler handler)
        : handler_(std::move(handler)), hwnd_(hvCreateWindowHandle(&TestWindow::Proc, this)) {}
    ~TestWindow() { hvDestroyWindowHandle(hwnd_); }
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    HWND hwnd() const { return hwnd_; }

  private:
    static LRESULT Proc(void* context, HWND, UINT msg, WPARAM wParam, LPARAM lParam) {
        return static_cast<TestWindow*>(context)->handler_(msg, wParam, lParam);
    }

    Handler handler_;
    HWND hwnd_;
};

// The test's thread plays the user-interface thread: it sleeps until its
// waker fires and then drains its queue, as the Qt pump does.
class UiLoop {
  public:
    UiLoop() { hvSetThreadWaker(&UiLoop::Wake, this); }
    ~UiLoop() { hvSetThreadWaker(nullptr, nullptr); }
    UiLoop(const UiLoop&) = delete;
    UiLoop& operator=(const UiLoop&) = delete;

    bool WaitForWake(std::chrono::milliseconds timeout = 5s) {
        std::unique_lock lock(mutex_);
        const bool woken = cv_.wait_for(lock, timeout, [this] { return woken_; });
        woken_ = false;
        return woken;
    }

    // Dispatches until done() holds; false if that takes more than five seconds.
    bool RunUntil(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            WaitForWake(10ms);
            hvDispatchPending();
        }
        return true;
    }

    int wakes() const { return wakes_; }

  private:
    static void Wake(void* context) {
        auto* self = static_cast<UiLoop*>(context);
        ++self->wakes_;
        std::lock_guard lock(self->mutex_);
        self->woken_ = true;
        self->cv_.notify_one();
    }

    std::mutex mutex_;
    std::condition_variable cv_;
    bool woken_ = false;
    std::atomic<int> wakes_{0};
};

constexpr UINT kMsg = WM_USER + 7;

TEST(Messages, CrossThreadSendBlocksUntilOwnerHandlesIt) {
    UiLoop ui;
    const DWORD uiThread = GetCurrentThreadId();
    std::atomic<DWORD> handledOn{0};
    TestWindow window([&](UINT msg, WPARAM w, LPARAM l) -> LRESULT {
        handledOn = GetCurrentThreadId();
        return msg == kMsg ? static_cast<LRESULT>(w) + l : -1;
    });

    std::atomic<bool> returned{false};
    LRESULT result = 0;
    std::thread worker([&] {
        result = SendMessageA(window.hwnd(), kMsg, 20, 22);
        returned = true;
    });
    ASSERT_TRUE(ui.WaitForWake());
    // Queued but not handled: the sender must still be waiting.
    EXPECT_FALSE(returned);
    EXPECT_EQ(handledOn, 0u);
    EXPECT_EQ(hvDispatchPending(), 1);
    worker.join();
    EXPECT_EQ(result, 42);
    EXPECT_EQ(handledOn, uiThread);
}

TEST(Messages, SameThreadSendIsADirectCall) {
    int calls = 0;
    TestWindow window([&](UINT, WPARAM w, LPARAM) -> LRESULT { return ++calls * 100 + w; });
    EXPECT_EQ(SendMessageA(window.hwnd(), kMsg, 5, 0), 105);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(hvDispatchPending(), 0);
}

TEST(Messages, PostsAndSendsArriveInOrderOnTheOwnerThread) {
    UiLoop ui;
    const DWORD uiThread = GetCurrentThreadId();
    std::vector<WPARAM> seen;
    bool allOnUiThread = true;
    TestWindow window([&](UINT, WPARAM w, LPARAM) -> LRESULT {
        seen.push_back(w);
        allOnUiThread = allOnUiThread && GetCurrentThreadId() == uiThread;
        return 0;
    });

    std::thread poster([&] {
        for (WPARAM i = 0; i < 100; ++i) {
            EXPECT_TRUE(PostMessageA(window.hwnd(), kMsg, i, 0));
        }
    });
    poster.join();
    // Posting never waits for the owner.
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(hvDispatchPending(), 100);

    // A send queued behind a post from the same thread is handled after it.
    std::thread mixed([&] {
        PostMessageA(window.hwnd(), kMsg, 1000, 0);
        SendMessageA(window.hwnd(), kMsg, 1001, 0);
        PostMessageA(window.hwnd(), kMsg, 1002, 0);
    });
    ASSERT_TRUE(ui.RunUntil([&] { return seen.size() == 103; }));
    mixed.join();

    ASSERT_EQ(seen.size(), 103u);
    for (WPARAM i = 0; i < 100; ++i) {
        EXPECT_EQ(seen[i], i);
    }
    EXPECT_EQ(seen[100], 1000u);
    EXPECT_EQ(seen[101], 1001u);
    EXPECT_EQ(seen[102], 1002u);
    EXPECT_TRUE(allOnUiThread);
}

TEST(Messages, WakerIsCalledForWorkQueuedBeforeItWasSet) {
    std::vector<LPARAM> seen;
    TestWindow window([&](UINT, WPARAM, LPARAM l) -> LRESULT {
        seen.push_back(l);
        return 0;
    });
    std::thread([&] { PostMessageA(window.hwnd(), kMsg, 0, 1); }).join();
    UiLoop ui;
    EXPECT_TRUE(ui.WaitForWake(0ms));
    EXPECT_EQ(hvDispatchPending(), 1);
    EXPECT_EQ(seen, std::vector<LPARAM>{1});
}

TEST(Messages, DispatchHandlesOnlyWhatWasQueuedWhenCalled) {
    UiLoop ui;
    HWND self = nullptr;
    int handled = 0;
    TestWindow window([&](UINT, WPARAM, LPARAM) -> LRESULT {
        ++handled;
        PostMessageA(self, kMsg, 0, 0);
        return 0;
    });
    self = window.hwnd();
    PostMessageA(self, kMsg, 0, 0);
    EXPECT_EQ(hvDispatchPending(), 1);
    // The repost woke the loop again and waits for the next round.
    EXPECT_TRUE(ui.WaitForWake(0ms));
    EXPECT_EQ(hvDispatchPending(), 1);
    EXPECT_EQ(handled, 2);
    hvDestroyWindowHandle(self);
    EXPECT_EQ(hvDispatchPending(), 0);
}

TEST(Messages, ThreadsSendingToEachOtherDoNotDeadlock) {
    struct Side {
        std::atomic<HWND> window{nullptr};
        HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        LRESULT result = 0;
    } a, b;
    std::latch created(2);
    auto run = [&created](Side& mine, Side& other, LRESULT base) {
        TestWindow window([base](UINT, WPARAM w, LPARAM) -> LRESULT { return base + w; });
        mine.window = window.hwnd();
        created.arrive_and_wait();
        // Both block in their send at once; each serves the other's meanwhile.
        mine.result = SendMessageA(other.window.load(), kMsg, 1, 0);
        SetEvent(mine.done);
        // Our answer may still be owed: keep serving until the other side is done.
        EXPECT_EQ(hvWaitHandlingSent(1, &other.done, 5000), WAIT_OBJECT_0);
    };
    std::thread ta(run, std::ref(a), std::ref(b), 100);
    std::thread tb(run, std::ref(b), std::ref(a), 200);
    ta.join();
    tb.join();
    EXPECT_EQ(a.result, 201);
    EXPECT_EQ(b.result, 101);
    CloseHandle(a.done);
    CloseHandle(b.done);
}

TEST(Messages, BlockedSenderServesANestedSendBack) {
    const DWORD mainThread = GetCurrentThreadId();
    DWORD nestedOn = 0;
    TestWindow mine([&](UINT, WPARAM w, LPARAM) -> LRESULT {
        nestedOn = GetCurrentThreadId();
        return static_cast<LRESULT>(w) * 2;
    });

    std::atomic<HWND> theirs{nullptr};
    HANDLE quit = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread owner([&] {
        HWND back = mine.hwnd();
        TestWindow window([back](UINT, WPARAM w, LPARAM) -> LRESULT {
            return SendMessageA(back, kMsg, w + 1, 0) + 1000;
        });
        theirs = window.hwnd();
        EXPECT_EQ(hvWaitHandlingSent(1, &quit, 5000), WAIT_OBJECT_0);
    });
    while (theirs.load() == nullptr) {
        std::this_thread::yield();
    }
    EXPECT_EQ(SendMessageA(theirs, kMsg, 20, 0), 1042);
    EXPECT_EQ(nestedOn, mainThread);
    SetEvent(quit);
    owner.join();
    CloseHandle(quit);
}

TEST(Messages, DestroyingAWindowReleasesSendersAndDropsPosts) {
    int handled = 0;
    auto window = std::make_unique<TestWindow>([&](UINT, WPARAM, LPARAM) -> LRESULT {
        ++handled;
        return 7;
    });
    const HWND hwnd = window->hwnd();
    ASSERT_TRUE(PostMessageA(hwnd, kMsg, 0, 0));

    std::atomic<bool> returned{false};
    LRESULT result = -1;
    std::thread sender([&] {
        result = SendMessageA(hwnd, kMsg, 0, 0);
        returned = true;
    });
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(returned);
    window.reset();
    sender.join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(hvDispatchPending(), 0);
    EXPECT_EQ(handled, 0);
}

TEST(Messages, SendToAnUndrainedWindowReturnsZeroOnceItIsDestroyed) {
    std::atomic<HWND> hwnd{nullptr};
    HANDLE destroy = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    std::thread owner([&] {
        TestWindow window([](UINT, WPARAM, LPARAM) -> LRESULT { return 5; });
        hwnd = window.hwnd();
        // Never dispatches: the send can only end with the window.
        WaitForSingleObject(destroy, INFINITE);
    });
    while (hwnd.load() == nullptr) {
        std::this_thread::yield();
    }
    std::atomic<bool> returned{false};
    LRESULT result = -1;
    std::thread sender([&] {
        result = SendMessageA(hwnd, kMsg, 0, 0);
        returned = true;
    });
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(returned);
    SetEvent(destroy);
    sender.join();
    owner.join();
    EXPECT_EQ(result, 0);
    CloseHandle(destroy);
}

TEST(Messages, WindowsEndWithTheirThread) {
    HWND hwnd = nullptr;
    std::thread([&] {
        hwnd = hvCreateWindowHandle([](void*, HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 1; },
                                    nullptr);
    }).join();
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(SendMessageA(hwnd, kMsg, 0, 0), 0);
}

TEST(Messages, StaleHandlesNeverNameANewWindow) {
    int oldCalls = 0, newCalls = 0;
    HWND stale = nullptr;
    {
        TestWindow old([&](UINT, WPARAM, LPARAM) -> LRESULT { return ++oldCalls; });
        stale = old.hwnd();
        EXPECT_TRUE(IsWindow(stale));
    }
    EXPECT_FALSE(IsWindow(stale));
    EXPECT_FALSE(IsWindow(nullptr));

    std::vector<std::unique_ptr<TestWindow>> fresh;
    for (int i = 0; i < 50; ++i) {
        fresh.push_back(std::make_unique<TestWindow>(
            [&](UINT, WPARAM, LPARAM) -> LRESULT { return ++newCalls; }));
        EXPECT_NE(fresh.back()->hwnd(), stale);
    }
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(PostMessageA(stale, kMsg, 0, 0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_EQ(SendMessageA(stale, kMsg, 0, 0), 0);
    EXPECT_EQ(hvDispatchPending(), 0);
    EXPECT_EQ(oldCalls + newCalls, 0);
}

TEST(Messages, WaitHandlingSentServesAWorkerThatSends) {
    UiLoop ui;
    const DWORD uiThread = GetCurrentThreadId();
    std::vector<UINT> seen;
    DWORD sendHandledOn = 0;
    TestWindow window([&](UINT msg, WPARAM w, LPARAM) -> LRESULT {
        seen.push_back(msg);
        if (msg == kMsg + 1) {
            sendHandledOn = GetCurrentThreadId();
        }
        return static_cast<LRESULT>(w) + 1;
    });

    struct Job {
        HWND target;
        LRESULT answer;
    } job{window.hwnd(), 0};
    HANDLE worker = CreateThread(
        nullptr, 0,
        [](void* p) -> DWORD {
            auto* job = static_cast<Job*>(p);
            PostMessageA(job->target, kMsg, 0, 0);
            job->answer = SendMessageA(job->target, kMsg + 1, 41, 0);
            return 9;
        },
        &job, 0, nullptr);
    ASSERT_NE(worker, nullptr);

    // A plain wait cannot finish: the worker is stuck in its send to us.
    EXPECT_EQ(WaitForSingleObject(worker, 100), WAIT_TIMEOUT);
    EXPECT_EQ(hvWaitHandlingSent(1, &worker, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(job.answer, 42);
    EXPECT_EQ(sendHandledOn, uiThread);
    // The posted message waits for the event loop.
    EXPECT_EQ(seen, std::vector<UINT>{kMsg + 1});
    EXPECT_EQ(hvDispatchPending(), 1);
    EXPECT_EQ(seen, (std::vector<UINT>{kMsg + 1, kMsg}));

    DWORD exitCode = 0;
    EXPECT_TRUE(GetExitCodeThread(worker, &exitCode));
    EXPECT_EQ(exitCode, 9u);
    EXPECT_TRUE(CloseHandle(worker));
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
