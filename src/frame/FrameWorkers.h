// The short-lived threads the frame starts for engine calls that can block.
#pragma once

#include <functional>
#include <memory>

#include "winapi/winapi.h"

class CWorker {
  public:
    // Starts `body` on a new thread at once; null when no thread could be made.
    static std::shared_ptr<CWorker> Start(std::function<void()> body);
    ~CWorker();
    CWorker(const CWorker&) = delete;
    CWorker& operator=(const CWorker&) = delete;

    bool IsRunning() const;
    // True when the thread ended within `milliseconds`. Messages sent to the
    // calling thread are served meanwhile, so a worker that sends to the
    // user-interface thread cannot stall a wait there.
    bool Wait(DWORD milliseconds) const;

  private:
    explicit CWorker(HANDLE thread) : m_hThread(thread) {}
    HANDLE m_hThread;
};
