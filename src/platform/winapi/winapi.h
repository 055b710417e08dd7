// Stand-in for the Win32 kernel and message calls that the client and the
// engine make. C ABI, no Qt: the engine library links it too. Names and
// numeric values are the Windows ones; only what the program needs is here.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define HVAPI __attribute__((visibility("default")))
#else
#define HVAPI
#endif

typedef int BOOL;
typedef unsigned int UINT;
typedef uint32_t DWORD;
typedef uint16_t WORD;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef uintptr_t UINT_PTR;
typedef intptr_t INT_PTR;
typedef struct HWND__* HWND;
typedef void* HANDLE;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

#define WM_USER 0x0400

#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0x00000000u
#define WAIT_ABANDONED 0x00000080u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu
#define STILL_ACTIVE 259u
#define MAXIMUM_WAIT_OBJECTS 64u

#define ERROR_SUCCESS 0u
#define ERROR_FILE_NOT_FOUND 2u
#define ERROR_INVALID_HANDLE 6u
#define ERROR_NOT_ENOUGH_MEMORY 8u
#define ERROR_INVALID_PARAMETER 87u
#define ERROR_ALREADY_EXISTS 183u
#define ERROR_NOT_OWNER 288u
#define ERROR_INVALID_WINDOW_HANDLE 1400u

#define EVENT_MODIFY_STATE 0x0002u
#define SYNCHRONIZE 0x00100000u
#define EVENT_ALL_ACCESS 0x001F0003u

// --- Windows and messages --------------------------------------------------
// A window handle belongs to the thread that created it. Messages for it are
// handled on that thread: the UI layer registers a procedure per window and a
// waker per thread, and drains the thread's queue when woken.
typedef LRESULT (*HV_WNDPROC)(void* context, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
typedef void (*HV_WAKEPROC)(void* context);

// Handles are never reused, so a stale one never names a newer window. A
// thread's windows are destroyed when the thread ends.
HVAPI HWND hvCreateWindowHandle(HV_WNDPROC proc, void* context);
// Pending sends to the window return 0; pending posts are dropped.
HVAPI void hvDestroyWindowHandle(HWND hwnd);
// Called from any thread when the calling thread's queue gets work, once until
// the next hvDispatchPending. It runs under the library's lock: it must be
// thread-safe, quick, and must not call into this library. Once it is
// replaced (or cleared with null) the old one is never called again.
HVAPI void hvSetThreadWaker(HV_WAKEPROC wake, void* context);
// Handles, in arrival order, everything queued for the calling thread when it
// is called (not what the handlers queue meanwhile); returns how many.
HVAPI int hvDispatchPending(void);

HVAPI BOOL IsWindow(HWND hwnd);
HVAPI BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Same thread: a direct call. Other thread: blocks until the window's thread
// has handled it and returns its result; meanwhile the caller keeps handling
// messages sent to its own thread, so two threads sending to each other do
// not deadlock.
HVAPI LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Same name, same number, in 0xC000..0xFFFF; 0 for an empty or null name.
HVAPI UINT RegisterWindowMessageA(const char* name);

// --- Kernel objects ------------------------------------------------------------
// Handles are closed with CloseHandle and never reused. Named objects are
// shared within the process while any handle to them is open; creating an
// existing name returns a new handle to it and sets ERROR_ALREADY_EXISTS
// (ERROR_SUCCESS otherwise). A named mutex is also seen by other processes
// of the same user (through a lock file), for the single-instance check; its
// ownership stays within the process.
HVAPI HANDLE CreateEventA(void* security, BOOL manualReset, BOOL initialState, const char* name);
HVAPI HANDLE OpenEventA(DWORD access, BOOL inherit, const char* name);
HVAPI BOOL SetEvent(HANDLE event);
HVAPI BOOL ResetEvent(HANDLE event);
HVAPI HANDLE CreateMutexA(void* security, BOOL initialOwner, const char* name);
HVAPI BOOL ReleaseMutex(HANDLE mutex);
HVAPI BOOL CloseHandle(HANDLE handle);

// Signalled: events when set (auto-reset ones are reset by the satisfied
// wait), mutexes when unowned or owned by the caller (recursive), threads
// when they have ended. A mutex whose owner thread ended is taken with
// WAIT_ABANDONED + i.
HVAPI DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
HVAPI DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                                   DWORD milliseconds);
// Like WaitForMultipleObjects(waitAll = FALSE), but keeps handling messages
// sent to the calling thread while it waits (a wait on the UI thread for a
// worker that may itself be sending to the UI thread).
HVAPI DWORD hvWaitHandlingSent(DWORD count, const HANDLE* handles, DWORD milliseconds);

// --- Threads ---------------------------------------------------------------------
typedef DWORD (*LPTHREAD_START_ROUTINE)(void* parameter);
// The handle is signalled when the thread ends. There is no way to kill a
// thread: closing every handle to a running thread leaves it to finish alone.
// The stack size is ignored; CREATE_SUSPENDED is not supported.
HVAPI HANDLE CreateThread(void* security, size_t stackSize, LPTHREAD_START_ROUTINE start,
                          void* parameter, DWORD flags, DWORD* threadId);
// STILL_ACTIVE while the thread runs, then its routine's result.
HVAPI BOOL GetExitCodeThread(HANDLE thread, DWORD* exitCode);
HVAPI DWORD GetCurrentThreadId(void);

HVAPI DWORD GetLastError(void);
HVAPI void SetLastError(DWORD error);
HVAPI void Sleep(DWORD milliseconds);
// Milliseconds since an arbitrary start, wrapping at 2^32.
HVAPI DWORD GetTickCount(void);

#ifdef __cplusplus
}
#endif
