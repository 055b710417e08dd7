// Connects the platform's per-thread message queue to the Qt event loop of
// the user-interface thread, and runs the per-thread input hooks: the
// pre-translation of input by its target windows and the shell hook that
// receives remote-control commands.
#pragma once

#include "winapi/winuser.h"

namespace hv {

// Once, on the user-interface thread, after the QApplication exists.
void InstallMessagePump();

}  // namespace hv

// Thread hooks, as on the target platform; only the shell hook is kept.
#define WH_SHELL 10
typedef struct HHOOK__* HHOOK;
typedef LRESULT (*HOOKPROC)(int code, WPARAM wParam, LPARAM lParam);
// The shell hook sees HSHELL_APPCOMMAND for remote-control keys; a non-zero
// result consumes the key.
HHOOK SetWindowsHookExA(int idHook, HOOKPROC proc, void* module, DWORD threadId);
BOOL UnhookWindowsHookEx(HHOOK hook);
LRESULT CallNextHookEx(HHOOK hook, int code, WPARAM wParam, LPARAM lParam);
