// Placeholder engine: the exports with their real signatures and no service
// behind them, so the client can start, fail to log in and shut down. The
// real engine replaces this file.
#include <atomic>
#include <type_traits>

#include "halvory/engine.h"

#define HV_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
std::atomic<HWND> g_frame{nullptr};
}

HV_EXPORT int hv_Init(HWND frame) {
    g_frame.store(frame);
    return 0;
}

HV_EXPORT int hv_Shutdown(void) {
    g_frame.store(nullptr);
    return 0;
}

HV_EXPORT int hv_LoginA(const char*, const char*, int) {
    return HV_LOGIN_UNREACHABLE;
}

HV_EXPORT int hv_CancelLogin(void) {
    return 0;
}

HV_EXPORT int hv_LogOut(void) {
    return 0;
}

HV_EXPORT int hv_GetSMSLoginURL(char* buffer) {
    if (buffer)
        buffer[0] = '\0';
    return 0;
}

HV_EXPORT int hv_DownloadA(const char*, const char*, int, char*) {
    return HV_DL_NOT_AVAILABLE;
}

HV_EXPORT int hv_CancelA(const char*) {
    return 0;
}

HV_EXPORT int hv_DeletePkgA(const char*) {
    return 0;
}

// Nothing to launch.
HV_EXPORT int hv_PlayGameA(const char*, const char*, const char*) {
    return 1;
}

HV_EXPORT int hv_SetGameForeground(void) {
    return 0;
}

HV_EXPORT int hv_UnzipInstallPkg(const char*, const char*) {
    return 0;
}

HV_EXPORT int hv_SetGamePath(const char*) {
    return 0;
}

static_assert(std::is_same_v<decltype(&hv_Init), PFN_hv_Init> &&
                  std::is_same_v<decltype(&hv_Shutdown), PFN_hv_Shutdown> &&
                  std::is_same_v<decltype(&hv_LoginA), PFN_hv_LoginA> &&
                  std::is_same_v<decltype(&hv_CancelLogin), PFN_hv_CancelLogin> &&
                  std::is_same_v<decltype(&hv_LogOut), PFN_hv_LogOut> &&
                  std::is_same_v<decltype(&hv_GetSMSLoginURL), PFN_hv_GetSMSLoginURL> &&
                  std::is_same_v<decltype(&hv_DownloadA), PFN_hv_DownloadA> &&
                  std::is_same_v<decltype(&hv_CancelA), PFN_hv_CancelA> &&
                  std::is_same_v<decltype(&hv_DeletePkgA), PFN_hv_DeletePkgA> &&
                  std::is_same_v<decltype(&hv_PlayGameA), PFN_hv_PlayGameA> &&
                  std::is_same_v<decltype(&hv_SetGameForeground), PFN_hv_SetGameForeground> &&
                  std::is_same_v<decltype(&hv_UnzipInstallPkg), PFN_hv_UnzipInstallPkg> &&
                  std::is_same_v<decltype(&hv_SetGamePath), PFN_hv_SetGamePath>,
              "exports match the contract");
