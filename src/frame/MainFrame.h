// CMainFrame: the one top-level window. It loads the engine and hands it its
// window, owns the screens, the workers and the dialogs, and handles every
// notification from the engine, the screens and the workers.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/EngineLibrary.h"
#include "halvory/engine.h"
#include "messages/Messages.h"
#include "screens/FrameInterface.h"
#include "skin/TeTBar.h"
#include "ui/FrameWnd.h"
#include "ui/MessagePump.h"
#include "ui/WebBrowser2.h"

class CConfigHelper;
class CBaseView;
class CLoginView;
class CLoginStatusView;
class CGamesView;
class CHomeScreenView;
class CBrowserView;
class CGameInfoView;
class CDownloadView;
class CMessageDlg;
class CPleaseWaitDlg;
struct GameInfo;
class CGameInfoThread;

// A modal message or question for the message dialog.
enum MessageFlags : UINT {
    MSG_TWO_BUTTONS = 0x01,
    MSG_FIRST_DEFAULT = 0x02,
    MSG_HELP_LINK = 0x04,
    MSG_YES_NO = 0x08,
    MSG_FOLDER = 0x10,
};
struct MessageRequest {
    std::string text;
    UINT flags = 0;
    long errorCode = 0;
    std::string folderPath;  // the folder form's answer
};

// The frame's unpack operation for a downloaded upgrade package: 1 when the
// engine took it, 0 when the engine has no such operation.
using UpgradeUnpack = std::function<int(const std::string& file, const std::string& folder)>;

// What the application hands the frame.
struct FrameContext {
    CConfigHelper* config = nullptr;
    std::atomic<int>* mediaCenter = nullptr;
    std::string enginePath;     // the engine library beside the executable
    std::string browserPlugin;  // the web view plugin; none: pages are not shown
    // The application's server discovery: 1 when the service answered, else -1.
    std::function<int()> discoverServers;
    // The application's upgrade check, which has the package unpacked by the
    // given operation: 1 carry on, 0 installer started, -1 installer not started.
    std::function<int(const UpgradeUnpack&)> checkForUpgrade;
};

class CMainFrame : public CFrameWnd, public IFrame, public IBarOwner {
  public:
    static constexpr const char* kWindowTitle = "Halvory Client";
    static constexpr const char* kAppTitle = "Halvory";
    static constexpr int kMinWidth = 800;
    static constexpr int kMinHeight = 600;
    static constexpr DWORD kLoginCancelWaitMs = 60000;
    static constexpr DWORD kDownloadCancelWaitMs = 30000;
    static constexpr DWORD kArtThreadWaitMs = 5000;
    static constexpr const char* kCatalogueFile = "moviedata.txt";

    explicit CMainFrame(FrameContext context);
    ~CMainFrame() override;

    BOOL CreateFrame(DWORD style, const RECT& rect);

    // IFrame
    HWND FrameHwnd() const override { return GetSafeHwnd(); }
    void SwitchToScreen(CBaseView* screen) override;
    // Also the top bar's back button.
    void GoBack() override;
    void ShowHomeScreen() override;
    void ShowWebPage(const std::string& address, int continueButton, int logoutOnBack,
                     int returnToPurchase) override;
    void HostBrowser(CWnd* host, const std::string& address) override;
    void FitBrowser(const RECT& rect) override;
    void ShowPurchaseDialog() override;
    void ShowMessage(const std::string& text, long number) override;
    void ShowWaitDialog(int mode) override;
    void CloseWaitDialog() override;
    int GetTitleState(const std::string& package) const override;
    bool IsDownloadActive() const override { return m_shared->downloadActive != 0; }
    UINT FrameShowState() const override;
    std::string PlayerPagesUrl() const override;
    int DiscoverServers() override;
    int CheckForUpgrade() override;
    // Hands a downloaded upgrade package to the engine to unpack into the folder.
    int UnzipInstallPkg(const std::string& file, const std::string& folder);

    void LogoutSequence();
    // 0 when no art can be fetched (no art folder or address), else 1.
    int ParseCatalogue();
    void ClearCatalogue();
    // The single-button message without a help link.
    void Inform(const std::string& text);
    // The two-button question; IDYES or IDNO.
    INT_PTR AskQuestion(const std::string& text, UINT flags);

    BOOL PreTranslateMessage(MSG* msg) override;

    CBaseView* ActiveView() const { return m_pActiveView; }
    CLoginView* LoginView() const { return m_pLoginView.get(); }
    CLoginStatusView* LoginStatusView() const { return m_pLoginStatusView.get(); }
    CGamesView* GamesView() const { return m_pGamesView.get(); }
    CHomeScreenView* HomeView() const { return m_pHomeView.get(); }
    CBrowserView* BrowserView() const { return m_pBrowserView.get(); }
    CGameInfoView* GameInfoView() const { return m_pGameInfoView.get(); }
    CDownloadView* DownloadView() const { return m_pDownloadView.get(); }
    CTeTBar& ToolBar() { return m_wndToolBar; }
    const std::vector<std::string>& InstalledGames() const { return m_arrInstalledGames; }
    const std::vector<std::string>& InstalledDemos() const { return m_arrInstalledDemos; }
    std::vector<GameInfo*> DownloadQueue() const;
    int WasMaximised() const { return m_bWasMaximised; }
    void SetWasMaximised(int flag) override { m_bWasMaximised = static_cast<int16_t>(flag); }
    const std::string& BrowserAddress() const { return m_strBrowserAddress; }
    CWebBrowser2* Browser() const { return m_pBrowser.get(); }

    // Lets tests wait until every worker the frame started has ended.
    bool WaitForWorkers(DWORD milliseconds);

  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Every modal message and question goes through here; the result is
    // the dialog's (IDOK, IDYES, IDNO, IDCANCEL).
    virtual INT_PTR RunMessageDialog(MessageRequest& request);

  private:
    // State the workers share with the frame; it outlives the frame while a
    // worker still runs, so a late worker never touches freed memory.
    struct SharedState {
        // Moves on at each logout: a worker carries the number it started
        // with, and a result under an older number is dropped.
        std::atomic<unsigned> session{0};
        std::atomic<int> downloadActive{0};
        std::mutex queueLock;
        std::vector<GameInfo*> downloadQueue;
    };

    // Creation and destruction.
    int OnCreate();
    void OnDestroy();
    BOOL CreateScreens();

    // The message table (FrameMessages.cpp).
    LRESULT ForwardToListeners(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnShellHook(WPARAM code, LPARAM lParam);
    void OnSizing(WPARAM edge, RECT* rect);
    void OnSwitchScreen(CBaseView* leaving, CBaseView* target);
    void OnShowGame(GameInfo* game);
    void OnCatalogueReady();

    // Session (SessionHandlers.cpp).
    void StartLogin();
    void CancelLogin();
    void OnLoginOk();
    void AskLogout();
    void EndSession(const std::string& text, long number, bool showMessage);
    void OnForcedLogout(long reason);
    void RestoreFrame();

    // Game actions (GameActions.cpp).
    void OnGameAction(GameAction action, void* target);
    void StartDownload(GameInfo* game, bool fromAction);
    void OnDownloadEnded(const DownloadOutcome& outcome);
    void StartCancelWorker();
    void OnCancelEnded(unsigned session, bool removed);
    void StartDeleteWorker(GameInfo* game);
    void Play(GameInfo* game);
    void OnDownloadDone();
    LRESULT OnConfirmPurchase(const char* price, const char* title);
    LRESULT OnAskStorage(WPARAM demo, const char* title);
    LRESULT OnAskPlayNow(const char* title);
    void OnDiskFull(const char* title);
    void OnEngineFailed(const char* text);
    void OnGameClosed();
    void OnPackageOnDisk(WPARAM demo, const char* package);
    void OnPackageGone(WPARAM refresh, const char* package);
    void SetDetailBusy(UINT which, int value);
    void StopArtThread();
    bool IsBrowserPage(HWND hwnd) const;

    static LRESULT ShellHookProc(int code, WPARAM wParam, LPARAM lParam);
    // Engine calls that can block run on these; shared, so that one worker
    // can wait for another.
    static std::shared_ptr<hv::Thread> StartWorker(std::function<void()> body);

    HHOOK m_hShellHook = nullptr;
    CTeTBar m_wndToolBar;
    std::string m_strBrowserAddress;
    HWND m_hBrowserHost = nullptr;
    std::unique_ptr<CLoginView> m_pLoginView;
    std::unique_ptr<CLoginStatusView> m_pLoginStatusView;
    std::unique_ptr<CGamesView> m_pGamesView;
    std::unique_ptr<CHomeScreenView> m_pHomeView;
    std::unique_ptr<CBrowserView> m_pBrowserView;
    std::unique_ptr<CGameInfoView> m_pGameInfoView;
    std::unique_ptr<CDownloadView> m_pDownloadView;
    // Made on the first page; after the screens, so it goes before its host.
    std::unique_ptr<CWebBrowser2> m_pBrowser;
    std::shared_ptr<hv::Thread> m_pLoginWorker;
    std::shared_ptr<SharedState> m_shared = std::make_shared<SharedState>();
    std::vector<HWND> m_arrListeners;
    std::vector<std::string> m_arrInstalledGames;
    std::vector<std::string> m_arrInstalledDemos;
    std::shared_ptr<hv::EngineModule> m_engine;
    std::unique_ptr<CMessageDlg> m_pPurchaseDlg;
    std::vector<CMessageDlg*> m_openDialogs;  // modal ones, innermost last
    std::unique_ptr<CPleaseWaitDlg> m_pWaitDlg;
    std::shared_ptr<hv::Thread> m_pDeleteWorker;
    std::shared_ptr<hv::Thread> m_pDownloadWorker;
    std::shared_ptr<hv::Thread> m_pCancelWorker;
    std::shared_ptr<hv::Thread> m_pCancelLoginWorker;
    std::unique_ptr<CGameInfoThread> m_pGameInfoThread;
    bool m_bKeepRecords = false;  // an art thread was abandoned mid-walk
    int16_t m_bWasMaximised = 1;
    FrameContext m_context;
    CBaseView* m_pActiveView = nullptr;
    DWORD m_uiThread = 0;
};

// Number of the registered "SHELLHOOK" message.
UINT ShellHookMessage();
