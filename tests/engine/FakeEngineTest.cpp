#include "FakeEngine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <future>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "engine/EngineLibrary.h"

namespace {

using namespace std::chrono_literals;

class FakeEngineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fake::Reset();
        m_module = hv::EngineModule::Load(fake::LibraryPath(), nullptr);
        ASSERT_TRUE(m_module);
    }
    void TearDown() override { fake::Reset(); }

    const hv::EngineApi& Api() const { return m_module->Api(); }

    std::shared_ptr<hv::EngineModule> m_module;
};

TEST_F(FakeEngineTest, RecordsCallsFromSeveralThreadsInOrder) {
    constexpr int kThreads = 4;
    constexpr int kCallsEach = 50;
    std::vector<DWORD> ids(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            ids[t] = GetCurrentThreadId();
            const std::string user = "user" + std::to_string(t);
            for (int i = 0; i < kCallsEach; ++i) {
                Api().hv_LoginA(user.c_str(), std::to_string(i).c_str(), 1);
                Api().hv_CancelA(nullptr);
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();

    const std::vector<fake::Call> calls = fake::Calls();
    ASSERT_EQ(calls.size(), size_t{2 * kThreads * kCallsEach});
    std::vector<int> next(kThreads, 0);
    for (size_t i = 0; i < calls.size(); ++i) {
        if (i > 0) {
            EXPECT_GT(calls[i].sequence, calls[i - 1].sequence);
        }
        if (calls[i].name != "hv_LoginA")
            continue;
        const int t = calls[i].args[0]->back() - '0';
        ASSERT_GE(t, 0);
        ASSERT_LT(t, kThreads);
        EXPECT_EQ(calls[i].threadId, ids[t]);
        EXPECT_EQ(calls[i].args[1], std::to_string(next[t]++));
    }
    EXPECT_EQ(fake::CallsTo("hv_CancelA").size(), size_t{kThreads * kCallsEach});
}

TEST_F(FakeEngineTest, NullTextIsNotEmptyText) {
    Api().hv_CancelA(nullptr);
    Api().hv_CancelA("");
    const std::vector<fake::Call> calls = fake::CallsTo("hv_CancelA");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_FALSE(calls[0].args[0].has_value());
    EXPECT_EQ(calls[1].args[0], std::string());
}

TEST_F(FakeEngineTest, ResultsAndHooksDecideTheAnswer) {
    EXPECT_EQ(Api().hv_LoginA("ann", "pw", 1), HV_LOGIN_OK);
    fake::SetResult("hv_LoginA", HV_LOGIN_ACCESS_DENIED);
    EXPECT_EQ(Api().hv_LoginA("ann", "pw", 1), HV_LOGIN_ACCESS_DENIED);

    fake::SetHook("hv_LoginA", [](const fake::Call& call) {
        return call.args[0] == "bob" ? HV_LOGIN_NO_SUCH_USER : HV_LOGIN_OK;
    });
    EXPECT_EQ(Api().hv_LoginA("bob", "pw", 1), HV_LOGIN_NO_SUCH_USER);
    EXPECT_EQ(Api().hv_LoginA("ann", "pw", 1), HV_LOGIN_OK);

    fake::SetHook("hv_LoginA", nullptr);
    EXPECT_EQ(Api().hv_LoginA("bob", "pw", 1), HV_LOGIN_ACCESS_DENIED);

    EXPECT_THROW(fake::SetResult("hv_Login", 0), std::invalid_argument);
    EXPECT_THROW(fake::SetHook("LoginA", nullptr), std::invalid_argument);
    EXPECT_THROW(fake::SetBufferText("hv_LoginA", "x"), std::invalid_argument);

    fake::Reset();
    EXPECT_EQ(Api().hv_LoginA("bob", "pw", 1), HV_LOGIN_OK);
}

// A test blocks a worker inside the engine and acts meanwhile.
TEST_F(FakeEngineTest, HookRunsOnTheCallerWithoutHoldingTheFake) {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<DWORD> hookThread{0};
    fake::SetHook("hv_LoginA", [&, released](const fake::Call&) {
        hookThread = GetCurrentThreadId();
        released.wait();
        return static_cast<int>(fake::Calls().size());
    });

    std::atomic<DWORD> workerThread{0};
    std::future<int> login = std::async(std::launch::async, [&] {
        workerThread = GetCurrentThreadId();
        return Api().hv_LoginA("ann", "pw", 1);
    });
    ASSERT_TRUE(fake::WaitForCalls("hv_LoginA", 1, 5s));
    Api().hv_CancelLogin();
    EXPECT_EQ(login.wait_for(0ms), std::future_status::timeout);
    release.set_value();

    EXPECT_EQ(login.get(), 2);
    EXPECT_EQ(hookThread.load(), workerThread.load());
    EXPECT_EQ(fake::CallsTo("hv_LoginA")[0].threadId, workerThread.load());
    EXPECT_EQ(fake::CallNames(), (std::vector<std::string>{"hv_LoginA", "hv_CancelLogin"}));
    EXPECT_FALSE(fake::WaitForCalls("hv_LogOut", 1, 10ms));
}

TEST_F(FakeEngineTest, BufferTextIsBoundedAndTerminated) {
    std::vector<char> buffer(HV_BUFFER_SIZE, 0);
    Api().hv_GetSMSLoginURL(buffer.data());
    EXPECT_EQ(buffer[0], '\0');

    fake::SetBufferText("hv_GetSMSLoginURL", "http://service.test/account");
    Api().hv_GetSMSLoginURL(buffer.data());
    EXPECT_STREQ(buffer.data(), "http://service.test/account");

    std::fill(buffer.begin(), buffer.end(), 0);
    fake::SetBufferText("hv_DownloadA", std::string(300, 'a'));
    fake::SetResult("hv_DownloadA", HV_DL_ENGINE_TEXT);
    EXPECT_EQ(Api().hv_DownloadA("pkg", "Title", 1, buffer.data()), HV_DL_ENGINE_TEXT);
    EXPECT_EQ(std::strlen(buffer.data()), size_t{HV_BUFFER_SIZE - 1});

    // Recorded on entry: a buffer the caller forgot to clear shows up.
    std::strcpy(buffer.data(), "stale");
    Api().hv_DownloadA("pkg", "Title", 1, buffer.data());
    EXPECT_EQ(fake::CallsTo("hv_DownloadA").back().args[3], "stale");
}

// Stands in for the frame: a window of the test thread that remembers what it
// handled and where.
struct TestWindow {
    struct Seen {
        UINT msg;
        std::string text;
        DWORD thread;
    };

    static LRESULT Proc(void* context, HWND, UINT msg, WPARAM wParam, LPARAM lParam) {
        auto* self = static_cast<TestWindow*>(context);
        Seen seen{msg, {}, GetCurrentThreadId()};
        switch (msg) {
            case UWM_ASK_PLAY_NOW: seen.text = reinterpret_cast<const char*>(lParam); break;
            case UWM_CONFIRM_PURCHASE:
                seen.text = std::string(reinterpret_cast<const char*>(wParam)) + " " +
                            reinterpret_cast<const char*>(lParam);
                break;
            case UWM_ENGINE_PROGRESS:
                seen.text =
                    std::to_string(reinterpret_cast<const TransferProgress*>(lParam)->lDone);
                break;
        }
        self->seen.push_back(seen);
        return msg == UWM_ENGINE_PROGRESS ? 0 : 1;
    }

    TestWindow() : hwnd(hvCreateWindowHandle(&Proc, this)) {}
    ~TestWindow() { hvDestroyWindowHandle(hwnd); }

    // Serves the window until the sender is answered.
    template <typename T>
    T Serve(std::future<T>& answer) {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (answer.wait_for(1ms) != std::future_status::ready) {
            hvDispatchPending();
            if (std::chrono::steady_clock::now() > deadline) {
                ADD_FAILURE() << "sender not answered";
                break;
            }
        }
        return answer.get();
    }

    HWND hwnd;
    std::vector<Seen> seen;
};

TEST_F(FakeEngineTest, TalksToTheFrameWindowLikeTheEngine) {
    TestWindow window;
    ASSERT_TRUE(IsWindow(window.hwnd));
    Api().hv_Init(window.hwnd);
    ASSERT_EQ(fake::FrameWindow(), window.hwnd);
    const DWORD self = GetCurrentThreadId();

    EXPECT_TRUE(fake::Post(UWM_CATALOGUE_READY));
    EXPECT_TRUE(window.seen.empty());
    EXPECT_EQ(hvDispatchPending(), 1);
    ASSERT_EQ(window.seen.size(), 1u);
    EXPECT_EQ(window.seen[0].msg, UINT{UWM_CATALOGUE_READY});

    std::future<LRESULT> play = fake::SendTextFromThread(UWM_ASK_PLAY_NOW, 0, "Space Rally");
    EXPECT_EQ(window.Serve(play), 1);
    std::future<LRESULT> buy = fake::SendTextsFromThread(UWM_CONFIRM_PURCHASE, "$9.99", "Rally");
    EXPECT_EQ(window.Serve(buy), 1);
    TransferProgress progress{};
    progress.lDone = 4096;
    std::future<LRESULT> sent = fake::SendProgressFromThread(progress);
    EXPECT_EQ(window.Serve(sent), 0);
    // From the window's own thread a send is a direct call.
    EXPECT_EQ(fake::SendText(UWM_ASK_PLAY_NOW, 0, "Direct"), 1);

    ASSERT_EQ(window.seen.size(), 5u);
    EXPECT_EQ(window.seen[1].text, "Space Rally");
    EXPECT_EQ(window.seen[2].text, "$9.99 Rally");
    EXPECT_EQ(window.seen[3].text, "4096");
    EXPECT_EQ(window.seen[4].text, "Direct");
    for (const TestWindow::Seen& seen : window.seen)
        EXPECT_EQ(seen.thread, self);
}

// The engine asks its questions from inside a worker's call.
TEST_F(FakeEngineTest, HookCanAskTheFrameFromInsideACall) {
    TestWindow window;
    Api().hv_Init(window.hwnd);
    fake::SetHook("hv_DownloadA", [](const fake::Call& call) {
        return fake::SendTexts(UWM_CONFIRM_PURCHASE, "$4.99", *call.args[1]) == 1 ? HV_DL_OK
                                                                                  : HV_DL_DECLINED;
    });

    std::future<int> download = std::async(std::launch::async, [&] {
        std::vector<char> buffer(HV_BUFFER_SIZE, 0);
        return Api().hv_DownloadA("pkg-3", "Moon Base", 1, buffer.data());
    });
    EXPECT_EQ(window.Serve(download), HV_DL_OK);
    ASSERT_EQ(window.seen.size(), 1u);
    EXPECT_EQ(window.seen[0].text, "$4.99 Moon Base");
    EXPECT_EQ(window.seen[0].thread, GetCurrentThreadId());
}

}  // namespace
