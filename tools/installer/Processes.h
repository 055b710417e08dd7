// Finding, starting and stopping the client from outside it.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>

namespace hv::installer {

using std::chrono::milliseconds;

// Whether any process other than this one runs `executable` (as /proc shows
// its program, also when the file has since been removed).
bool IsExecutableRunning(const std::filesystem::path& executable);

// Polls until no process runs `executable`; false when one still does after
// `timeout`.
bool WaitUntilExecutableGone(const std::filesystem::path& executable, milliseconds timeout);

// Starts `executable` without arguments and without a shell in `folder`, in a
// session of its own and with no descriptor of ours but the standard ones.
// -1 when it could not be started.
pid_t StartDetached(const std::filesystem::path& executable, const std::filesystem::path& folder);

// Whether process `pid` holds the flock on `lockFile` (the client's
// single-instance lock), as /proc/locks lists it.
bool HoldsLock(pid_t pid, const std::filesystem::path& lockFile);

enum class StartOutcome { Running, Exited, TimedOut };

// Waits until the child `pid` holds `lockFile`, or has ended, or `timeout`
// passed. An ended child is reaped.
StartOutcome WaitUntilHoldingLock(pid_t pid, const std::filesystem::path& lockFile,
                                  milliseconds timeout);

// Kills the child `pid` and reaps it.
void StopChild(pid_t pid);

}  // namespace hv::installer
