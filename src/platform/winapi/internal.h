// State shared by the parts of the platform library. Not exported.
#pragma once

#include "winapi.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

namespace hv::detail {

// One lock and one condition for every piece of waitable state (queues, sends,
// events, mutexes, threads). Event rates are low, and a single lock makes a
// wait for "an object or a sent message" straightforward.
struct Core {
    std::mutex mutex;
    std::condition_variable changed;
};
Core& TheCore();

struct SendRecord {
    bool done = false;
    LRESULT result = 0;
};

struct Message {
    uint64_t seq = 0;
    uintptr_t window = 0;
    UINT msg = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    std::shared_ptr<SendRecord> send;  // null for a posted message
};

// The queue of one thread. Windows hold it too, so a post racing with the
// thread's end never touches freed memory.
struct ThreadQueue {
    std::deque<Message> posted;
    std::deque<Message> sent;
    HV_WAKEPROC waker = nullptr;
    void* wakerContext = nullptr;
    bool wakePending = false;
};

struct ThreadState {
    explicit ThreadState(DWORD threadId);
    ~ThreadState();
    ThreadState(const ThreadState&) = delete;
    ThreadState& operator=(const ThreadState&) = delete;

    const DWORD id;
    const std::shared_ptr<ThreadQueue> queue;
    bool mayOwnMutex = false;
    bool ended = false;
};

// The calling thread's state; safe to call with the core lock held.
ThreadState& Self();
DWORD AllocateThreadId();
// Gives a thread started by CreateThread the id its creator already reported.
void AdoptThreadId(DWORD id);
// What Windows does when a thread ends: its windows are destroyed and the
// mutexes it still owns become abandoned. Runs once per thread.
void EndCurrentThread();

// The following expect the core lock to be held.
// Handles the oldest message sent to the calling thread, unlocking around the
// window procedure. Returns false if there was none.
bool HandleOneSent(std::unique_lock<std::mutex>& lock);
void DestroyWindowsOf(ThreadQueue& queue);
void AbandonMutexesOf(DWORD threadId);

}  // namespace hv::detail
