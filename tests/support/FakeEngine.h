// A stand-in for the engine library: exports the thirteen engine functions,
// records every call and lets a test choose results, run code inside a call
// and talk to the frame window as the engine does. Tests link this library
// and the client loads the same file, so both see one instance.
#pragma once

#include <chrono>
#include <functional>
#include <future>
#include <optional>
#include <string>
#include <vector>

#include "halvory/engine.h"

#define FAKE_API __attribute__((visibility("default")))

namespace fake {

struct Call {
    std::string name;  // the export, e.g. "hv_LoginA"
    // Text arguments as given (nullopt for a null pointer), numbers and
    // handles in decimal; text buffers are left out.
    std::vector<std::optional<std::string>> args;
    DWORD threadId = 0;  // GetCurrentThreadId() of the caller
};

// Forgets calls, results, hooks, buffer texts and the frame window.
FAKE_API void Reset();

FAKE_API std::vector<Call> Calls();
FAKE_API std::vector<Call> CallsTo(const std::string& exportName);
FAKE_API std::vector<std::string> CallNames();
// Blocks until at least count calls to the export have been recorded.
FAKE_API bool WaitForCalls(const std::string& exportName, size_t count,
                           std::chrono::milliseconds timeout);

// The following throw std::invalid_argument for a name that is not an export.
// Result of the export when it has no hook (default 0).
FAKE_API void SetResult(const std::string& exportName, int result);
// Runs on the calling thread, inside the export, with no lock of the fake
// held; its result is the export's result. An empty function removes it.
FAKE_API void SetHook(const std::string& exportName, std::function<int(const Call&)> hook);
// Written into the caller's buffer (at most HV_BUFFER_SIZE - 1 characters and
// a NUL) as the export returns; hv_GetSMSLoginURL and hv_DownloadA only.
FAKE_API void SetBufferText(const std::string& exportName, const std::string& text);

// The window last given to hv_Init.
FAKE_API HWND FrameWindow();

// Sends to the frame window from a new thread, as an engine thread would
// while the window's thread serves it. The text stays valid for the call.
// Keep the future until it is ready: destroying it waits.
FAKE_API std::future<LRESULT> SendTextFromThread(UINT msg, WPARAM wParam, std::string lParamText);

// Full path of this library as loaded, for the client to load the same file.
FAKE_API std::string LibraryPath();

}  // namespace fake
