// Every message id of the client's own, with its parameters. The engine's
// notifications are in the engine contract (halvory/engine.h); their
// parameter types are declared here too, so both directions are typed and a
// compile-time check keeps all ids apart.
#pragma once

#include <array>

#include "halvory/engine.h"
#include "winapi/Thread.h"
#include "winapi/TypedMessage.h"
#include "winapi/winuser.h"

struct GameInfo;
struct MCListItem;
namespace hv {
struct Credentials;
}
class CBaseView;
class CWnd;

// To the frame, from the screens, dialogs, workers and a second instance.
// (sent) marks those that must be sent: their parameters live for the call.
enum : UINT {
    UWM_LOGIN_OK = WM_USER + 180,
    UWM_SHOW_LOGIN = WM_USER + 181,
    UWM_SHOW_MESSAGE = WM_USER + 182,  // (sent)
    UWM_LOGOUT = WM_USER + 183,        // (sent)
    UWM_START_DOWNLOAD = WM_USER + 184,
    UWM_GAME_ACTION = WM_USER + 185,
    UWM_ACTIVATE_RUNNING = WM_USER + 186,  // (sent)
    UWM_DRAG_FRAME = WM_USER + 187,
    UWM_CHECK_UPGRADE = WM_USER + 188,
    UWM_RUN_STARTUP_CHECK = WM_USER + 189,
    UWM_SWITCH_SCREEN = WM_USER + 190,
    UWM_CANCEL_DOWNLOAD = WM_USER + 203,  // (sent)
    UWM_SHOW_GAME = WM_USER + 204,
    UWM_CANCEL_LOGIN = WM_USER + 205,
    UWM_START_LOGIN = WM_USER + 206,
};

// Between a menu list and its screen. To the screen: the user left the list
// by a key (the virtual key), and a row is confirmed (its index and item).
// To the list: confirm the current row.
enum : UINT {
    UWM_MENU_EXIT = WM_USER + 200,
    UWM_MENU_CHOOSE = WM_USER + 201,
};

// From the games screen's tile grid to its screen: the selection moved or was
// clicked (its index and record), the user left the grid by a key (the
// virtual key), or asked for the next or previous page. UWM_FOCUS_GAMES asks
// the screen to focus its grid.
enum : UINT {
    UWM_LIST_SELCHANGE = WM_USER + 194,
    UWM_LIST_ACTIVATE = WM_USER + 195,
    UWM_FOCUS_GAMES = WM_USER + 196,
    UWM_LIST_EXIT = WM_USER + 197,
    UWM_LIST_PAGEDOWN = WM_USER + 198,
    UWM_LIST_PAGEUP = WM_USER + 199,
};

// To the games screen from the art thread, after each new icon (sent).
inline constexpr UINT UWM_ICON_READY = WM_USER + 202;
// To the wait dialog from its animation thread.
inline constexpr UINT UWM_WAIT_STEP = WM_USER + 193;

// To the frame from its own workers.
enum : UINT {
    HVM_CLOSE_WAIT = WM_APP + 1,
    HVM_STOP_LOGIN_ANIMATION = WM_APP + 3,
    HVM_WORKER_ENDED = WM_APP + 4,
    HVM_WAIT_CURSOR = WM_APP + 5,
    HVM_DOWNLOAD_ENDED = WM_APP + 6,  // (sent)
    HVM_CANCEL_ENDED = WM_APP + 7,
};

// To the upgrade download dialog from its transfer worker. Its completion
// message is WM_APP + 1 as on the target platform, the value HVM_CLOSE_WAIT
// has for the frame: one id, two receivers, one parameter type (non-zero: the
// transfer failed; the frame's wait dialog ignores it).
enum : UINT {
    HVM_TRANSFER_DONE = HVM_CLOSE_WAIT,
    HVM_TRANSFER_TEXT = WM_APP + 8,
    HVM_TRANSFER_PROGRESS = WM_APP + 9,
    HVM_TRANSFER_CONNECTED = WM_APP + 10,
    HVM_TRANSFER_CREDENTIALS = WM_APP + 11,  // (sent)
};

// What the download worker hands back. A worker carries the frame's session
// number from its start, so the result of one that outlived its session is
// recognised and dropped.
struct DownloadOutcome {
    unsigned session;
    int code;          // hv_DownloadA's
    const char* text;  // the engine's text for HV_DL_ENGINE_TEXT
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

// Parts of the game detail screen that the frame marks busy or idle.
enum : UINT { DETAIL_DOWNLOAD = 1, DETAIL_PLAY = 2, DETAIL_DELETE = 4 };

using hv::NoParam;

HV_MESSAGE(UWM_LOGIN_OK, NoParam, NoParam);
HV_MESSAGE(UWM_SHOW_LOGIN, NoParam, NoParam);
HV_MESSAGE(UWM_SHOW_MESSAGE, long, const char*);  // error number, text
HV_MESSAGE(UWM_LOGOUT, int, NoParam);             // 0 close the client, 1 log out
HV_MESSAGE(UWM_START_DOWNLOAD, NoParam, GameInfo*);
// The target is a GameInfo* for the game actions, the listening CWnd* for
// ACTION_ADD_LISTENER and null for the home screen's actions.
HV_MESSAGE(UWM_GAME_ACTION, GameAction, void*);
HV_MESSAGE(UWM_ACTIVATE_RUNNING, NoParam, NoParam);
HV_MESSAGE(UWM_DRAG_FRAME, WPARAM, NoParam);  // hit-test code
HV_MESSAGE(UWM_CHECK_UPGRADE, NoParam, NoParam);
HV_MESSAGE(UWM_RUN_STARTUP_CHECK, NoParam, NoParam);
HV_MESSAGE(UWM_SWITCH_SCREEN, CBaseView*, CBaseView*);  // screen left (or null), screen to show
HV_MESSAGE(UWM_CANCEL_DOWNLOAD, NoParam, NoParam);
HV_MESSAGE(UWM_SHOW_GAME, NoParam, GameInfo*);
HV_MESSAGE(UWM_CANCEL_LOGIN, NoParam, NoParam);
HV_MESSAGE(UWM_START_LOGIN, NoParam, NoParam);
HV_MESSAGE(UWM_MENU_EXIT, UINT, NoParam);
HV_MESSAGE(UWM_MENU_CHOOSE, int, const MCListItem*);
HV_MESSAGE(UWM_LIST_SELCHANGE, int, GameInfo*);
HV_MESSAGE(UWM_LIST_ACTIVATE, int, GameInfo*);
HV_MESSAGE(UWM_FOCUS_GAMES, NoParam, NoParam);
HV_MESSAGE(UWM_LIST_EXIT, UINT, NoParam);
HV_MESSAGE(UWM_LIST_PAGEDOWN, NoParam, NoParam);
HV_MESSAGE(UWM_LIST_PAGEUP, NoParam, NoParam);
HV_MESSAGE(UWM_ICON_READY, NoParam, const char*);  // the record's package
HV_MESSAGE(UWM_WAIT_STEP, unsigned, NoParam);      // step of the dot cycle
HV_MESSAGE(HVM_CLOSE_WAIT, int, NoParam);          // also HVM_TRANSFER_DONE: failed
// The next text the worker queued is for this control (0: the caption).
HV_MESSAGE(HVM_TRANSFER_TEXT, int, NoParam);
HV_MESSAGE(HVM_TRANSFER_PROGRESS, int, NoParam);  // percent
HV_MESSAGE(HVM_TRANSFER_CONNECTED, NoParam, NoParam);
// Asks for a user name and password; non-zero when they were given.
HV_MESSAGE(HVM_TRANSFER_CREDENTIALS, NoParam, hv::Credentials*);
HV_MESSAGE(HVM_STOP_LOGIN_ANIMATION, NoParam, NoParam);
HV_MESSAGE(HVM_WORKER_ENDED, NoParam, const hv::Thread*);
HV_MESSAGE(HVM_WAIT_CURSOR, bool, NoParam);  // on or off
HV_MESSAGE(HVM_DOWNLOAD_ENDED, NoParam, const DownloadOutcome*);
HV_MESSAGE(HVM_CANCEL_ENDED, unsigned, bool);  // session, whether a queued download was removed

// The engine's notifications.
HV_MESSAGE(UWM_ENGINE_PROGRESS, NoParam, const TransferProgress*);
HV_MESSAGE(UWM_GAME_CLOSED, NoParam, NoParam);
HV_MESSAGE(UWM_CATALOGUE_READY, NoParam, NoParam);
HV_MESSAGE(UWM_CONNECTION_LOST, NoParam, NoParam);
HV_MESSAGE(UWM_ASK_PLAY_NOW, NoParam, const char*);  // title
HV_MESSAGE(UWM_DOWNLOAD_DONE, NoParam, NoParam);
HV_MESSAGE(UWM_NOT_MEDIA_CENTER, NoParam, NoParam);
HV_MESSAGE(UWM_PACKAGE_ON_DISK, WPARAM, const char*);  // demo flag, package
HV_MESSAGE(UWM_PACKAGE_GONE, WPARAM, const char*);     // refresh flag, package
HV_MESSAGE(UWM_ENGINE_STATE, long, NoParam);           // seconds until the game can start
HV_MESSAGE(UWM_ENGINE_NOP, NoParam, NoParam);
HV_MESSAGE(UWM_SESSION_CLOSED, NoParam, NoParam);
HV_MESSAGE(UWM_CONFIRM_PURCHASE, const char*, const char*);  // price text, title
HV_MESSAGE(UWM_FORCED_LOGOUT, NoParam, long);                // HV_LOGOUT_* reason
HV_MESSAGE(UWM_ASK_STORAGE, WPARAM, const char*);            // demo flag, title
HV_MESSAGE(UWM_DISK_FULL, NoParam, const char*);             // title
HV_MESSAGE(UWM_ENGINE_CANCEL, NoParam, NoParam);
HV_MESSAGE(UWM_ENGINE_FAILED, NoParam, const char*);  // text to show

inline constexpr std::array kAllMessages{
    UINT{UWM_LOGIN_OK},
    UINT{UWM_SHOW_LOGIN},
    UINT{UWM_SHOW_MESSAGE},
    UINT{UWM_LOGOUT},
    UINT{UWM_START_DOWNLOAD},
    UINT{UWM_GAME_ACTION},
    UINT{UWM_ACTIVATE_RUNNING},
    UINT{UWM_DRAG_FRAME},
    UINT{UWM_CHECK_UPGRADE},
    UINT{UWM_RUN_STARTUP_CHECK},
    UINT{UWM_SWITCH_SCREEN},
    UINT{UWM_CANCEL_DOWNLOAD},
    UINT{UWM_SHOW_GAME},
    UINT{UWM_CANCEL_LOGIN},
    UINT{UWM_START_LOGIN},
    UINT{UWM_MENU_EXIT},
    UINT{UWM_MENU_CHOOSE},
    UINT{UWM_LIST_SELCHANGE},
    UINT{UWM_LIST_ACTIVATE},
    UINT{UWM_FOCUS_GAMES},
    UINT{UWM_LIST_EXIT},
    UINT{UWM_LIST_PAGEDOWN},
    UINT{UWM_LIST_PAGEUP},
    UWM_ICON_READY,
    UWM_WAIT_STEP,
    UINT{HVM_CLOSE_WAIT},
    UINT{HVM_STOP_LOGIN_ANIMATION},
    UINT{HVM_WORKER_ENDED},
    UINT{HVM_WAIT_CURSOR},
    UINT{HVM_DOWNLOAD_ENDED},
    UINT{HVM_CANCEL_ENDED},
    UINT{HVM_TRANSFER_TEXT},
    UINT{HVM_TRANSFER_PROGRESS},
    UINT{HVM_TRANSFER_CONNECTED},
    UINT{HVM_TRANSFER_CREDENTIALS},
    UINT{UWM_ENGINE_PROGRESS},
    UINT{UWM_GAME_CLOSED},
    UINT{UWM_CATALOGUE_READY},
    UINT{UWM_CONNECTION_LOST},
    UINT{UWM_ASK_PLAY_NOW},
    UINT{UWM_DOWNLOAD_DONE},
    UINT{UWM_NOT_MEDIA_CENTER},
    UINT{UWM_PACKAGE_ON_DISK},
    UINT{UWM_PACKAGE_GONE},
    UINT{UWM_ENGINE_STATE},
    UINT{UWM_ENGINE_NOP},
    UINT{UWM_SESSION_CLOSED},
    UINT{UWM_CONFIRM_PURCHASE},
    UINT{UWM_FORCED_LOGOUT},
    UINT{UWM_ASK_STORAGE},
    UINT{UWM_DISK_FULL},
    UINT{UWM_ENGINE_CANCEL},
    UINT{UWM_ENGINE_FAILED},
};
static_assert(hv::AllDistinct(kAllMessages), "two messages share an id");
