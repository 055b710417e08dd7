#include "EngineThreads.h"

#include <condition_variable>
#include <mutex>

#include "winapi/Log.h"

namespace hv {

namespace {

// Every stop the engine asks for is honoured within a second when all is well.
constexpr std::chrono::milliseconds kLateStop{1000};

void LogIfLate(std::chrono::steady_clock::time_point start, const char* what) {
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    if (waited >= kLateStop) {
        LogWarning("the %s thread took %lld ms to stop", what,
                   static_cast<long long>(waited.count()));
    }
}

}  // namespace

void StopAndJoin(std::jthread& thread, const char* what) {
    if (!thread.joinable()) {
        return;
    }
    const auto start = std::chrono::steady_clock::now();
    thread.request_stop();
    thread.join();
    LogIfLate(start, what);
}

bool SleepUnlessStopped(const std::stop_token& stop, std::chrono::milliseconds time) {
    std::mutex mutex;
    std::condition_variable_any wake;
    std::unique_lock lock(mutex);
    wake.wait_for(lock, stop, time, [] { return false; });
    return stop.stop_requested();
}

std::unique_ptr<SendingThread> SendingThread::Start(const char* what, std::function<void()> fn) {
    std::unique_ptr<SendingThread> thread(new SendingThread(what));
    thread->m_ended = UniqueHandle(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!thread->m_ended) {
        return nullptr;
    }
    thread->m_thread = TryStartThread([fn = std::move(fn), ended = thread->m_ended.Get()] {
        fn();
        SetEvent(ended);
    });
    if (!thread->m_thread.joinable()) {
        return nullptr;
    }
    return thread;
}

SendingThread::~SendingThread() {
    Join();
}

void SendingThread::Join() {
    if (!m_thread.joinable()) {
        return;
    }
    const auto start = std::chrono::steady_clock::now();
    hvWaitHandlingSent(1, m_ended.Address(), INFINITE);
    m_thread.join();
    LogIfLate(start, m_what);
}

}  // namespace hv
