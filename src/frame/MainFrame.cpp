#include "frame/MainFrame.h"

#include <QApplication>
#include <QWidget>
#include <algorithm>
#include <iterator>

#include "app/ConfigHelper.h"
#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueFile.h"
#include "catalogue/GameInfoThread.h"
#include "res/ResourceTable.h"
#include "screens/BrowserView.h"
#include "screens/DownloadView.h"
#include "screens/GameInfoView.h"
#include "screens/GamesView.h"
#include "screens/HomeScreenView.h"
#include "screens/LoginStatusView.h"
#include "screens/LoginView.h"
#include "skin/MessageDlg.h"
#include "skin/PleaseWaitDlg.h"
#include "text/NoCase.h"
#include "ui/MessageBox.h"
#include "winapi/Log.h"
#include "winapi/UniqueHandle.h"

namespace {

constexpr UINT kToolBarId = 400;
constexpr UINT kHiddenPaneId = AFX_IDW_PANE_FIRST + 1;
constexpr UINT kBrowserId = 401;

// The top bar's images: window buttons, then the bar's own.
const std::vector<UINT> kToolBarBitmaps = {
    hv::res::kCloseButton.id,     hv::res::kCloseButtonPressed.id,
    hv::res::kMaximiseButton.id,  hv::res::kMaximiseButtonPressed.id,
    hv::res::kRestoreButton.id,   hv::res::kRestoreButtonPressed.id,
    hv::res::kMinimiseButton.id,  hv::res::kMinimiseButtonPressed.id,
    hv::res::kBarLogoButton.id,   hv::res::kBarLogoButtonPressed.id,
    hv::res::kLinkButton.id,      hv::res::kLinkButtonPressed.id,
    hv::res::kBarBackButton.id,   hv::res::kBarBackButtonPressed.id,
    hv::res::kBarLogoutButton.id, hv::res::kBarLogoutButtonPressed.id,
    hv::res::kBarHomeButton.id,   hv::res::kBarHomeButtonPressed.id};

}  // namespace

CMainFrame::CMainFrame(FrameContext context) : m_context(std::move(context)) {}

CMainFrame::~CMainFrame() {
    // Whatever WM_DESTROY did not get to.
    DestroyWindow();
    m_pPurchaseDlg.reset();
    m_pWaitDlg.reset();
    m_pLoginWorker.reset();
    m_engine.reset();
    if (GetFrame() == this) {
        SetFrame(nullptr);
    }
}

BOOL CMainFrame::CreateFrame(DWORD style, const RECT& rect) {
    m_uiThread = GetCurrentThreadId();
    return Create(kWindowTitle, style, rect);
}

int CMainFrame::OnCreate() {
    hv::EngineLoadResult result = hv::EngineLoadResult::NotFound;
    m_engine = hv::EngineModule::Load(m_context.enginePath, &result);
    if (!m_engine) {
        const std::string file =
            m_context.enginePath.substr(m_context.enginePath.find_last_of('/') + 1);
        MessageBoxA(nullptr, hv::EngineLoadMessage(result, file).c_str(), "Error", MB_OK);
        return -1;
    }
    m_engine->Api().hv_Init(GetSafeHwnd());
    m_hShellHook = SetWindowsHookExA(WH_SHELL, &CMainFrame::ShellHookProc, nullptr, m_uiThread);
    if (!CreateScreens()) {
        return -1;
    }
    m_arrListeners.push_back(m_pDownloadView->GetSafeHwnd());
    m_wndToolBar.LoadBitmaps(kToolBarBitmaps);
    if (!m_wndToolBar.Create(this, kToolBarId)) {
        return -1;
    }
    return 0;
}

BOOL CMainFrame::CreateScreens() {
    m_pLoginView = std::make_unique<CLoginView>();
    m_pLoginStatusView = std::make_unique<CLoginStatusView>();
    m_pHomeView = std::make_unique<CHomeScreenView>();
    m_pBrowserView = std::make_unique<CBrowserView>();
    m_pGamesView = std::make_unique<CGamesView>();
    m_pGameInfoView = std::make_unique<CGameInfoView>();
    m_pDownloadView = std::make_unique<CDownloadView>();
    CBaseView* const order[] = {
        m_pLoginView.get(), m_pLoginStatusView.get(), m_pHomeView.get(),    m_pBrowserView.get(),
        m_pGamesView.get(), m_pGameInfoView.get(),    m_pDownloadView.get()};
    for (CBaseView* screen : order) {
        if (!screen->Create(this, kHiddenPaneId)) {
            return FALSE;
        }
        screen->ShowWindow(SW_HIDE);
    }
    return TRUE;
}

void CMainFrame::OnDestroy() {
    ClearCatalogue();
    if (m_hShellHook) {
        UnhookWindowsHookEx(m_hShellHook);
        m_hShellHook = nullptr;
    }
    m_pBrowser.reset();
    m_hBrowserHost = nullptr;
    m_strBrowserAddress.clear();
    m_pPurchaseDlg.reset();
    if (m_pWaitDlg) {
        m_pWaitDlg->Show(FALSE);
        m_pWaitDlg->DestroyWindow();
        m_pWaitDlg.reset();
    }
    if (m_engine) {
        m_engine->Api().hv_Shutdown();
    }
    // A login worker still inside the engine is left to finish alone; it
    // holds the engine module, so the library stays loaded until it returns.
    if (m_pLoginWorker && m_pLoginWorker->IsRunning()) {
        hv::LogWarning("login worker still inside the engine at exit; abandoned");
    }
    m_pLoginWorker.reset();
    m_engine.reset();
    if (GetFrame() == this) {
        SetFrame(nullptr);
    }
    // quit() first asks every visible window to close, which this one refuses
    // while it is being destroyed: it leaves the screen first.
    ShowWindow(SW_HIDE);
    QApplication::quit();
}

void CMainFrame::SwitchToScreen(CBaseView* target) {
    if (!target || target == m_pActiveView) {
        return;
    }
    CBaseView* previous = m_pActiveView;
    if (previous) {
        previous->SetDlgCtrlID(kHiddenPaneId);
    }
    target->SetDlgCtrlID(AFX_IDW_PANE_FIRST);
    m_pActiveView = target;
    target->ShowWindow(SW_SHOW);
    // The active screen takes the keys, as the platform's active view does.
    target->SetFocus();
    target->ArrangeControls(TRUE);
    RecalcLayout();
    if (previous) {
        previous->ShowWindow(SW_HIDE);
    }
}

void CMainFrame::GoBack() {
    CBaseView* active = m_pActiveView;
    if (!active) {
        return;
    }
    if (active == m_pLoginView.get()) {
        PostMessage(WM_CLOSE);
    } else if (active == m_pLoginStatusView.get()) {
        CancelLogin();
    } else if (active == m_pBrowserView.get()) {
        if (m_pBrowserView->GetPreviousScreen() && !m_pBrowserView->m_bLogoutOnBack) {
            m_pBrowserView->ContinueAction();
        } else {
            AskLogout();
        }
    } else if (active == m_pHomeView.get()) {
        ShowWebPage(PlayerPagesUrl() + "/announcements.htm", 1, 1, 0);
    } else if (active == m_pGamesView.get()) {
        SwitchToScreen(m_pHomeView.get());
        m_pHomeView->ShowHome();
    } else if (active == m_pGameInfoView.get()) {
        int flag = 1;
        m_pGameInfoView->ConfirmLeave(flag);
        if (flag) {
            hv::Post<UWM_SWITCH_SCREEN>(GetSafeHwnd(), m_pGameInfoView.get(), m_pGamesView.get());
        }
    } else if (active == m_pDownloadView.get()) {
        int flag = 1;
        m_pDownloadView->ConfirmCancel(flag);
        if (flag == 0) {
            hv::Post<UWM_SWITCH_SCREEN>(GetSafeHwnd(), m_pDownloadView.get(),
                                        m_pGameInfoView.get());
        }
    }
}

void CMainFrame::ShowHomeScreen() {
    if (!m_pHomeView) {
        return;
    }
    m_pHomeView->FillMenu();
    SwitchToScreen(m_pHomeView.get());
    m_pHomeView->ShowHome();
}

void CMainFrame::ShowWebPage(const std::string& address, int continueButton, int logoutOnBack,
                             int returnToPurchase) {
    if (!m_pBrowserView) {
        return;
    }
    CBaseView* previous = m_pActiveView;
    SwitchToScreen(m_pBrowserView.get());
    m_pBrowserView->m_bContinueButton = continueButton;
    m_pBrowserView->m_bLogoutOnBack = logoutOnBack;
    m_pBrowserView->m_bReturnToPurchase = returnToPurchase;
    m_pBrowserView->ShowPage(address, previous);
}

void CMainFrame::HostBrowser(CWnd* host, const std::string& address) {
    if (!host || !host->GetSafeHwnd()) {
        return;
    }
    RECT area{};
    host->GetClientRect(&area);
    // One control for the whole session, moved between page areas: a new
    // one each time would cost a new renderer.
    if (m_pBrowser && m_pBrowser->GetSafeHwnd()) {
        if (m_pBrowser->GetParent() != host) {
            m_pBrowser->SetParent(host);
            m_pBrowser->MoveWindow(area);
        }
    } else if (!m_context.browserPlugin.empty()) {
        m_pBrowser = std::make_unique<CWebBrowser2>();
        if (!m_pBrowser->Create(m_context.browserPlugin, host, area, kBrowserId)) {
            m_pBrowser.reset();
        }
    }
    m_hBrowserHost = host->GetSafeHwnd();
    m_strBrowserAddress = address;
    host->ShowWindow(SW_SHOW);
    if (m_pBrowser) {
        m_pBrowser->ShowWindow(SW_SHOW);
        m_pBrowser->Navigate(address);
    }
}

void CMainFrame::FitBrowser(const RECT& rect) {
    if (m_pBrowser && m_pBrowser->GetSafeHwnd()) {
        m_pBrowser->MoveWindow(0, 0, rect.right - rect.left, rect.bottom - rect.top);
    }
}

void CMainFrame::ShowMessage(const std::string& text, long number) {
    MessageRequest request{text, MSG_HELP_LINK, number, {}};
    RunMessageDialog(request);
}

void CMainFrame::Inform(const std::string& text) {
    MessageRequest request{text, 0, 0, {}};
    RunMessageDialog(request);
}

INT_PTR CMainFrame::AskQuestion(const std::string& text, UINT flags) {
    MessageRequest request{text, MSG_TWO_BUTTONS | flags, 0, {}};
    return RunMessageDialog(request);
}

INT_PTR CMainFrame::RunMessageDialog(MessageRequest& request) {
    CMessageDlg dialog(this);
    dialog.SetTitle(kAppTitle);
    dialog.SetMessage(request.text);
    dialog.m_bTwoButtons = (request.flags & MSG_TWO_BUTTONS) != 0;
    dialog.m_bFirstDefault = (request.flags & MSG_FIRST_DEFAULT) != 0;
    dialog.m_bHelpLink = (request.flags & MSG_HELP_LINK) != 0;
    dialog.m_bYesNo = (request.flags & MSG_YES_NO) != 0;
    dialog.m_bFolder = (request.flags & MSG_FOLDER) != 0;
    dialog.m_lErrorCode = static_cast<int32_t>(request.errorCode);
    dialog.m_strErrorInfoUrl =
        m_context.config ? m_context.config->GetErrorInfoUrl() : std::string();
    m_openDialogs.push_back(&dialog);
    const INT_PTR result = dialog.DoModal();
    m_openDialogs.pop_back();
    request.folderPath = dialog.m_strFolderPath;
    return result;
}

void CMainFrame::ShowWaitDialog(int mode) {
    if (!m_pWaitDlg) {
        m_pWaitDlg = std::make_unique<CPleaseWaitDlg>();
        m_pWaitDlg->SetMode(mode);
        if (!m_pWaitDlg->Create(this)) {
            m_pWaitDlg.reset();
            return;
        }
    }
    m_pWaitDlg->SetMode(mode);
    EnableWindow(FALSE);
    m_pWaitDlg->CenterWindow();
    m_pWaitDlg->Show(TRUE);
}

void CMainFrame::CloseWaitDialog() {
    if (GetCurrentThreadId() != m_uiThread) {
        hv::Send<HVM_CLOSE_WAIT>(GetSafeHwnd());
        return;
    }
    if (m_pWaitDlg && m_pWaitDlg->GetSafeHwnd()) {
        m_pWaitDlg->Show(FALSE);
    }
    EnableWindow(TRUE);
}

int CMainFrame::GetTitleState(const std::string& package) const {
    auto contains = [&](const std::vector<std::string>& list) {
        return std::any_of(list.begin(), list.end(), [&](const std::string& entry) {
            return hv::EqualsNoCase(entry, package);
        });
    };
    if (contains(m_arrInstalledDemos)) {
        return 3;
    }
    return contains(m_arrInstalledGames) ? 2 : 1;
}

UINT CMainFrame::FrameShowState() const {
    WINDOWPLACEMENT placement{};
    GetWindowPlacement(&placement);
    return placement.showCmd;
}

std::string CMainFrame::PlayerPagesUrl() const {
    return m_context.config ? m_context.config->GetPlayerPages() : std::string();
}

std::vector<GameInfo*> CMainFrame::DownloadQueue() const {
    std::lock_guard lock(m_shared->queueLock);
    return m_shared->downloadQueue;
}

int CMainFrame::ParseCatalogue() {
    const std::string artDir = m_context.config ? m_context.config->GetArtDir() : std::string();
    const std::string artUrl = m_context.config ? m_context.config->GetArtUrl() : std::string();
    // The running art thread walks the old list; the one started below
    // walks the merged one.
    StopArtThread();
    CGamesView* games = m_pGamesView && m_pGamesView->GetSafeHwnd() ? m_pGamesView.get() : nullptr;
    CategorySink onCategory;
    if (games) {
        onCategory = [games](std::string_view name) { games->AddCategory(name); };
    }
    {
        // A cancel worker may be reading the queued record's package.
        std::lock_guard lock(m_shared->queueLock);
        ParseCatalogueFile(kCatalogueFile, artDir, g_arrGameInfo, onCategory);
    }
    if (artDir.empty() || artUrl.empty()) {
        return 0;
    }
    // Opened before the thread starts: a thread that finishes its cached
    // icons at once must not signal an event nobody holds yet.
    const hv::UniqueHandle iconsDrawn(CreateEventA(nullptr, FALSE, FALSE, kGameIconsDrawDone));
    auto thread = std::make_unique<CGameInfoThread>(games ? games->GetSafeHwnd() : nullptr, artUrl);
    if (thread->CreateThread()) {
        m_pGameInfoThread = std::move(thread);
    } else {
        hv::LogError("the art thread could not start");
    }
    if (iconsDrawn &&
        hvWaitHandlingSent(1, iconsDrawn.Address(), kArtThreadWaitMs) != WAIT_OBJECT_0) {
        hv::LogWarning("cached icons not drawn within %u ms", kArtThreadWaitMs);
    }
    return 1;
}

void CMainFrame::StopArtThread() {
    if (m_pGameInfoThread && !m_pGameInfoThread->Stop(kArtThreadWaitMs)) {
        // It may still read the records it was walking: they must outlive it.
        m_bKeepRecords = true;
        hv::LogWarning("art thread did not stop within %u ms; abandoned", kArtThreadWaitMs);
    }
    m_pGameInfoThread.reset();
}

void CMainFrame::ClearCatalogue() {
    {
        std::lock_guard lock(m_shared->queueLock);
        auto& queue = m_shared->downloadQueue;
        if (m_engine) {
            const bool active = m_shared->downloadActive && !queue.empty();
            m_engine->Api().hv_CancelA(active ? std::string(queue.front()->m_strPackage).c_str()
                                              : nullptr);
        }
        // The records are about to go: no queued pointer may outlive them.
        queue.clear();
        m_shared->downloadActive = 0;
    }
    if (m_pDownloadView) {
        m_pDownloadView->SetGame(nullptr);
    }
    if (m_pGameInfoView) {
        m_pGameInfoView->SetGame(nullptr);
    }
    StopArtThread();
    if (m_bKeepRecords) {
        // An abandoned art thread never ends its walk in a freed record.
        static auto* const kept = new GameList;
        std::move(g_arrGameInfo.begin(), g_arrGameInfo.end(), std::back_inserter(*kept));
    }
    g_arrGameInfo.clear();
}

int CMainFrame::DiscoverServers() {
    return m_context.discoverServers ? m_context.discoverServers() : -1;
}

int CMainFrame::UnzipInstallPkg(const std::string& file, const std::string& folder) {
    if (!m_engine || !m_engine->Api().hv_UnzipInstallPkg) {
        return 0;
    }
    m_engine->Api().hv_UnzipInstallPkg(file.c_str(), folder.c_str());
    return 1;
}

int CMainFrame::CheckForUpgrade() {
    if (!m_context.checkForUpgrade) {
        return 1;
    }
    const int result =
        m_context.checkForUpgrade([this](const std::string& file, const std::string& folder) {
            return UnzipInstallPkg(file, folder);
        });
    if (result == 0) {
        PostMessage(WM_CLOSE);
    } else if (result < 0) {
        Inform("Error in installing the upgrade.");
    }
    return result;
}

void CMainFrame::ShowPurchaseDialog() {
    if (m_pPurchaseDlg && m_pPurchaseDlg->GetSafeHwnd()) {
        SwitchToScreen(m_pDownloadView.get());
        m_pPurchaseDlg->ShowWindow(SW_SHOW);
    }
}

bool CMainFrame::IsBrowserPage(HWND hwnd) const {
    if (!m_pBrowser || !m_pBrowser->GetSafeHwnd()) {
        return false;
    }
    for (CWnd* wnd = CWnd::FromHandle(hwnd); wnd; wnd = wnd->GetParent()) {
        if (wnd == m_pBrowser.get()) {
            return true;
        }
    }
    return false;
}

BOOL CMainFrame::PreTranslateMessage(MSG* msg) {
    // No context menu on the page.
    if ((msg->message == WM_RBUTTONDOWN || msg->message == WM_RBUTTONDBLCLK) &&
        IsBrowserPage(msg->hwnd)) {
        return TRUE;
    }
    if (msg->message == WM_KEYDOWN &&
        (msg->wParam == VK_RETURN || msg->wParam == VK_BACK || msg->wParam == VK_BROWSER_BACK) &&
        !IsBrowserPage(msg->hwnd)) {
        if (m_pActiveView) {
            m_pActiveView->SendMessage(WM_KEYDOWN, msg->wParam, msg->lParam);
        }
        return TRUE;
    }
    return FALSE;
}

std::shared_ptr<hv::Thread> CMainFrame::StartWorker(std::function<void()> body) {
    return std::make_shared<hv::Thread>(hv::Thread::Start(std::move(body)));
}

bool CMainFrame::WaitForWorkers(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    for (const auto* slot : {&m_pLoginWorker, &m_pDownloadWorker, &m_pCancelWorker,
                             &m_pDeleteWorker, &m_pCancelLoginWorker}) {
        // A copy: the worker's end message may clear the slot during the wait.
        const std::shared_ptr<hv::Thread> worker = *slot;
        const DWORD spent = GetTickCount() - start;
        if (worker && (spent >= milliseconds || !worker->Wait(milliseconds - spent))) {
            return false;
        }
    }
    return true;
}
