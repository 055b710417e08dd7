// The thirteen C exports the client resolves by name.
#include <type_traits>

#include "Archive.h"
#include "EngineImpl.h"
#include "winapi/Log.h"

#define HV_EXPORT extern "C" __attribute__((visibility("default")))

using hv::Engine;

namespace {

// Each call and its result. about names what the call is for and never
// carries a password or a session.
template <typename F>
int Logged(const char* call, const char* about, F&& fn) {
    about = about ? about : "(null)";
    hv::LogInfo("%s(%s)", call, about);
    const int result = fn();
    hv::LogInfo("%s(%s) = %d", call, about, result);
    return result;
}

}  // namespace

HV_EXPORT int hv_Init(HWND frame) {
    return Logged("hv_Init", "", [frame] { return Engine::Instance().Init(frame); });
}

HV_EXPORT int hv_Shutdown(void) {
    return Logged("hv_Shutdown", "", [] { return Engine::Instance().Shutdown(); });
}

HV_EXPORT int hv_LoginA(const char* user, const char* password, int) {
    return Logged("hv_LoginA", user,
                  [user, password] { return Engine::Instance().Login(user, password); });
}

HV_EXPORT int hv_CancelLogin(void) {
    return Logged("hv_CancelLogin", "", [] { return Engine::Instance().CancelLogin(); });
}

HV_EXPORT int hv_LogOut(void) {
    return Logged("hv_LogOut", "", [] { return Engine::Instance().LogOut(); });
}

// The address carries a single-use token: it stays out of the log.
HV_EXPORT int hv_GetSMSLoginURL(char* buffer) {
    return Logged("hv_GetSMSLoginURL", "",
                  [buffer] { return Engine::Instance().AccountUrl(buffer); });
}

HV_EXPORT int hv_DownloadA(const char* package, const char* title, int, char* buffer) {
    return Logged("hv_DownloadA", package, [package, title, buffer] {
        return Engine::Instance().Download(package, title, buffer);
    });
}

HV_EXPORT int hv_CancelA(const char* package) {
    return Logged("hv_CancelA", package, [package] { return Engine::Instance().Cancel(package); });
}

HV_EXPORT int hv_DeletePkgA(const char* package) {
    return Logged("hv_DeletePkgA", package,
                  [package] { return Engine::Instance().DeletePackage(package); });
}

HV_EXPORT int hv_PlayGameA(const char* title, const char*, const char*) {
    return Logged("hv_PlayGameA", title, [title] { return Engine::Instance().Play(title); });
}

// Games run as ordinary processes here; there is no window to raise.
HV_EXPORT int hv_SetGameForeground(void) {
    return Logged("hv_SetGameForeground", "", [] { return 0; });
}

HV_EXPORT int hv_UnzipInstallPkg(const char* packageFile, const char* destFolder) {
    return Logged("hv_UnzipInstallPkg", packageFile, [packageFile, destFolder] {
        if (!packageFile || !destFolder) {
            return 1;
        }
        return hv::ExtractTarFile(packageFile, destFolder, nullptr) ? 0 : 1;
    });
}

HV_EXPORT int hv_SetGamePath(const char* path) {
    return Logged("hv_SetGamePath", path, [path] { return Engine::Instance().SetGamePath(path); });
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
