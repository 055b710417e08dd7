// The art fetch thread: decodes the icons already in the art cache, tells the
// waiting UI thread so, then brings every icon and description up to date
// from the art address, one record after the other.
#pragma once

#include <memory>
#include <string>

#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueFile.h"
#include "winapi/Thread.h"

// Auto-reset event set once the cached icons are decoded. Open it before
// CreateThread: a named event lives only while a handle is open.
inline constexpr char kGameIconsDrawDone[] = "GAMEICONS_DRAW_DONE";

class CGameInfoThread {
  public:
    // The thread walks the records as they are now; the list may change
    // after this. The records themselves must stay alive until the thread
    // has ended, also when Stop gives up on it: it replaces their icons.
    CGameInfoThread(HWND notifyWnd, std::string artUrl, const GameList& records = g_arrGameInfo);
    // Asks a running thread to end and leaves it to finish alone.
    ~CGameInfoThread();
    CGameInfoThread(const CGameInfoThread&) = delete;
    CGameInfoThread& operator=(const CGameInfoThread&) = delete;

    // Starts the thread, once; false when it cannot be created.
    bool CreateThread();
    // Asks a running thread to end and waits for it, still handling messages
    // sent to the calling thread; true when the thread has ended.
    bool Stop(DWORD timeoutMs = 5000);
    // Waits for the thread to end by itself, handling sent messages meanwhile.
    bool Wait(DWORD timeoutMs);
    // STILL_ACTIVE while running; 0 when stopped, never started or given no
    // address; 1 when it went through every record or could not start HTTP.
    DWORD ExitCode() const;
    // Bodies taken from the server into a temporary file so far.
    unsigned BodiesFetched() const;

    // What the thread shares with this object; defined with the thread's code.
    struct State;

  private:
    // Shared with the thread, which may outlive this object.
    std::shared_ptr<State> m_state;
    hv::Thread m_thread;
};
