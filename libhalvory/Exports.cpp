// The thirteen C exports the client resolves by name.
#include <type_traits>

#include "Archive.h"
#include "EngineImpl.h"

#define HV_EXPORT extern "C" __attribute__((visibility("default")))

using hv::Engine;

HV_EXPORT int hv_Init(HWND frame) {
    return Engine::Instance().Init(frame);
}

HV_EXPORT int hv_Shutdown(void) {
    return Engine::Instance().Shutdown();
}

HV_EXPORT int hv_LoginA(const char* user, const char* password, int) {
    return Engine::Instance().Login(user, password);
}

HV_EXPORT int hv_CancelLogin(void) {
    return Engine::Instance().CancelLogin();
}

HV_EXPORT int hv_LogOut(void) {
    return Engine::Instance().LogOut();
}

HV_EXPORT int hv_GetSMSLoginURL(char* buffer) {
    return Engine::Instance().AccountUrl(buffer);
}

HV_EXPORT int hv_DownloadA(const char* package, const char* title, int, char* buffer) {
    return Engine::Instance().Download(package, title, buffer);
}

HV_EXPORT int hv_CancelA(const char* package) {
    return Engine::Instance().Cancel(package);
}

HV_EXPORT int hv_DeletePkgA(const char* package) {
    return Engine::Instance().DeletePackage(package);
}

HV_EXPORT int hv_PlayGameA(const char* title, const char*, const char*) {
    return Engine::Instance().Play(title);
}

// Games run as ordinary processes here; there is no window to raise.
HV_EXPORT int hv_SetGameForeground(void) {
    return 0;
}

HV_EXPORT int hv_UnzipInstallPkg(const char* packageFile, const char* destFolder) {
    if (!packageFile || !destFolder) {
        return 1;
    }
    return hv::ExtractTarFile(packageFile, destFolder, nullptr) ? 0 : 1;
}

HV_EXPORT int hv_SetGamePath(const char* path) {
    return Engine::Instance().SetGamePath(path);
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
