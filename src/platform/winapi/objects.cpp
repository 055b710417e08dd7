#include "internal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

#include "LockPath.h"

namespace hv::detail {

namespace {

enum class Kind { Event, Mutex, Thread };

// Every member is guarded by the core lock.
struct Object {
    explicit Object(Kind k) : kind(k) {}
    virtual ~Object() = default;
    virtual bool Signalled(DWORD threadId) const = 0;
    // Takes a signalled object for the wait it satisfies; true if that wait
    // inherits an abandoned mutex.
    virtual bool Acquire(ThreadState&) { return false; }

    const Kind kind;
    std::string name;
    int openHandles = 0;
};

struct Event final : Object {
    Event(bool manualReset, bool initialState)
        : Object(Kind::Event), manual(manualReset), set(initialState) {}
    bool Signalled(DWORD) const override { return set; }
    bool Acquire(ThreadState&) override {
        if (!manual) {
            set = false;
        }
        return false;
    }

    const bool manual;
    bool set;
};

struct Mutex final : Object {
    Mutex() : Object(Kind::Mutex) {}
    ~Mutex() override {
        if (lockFile >= 0) {
            ::close(lockFile);
        }
    }
    bool Signalled(DWORD threadId) const override { return owner == 0 || owner == threadId; }
    bool Acquire(ThreadState& thread) override {
        owner = thread.id;
        ++depth;
        thread.mayOwnMutex = true;
        const bool wasAbandoned = abandoned;
        abandoned = false;
        return wasAbandoned;
    }

    DWORD owner = 0;
    unsigned depth = 0;
    bool abandoned = false;
    int lockFile = -1;
};

struct ThreadObject final : Object {
    ThreadObject() : Object(Kind::Thread) {}
    bool Signalled(DWORD) const override { return ended; }

    bool ended = false;
    DWORD exitCode = STILL_ACTIVE;
};

struct Table {
    std::unordered_map<uintptr_t, std::shared_ptr<Object>> handles;
    std::unordered_map<std::string, std::shared_ptr<Object>> names;
    // Multiples of four from a counter, as Windows hands out: never null,
    // never INVALID_HANDLE_VALUE, never reused.
    uintptr_t nextHandle = 4;
};

Table& TheTable() {
    static Table* instance = new Table;
    return *instance;
}

HANDLE AddHandle(const std::shared_ptr<Object>& object) {
    Table& t = TheTable();
    const uintptr_t value = t.nextHandle;
    t.nextHandle += 4;
    t.handles.emplace(value, object);
    ++object->openHandles;
    return reinterpret_cast<HANDLE>(value);
}

uintptr_t IdOf(HANDLE handle) {
    return reinterpret_cast<uintptr_t>(handle);
}

std::shared_ptr<Object> Lookup(HANDLE handle) {
    const auto& handles = TheTable().handles;
    const auto it = handles.find(IdOf(handle));
    return it == handles.end() ? nullptr : it->second;
}

template <class T>
T* LookupAs(HANDLE handle, Kind kind) {
    const auto& handles = TheTable().handles;
    const auto it = handles.find(IdOf(handle));
    if (it == handles.end() || it->second->kind != kind) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return static_cast<T*>(it->second.get());
}

bool HasName(const char* name) {
    return name != nullptr && *name != '\0';
}

// A handle to an existing object of that name, or null with the last error
// set if there is none (ERROR_FILE_NOT_FOUND) or it is of another kind.
HANDLE OpenExisting(const char* name, Kind kind) {
    const auto& names = TheTable().names;
    const auto it = names.find(name);
    if (it == names.end()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    if (it->second->kind != kind) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return AddHandle(it->second);
}

HANDLE AddNamed(const std::shared_ptr<Object>& object, const char* name) {
    if (HasName(name)) {
        object->name = name;
        TheTable().names.emplace(object->name, object);
    }
    return AddHandle(object);
}

// Named mutexes also hold an exclusive lock on a per-user file, so that a
// second process creating the same name learns that it exists (the
// single-instance check). Returns -1 if another process holds it.
int LockFileFor(const std::string& name, bool& heldElsewhere) {
    heldElsewhere = false;
    const std::string path = hv::NamedLockPath(name);
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        return -1;  // no shared folder: the mutex still works within the process
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        heldElsewhere = true;
        ::close(fd);
        return -1;
    }
    return fd;
}

using Clock = std::chrono::steady_clock;

DWORD Wait(DWORD count, const HANDLE* handles, bool waitAll, DWORD milliseconds, bool handleSent) {
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || handles == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    ThreadState& me = Self();
    std::unique_lock lock(TheCore().mutex);
    // Copies, so that a handle closed during the wait leaves the object alive.
    std::vector<std::shared_ptr<Object>> objects;
    objects.reserve(count);
    for (DWORD i = 0; i < count; ++i) {
        auto object = Lookup(handles[i]);
        if (!object) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        if (waitAll) {
            for (const auto& earlier : objects) {
                if (earlier == object) {
                    SetLastError(ERROR_INVALID_PARAMETER);
                    return WAIT_FAILED;
                }
            }
        }
        objects.push_back(std::move(object));
    }

    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        if (waitAll) {
            bool allSignalled = true;
            for (const auto& object : objects) {
                allSignalled = allSignalled && object->Signalled(me.id);
            }
            if (allSignalled) {
                DWORD result = WAIT_OBJECT_0;
                for (DWORD i = 0; i < count; ++i) {
                    if (objects[i]->Acquire(me)) {
                        result = WAIT_ABANDONED + i;
                    }
                }
                return result;
            }
        } else {
            for (DWORD i = 0; i < count; ++i) {
                if (objects[i]->Signalled(me.id)) {
                    return (objects[i]->Acquire(me) ? WAIT_ABANDONED : WAIT_OBJECT_0) + i;
                }
            }
        }
        if (handleSent && HandleOneSent(lock)) {
            continue;
        }
        if (milliseconds == INFINITE) {
            TheCore().changed.wait(lock);
        } else if (Clock::now() >= deadline) {
            return WAIT_TIMEOUT;
        } else {
            TheCore().changed.wait_until(lock, deadline);
        }
    }
}

}  // namespace

void AbandonMutexesOf(DWORD threadId) {
    bool any = false;
    for (const auto& entry : TheTable().handles) {
        if (entry.second->kind != Kind::Mutex) {
            continue;
        }
        auto& mutex = static_cast<Mutex&>(*entry.second);
        if (mutex.owner == threadId) {
            mutex.owner = 0;
            mutex.depth = 0;
            mutex.abandoned = true;
            any = true;
        }
    }
    if (any) {
        TheCore().changed.notify_all();
    }
}

}  // namespace hv::detail

using namespace hv::detail;

namespace {
constexpr DWORD kCreateSuspended = 0x00000004;
}

HANDLE CreateEventA(void*, BOOL manualReset, BOOL initialState, const char* name) {
    std::lock_guard lock(TheCore().mutex);
    if (HasName(name) && TheTable().names.count(name) != 0) {
        HANDLE existing = OpenExisting(name, Kind::Event);
        if (existing != nullptr) {
            SetLastError(ERROR_ALREADY_EXISTS);
        }
        return existing;
    }
    SetLastError(ERROR_SUCCESS);
    return AddNamed(std::make_shared<Event>(manualReset != FALSE, initialState != FALSE), name);
}

HANDLE OpenEventA(DWORD, BOOL, const char* name) {
    if (!HasName(name)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::lock_guard lock(TheCore().mutex);
    return OpenExisting(name, Kind::Event);
}

BOOL SetEvent(HANDLE event) {
    std::lock_guard lock(TheCore().mutex);
    auto* e = LookupAs<Event>(event, Kind::Event);
    if (e == nullptr) {
        return FALSE;
    }
    e->set = true;
    TheCore().changed.notify_all();
    return TRUE;
}

BOOL ResetEvent(HANDLE event) {
    std::lock_guard lock(TheCore().mutex);
    auto* e = LookupAs<Event>(event, Kind::Event);
    if (e == nullptr) {
        return FALSE;
    }
    e->set = false;
    return TRUE;
}

HANDLE CreateMutexA(void*, BOOL initialOwner, const char* name) {
    ThreadState& me = Self();
    std::lock_guard lock(TheCore().mutex);
    if (HasName(name) && TheTable().names.count(name) != 0) {
        HANDLE existing = OpenExisting(name, Kind::Mutex);
        if (existing != nullptr) {
            SetLastError(ERROR_ALREADY_EXISTS);
        }
        return existing;
    }
    auto mutex = std::make_shared<Mutex>();
    bool heldElsewhere = false;
    if (HasName(name)) {
        mutex->lockFile = LockFileFor(name, heldElsewhere);
    }
    // Ownership goes only to the creator; a process that finds the name in
    // use elsewhere gets a stand-in it does not own.
    if (initialOwner != FALSE && !heldElsewhere) {
        mutex->Acquire(me);
    }
    SetLastError(heldElsewhere ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return AddNamed(mutex, name);
}

BOOL ReleaseMutex(HANDLE mutex) {
    const DWORD me = GetCurrentThreadId();
    std::lock_guard lock(TheCore().mutex);
    auto* m = LookupAs<Mutex>(mutex, Kind::Mutex);
    if (m == nullptr) {
        return FALSE;
    }
    if (m->owner != me || m->depth == 0) {
        SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    if (--m->depth == 0) {
        m->owner = 0;
        TheCore().changed.notify_all();
    }
    return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
    std::shared_ptr<Object> object;  // released after the lock
    std::lock_guard lock(TheCore().mutex);
    Table& t = TheTable();
    const auto it = t.handles.find(IdOf(handle));
    if (it == t.handles.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    object = std::move(it->second);
    t.handles.erase(it);
    if (--object->openHandles == 0 && !object->name.empty()) {
        t.names.erase(object->name);
    }
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    return Wait(1, &handle, false, milliseconds, false);
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
    return Wait(count, handles, waitAll != FALSE, milliseconds, false);
}

DWORD hvWaitHandlingSent(DWORD count, const HANDLE* handles, DWORD milliseconds) {
    return Wait(count, handles, false, milliseconds, true);
}

HANDLE CreateThread(void*, size_t, LPTHREAD_START_ROUTINE start, void* parameter, DWORD flags,
                    DWORD* threadId) {
    if (start == nullptr || (flags & kCreateSuspended) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // The thread keeps its own reference: closing every handle must not free
    // what it signals when it ends.
    auto object = std::make_shared<ThreadObject>();
    const DWORD id = AllocateThreadId();
    if (threadId != nullptr) {
        *threadId = id;
    }
    try {
        std::thread([object, start, parameter, id] {
            AdoptThreadId(id);
            const DWORD exitCode = start(parameter);
            EndCurrentThread();
            std::lock_guard lock(TheCore().mutex);
            object->ended = true;
            object->exitCode = exitCode;
            TheCore().changed.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    std::lock_guard lock(TheCore().mutex);
    return AddHandle(object);
}

BOOL GetExitCodeThread(HANDLE thread, DWORD* exitCode) {
    std::lock_guard lock(TheCore().mutex);
    auto* t = LookupAs<ThreadObject>(thread, Kind::Thread);
    if (t == nullptr) {
        return FALSE;
    }
    if (exitCode == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *exitCode = t->ended ? t->exitCode : STILL_ACTIVE;
    return TRUE;
}
