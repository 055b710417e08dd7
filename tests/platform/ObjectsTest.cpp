#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "winapi/UniqueHandle.h"
#include "winapi/winapi.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using hv::UniqueHandle;

UniqueHandle NewEvent(bool manualReset, bool set) {
    return UniqueHandle(CreateEventA(nullptr, manualReset, set, nullptr));
}

std::string UniqueName(const char* what) {
    return std::string("HalvoryTest-") + what + "-" + std::to_string(::getpid());
}

TEST(Events, NamedEventsAreSharedWhileAHandleIsOpen) {
    const std::string name = UniqueName("event");
    HANDLE first = CreateEventA(nullptr, TRUE, FALSE, name.c_str());
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    // The second creation's arguments do not matter: it is the same event.
    HANDLE second = CreateEventA(nullptr, FALSE, TRUE, name.c_str());
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    ASSERT_NE(second, first);
    EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(SetEvent(second));
    EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_OBJECT_0);

    EXPECT_TRUE(CloseHandle(first));
    HANDLE opened = OpenEventA(EVENT_ALL_ACCESS, FALSE, name.c_str());
    EXPECT_TRUE(CloseHandle(second));
    EXPECT_EQ(WaitForSingleObject(opened, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(CloseHandle(opened));
    // With the last handle gone, so is the name.
    EXPECT_EQ(OpenEventA(SYNCHRONIZE, FALSE, name.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

    // A name belongs to one kind of object.
    UniqueHandle mutex(CreateMutexA(nullptr, FALSE, name.c_str()));
    EXPECT_EQ(CreateEventA(nullptr, TRUE, FALSE, name.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(OpenEventA(SYNCHRONIZE, FALSE, name.c_str()), nullptr);
    EXPECT_FALSE(SetEvent(mutex.Get()));

    // An empty name is no name.
    const UniqueHandle a(CreateEventA(nullptr, TRUE, TRUE, ""));
    const UniqueHandle b(CreateEventA(nullptr, TRUE, FALSE, ""));
    EXPECT_EQ(WaitForSingleObject(b.Get(), 0), WAIT_TIMEOUT);
}

TEST(Events, ASetReleasesOneWaiterIfAutoResetAndEveryWaiterIfManual) {
    for (const bool manual : {false, true}) {
        SCOPED_TRACE(manual ? "manual reset" : "auto reset");
        const UniqueHandle event = NewEvent(manual, false);
        std::atomic<int> woken{0};
        std::vector<std::jthread> waiters;
        for (int i = 0; i < 3; ++i) {
            waiters.emplace_back(
                [&] { woken += WaitForSingleObject(event.Get(), 5000) == WAIT_OBJECT_0; });
        }
        const int perSet = manual ? 3 : 1;
        for (int released = perSet; released <= 3; released += perSet) {
            EXPECT_TRUE(SetEvent(event.Get()));
            for (const auto deadline = Clock::now() + 2s;
                 woken < released && Clock::now() < deadline;) {
                std::this_thread::sleep_for(1ms);
            }
            std::this_thread::sleep_for(20ms);
            EXPECT_EQ(woken, released);
        }
        EXPECT_EQ(WaitForSingleObject(event.Get(), 0), manual ? WAIT_OBJECT_0 : WAIT_TIMEOUT);
        EXPECT_TRUE(ResetEvent(event.Get()));
        EXPECT_EQ(WaitForSingleObject(event.Get(), 0), WAIT_TIMEOUT);
    }
}

TEST(Waits, AnyTakesTheLowestSignalledObjectAndAllTakesEveryObjectOrNone) {
    const UniqueHandle a = NewEvent(false, false), b = NewEvent(false, true),
                       c = NewEvent(false, true);
    const HANDLE handles[] = {a.Get(), b.Get(), c.Get()};
    EXPECT_EQ(WaitForMultipleObjects(3, handles, FALSE, 0), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(WaitForMultipleObjects(3, handles, FALSE, 0), WAIT_OBJECT_0 + 2);
    const auto start = Clock::now();
    EXPECT_EQ(WaitForMultipleObjects(3, handles, FALSE, 50), WAIT_TIMEOUT);
    EXPECT_GE(Clock::now() - start, 45ms);
    SetEvent(a.Get());
    EXPECT_EQ(WaitForMultipleObjects(3, handles, FALSE, 0), WAIT_OBJECT_0);

    SetEvent(a.Get());
    EXPECT_EQ(WaitForMultipleObjects(2, handles, TRUE, 50), WAIT_TIMEOUT);
    // The failed wait left the first event set.
    SetEvent(b.Get());
    EXPECT_EQ(WaitForMultipleObjects(2, handles, TRUE, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForMultipleObjects(2, handles, FALSE, 0), WAIT_TIMEOUT);
}

TEST(Waits, BadArgumentsFail) {
    const UniqueHandle event = NewEvent(true, true);
    HANDLE closed = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    EXPECT_TRUE(CloseHandle(closed));
    const std::vector<HANDLE> many(MAXIMUM_WAIT_OBJECTS + 1, event.Get());
    const HANDLE mixed[] = {event.Get(), closed};
    const struct {
        const char* name;
        DWORD count;
        const HANDLE* handles;
        BOOL all;
        DWORD result, error;
    } cases[] = {
        {"none", 0, many.data(), FALSE, WAIT_FAILED, ERROR_INVALID_PARAMETER},
        {"too many", MAXIMUM_WAIT_OBJECTS + 1, many.data(), FALSE, WAIT_FAILED,
         ERROR_INVALID_PARAMETER},
        {"as many as allowed", MAXIMUM_WAIT_OBJECTS, many.data(), FALSE, WAIT_OBJECT_0,
         ERROR_SUCCESS},
        {"a closed handle after a good one", 2, mixed, FALSE, WAIT_FAILED, ERROR_INVALID_HANDLE},
        // The same object twice cannot be taken "all at once"; for "any" it is harmless.
        {"one object twice, all", 2, many.data(), TRUE, WAIT_FAILED, ERROR_INVALID_PARAMETER},
    };
    for (const auto& c : cases) {
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(WaitForMultipleObjects(c.count, c.handles, c.all, 0), c.result) << c.name;
        EXPECT_EQ(GetLastError(), c.error) << c.name;
    }
    // Handles are closed once and never reused.
    EXPECT_FALSE(CloseHandle(closed));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_NE(NewEvent(false, false).Get(), closed);
}

TEST(Mutexes, OwnershipIsRecursiveAndBelongsToOneThread) {
    const UniqueHandle mutex(CreateMutexA(nullptr, TRUE, nullptr));
    EXPECT_EQ(WaitForSingleObject(mutex.Get(), 0), WAIT_OBJECT_0);
    std::thread([&] {
        EXPECT_EQ(WaitForSingleObject(mutex.Get(), 0), WAIT_TIMEOUT);
        EXPECT_FALSE(ReleaseMutex(mutex.Get()));
        EXPECT_EQ(GetLastError(), ERROR_NOT_OWNER);
    }).join();

    std::atomic<bool> released{false};
    std::thread waiter([&] {
        EXPECT_EQ(WaitForSingleObject(mutex.Get(), 5000), WAIT_OBJECT_0);
        EXPECT_TRUE(released);
        EXPECT_TRUE(ReleaseMutex(mutex.Get()));
    });
    EXPECT_TRUE(ReleaseMutex(mutex.Get()));
    std::this_thread::sleep_for(20ms);
    released = true;
    EXPECT_TRUE(ReleaseMutex(mutex.Get()));
    waiter.join();
    EXPECT_FALSE(ReleaseMutex(mutex.Get()));
}

TEST(Mutexes, ThreadEndingWhileOwningAbandonsIt) {
    const UniqueHandle set = NewEvent(true, true), unset = NewEvent(true, false);
    const UniqueHandle mutex(CreateMutexA(nullptr, FALSE, nullptr));
    for (const BOOL all : {FALSE, TRUE}) {
        SCOPED_TRACE(all ? "wait for all" : "wait for any");
        const UniqueHandle thread(CreateThread(
            nullptr, 0,
            [](void* m) -> DWORD { return WaitForSingleObject(static_cast<HANDLE>(m), 0); },
            mutex.Get(), 0, nullptr));
        ASSERT_EQ(WaitForSingleObject(thread.Get(), 5000), WAIT_OBJECT_0);
        const HANDLE handles[] = {all ? set.Get() : unset.Get(), mutex.Get()};
        EXPECT_EQ(WaitForMultipleObjects(2, handles, all, 0), WAIT_ABANDONED + 1);
        // Taken over by that wait: abandoned once only.
        EXPECT_EQ(WaitForSingleObject(mutex.Get(), 0), WAIT_OBJECT_0);
        EXPECT_TRUE(ReleaseMutex(mutex.Get()));
        EXPECT_TRUE(ReleaseMutex(mutex.Get()));
    }
}

// Runs this test binary again as another process that creates the named
// mutex; returns what GetLastError reports there.
DWORD ChildCreatesMutex(const std::string& name) {
    ::setenv("HV_TEST_MUTEX", name.c_str(), 1);
    std::string self = "/proc/self/exe",
                filter = "--gtest_filter=Mutexes.DISABLED_ChildCreatesNamedMutex",
                disabled = "--gtest_also_run_disabled_tests";
    char* argv[] = {self.data(), filter.data(), disabled.data(), nullptr};
    pid_t pid = 0;
    int status = 0;
    if (posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv, environ) != 0 ||
        waitpid(pid, &status, 0) != pid) {
        return WAIT_FAILED;
    }
    return WIFEXITED(status) ? static_cast<DWORD>(WEXITSTATUS(status)) : WAIT_FAILED;
}

TEST(Mutexes, DISABLED_ChildCreatesNamedMutex) {
    const char* name = std::getenv("HV_TEST_MUTEX");
    ASSERT_TRUE(name != nullptr && HANDLE{CreateMutexA(nullptr, TRUE, name)} != nullptr);
    std::exit(static_cast<int>(GetLastError()));
}

TEST(Mutexes, NamedMutexIsSeenByAnotherProcess) {
    const std::string name = UniqueName("instance");
    HANDLE mutex = CreateMutexA(nullptr, TRUE, name.c_str());
    HANDLE again = CreateMutexA(nullptr, TRUE, name.c_str());
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_TRUE(CloseHandle(mutex));
    // One handle is still open in this process.
    EXPECT_EQ(ChildCreatesMutex(name), ERROR_ALREADY_EXISTS);
    EXPECT_TRUE(CloseHandle(again));
    EXPECT_EQ(ChildCreatesMutex(name), ERROR_SUCCESS);
}

TEST(Threads, HandleIsSignalledWithTheExitCodeWhenTheRoutineReturns) {
    struct Gate {
        UniqueHandle go = NewEvent(true, false), done = NewEvent(true, false);
        std::atomic<DWORD> seenId{0};
    } gate;
    const auto routine = [](void* p) -> DWORD {
        auto* gate = static_cast<Gate*>(p);
        gate->seenId = GetCurrentThreadId();
        WaitForSingleObject(gate->go.Get(), INFINITE);
        SetEvent(gate->done.Get());
        return 77;
    };
    DWORD id = 0;
    const UniqueHandle thread(CreateThread(nullptr, 0, routine, &gate, 0, &id));
    DWORD exitCode = 0;
    EXPECT_TRUE(GetExitCodeThread(thread.Get(), &exitCode));
    EXPECT_EQ(exitCode, STILL_ACTIVE);
    EXPECT_EQ(WaitForSingleObject(thread.Get(), 0), WAIT_TIMEOUT);
    SetEvent(gate.go.Get());
    EXPECT_EQ(WaitForSingleObject(thread.Get(), 5000), WAIT_OBJECT_0);
    // An ended thread stays signalled.
    EXPECT_EQ(WaitForSingleObject(thread.Get(), 0), WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeThread(thread.Get(), &exitCode));
    EXPECT_EQ(exitCode, 77u);
    EXPECT_EQ(gate.seenId, id);

    // With every handle closed the thread still finishes alone.
    ResetEvent(gate.go.Get());
    ResetEvent(gate.done.Get());
    EXPECT_TRUE(CloseHandle(CreateThread(nullptr, 0, routine, &gate, 0, nullptr)));
    SetEvent(gate.go.Get());
    EXPECT_EQ(WaitForSingleObject(gate.done.Get(), 5000), WAIT_OBJECT_0);
}

TEST(Threads, LastErrorIdsAndTicks) {
    SetLastError(ERROR_ALREADY_EXISTS);
    const DWORD mainId = GetCurrentThreadId();
    std::thread([&] {
        EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
        SetLastError(ERROR_FILE_NOT_FOUND);
        EXPECT_NE(GetCurrentThreadId(), mainId);
    }).join();
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(GetCurrentThreadId(), mainId);

    const DWORD before = GetTickCount();
    Sleep(30);
    EXPECT_GE(GetTickCount() - before, 29u);
    EXPECT_LT(GetTickCount() - before, 2000u);
}

}  // namespace
