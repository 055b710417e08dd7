// The client's own messages to the frame (the engine's are in the engine
// contract), and the registered message that carries remote-control commands.
#pragma once

#include "winapi/winuser.h"

enum : UINT {
    UWM_LOGIN_OK = WM_USER + 180,
    UWM_SHOW_LOGIN = WM_USER + 181,
    UWM_SHOW_MESSAGE = WM_USER + 182,      // wParam: number; lParam: text (sent)
    UWM_LOGOUT = WM_USER + 183,            // wParam: 0 close, 1 log out (sent)
    UWM_START_DOWNLOAD = WM_USER + 184,    // lParam: GameInfo*
    UWM_GAME_ACTION = WM_USER + 185,       // wParam: action; lParam: GameInfo*, CWnd* or 0
    UWM_ACTIVATE_RUNNING = WM_USER + 186,  // from a second instance (sent)
    UWM_DRAG_FRAME = WM_USER + 187,        // wParam: hit-test code
    UWM_CHECK_UPGRADE = WM_USER + 188,
    UWM_SWITCH_SCREEN = WM_USER + 190,    // wParam: screen left or 0; lParam: screen to show
    UWM_CANCEL_DOWNLOAD = WM_USER + 203,  // (sent)
    UWM_SHOW_GAME = WM_USER + 204,        // lParam: GameInfo*
    UWM_CANCEL_LOGIN = WM_USER + 205,
    UWM_START_LOGIN = WM_USER + 206,
};

// Actions carried by UWM_GAME_ACTION.
enum GameAction : int {
    ACTION_DOWNLOAD = 1,
    ACTION_DOWNLOAD_PARTNER = 2,
    ACTION_PLAY = 3,
    ACTION_PLAY_PARTNER = 4,
    ACTION_DELETE = 5,
    ACTION_DELETE_PARTNER = 6,
    ACTION_WHATS_NEW = 9,
    ACTION_BROWSE_GAMES = 10,
    ACTION_EDIT_PROFILE = 11,
    ACTION_SUPPORT = 12,
    ACTION_ADD_LISTENER = 13,
};

// Number of the registered "SHELLHOOK" message.
UINT ShellHookMessage();
