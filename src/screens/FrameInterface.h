// What the screens may ask of the main frame. Screens never call the engine;
// they use these operations or post messages to FrameHwnd().
#pragma once

#include <string>

#include "winapi/winuser.h"

class CWnd;

class CBaseView;
class CWnd;

class IFrame {
  public:
    virtual ~IFrame() = default;

    virtual HWND FrameHwnd() const = 0;
    virtual void SwitchToScreen(CBaseView* screen) = 0;
    virtual void GoBack() = 0;
    // The home menu filled afresh, the home screen current and its What's New shown.
    virtual void ShowHomeScreen() = 0;
    virtual void ShowWebPage(const std::string& address, int continueButton, int logoutOnBack,
                             int returnToPurchase) = 0;
    // Puts the one browser control into `host` (a screen's page area) and
    // navigates it to the address.
    virtual void HostBrowser(CWnd* host, const std::string& address) = 0;
    virtual void FitBrowser(const RECT& rect) = 0;
    // The purchase confirmation again, over the download screen.
    virtual void ShowPurchaseDialog() = 0;
    virtual void ShowMessage(const std::string& text, long number) = 0;
    virtual void ShowWaitDialog(int mode) = 0;
    virtual void CloseWaitDialog() = 0;
    // 3 installed demo, 2 installed game, 1 neither.
    virtual int GetTitleState(const std::string& package) const = 0;
    virtual bool IsDownloadActive() const = 0;
    // SW_SHOWNORMAL, SW_SHOWMAXIMIZED or SW_SHOWMINIMIZED.
    virtual UINT FrameShowState() const = 0;
    virtual std::string PlayerPagesUrl() const = 0;
    // Asks the service for the required version and the upgrade address: 1
    // when it answered, -1 otherwise.
    virtual int DiscoverServers() = 0;
    // 1: carry on; 0: the installer runs and the frame closes; -1: it could
    // not be started, which the user has been told.
    virtual int CheckForUpgrade() = 0;
};

// The one frame of the process; null before it is created and after it is gone.
IFrame* GetFrame();
void SetFrame(IFrame* frame);
