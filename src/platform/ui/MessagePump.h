// Connects the platform's per-thread message queue to the Qt event loop of
// the user-interface thread, and runs the per-thread input hooks: the
// pre-translation of input by its target windows and the shell hook that
// receives remote-control commands.
#pragma once

#include "winapi/winuser.h"

class QEvent;
class QObject;

namespace hv {

// Once, on the user-interface thread, after the QApplication exists.
void InstallMessagePump();

// Input from the window system, before its receiver sees it: remote keys go
// to the shell hook, then the receiving window and its parents may take the
// message in PreTranslateMessage. True when the event is consumed.
bool PreTranslateInput(QObject* receiver, QEvent* event);

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
