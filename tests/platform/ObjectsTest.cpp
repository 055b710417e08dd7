#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "winapi/winapi.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Closes its handle, so a failing assertion does not leak it into later tests.
class Owned {
  public:
    explicit Owned(HANDLE h) : h_(h) {}
    ~Owned() {
        if (h_ != nullptr) {
            CloseHandle(h_);
        }
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    HANDLE get() const { return h_; }

  private:
    HANDLE h_;
};

bool eventually(const std::function<bool()>& condition) {
    const auto deadline = Clock::now() + 2s;
    while (!condition()) {
        if (Clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

std::string uniqueName(const char* what) {
    return std::string("HalvoryTest-") + what + "-" + std::to_string(::getpid());
}

TEST(Events, NamedEventsAreSharedWhileAHandleIsOpen) {
    const std::string name = uniqueName("event");
    HANDLE first = CreateEventA(nullptr, TRUE, FALSE, name.c_str());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);

    // The second creation's arguments do not matter: it is the same event.
    HANDLE second = CreateEventA(nullptr, FALSE, TRUE, name.c_str());
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_NE(second, first);
    EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(SetEvent(second));
    EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_OBJECT_0);

    HANDLE opened = OpenEventA(EVENT_ALL_ACCESS, FALSE, name.c_str());
    ASSERT_NE(opened, nullptr);
    EXPECT_TRUE(CloseHandle(first));
    EXPECT_TRUE(CloseHandle(second));
    EXPECT_EQ(WaitForSingleObject(opened, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(CloseHandle(opened));

    // With the last handle gone, so is the name.
    EXPECT_EQ(OpenEventA(SYNCHRONIZE, FALSE, name.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    Owned fresh(CreateEventA(nullptr, TRUE, FALSE, name.c_str()));
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    EXPECT_EQ(WaitForSingleObject(fresh.get(), 0), WAIT_TIMEOUT);

    // Unnamed events are independent of each other.
    Owned a(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    Owned b(CreateEventA(nullptr, TRUE, FALSE, ""));
    SetEvent(a.get());
    EXPECT_EQ(WaitForSingleObject(b.get(), 0), WAIT_TIMEOUT);
}

TEST(Events, ANameBelongsToOneKindOfObject) {
    const std::string name = uniqueName("kind");
    Owned mutex(CreateMutexA(nullptr, FALSE, name.c_str()));
    ASSERT_NE(mutex.get(), nullptr);
    EXPECT_EQ(CreateEventA(nullptr, TRUE, FALSE, name.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(OpenEventA(SYNCHRONIZE, FALSE, name.c_str()), nullptr);
    EXPECT_FALSE(SetEvent(mutex.get()));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

// Starts waiters on one event; each counts itself when its wait is satisfied.
struct Waiters {
    Waiters(HANDLE event, int count) {
        for (int i = 0; i < count; ++i) {
            threads.emplace_back([this, event] {
                if (WaitForSingleObject(event, 5000) == WAIT_OBJECT_0) {
                    ++woken;
                }
            });
        }
    }
    ~Waiters() {
        for (auto& t : threads) {
            t.join();
        }
    }
    std::atomic<int> woken{0};
    std::vector<std::thread> threads;
};

TEST(Events, AutoResetReleasesOneWaiterPerSet) {
    Owned event(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    Waiters waiters(event.get(), 3);
    for (int released = 1; released <= 3; ++released) {
        EXPECT_TRUE(SetEvent(event.get()));
        EXPECT_TRUE(eventually([&] { return waiters.woken == released; }));
        std::this_thread::sleep_for(20ms);
        EXPECT_EQ(waiters.woken, released);
    }
    EXPECT_EQ(WaitForSingleObject(event.get(), 0), WAIT_TIMEOUT);
}

TEST(Events, ManualResetReleasesEveryWaiterUntilReset) {
    Owned event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    {
        Waiters waiters(event.get(), 3);
        EXPECT_TRUE(SetEvent(event.get()));
        EXPECT_TRUE(eventually([&] { return waiters.woken == 3; }));
    }
    EXPECT_EQ(WaitForSingleObject(event.get(), 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ResetEvent(event.get()));
    EXPECT_EQ(WaitForSingleObject(event.get(), 0), WAIT_TIMEOUT);
}

TEST(Waits, AnyReportsTheLowestSignalledIndexAndConsumesOnlyIt) {
    Owned a(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    Owned b(CreateEventA(nullptr, FALSE, TRUE, nullptr));
    Owned c(CreateEventA(nullptr, FALSE, TRUE, nullptr));
    const HANDLE handles[] = {a.get(), b.get(), c.get()};
    EXPECT_EQ(WaitForMultipleObjects(3, handles, FALSE, 0), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(WaitForMultipleObjects(3, handles, FALSE, 0), WAIT_OBJECT_0 + 2);
    EXPECT_EQ(WaitForMultipleObjects(3, handles, FALSE, 0), WAIT_TIMEOUT);

    std::thread setter([&] {
        std::this_thread::sleep_for(20ms);
        SetEvent(a.get());
    });
    EXPECT_EQ(WaitForMultipleObjects(3, handles, FALSE, 5000), WAIT_OBJECT_0);
    setter.join();
}

TEST(Waits, AllTakesEveryObjectAtOnceOrNone) {
    Owned a(CreateEventA(nullptr, FALSE, TRUE, nullptr));
    Owned b(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    const HANDLE handles[] = {a.get(), b.get()};
    EXPECT_EQ(WaitForMultipleObjects(2, handles, TRUE, 0), WAIT_TIMEOUT);
    // The failed wait left the first event set.
    SetEvent(b.get());
    EXPECT_EQ(WaitForMultipleObjects(2, handles, TRUE, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(a.get(), 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(b.get(), 0), WAIT_TIMEOUT);

    std::atomic<bool> secondSet{false};
    std::thread setter([&] {
        SetEvent(a.get());
        std::this_thread::sleep_for(30ms);
        secondSet = true;
        SetEvent(b.get());
    });
    EXPECT_EQ(WaitForMultipleObjects(2, handles, TRUE, 5000), WAIT_OBJECT_0);
    EXPECT_TRUE(secondSet);
    setter.join();
}

TEST(Waits, TimeoutsAreHonoured) {
    Owned a(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    Owned b(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    const HANDLE handles[] = {a.get(), b.get()};
    auto timed = [](const std::function<DWORD()>& wait, DWORD expected) {
        const auto start = Clock::now();
        EXPECT_EQ(wait(), expected);
        return Clock::now() - start;
    };
    EXPECT_LT(timed([&] { return WaitForSingleObject(a.get(), 0); }, WAIT_TIMEOUT), 1s);
    auto single = timed([&] { return WaitForSingleObject(a.get(), 50); }, WAIT_TIMEOUT);
    EXPECT_GE(single, 45ms);
    EXPECT_LT(single, 2s);
    auto any = timed([&] { return WaitForMultipleObjects(2, handles, FALSE, 50); }, WAIT_TIMEOUT);
    EXPECT_GE(any, 45ms);
    EXPECT_LT(any, 2s);
    SetEvent(a.get());
    auto all = timed([&] { return WaitForMultipleObjects(2, handles, TRUE, 50); }, WAIT_TIMEOUT);
    EXPECT_GE(all, 45ms);
    EXPECT_LT(all, 2s);
}

TEST(Waits, BadArgumentsFail) {
    Owned event(CreateEventA(nullptr, TRUE, TRUE, nullptr));
    HANDLE closed = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    CloseHandle(closed);
    std::vector<HANDLE> many(MAXIMUM_WAIT_OBJECTS + 1, event.get());

    EXPECT_EQ(WaitForMultipleObjects(0, many.data(), FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS + 1, many.data(), FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(WaitForSingleObject(closed, INFINITE), WAIT_FAILED);
    const HANDLE mixed[] = {event.get(), closed};
    EXPECT_EQ(WaitForMultipleObjects(2, mixed, FALSE, INFINITE), WAIT_FAILED);
    // The same object twice cannot be taken "all at once"; for "any" it is harmless.
    EXPECT_EQ(WaitForMultipleObjects(2, many.data(), TRUE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS, many.data(), FALSE, 0), WAIT_OBJECT_0);
}

TEST(Handles, AreClosedOnceAndNeverReused) {
    EXPECT_FALSE(CloseHandle(nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    std::set<HANDLE> seen;
    for (int i = 0; i < 20; ++i) {
        HANDLE h = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        EXPECT_TRUE(seen.insert(h).second);
        EXPECT_TRUE(CloseHandle(h));
        EXPECT_FALSE(CloseHandle(h));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        EXPECT_FALSE(SetEvent(h));
    }
}

TEST(Mutexes, OwnershipIsRecursiveAndBelongsToOneThread) {
    Owned mutex(CreateMutexA(nullptr, TRUE, nullptr));
    ASSERT_NE(mutex.get(), nullptr);
    EXPECT_EQ(WaitForSingleObject(mutex.get(), 0), WAIT_OBJECT_0);

    std::thread([&] {
        EXPECT_EQ(WaitForSingleObject(mutex.get(), 0), WAIT_TIMEOUT);
        EXPECT_FALSE(ReleaseMutex(mutex.get()));
        EXPECT_EQ(GetLastError(), ERROR_NOT_OWNER);
    }).join();

    std::atomic<bool> released{false};
    std::thread waiter([&] {
        EXPECT_EQ(WaitForSingleObject(mutex.get(), 5000), WAIT_OBJECT_0);
        EXPECT_TRUE(released);
        EXPECT_TRUE(ReleaseMutex(mutex.get()));
    });
    EXPECT_TRUE(ReleaseMutex(mutex.get()));
    std::this_thread::sleep_for(20ms);
    released = true;
    EXPECT_TRUE(ReleaseMutex(mutex.get()));
    waiter.join();
    EXPECT_FALSE(ReleaseMutex(mutex.get()));
    EXPECT_EQ(GetLastError(), ERROR_NOT_OWNER);
    EXPECT_EQ(WaitForSingleObject(mutex.get(), 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(mutex.get()));
}

TEST(Mutexes, ThreadEndingWhileOwningAbandonsIt) {
    Owned mutex(CreateMutexA(nullptr, FALSE, nullptr));
    Owned thread(CreateThread(
        nullptr, 0, [](void* m) -> DWORD { return WaitForSingleObject(static_cast<HANDLE>(m), 0); },
        mutex.get(), 0, nullptr));
    ASSERT_EQ(WaitForSingleObject(thread.get(), 5000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(mutex.get(), 0), WAIT_ABANDONED);
    EXPECT_TRUE(ReleaseMutex(mutex.get()));
    EXPECT_EQ(WaitForSingleObject(mutex.get(), 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(mutex.get()));
}

// Runs this test binary again as another process that creates the named
// mutex and checks what GetLastError reports.
int childCreatesMutex(const std::string& name, DWORD expectedError) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        env.emplace_back(*e);
    }
    env.push_back("HV_TEST_MUTEX=" + name);
    env.push_back("HV_TEST_MUTEX_ERROR=" + std::to_string(expectedError));
    std::vector<char*> envp;
    for (auto& e : env) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    std::string self = "/proc/self/exe";
    std::string filter = "--gtest_filter=Mutexes.DISABLED_ChildCreatesNamedMutex";
    std::string disabled = "--gtest_also_run_disabled_tests";
    std::string brief = "--gtest_brief=1";
    char* argv[] = {self.data(), filter.data(), disabled.data(), brief.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv, envp.data()) != 0) {
        return -1;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Mutexes, DISABLED_ChildCreatesNamedMutex) {
    const char* name = std::getenv("HV_TEST_MUTEX");
    const char* expected = std::getenv("HV_TEST_MUTEX_ERROR");
    ASSERT_NE(name, nullptr);
    ASSERT_NE(expected, nullptr);
    Owned mutex(CreateMutexA(nullptr, TRUE, name));
    ASSERT_NE(mutex.get(), nullptr);
    EXPECT_EQ(GetLastError(), std::stoul(expected));
}

TEST(Mutexes, NamedMutexIsSeenByAnotherProcess) {
    const std::string name = uniqueName("instance");
    HANDLE mutex = CreateMutexA(nullptr, TRUE, name.c_str());
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    HANDLE again = CreateMutexA(nullptr, TRUE, name.c_str());
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(childCreatesMutex(name, ERROR_ALREADY_EXISTS), 0);
    EXPECT_TRUE(CloseHandle(mutex));
    // One handle is still open in this process.
    EXPECT_EQ(childCreatesMutex(name, ERROR_ALREADY_EXISTS), 0);
    EXPECT_TRUE(CloseHandle(again));
    EXPECT_EQ(childCreatesMutex(name, ERROR_SUCCESS), 0);
}

struct Gate {
    HANDLE go;
    HANDLE done;
    std::atomic<DWORD> seenId{0};
    std::atomic<bool> finished{false};
};

DWORD gatedRoutine(void* p) {
    auto* gate = static_cast<Gate*>(p);
    gate->seenId = GetCurrentThreadId();
    WaitForSingleObject(gate->go, INFINITE);
    gate->finished = true;
    if (gate->done != nullptr) {
        SetEvent(gate->done);
    }
    return 77;
}

TEST(Threads, HandleIsSignalledWithTheExitCodeWhenTheRoutineReturns) {
    Owned go(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    Gate gate{go.get(), nullptr};
    DWORD id = 0;
    Owned thread(CreateThread(nullptr, 0, &gatedRoutine, &gate, 0, &id));
    ASSERT_NE(thread.get(), nullptr);
    EXPECT_NE(id, 0u);
    EXPECT_NE(id, GetCurrentThreadId());

    DWORD exitCode = 0;
    EXPECT_TRUE(GetExitCodeThread(thread.get(), &exitCode));
    EXPECT_EQ(exitCode, STILL_ACTIVE);
    EXPECT_EQ(WaitForSingleObject(thread.get(), 0), WAIT_TIMEOUT);

    SetEvent(go.get());
    EXPECT_EQ(WaitForSingleObject(thread.get(), 5000), WAIT_OBJECT_0);
    // An ended thread stays signalled.
    EXPECT_EQ(WaitForSingleObject(thread.get(), 0), WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeThread(thread.get(), &exitCode));
    EXPECT_EQ(exitCode, 77u);
    EXPECT_EQ(gate.seenId, id);
    EXPECT_FALSE(GetExitCodeThread(go.get(), &exitCode));
}

TEST(Threads, ClosingEveryHandleLetsTheThreadFinishAlone) {
    Owned go(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    Owned done(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    Gate gate{go.get(), done.get()};
    HANDLE thread = CreateThread(nullptr, 0, &gatedRoutine, &gate, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_TRUE(CloseHandle(thread));
    SetEvent(go.get());
    EXPECT_EQ(WaitForSingleObject(done.get(), 5000), WAIT_OBJECT_0);
    EXPECT_TRUE(gate.finished);
}

TEST(Threads, LastErrorAndIdsArePerThread) {
    SetLastError(ERROR_ALREADY_EXISTS);
    const DWORD mainId = GetCurrentThreadId();
    EXPECT_EQ(GetCurrentThreadId(), mainId);
    std::thread([&] {
        EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
        SetLastError(ERROR_FILE_NOT_FOUND);
        EXPECT_NE(GetCurrentThreadId(), mainId);
    }).join();
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
}

TEST(Threads, TickCountFollowsSleep) {
    const DWORD before = GetTickCount();
    Sleep(30);
    const DWORD elapsed = GetTickCount() - before;
    EXPECT_GE(elapsed, 29u);
    EXPECT_LT(elapsed, 2000u);
}

}  // namespace
