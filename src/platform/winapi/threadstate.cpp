#include "internal.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace hv::detail {

namespace {
std::atomic<DWORD> g_nextThreadId{1};
thread_local DWORD t_adoptedId = 0;
thread_local DWORD t_lastError = ERROR_SUCCESS;

void EndThread(ThreadState& state) {
    std::lock_guard lock(TheCore().mutex);
    if (state.ended) {
        return;
    }
    state.ended = true;
    DestroyWindowsOf(*state.queue);
    if (state.mayOwnMutex) {
        AbandonMutexesOf(state.id);
    }
}
}  // namespace

Core& TheCore() {
    // Never destroyed: detached threads may still use it while the process exits.
    static Core* instance = new Core;
    return *instance;
}

ThreadState::ThreadState(DWORD threadId) : id(threadId), queue(std::make_shared<ThreadQueue>()) {}

ThreadState::~ThreadState() {
    EndThread(*this);
}

ThreadState& Self() {
    thread_local ThreadState state(t_adoptedId != 0 ? t_adoptedId : AllocateThreadId());
    return state;
}

DWORD AllocateThreadId() {
    return g_nextThreadId.fetch_add(1, std::memory_order_relaxed);
}

void AdoptThreadId(DWORD id) {
    t_adoptedId = id;
}

void EndCurrentThread() {
    EndThread(Self());
}

}  // namespace hv::detail

using namespace hv::detail;

DWORD GetCurrentThreadId(void) {
    return Self().id;
}

DWORD GetLastError(void) {
    return t_lastError;
}

void SetLastError(DWORD error) {
    t_lastError = error;
}

void Sleep(DWORD milliseconds) {
    if (milliseconds == 0) {
        std::this_thread::yield();
        return;
    }
    do {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    } while (milliseconds == INFINITE);
}

DWORD GetTickCount(void) {
    const auto sinceBoot = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<DWORD>(
        std::chrono::duration_cast<std::chrono::milliseconds>(sinceBoot).count());
}
