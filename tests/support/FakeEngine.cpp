#include "FakeEngine.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <iterator>
#include <map>
#include <mutex>
#include <stdexcept>
#include <utility>

namespace fake {
namespace {

const char* const kExportNames[] = {HV_EXPORT_NAMES};

struct ExportState {
    int result = 0;
    std::function<int(const Call&)> hook;
    std::optional<std::string> bufferText;
};

struct State {
    std::mutex mutex;
    std::condition_variable called;
    std::vector<Call> calls;
    std::map<std::string, ExportState> exports;
    HWND frame = nullptr;
};

State& TheState() {
    static State state;
    return state;
}

void CheckExportName(const std::string& name) {
    if (std::find(std::begin(kExportNames), std::end(kExportNames), name) == std::end(kExportNames))
        throw std::invalid_argument("not an engine export: " + name);
}

using Args = std::vector<std::optional<std::string>>;

std::optional<std::string> Text(const char* text) {
    return text ? std::optional<std::string>(text) : std::nullopt;
}

std::optional<std::string> Number(long long value) {
    return std::to_string(value);
}

// Records the call, then runs the hook (if any) outside the lock so that it
// may block, call back into the fake or send to the frame.
int Record(const char* name, Args args, char* buffer = nullptr) {
    State& s = TheState();
    Call call{name, std::move(args), GetCurrentThreadId()};
    ExportState state;
    {
        std::lock_guard lock(s.mutex);
        s.calls.push_back(call);
        state = s.exports[name];
    }
    s.called.notify_all();
    const int result = state.hook ? state.hook(call) : state.result;
    if (buffer) {
        std::optional<std::string> text;
        {
            std::lock_guard lock(s.mutex);
            text = s.exports[name].bufferText;
        }
        if (text) {
            const size_t length = std::min<size_t>(text->size(), HV_BUFFER_SIZE - 1);
            std::memcpy(buffer, text->data(), length);
            buffer[length] = '\0';
        }
    }
    return result;
}

}  // namespace

void Reset() {
    State& s = TheState();
    std::lock_guard lock(s.mutex);
    s.calls.clear();
    s.exports.clear();
    s.frame = nullptr;
}

std::vector<Call> Calls() {
    State& s = TheState();
    std::lock_guard lock(s.mutex);
    return s.calls;
}

std::vector<Call> CallsTo(const std::string& exportName) {
    std::vector<Call> calls = Calls();
    std::erase_if(calls, [&](const Call& call) { return call.name != exportName; });
    return calls;
}

std::vector<std::string> CallNames() {
    std::vector<std::string> names;
    for (const Call& call : Calls())
        names.push_back(call.name);
    return names;
}

bool WaitForCalls(const std::string& exportName, size_t count, std::chrono::milliseconds timeout) {
    State& s = TheState();
    std::unique_lock lock(s.mutex);
    return s.called.wait_for(lock, timeout, [&] {
        return static_cast<size_t>(std::ranges::count(s.calls, exportName, &Call::name)) >= count;
    });
}

void SetResult(const std::string& exportName, int result) {
    CheckExportName(exportName);
    State& s = TheState();
    std::lock_guard lock(s.mutex);
    s.exports[exportName].result = result;
}

void SetHook(const std::string& exportName, std::function<int(const Call&)> hook) {
    CheckExportName(exportName);
    State& s = TheState();
    std::lock_guard lock(s.mutex);
    s.exports[exportName].hook = std::move(hook);
}

void SetBufferText(const std::string& exportName, const std::string& text) {
    if (exportName != "hv_GetSMSLoginURL" && exportName != "hv_DownloadA")
        throw std::invalid_argument("export has no text buffer: " + exportName);
    State& s = TheState();
    std::lock_guard lock(s.mutex);
    s.exports[exportName].bufferText = text;
}

HWND FrameWindow() {
    State& s = TheState();
    std::lock_guard lock(s.mutex);
    return s.frame;
}

std::future<LRESULT> SendTextFromThread(UINT msg, WPARAM wParam, std::string lParamText) {
    const HWND frame = FrameWindow();
    return std::async(std::launch::async, [=, text = std::move(lParamText)] {
        return SendMessageA(frame, msg, wParam, reinterpret_cast<LPARAM>(text.c_str()));
    });
}

std::string LibraryPath() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&LibraryPath), &info) || !info.dli_fname)
        return {};
    char resolved[PATH_MAX];
    return realpath(info.dli_fname, resolved) ? resolved : info.dli_fname;
}

}  // namespace fake

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

using fake::Number;
using fake::Text;

FAKE_EXPORT int hv_Init(HWND frame) {
    {
        fake::State& s = fake::TheState();
        std::lock_guard lock(s.mutex);
        s.frame = frame;
    }
    return fake::Record("hv_Init",
                        {Number(static_cast<long long>(reinterpret_cast<uintptr_t>(frame)))});
}

FAKE_EXPORT int hv_Shutdown(void) {
    return fake::Record("hv_Shutdown", {});
}

FAKE_EXPORT int hv_LoginA(const char* user, const char* password, int flag) {
    return fake::Record("hv_LoginA", {Text(user), Text(password), Number(flag)});
}

FAKE_EXPORT int hv_CancelLogin(void) {
    return fake::Record("hv_CancelLogin", {});
}

FAKE_EXPORT int hv_LogOut(void) {
    return fake::Record("hv_LogOut", {});
}

FAKE_EXPORT int hv_GetSMSLoginURL(char* buffer) {
    return fake::Record("hv_GetSMSLoginURL", {}, buffer);
}

FAKE_EXPORT int hv_DownloadA(const char* package, const char* title, int flag, char* buffer) {
    return fake::Record("hv_DownloadA", {Text(package), Text(title), Number(flag)}, buffer);
}

FAKE_EXPORT int hv_CancelA(const char* package) {
    return fake::Record("hv_CancelA", {Text(package)});
}

FAKE_EXPORT int hv_DeletePkgA(const char* package) {
    return fake::Record("hv_DeletePkgA", {Text(package)});
}

FAKE_EXPORT int hv_PlayGameA(const char* title, const char* user, const char* password) {
    return fake::Record("hv_PlayGameA", {Text(title), Text(user), Text(password)});
}

FAKE_EXPORT int hv_SetGameForeground(void) {
    return fake::Record("hv_SetGameForeground", {});
}

FAKE_EXPORT int hv_UnzipInstallPkg(const char* packageFile, const char* destFolder) {
    return fake::Record("hv_UnzipInstallPkg", {Text(packageFile), Text(destFolder)});
}

// Left out of one build so that the loader's missing-export path can be tested.
#ifndef FAKE_ENGINE_WITHOUT_SET_GAME_PATH
FAKE_EXPORT int hv_SetGamePath(const char* path) {
    return fake::Record("hv_SetGamePath", {Text(path)});
}
#endif
