#include "frame/FrameWorkers.h"

namespace {

DWORD RunBody(void* parameter) {
    std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(parameter));
    (*body)();
    return 0;
}

}  // namespace

std::shared_ptr<CWorker> CWorker::Start(std::function<void()> body) {
    auto* parameter = new std::function<void()>(std::move(body));
    HANDLE thread = CreateThread(nullptr, 0, &RunBody, parameter, 0, nullptr);
    if (!thread) {
        delete parameter;
        return nullptr;
    }
    return std::shared_ptr<CWorker>(new CWorker(thread));
}

// A thread still running goes on alone; what it uses it owns (shared).
CWorker::~CWorker() {
    CloseHandle(m_hThread);
}

bool CWorker::IsRunning() const {
    DWORD code = 0;
    return GetExitCodeThread(m_hThread, &code) && code == STILL_ACTIVE;
}

bool CWorker::Wait(DWORD milliseconds) const {
    return hvWaitHandlingSent(1, &m_hThread, milliseconds) == WAIT_OBJECT_0;
}
