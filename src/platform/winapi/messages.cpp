#include "internal.h"

#include <cctype>
#include <string>
#include <unordered_map>

namespace hv::detail {

namespace {

struct Window {
    HV_WNDPROC proc;
    void* context;
    std::shared_ptr<ThreadQueue> queue;
};

// Guarded by the core lock; never destroyed, like the core itself.
struct Registry {
    std::unordered_map<uintptr_t, Window> windows;
    // Handles come from a counter, so a stale handle never names a newer window.
    // Even values from 0x10000 stay clear of HWND_BROADCAST and friends.
    uintptr_t nextWindow = 0x10000;
    uint64_t nextSeq = 1;
    std::unordered_map<std::string, UINT> messageNames;
    UINT nextMessage = 0xC000;
};

Registry& TheRegistry() {
    static Registry* instance = new Registry;
    return *instance;
}

uintptr_t IdOf(HWND hwnd) {
    return reinterpret_cast<uintptr_t>(hwnd);
}

HWND HwndOf(uintptr_t id) {
    return reinterpret_cast<HWND>(id);
}

const Window* FindWindow(HWND hwnd) {
    const auto& windows = TheRegistry().windows;
    const auto it = windows.find(IdOf(hwnd));
    return it == windows.end() ? nullptr : &it->second;
}

void Complete(SendRecord& record, LRESULT result) {
    record.done = true;
    record.result = result;
    TheCore().changed.notify_all();
}

// The waker runs under the core lock so that clearing it is a barrier: once
// hvSetThreadWaker(nullptr) returns, the old context is never called again.
void Wake(ThreadQueue& queue) {
    if (queue.waker != nullptr && !queue.wakePending) {
        queue.wakePending = true;
        queue.waker(queue.wakerContext);
    }
}

void Enqueue(ThreadQueue& queue, Message message) {
    message.seq = TheRegistry().nextSeq++;
    const bool isSend = message.send != nullptr;
    (isSend ? queue.sent : queue.posted).push_back(std::move(message));
    Wake(queue);
    if (isSend) {
        // The owner may be blocked in a send or a message-aware wait.
        TheCore().changed.notify_all();
    }
}

void DropMessagesFor(ThreadQueue& queue, uintptr_t window) {
    std::erase_if(queue.posted, [window](const Message& m) { return m.window == window; });
    std::erase_if(queue.sent, [window](const Message& m) {
        if (m.window != window) {
            return false;
        }
        Complete(*m.send, 0);
        return true;
    });
}

// Calls the window procedure without the lock, then reports a send's result.
void Dispatch(std::unique_lock<std::mutex>& lock, const Message& message) {
    const auto it = TheRegistry().windows.find(message.window);
    if (it == TheRegistry().windows.end()) {
        if (message.send) {
            Complete(*message.send, 0);
        }
        return;
    }
    const HV_WNDPROC proc = it->second.proc;
    void* const context = it->second.context;
    lock.unlock();
    const LRESULT result =
        proc(context, HwndOf(message.window), message.msg, message.wParam, message.lParam);
    lock.lock();
    if (message.send) {
        Complete(*message.send, result);
    }
}

}  // namespace

bool HandleOneSent(std::unique_lock<std::mutex>& lock) {
    ThreadQueue& queue = *Self().queue;
    if (queue.sent.empty()) {
        return false;
    }
    const Message message = std::move(queue.sent.front());
    queue.sent.pop_front();
    Dispatch(lock, message);
    return true;
}

void DestroyWindowsOf(ThreadQueue& queue) {
    std::erase_if(TheRegistry().windows,
                  [&queue](const auto& entry) { return entry.second.queue.get() == &queue; });
    // Everything still queued was for those windows, and the waker's context
    // may be gone with the thread.
    for (const Message& m : queue.sent) {
        Complete(*m.send, 0);
    }
    queue.sent.clear();
    queue.posted.clear();
    queue.waker = nullptr;
    queue.wakerContext = nullptr;
}

}  // namespace hv::detail

using namespace hv::detail;

namespace {
constexpr UINT kLastRegisteredMessage = 0xFFFF;
}

HWND hvCreateWindowHandle(HV_WNDPROC proc, void* context) {
    if (proc == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    ThreadState& me = Self();
    std::lock_guard lock(TheCore().mutex);
    Registry& reg = TheRegistry();
    const uintptr_t id = reg.nextWindow;
    reg.nextWindow += 2;
    reg.windows.emplace(id, Window{proc, context, me.queue});
    return HwndOf(id);
}

void hvDestroyWindowHandle(HWND hwnd) {
    std::lock_guard lock(TheCore().mutex);
    auto& windows = TheRegistry().windows;
    const auto it = windows.find(IdOf(hwnd));
    if (it == windows.end()) {
        return;
    }
    const std::shared_ptr<ThreadQueue> queue = it->second.queue;
    windows.erase(it);
    DropMessagesFor(*queue, IdOf(hwnd));
}

void hvSetThreadWaker(HV_WAKEPROC wake, void* context) {
    ThreadQueue& queue = *Self().queue;
    std::lock_guard lock(TheCore().mutex);
    queue.waker = wake;
    queue.wakerContext = context;
    queue.wakePending = false;
    if (!queue.posted.empty() || !queue.sent.empty()) {
        hv::detail::Wake(queue);
    }
}

int hvDispatchPending(void) {
    ThreadQueue& queue = *Self().queue;
    std::unique_lock lock(TheCore().mutex);
    queue.wakePending = false;
    // Only what is queued now: a handler that posts to its own window must not
    // keep this call from returning to the event loop.
    const uint64_t limit = TheRegistry().nextSeq;
    int handled = 0;
    for (;;) {
        const bool havePosted = !queue.posted.empty() && queue.posted.front().seq < limit;
        const bool haveSent = !queue.sent.empty() && queue.sent.front().seq < limit;
        if (!havePosted && !haveSent) {
            break;
        }
        const bool takePosted =
            havePosted && (!haveSent || queue.posted.front().seq < queue.sent.front().seq);
        auto& from = takePosted ? queue.posted : queue.sent;
        const Message message = std::move(from.front());
        from.pop_front();
        Dispatch(lock, message);
        ++handled;
    }
    return handled;
}

BOOL IsWindow(HWND hwnd) {
    std::lock_guard lock(TheCore().mutex);
    return FindWindow(hwnd) != nullptr ? TRUE : FALSE;
}

BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    std::lock_guard lock(TheCore().mutex);
    const Window* window = FindWindow(hwnd);
    if (window == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    Enqueue(*window->queue, Message{0, IdOf(hwnd), msg, wParam, lParam, nullptr});
    return TRUE;
}

LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    ThreadState& me = Self();
    std::unique_lock lock(TheCore().mutex);
    const Window* window = FindWindow(hwnd);
    if (window == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (window->queue == me.queue) {
        const HV_WNDPROC proc = window->proc;
        void* const context = window->context;
        lock.unlock();
        return proc(context, hwnd, msg, wParam, lParam);
    }
    const auto record = std::make_shared<SendRecord>();
    Enqueue(*window->queue, Message{0, IdOf(hwnd), msg, wParam, lParam, record});
    while (!record->done) {
        if (!HandleOneSent(lock)) {
            TheCore().changed.wait(lock);
        }
    }
    return record->result;
}

UINT RegisterWindowMessageA(const char* name) {
    if (name == nullptr || *name == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string key(name);
    for (char& c : key) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    std::lock_guard lock(TheCore().mutex);
    Registry& reg = TheRegistry();
    if (const auto it = reg.messageNames.find(key); it != reg.messageNames.end()) {
        return it->second;
    }
    if (reg.nextMessage > kLastRegisteredMessage) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    const UINT number = reg.nextMessage++;
    reg.messageNames.emplace(std::move(key), number);
    return number;
}
