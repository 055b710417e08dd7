// CApp: the application object. Prepares the process, creates the main
// frame and shows the login screen.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "app/ConfigHelper.h"
#include "winapi/UniqueHandle.h"

class CMainFrame;
class CSkinSet;
namespace hv {
class Gamepad;
class WindowPublication;
}  // namespace hv

class CApp : public CConfigHelper {
  public:
    // `commandLine`: the program's arguments after its name, joined by blanks.
    explicit CApp(std::string commandLine);
    ~CApp() override;

    // FALSE ends the program at once.
    BOOL InitInstance();
    int ExitInstance();
    // 1 when the service answered, -1 otherwise; fills the required version
    // and the upgrade address from the answer.
    int DiscoverServers();
    // The package key's file; a relative one lies in the application folder.
    std::string PackageKeyPath() const;

    // Set inside a ten-foot shell; the engine clears it. There is no such
    // shell on this platform, so it starts at 0.
    std::atomic<int> m_bMediaCenter{0};
    std::string m_strAppDir;
    std::string m_strRequiredVersion;
    std::string m_strUpgradeUrl;  // empty: no upgrade offered

    static constexpr const char* kInstanceMutexName = "5C1E7A20-93D4-4b6e-8F0A-2D71E4B9C356";

  private:
    std::string m_strCommandLine;
    std::string m_strExePath;
    hv::UniqueHandle m_hInstanceMutex;
    std::unique_ptr<CSkinSet> m_pSkin;
    std::unique_ptr<CMainFrame> m_pMainFrame;
    std::unique_ptr<hv::WindowPublication> m_pPublication;
    std::unique_ptr<hv::Gamepad> m_pGamepad;
};
