// What the user does with a game: download, purchase, storage, play, delete.
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "app/ConfigHelper.h"
#include "catalogue/CatalogueFile.h"
#include "catalogue/GameInfo.h"
#include "engine/EngineTexts.h"
#include "frame/MainFrame.h"
#include "screens/DownloadView.h"
#include "screens/GameInfoView.h"
#include "screens/GamesView.h"
#include "screens/HomeScreenView.h"
#include "screens/LoginView.h"
#include "skin/MessageDlg.h"
#include "skin/PleaseWaitDlg.h"
#include "text/NoCase.h"
#include "winapi/Log.h"

namespace {

// Fills the pattern's "%s" slots in order.
template <class... Texts>
std::string Format(const char* pattern, const Texts&... texts) {
    const int size = std::snprintf(nullptr, 0, pattern, texts.c_str()...);
    std::string out(static_cast<size_t>(std::max(size, 0)), '\0');
    std::snprintf(out.data(), out.size() + 1, pattern, texts.c_str()...);
    return out;
}

}  // namespace

void CMainFrame::SetDetailBusy(UINT which, int value) {
    if (!m_pGameInfoView) {
        return;
    }
    if (which & DETAIL_DOWNLOAD) {
        m_pGameInfoView->m_bDownloadBusy = value;
    }
    if (which & DETAIL_PLAY) {
        m_pGameInfoView->m_bPlayBusy = value;
    }
    if (which & DETAIL_DELETE) {
        m_pGameInfoView->m_bDeleteBusy = value;
    }
}

void CMainFrame::OnGameAction(GameAction action, void* target) {
    if (!target) {
        if (!m_pHomeView || m_pHomeView->m_nBrowsePending) {
            return;
        }
        switch (action) {
            case ACTION_WHATS_NEW: m_pHomeView->ShowWhatsNew(); break;
            case ACTION_BROWSE_GAMES:
                hv::Send<HVM_WAIT_CURSOR>(GetSafeHwnd(), true);
                m_pHomeView->m_nBrowsePending = 1;
                m_pGamesView->RefreshGames();
                SwitchToScreen(m_pGamesView.get());
                hv::Send<HVM_WAIT_CURSOR>(GetSafeHwnd(), false);
                break;
            case ACTION_EDIT_PROFILE:
                if (m_engine) {
                    char buffer[HV_BUFFER_SIZE] = {};
                    m_engine->Api().hv_GetSMSLoginURL(buffer);
                    buffer[HV_BUFFER_SIZE - 1] = '\0';
                    ShowWebPage(buffer, 1, 0, 0);
                }
                break;
            case ACTION_SUPPORT: {
                const std::string help =
                    m_context.config ? m_context.config->GetHelpUrl() : std::string();
                ShowWebPage(help + "/troubleshootingtips.htm", 1, 0, 0);
                break;
            }
            default: break;
        }
        return;
    }
    if (action == ACTION_ADD_LISTENER) {
        if (auto* listener = static_cast<CWnd*>(target); listener->GetSafeHwnd()) {
            m_arrListeners.push_back(listener->GetSafeHwnd());
        }
        return;
    }
    if (action < ACTION_DOWNLOAD || action > ACTION_DELETE_PARTNER || !m_pGameInfoView ||
        m_pGameInfoView->IsBusy()) {
        return;
    }
    auto* game = static_cast<GameInfo*>(target);
    const bool partner = action == ACTION_DOWNLOAD_PARTNER || action == ACTION_PLAY_PARTNER ||
                         action == ACTION_DELETE_PARTNER;
    GameInfo* chosen = partner ? game->m_pPartner : game;
    if (!chosen) {
        return;
    }
    switch (action) {
        case ACTION_DOWNLOAD:
        case ACTION_DOWNLOAD_PARTNER: StartDownload(chosen, true); break;
        case ACTION_PLAY:
        case ACTION_PLAY_PARTNER: Play(chosen); break;
        default: StartDeleteWorker(chosen); break;
    }
}

void CMainFrame::StartDownload(GameInfo* game, bool fromAction) {
    if (fromAction) {
        m_pGameInfoView->m_bDownloadBusy = 1;
        std::lock_guard lock(m_shared->queueLock);
        m_shared->downloadQueue.insert(m_shared->downloadQueue.begin(), game);
    }
    if (m_context.config) {
        m_context.config->m_nFrameFlag = 0;
    }
    if (!m_pDownloadView || !game || !m_engine) {
        return;
    }
    SwitchToScreen(m_pDownloadView.get());
    ShowWaitDialog(0);
    m_pDownloadView->SetGame(game);
    m_pDownloadWorker = StartWorker(
        [engine = m_engine, hwnd = GetSafeHwnd(), session = m_shared->session.load(),
         package = std::string(game->m_strPackage), title = std::string(game->m_strTitle)] {
            Sleep(1000);
            char buffer[HV_BUFFER_SIZE] = {};
            const int code = engine->Api().hv_DownloadA(package.c_str(), title.c_str(), 1, buffer);
            hv::LogInfo("hv_DownloadA returned %d", code);
            buffer[HV_BUFFER_SIZE - 1] = '\0';
            const DownloadOutcome outcome{session, code, buffer};
            hv::Send<HVM_DOWNLOAD_ENDED>(hwnd, {}, &outcome);
        });
}

void CMainFrame::OnDownloadEnded(const DownloadOutcome& outcome) {
    if (outcome.session != m_shared->session) {
        hv::LogInfo("download result %d of an ended session dropped", outcome.code);
        return;
    }
    CloseWaitDialog();
    switch (outcome.code) {
        case HV_DL_OK: m_shared->downloadActive = 1; return;
        case HV_DL_CONNECTION_LOST:
            SetDetailBusy(DETAIL_DOWNLOAD, 0);
            hv::Post<UWM_CONNECTION_LOST>(GetSafeHwnd());
            return;
        case HV_DL_DECLINED:
        case HV_DL_ABORTED: SetDetailBusy(DETAIL_DOWNLOAD, 0); break;
        default:
            SetDetailBusy(DETAIL_DOWNLOAD, 0);
            ShowMessage(hv::DownloadFailureMessage(outcome.code, outcome.text), 1);
            // A logout while the message was up has the last word on the screen.
            if (outcome.session != m_shared->session) {
                return;
            }
            break;
    }
    hv::Post<UWM_SWITCH_SCREEN>(GetSafeHwnd(), nullptr, m_pGameInfoView.get());
}

void CMainFrame::StartCancelWorker() {
    ShowWaitDialog(0);
    m_pCancelWorker =
        StartWorker([engine = m_engine, shared = m_shared, hwnd = GetSafeHwnd(),
                     session = m_shared->session.load(), download = m_pDownloadWorker] {
            Sleep(100);
            shared->downloadActive = 0;
            bool removed = false;
            std::string package;
            {
                std::lock_guard lock(shared->queueLock);
                if (!shared->downloadQueue.empty()) {
                    package = shared->downloadQueue.front()->m_strPackage;
                    shared->downloadQueue.erase(shared->downloadQueue.begin());
                    removed = true;
                }
            }
            if (engine) {
                engine->Api().hv_CancelA(removed ? package.c_str() : nullptr);
            }
            if (download && download->IsRunning()) {
                download->Wait(kDownloadCancelWaitMs);
            }
            hv::Send<HVM_CANCEL_ENDED>(hwnd, session, removed);
        });
}

void CMainFrame::OnCancelEnded(unsigned session, bool removed) {
    if (session != m_shared->session) {
        return;
    }
    CloseWaitDialog();
    if (removed) {
        hv::Post<UWM_SWITCH_SCREEN>(GetSafeHwnd(), nullptr, m_pGameInfoView.get());
    }
    SetDetailBusy(DETAIL_DOWNLOAD | DETAIL_PLAY, 0);
}

void CMainFrame::StartDeleteWorker(GameInfo* game) {
    m_pGameInfoView->m_bDeleteBusy = 1;
    const unsigned session = m_shared->session;
    const bool yes =
        AskQuestion(Format("Are you sure you want to delete %s?", std::string(game->m_strTitle)),
                    MSG_FIRST_DEFAULT) == IDYES;
    if (yes && m_engine && session == m_shared->session) {
        ShowWaitDialog(0);
        m_pDeleteWorker = StartWorker(
            [engine = m_engine, hwnd = GetSafeHwnd(), package = std::string(game->m_strPackage)] {
                hv::Send<HVM_WAIT_CURSOR>(hwnd, true);
                Sleep(1000);
                engine->Api().hv_DeletePkgA(package.c_str());
                hv::Send<HVM_CLOSE_WAIT>(hwnd);
                hv::Send<HVM_WAIT_CURSOR>(hwnd, false);
            });
    }
    m_pGameInfoView->m_bDeleteBusy = 0;
}

void CMainFrame::Play(GameInfo* game) {
    hv::Send<HVM_WAIT_CURSOR>(GetSafeHwnd(), true);
    m_pGameInfoView->m_bPlayBusy = 1;
    const std::string user = m_pLoginView ? m_pLoginView->GetUserName() : std::string();
    const std::string password = m_pLoginView ? m_pLoginView->GetPassword() : std::string();
    const int played = m_engine
                           ? m_engine->Api().hv_PlayGameA(std::string(game->m_strTitle).c_str(),
                                                          user.c_str(), password.c_str())
                           : -1;
    hv::LogInfo("hv_PlayGameA returned %d", played);
    if (played != 0) {
        m_pGameInfoView->m_bPlayBusy = 0;
    }
    hv::Send<HVM_WAIT_CURSOR>(GetSafeHwnd(), false);
}

void CMainFrame::OnDownloadDone() {
    {
        std::lock_guard lock(m_shared->queueLock);
        if (!m_shared->downloadQueue.empty()) {
            m_shared->downloadQueue.erase(m_shared->downloadQueue.begin());
        }
    }
    m_shared->downloadActive = 0;
    if (m_context.config) {
        m_context.config->m_nFrameFlag = 1;
    }
    SetDetailBusy(DETAIL_DOWNLOAD, 0);
}

LRESULT CMainFrame::OnConfirmPurchase(const char* price, const char* title) {
    CloseWaitDialog();
    EnableWindow(FALSE);
    const std::string priceText = price ? price : "";
    const std::string name = title ? title : "";
    const unsigned session = m_shared->session;
    const INT_PTR first = AskQuestion(Format("Your account will be charged $%s for the purchase of "
                                             "%s.\r\n\r\nDo you wish to continue?",
                                             priceText, name),
                                      MSG_FIRST_DEFAULT | MSG_YES_NO);
    if (first != IDYES || session != m_shared->session) {
        EnableWindow(TRUE);
        return 0;
    }
    // The second answer comes later, through the named events the engine
    // waits on; the dialog sets one of them.
    if (!m_pPurchaseDlg) {
        m_pPurchaseDlg = std::make_unique<CMessageDlg>(this);
        m_pPurchaseDlg->m_bTwoButtons = 1;
        m_pPurchaseDlg->m_bFirstDefault = 1;
        m_pPurchaseDlg->m_bPurchase = 1;
        m_pPurchaseDlg->m_fnShowTerms = [this] {
            ShowWebPage(PlayerPagesUrl() + "/terms.htm", 1, 0, 1);
        };
        m_pPurchaseDlg->m_fnPurchaseAccepted = [this] { ShowWaitDialog(0); };
    }
    m_pPurchaseDlg->SetMessage(
        Format("Your credit card will be charged $%s for this purchase.\r\nAre you sure you wish "
               "to purchase %s?",
               priceText, name));
    m_pPurchaseDlg->SetTitle(kAppTitle);
    if (!m_pPurchaseDlg->GetSafeHwnd() && !m_pPurchaseDlg->Create(CMessageDlg::kTemplateId, this)) {
        EnableWindow(TRUE);
        return 0;
    }
    EnableWindow(FALSE);
    m_pPurchaseDlg->CenterWindow();
    m_pPurchaseDlg->ShowWindow(SW_SHOW);
    return 1;
}

LRESULT CMainFrame::OnAskStorage(WPARAM demo, const char* title) {
    CloseWaitDialog();
    const std::string name = title ? title : "";
    const unsigned session = m_shared->session;
    for (;;) {
        MessageRequest request{Format("Where would you like to store %s?", name),
                               MSG_TWO_BUTTONS | MSG_FIRST_DEFAULT | MSG_FOLDER,
                               0,
                               {}};
        if (RunMessageDialog(request) != IDYES || session != m_shared->session) {
            return 0;
        }
        std::string path = request.folderPath;
        if (path.empty() || access(path.c_str(), R_OK | W_OK) != 0) {
            Inform(
                "The path given either does not exist or is invalid. Please specify a valid "
                "location.");
            continue;
        }
        if (path.back() != '/') {
            path += '/';
        }
        // The title comes from the network: it names one folder, never a path.
        path += FolderName(name);
        if (demo) {
            path += " Demo";
        }
        m_engine->Api().hv_SetGamePath(path.c_str());
        ShowWaitDialog(0);
        return 1;
    }
}

void CMainFrame::OnEngineFailed(const char* text) {
    hv::LogWarning("engine failure: %s", text ? text : "");
    Inform(text ? text : "");
}

void CMainFrame::OnDiskFull(const char* title) {
    Inform(Format("There is not enough hard disk space available to store %s.",
                  std::string(title ? title : "")));
}

LRESULT CMainFrame::OnAskPlayNow(const char* title) {
    if (m_pDownloadView) {
        m_pDownloadView->MarkReadyToPlay();
    }
    const unsigned session = m_shared->session;
    const INT_PTR answer =
        AskQuestion(Format("Would you like to play %s now?", std::string(title ? title : "")),
                    MSG_FIRST_DEFAULT);
    m_bWasMaximised = FrameShowState() == SW_SHOWMAXIMIZED ? 1 : 0;
    if (answer == IDYES && session == m_shared->session) {
        ShowWindow(SW_MINIMIZE);
        return 1;
    }
    return 0;
}

void CMainFrame::OnGameClosed() {
    RestoreFrame();
    BringWindowToTop();
    SetForegroundWindow();
    if (m_pDownloadView) {
        m_pDownloadView->SetPlayEnded();
    }
    if (m_context.config && m_context.config->m_nFrameFlag) {
        SwitchToScreen(m_pGameInfoView.get());
        SetDetailBusy(DETAIL_DOWNLOAD | DETAIL_PLAY, 0);
    } else if (m_shared->downloadActive) {
        SetDetailBusy(DETAIL_PLAY, 0);
    } else {
        SetDetailBusy(DETAIL_DOWNLOAD | DETAIL_PLAY, 0);
    }
}

void CMainFrame::OnPackageOnDisk(WPARAM demo, const char* package) {
    (demo ? m_arrInstalledDemos : m_arrInstalledGames).push_back(package ? package : "");
}

void CMainFrame::OnPackageGone(WPARAM refresh, const char* package) {
    const std::string id = package ? package : "";
    auto removeFirst = [&](std::vector<std::string>& list) {
        for (auto it = list.begin(); it != list.end(); ++it) {
            if (hv::EqualsNoCase(*it, id)) {
                list.erase(it);
                return true;
            }
        }
        return false;
    };
    if (!removeFirst(m_arrInstalledDemos)) {
        removeFirst(m_arrInstalledGames);
    }
    if (refresh && m_pGameInfoView) {
        m_pGameInfoView->RefreshDetail();
    }
}
