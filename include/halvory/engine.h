// The one contract between the client and the streaming engine library.
// The client loads the library at run time and resolves the thirteen exports
// by name; the engine answers by posting or sending the notifications below
// to the window handed to hv_Init. Text is NUL-terminated UTF-8.
#pragma once

#include <stdint.h>

#include "winapi/winapi.h"

#ifdef __cplusplus
extern "C" {
#endif

// File name of the engine library, looked for in the client's own folder.
#define HV_ENGINE_FILE_NAME "libhalvory.so"

// Size of every text buffer the client hands to the engine (zeroed first).
#define HV_BUFFER_SIZE 260

// --- Exports ---------------------------------------------------------------
// The result of every export but hv_LoginA, hv_DownloadA and hv_PlayGameA is
// ignored by the client.
typedef int (*PFN_hv_Init)(HWND frame);
typedef int (*PFN_hv_Shutdown)(void);
// Returns a login code (HV_LOGIN_*); flag is always 1.
typedef int (*PFN_hv_LoginA)(const char* user, const char* password, int flag);
typedef int (*PFN_hv_CancelLogin)(void);
typedef int (*PFN_hv_LogOut)(void);
// Writes the account page address into a HV_BUFFER_SIZE buffer.
typedef int (*PFN_hv_GetSMSLoginURL)(char* buffer);
// Returns a download code (HV_DL_*); for HV_DL_ENGINE_TEXT the buffer
// (HV_BUFFER_SIZE bytes) holds the text to show. flag is always 1.
typedef int (*PFN_hv_DownloadA)(const char* package, const char* title, int flag, char* buffer);
// package is null when no download is active.
typedef int (*PFN_hv_CancelA)(const char* package);
typedef int (*PFN_hv_DeletePkgA)(const char* package);
// 0 = launched, non-zero = not launched.
typedef int (*PFN_hv_PlayGameA)(const char* title, const char* user, const char* password);
typedef int (*PFN_hv_SetGameForeground)(void);
typedef int (*PFN_hv_UnzipInstallPkg)(const char* package_file, const char* dest_folder);
typedef int (*PFN_hv_SetGamePath)(const char* path);

#define HV_EXPORT_NAMES                                                                        \
    "hv_Init", "hv_Shutdown", "hv_LoginA", "hv_CancelLogin", "hv_LogOut", "hv_GetSMSLoginURL", \
        "hv_DownloadA", "hv_CancelA", "hv_DeletePkgA", "hv_PlayGameA", "hv_SetGameForeground", \
        "hv_UnzipInstallPkg", "hv_SetGamePath"
#define HV_EXPORT_COUNT 13

// --- Notifications to the frame window ---------------------------------------
// "sent" ones are delivered with SendMessageA: their parameters live for the
// call and the handler's result is the user's answer.
enum {
    UWM_ENGINE_PROGRESS = WM_USER + 1,  // lParam: const TransferProgress* (sent)
    UWM_GAME_CLOSED = WM_USER + 4,      // the launched game has ended
    UWM_CATALOGUE_READY = WM_USER + 5,  // a new catalogue file is on disk
    UWM_CONNECTION_LOST = WM_USER + 6,
    UWM_ASK_PLAY_NOW = WM_USER + 7,  // lParam: title (sent); 1 = play now
    UWM_DOWNLOAD_DONE = WM_USER + 8,
    UWM_NOT_MEDIA_CENTER = WM_USER + 9,
    UWM_PACKAGE_ON_DISK = WM_USER + 10,  // wParam: non-zero for a demo; lParam: package
    UWM_PACKAGE_GONE = WM_USER + 11,     // wParam: refresh detail; lParam: package
    UWM_ENGINE_STATE = WM_USER + 12,     // wParam: seconds until the game can start
    UWM_ENGINE_NOP = WM_USER + 13,
    UWM_SESSION_CLOSED = WM_USER + 14,
    UWM_CONFIRM_PURCHASE = WM_USER + 15,  // wParam: price text; lParam: title (sent)
    UWM_FORCED_LOGOUT = WM_USER + 16,     // lParam: HV_LOGOUT_* reason
    UWM_ASK_STORAGE = WM_USER + 17,       // wParam: demo flag; lParam: title (sent)
    UWM_DISK_FULL = WM_USER + 18,         // lParam: title (sent)
    UWM_ENGINE_CANCEL = WM_USER + 19,
    // Why a started download or launch failed; sent just before UWM_ENGINE_CANCEL
    // or UWM_GAME_CLOSED. lParam: the text to show the user (sent).
    UWM_ENGINE_FAILED = WM_USER + 20,
};

// Progress record sent with UWM_ENGINE_PROGRESS.
typedef struct TransferProgress {
    int32_t lPercent;        // used while a time-to-play is known
    int32_t lSecondsToPlay;  // <= 0: no time given
    int32_t lExtra;
    int32_t lDone;
    int32_t lTotal;
    int32_t lState;  // HV_STATE_*; any other value means downloading
} TransferProgress;

enum {
    HV_STATE_DOWNLOADING = 0,
    HV_STATE_RETRYING = 1,
    HV_STATE_RESTORED = 2,
    HV_STATE_INSTALLING_2 = 3,
    HV_STATE_EXTRACTING = 4,
    HV_STATE_INSTALLING_1 = 5,
};

// --- Login codes (hv_LoginA) ---------------------------------------------------
enum {
    HV_LOGIN_OK = 0,
    HV_LOGIN_OK_ALT = 16,
    HV_LOGIN_CANCELLED = 17,
    HV_LOGIN_CONNECTION_ERROR = 18,
    HV_LOGIN_ENABLE_FAILED = 19,
    HV_LOGIN_ACCESS_DENIED = 20,
    HV_LOGIN_UNREACHABLE = 23,
    HV_LOGIN_RESTART_ERROR = 24,
    HV_LOGIN_OLD_VERSION = 25,
    HV_LOGIN_NO_SUBSCRIPTION = 26,
    HV_LOGIN_COMMUNICATION_LOST = 28,
    HV_LOGIN_CLIENT_ERROR = 29,
    HV_LOGIN_PENDING = 30,
    HV_LOGIN_INTERNAL_31 = 31,
    HV_LOGIN_INTERNAL_COMM_32 = 32,
    HV_LOGIN_INTERNAL_COMM_48 = 48,
    HV_LOGIN_INTERNAL_64 = 64,
    HV_LOGIN_NO_SUCH_USER = 80,
    HV_LOGIN_SUSPENDED = 96,
    HV_LOGIN_NETWORK_ERROR = 112,
    HV_LOGIN_ENABLE_NO_USER = 128,
    HV_LOGIN_INTERNAL_COMM_144 = 144,
};

// --- Forced logout reasons (UWM_FORCED_LOGOUT lParam) ------------------------------
enum {
    HV_LOGOUT_PASSWORD_CHANGED = 20,
    HV_LOGOUT_VERSION_CHANGED = 25,
    HV_LOGOUT_SUSPENDED = 96,
};

// --- Download codes (hv_DownloadA) -------------------------------------------------
enum {
    HV_DL_OK = 0,
    HV_DL_CONNECTION_LOST = 27,
    HV_DL_NOT_AVAILABLE = 258,
    HV_DL_DISK_FULL = 259,
    HV_DL_ALREADY_COMPLETE = 260,
    HV_DL_BILLING_DENIED = 261,
    HV_DL_ONE_AT_A_TIME = 4353,
    HV_DL_DECLINED = 4609,
    HV_DL_INTERNAL_4865 = 4865,
    HV_DL_INTERNAL_5121 = 5121,
    HV_DL_ENGINE_TEXT = 5377,
    HV_DL_ABORTED = 5633,
};

// --- Named events answering the second purchase confirmation ------------------------
#define HV_PURCHASE_EVENT "PURCHASE_GAME_EVENT"
#define HV_NO_PURCHASE_EVENT "DONOTPURCHASE_GAME_EVENT"

#ifdef __cplusplus
}
#endif
