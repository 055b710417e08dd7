// Connects the platform's per-thread message queue to the Qt event loop of
// the user-interface thread, and runs the per-thread hooks: the mouse hook
// that sees every mouse message of the thread, the pre-translation of input
// by its target windows, the shell hook that receives remote-control
// commands and the hook that sees the messages reaching window procedures.
#pragma once

#include "winapi/winuser.h"

class QEvent;
class QObject;

namespace hv {

// Once, on the user-interface thread, after the QApplication exists.
void InstallMessagePump();

// Input from the window system, before its receiver sees it: mouse input
// goes to the mouse hooks, remote keys to the shell hook, then the receiving
// window and its parents may take the message (key and mouse buttons down
// and up, mouse moves) in PreTranslateMessage. True when the event is
// consumed.
bool PreTranslateInput(QObject* receiver, QEvent* event);

// Hands a key from another input device (WM_KEYDOWN, WM_KEYUP or
// WM_APPCOMMAND, with a keyboard's parameters) to where the window system
// would send a key now: the keyboard grabber, else the focus window of the
// active top-level window. It takes a keyboard key's way from there (the
// hooks, PreTranslateMessage, the window), so nobody can tell the two apart.
// False when no window of the program is active or the key has no Qt key.
bool SendKeyInput(UINT message, WPARAM wParam, LPARAM lParam);

// Shows a message that is about to reach a window procedure to the
// call-window-procedure hooks.
void CallWndProcHooks(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace hv

// Thread hooks, as on the target platform: the shell, mouse and
// call-window-procedure hooks.
#define WH_CALLWNDPROC 4
#define WH_MOUSE 7
#define WH_SHELL 10
#define HC_ACTION 0
typedef struct HHOOK__* HHOOK;
typedef LRESULT (*HOOKPROC)(int code, WPARAM wParam, LPARAM lParam);
// The mouse hook's lParam; wParam is the mouse message. A non-zero result
// consumes the message.
typedef struct tagMOUSEHOOKSTRUCT {
    POINT pt;  // screen coordinates
    HWND hwnd;
    UINT wHitTestCode;
    UINT_PTR dwExtraInfo;
} MOUSEHOOKSTRUCT;
// The call-window-procedure hook's lParam; its result is ignored.
typedef struct tagCWPSTRUCT {
    LPARAM lParam;
    WPARAM wParam;
    UINT message;
    HWND hwnd;
} CWPSTRUCT;
// The shell hook sees HSHELL_APPCOMMAND for remote-control keys; a non-zero
// result consumes the key.
HHOOK SetWindowsHookExA(int idHook, HOOKPROC proc, void* module, DWORD threadId);
BOOL UnhookWindowsHookEx(HHOOK hook);
LRESULT CallNextHookEx(HHOOK hook, int code, WPARAM wParam, LPARAM lParam);
