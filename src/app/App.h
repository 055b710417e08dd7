// CApp: the application object. Prepares the process, creates the main
// frame and shows the login screen.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "app/ConfigHelper.h"
#include "winapi/winapi.h"

class CMainFrame;

class CApp : public CConfigHelper {
  public:
    CApp();
    ~CApp() override;

    // FALSE ends the program at once.
    BOOL InitInstance();
    int ExitInstance();

    // Set inside a ten-foot shell; the engine clears it. There is no such
    // shell on this platform, so it starts at 0.
    std::atomic<int> m_bMediaCenter{0};
    std::string m_strAppDir;

  private:
    std::unique_ptr<CMainFrame> m_pMainFrame;
};
