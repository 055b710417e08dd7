// An engine for tests that run the real client as a process: every call is
// appended as one line ("name arg arg ...") to the file named by
// HV_RECORD_FILE, so the test can read what the client did from outside.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "halvory/engine.h"

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace {

void Record(std::string line) {
    const char* file = std::getenv("HV_RECORD_FILE");
    if (!file) {
        return;
    }
    line += '\n';
    const int fd = open(file, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd >= 0) {
        (void)!write(fd, line.data(), line.size());
        close(fd);
    }
}

std::string Text(const char* text) {
    return text ? text : "(null)";
}

}  // namespace

EXPORT int hv_Init(HWND) {
    Record("hv_Init");
    return 0;
}
EXPORT int hv_Shutdown() {
    Record("hv_Shutdown");
    return 0;
}
EXPORT int hv_LoginA(const char* user, const char* password, int flag) {
    Record("hv_LoginA [" + Text(user) + "] [" + Text(password) + "] " + std::to_string(flag));
    return HV_LOGIN_UNREACHABLE;
}
EXPORT int hv_CancelLogin() {
    Record("hv_CancelLogin");
    return 0;
}
EXPORT int hv_LogOut() {
    Record("hv_LogOut");
    return 0;
}
EXPORT int hv_GetSMSLoginURL(char* buffer) {
    Record("hv_GetSMSLoginURL");
    buffer[0] = '\0';
    return 0;
}
EXPORT int hv_DownloadA(const char* package, const char*, int, char*) {
    Record("hv_DownloadA " + Text(package));
    return HV_DL_NOT_AVAILABLE;
}
EXPORT int hv_CancelA(const char* package) {
    Record("hv_CancelA " + Text(package));
    return 0;
}
EXPORT int hv_DeletePkgA(const char* package) {
    Record("hv_DeletePkgA " + Text(package));
    return 0;
}
EXPORT int hv_PlayGameA(const char* title, const char*, const char*) {
    Record("hv_PlayGameA " + Text(title));
    return 1;
}
EXPORT int hv_SetGameForeground() {
    Record("hv_SetGameForeground");
    return 0;
}
EXPORT int hv_UnzipInstallPkg(const char* file, const char* folder) {
    Record("hv_UnzipInstallPkg " + Text(file) + " " + Text(folder));
    return 0;
}
EXPORT int hv_SetGamePath(const char* path) {
    Record("hv_SetGamePath " + Text(path));
    return 0;
}
