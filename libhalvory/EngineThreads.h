// The engine's threads are std::jthreads, stopped through their stop token
// or through the flags of the job they work on.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <stop_token>
#include <system_error>
#include <thread>
#include <utility>

#include "winapi/UniqueHandle.h"

namespace hv {

// An empty jthread when the system has no thread to give.
template <typename F>
std::jthread TryStartThread(F&& fn) {
    try {
        return std::jthread(std::forward<F>(fn));
    } catch (const std::system_error&) {
        return {};
    }
}

// Asks the thread to stop and waits for it, logging a stop that took long.
// Only for threads that never send to the thread that waits.
void StopAndJoin(std::jthread& thread, const char* what);

// Sleeps up to the given time; true, at once, when a stop is requested.
bool SleepUnlessStopped(const std::stop_token& stop, std::chrono::milliseconds time);

// A thread that sends to the frame while a call on the frame's own thread may
// be waiting for it to end. A plain join would deadlock there: this wait
// keeps handling the messages sent to the waiting thread.
class SendingThread {
  public:
    // Null when no thread could be started.
    static std::unique_ptr<SendingThread> Start(const char* what, std::function<void()> fn);
    ~SendingThread();
    SendingThread(const SendingThread&) = delete;
    SendingThread& operator=(const SendingThread&) = delete;

    // Returns once the thread has ended, logging a wait that took long.
    void Join();

  private:
    explicit SendingThread(const char* what) : m_what(what) {}

    const char* m_what;
    UniqueHandle m_ended;  // set as the thread's last act
    std::jthread m_thread;
};

}  // namespace hv
