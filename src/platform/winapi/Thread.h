// The one thread type of the client. A thread is never killed: one that does
// not end in time is abandoned, so everything it touches must be shared with
// it, never borrowed.
#pragma once

#include <functional>
#include <memory>

#include "winapi/UniqueHandle.h"

namespace hv {

class Thread {
  public:
    Thread() = default;

    // Starts `body` at once; an empty thread when none could be made.
    static Thread Start(std::function<void()> body) {
        auto parameter = std::make_unique<std::function<void()>>(std::move(body));
        Thread thread;
        thread.m_handle.Reset(CreateThread(nullptr, 0, &Run, parameter.get(), 0, nullptr));
        if (thread.m_handle) {
            parameter.release();  // the thread owns it now
        }
        return thread;
    }

    explicit operator bool() const { return static_cast<bool>(m_handle); }

    bool IsRunning() const {
        DWORD code = 0;
        return m_handle && GetExitCodeThread(m_handle.Get(), &code) && code == STILL_ACTIVE;
    }

    // True when the thread has ended within `milliseconds` (or never ran).
    // Messages sent to the calling thread are handled meanwhile, so a thread
    // that sends to the waiting one cannot stall the wait.
    bool Wait(DWORD milliseconds) const {
        return !m_handle ||
               hvWaitHandlingSent(1, m_handle.Address(), milliseconds) == WAIT_OBJECT_0;
    }

    // Leaves a running thread to finish alone; dropping the object does the same.
    void Abandon() { m_handle.Reset(); }

  private:
    static DWORD Run(void* parameter) {
        const std::unique_ptr<std::function<void()>> body(
            static_cast<std::function<void()>*>(parameter));
        (*body)();
        return 0;
    }

    UniqueHandle m_handle;
};

}  // namespace hv
