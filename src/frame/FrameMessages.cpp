// The frame's message table.
#include <QApplication>
#include <QCursor>

#include "engine/EngineTexts.h"
#include "frame/MainFrame.h"
#include "screens/DownloadView.h"
#include "screens/GameInfoView.h"
#include "screens/GamesView.h"
#include "screens/LoginStatusView.h"
#include "screens/LoginView.h"
#include "winapi/Log.h"

LRESULT CMainFrame::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    using hv::LParam;
    using hv::WParam;
    // Progress and time-to-play come several times a second: not worth a line each.
    if (message > WM_USER && message <= UWM_ENGINE_FAILED && message != UWM_ENGINE_PROGRESS &&
        message != UWM_ENGINE_STATE) {
        hv::LogInfo("engine notification WM_USER+%u", message - WM_USER);
    }
    switch (message) {
        case WM_CREATE: return OnCreate();
        case WM_DESTROY:
            CFrameWnd::WindowProc(message, wParam, lParam);
            OnDestroy();
            return 0;
        case WM_GETMINMAXINFO:
            LParam<WM_GETMINMAXINFO>(lParam)->ptMinTrackSize = POINT{kMinWidth, kMinHeight};
            return 0;
        case WM_SIZING: OnSizing(wParam, LParam<WM_SIZING>(lParam)); return TRUE;
        case WM_SETFOCUS:
            // As a frame does: the keyboard belongs to the screen shown (a
            // click on the bar or the window's return lands here).
            if (m_pActiveView) {
                m_pActiveView->SetFocus();
            }
            return 0;

        // From the engine.
        case UWM_ENGINE_PROGRESS: return lParam == 0 ? -1 : ForwardToListeners(message, 0, lParam);
        case UWM_ENGINE_STATE: return ForwardToListeners(message, wParam, lParam);
        case UWM_GAME_CLOSED: OnGameClosed(); return 0;
        case UWM_CATALOGUE_READY: OnCatalogueReady(); return 0;
        case UWM_CONNECTION_LOST:
            EndSession(
                hv::WithNumber("Network Error: Connection lost. You must log back in to continue.",
                               119),
                119, true);
            return 0;
        case UWM_ASK_PLAY_NOW: return OnAskPlayNow(LParam<UWM_ASK_PLAY_NOW>(lParam));
        case UWM_DOWNLOAD_DONE: OnDownloadDone(); return 0;
        case UWM_NOT_MEDIA_CENTER:
            if (m_context.mediaCenter) {
                *m_context.mediaCenter = 0;
            }
            return 0;
        case UWM_PACKAGE_ON_DISK:
            OnPackageOnDisk(wParam, LParam<UWM_PACKAGE_ON_DISK>(lParam));
            return 0;
        case UWM_PACKAGE_GONE: OnPackageGone(wParam, LParam<UWM_PACKAGE_GONE>(lParam)); return 0;
        case UWM_ENGINE_NOP: return 0;
        case UWM_SESSION_CLOSED: EndSession(std::string(), 0, false); return 0;
        case UWM_CONFIRM_PURCHASE:
            return OnConfirmPurchase(WParam<UWM_CONFIRM_PURCHASE>(wParam),
                                     LParam<UWM_CONFIRM_PURCHASE>(lParam));
        case UWM_FORCED_LOGOUT: OnForcedLogout(LParam<UWM_FORCED_LOGOUT>(lParam)); return 0;
        case UWM_ASK_STORAGE: return OnAskStorage(wParam, LParam<UWM_ASK_STORAGE>(lParam));
        case UWM_DISK_FULL: OnDiskFull(LParam<UWM_DISK_FULL>(lParam)); return 0;
        case UWM_ENGINE_CANCEL:
        case UWM_CANCEL_DOWNLOAD: StartCancelWorker(); return 0;
        case UWM_ENGINE_FAILED: OnEngineFailed(LParam<UWM_ENGINE_FAILED>(lParam)); return 0;

        // From the client's own screens and workers.
        case UWM_LOGIN_OK: OnLoginOk(); return 0;
        case UWM_SHOW_LOGIN: SwitchToScreen(m_pLoginView.get()); return 0;
        case UWM_SHOW_MESSAGE: {
            const char* text = LParam<UWM_SHOW_MESSAGE>(lParam);
            ShowMessage(text ? text : "", WParam<UWM_SHOW_MESSAGE>(wParam));
            return 0;
        }
        case UWM_LOGOUT:
            if (WParam<UWM_LOGOUT>(wParam) == 0) {
                PostMessage(WM_CLOSE);
            } else if (WParam<UWM_LOGOUT>(wParam) == 1) {
                AskLogout();
            }
            return 0;
        case UWM_START_DOWNLOAD: StartDownload(LParam<UWM_START_DOWNLOAD>(lParam), false); return 0;
        case UWM_GAME_ACTION:
            OnGameAction(WParam<UWM_GAME_ACTION>(wParam), LParam<UWM_GAME_ACTION>(lParam));
            return 0;
        case UWM_ACTIVATE_RUNNING:
            if (m_engine) {
                m_engine->Api().hv_SetGameForeground();
            }
            return 0;
        case UWM_DRAG_FRAME: SendMessage(WM_NCLBUTTONDOWN, wParam, 0); return 0;
        case UWM_CHECK_UPGRADE: CheckForUpgrade(); return 0;
        case UWM_SWITCH_SCREEN:
            OnSwitchScreen(WParam<UWM_SWITCH_SCREEN>(wParam), LParam<UWM_SWITCH_SCREEN>(lParam));
            return 0;
        case UWM_SHOW_GAME: OnShowGame(LParam<UWM_SHOW_GAME>(lParam)); return 0;
        case UWM_CANCEL_LOGIN: CancelLogin(); return 0;
        case UWM_START_LOGIN: StartLogin(); return 0;

        // Workers reaching the user-interface thread.
        case HVM_CLOSE_WAIT: CloseWaitDialog(); return 0;
        case HVM_DOWNLOAD_ENDED: OnDownloadEnded(*LParam<HVM_DOWNLOAD_ENDED>(lParam)); return 0;
        case HVM_CANCEL_ENDED:
            OnCancelEnded(WParam<HVM_CANCEL_ENDED>(wParam), LParam<HVM_CANCEL_ENDED>(lParam));
            return 0;
        case HVM_STOP_LOGIN_ANIMATION:
            if (m_pLoginStatusView) {
                m_pLoginStatusView->StopAnimation();
            }
            return 0;
        case HVM_WAIT_CURSOR:
            if (WParam<HVM_WAIT_CURSOR>(wParam)) {
                QApplication::setOverrideCursor(Qt::WaitCursor);
            } else {
                QApplication::restoreOverrideCursor();
            }
            return 0;
        case HVM_WORKER_ENDED: {
            const hv::Thread* ended = LParam<HVM_WORKER_ENDED>(lParam);
            for (auto* slot : {&m_pLoginWorker, &m_pDownloadWorker, &m_pCancelWorker,
                               &m_pDeleteWorker, &m_pCancelLoginWorker}) {
                if (slot->get() == ended) {
                    slot->reset();
                }
            }
            return 0;
        }
        default:
            if (message == ShellHookMessage()) {
                return wParam == HSHELL_APPCOMMAND ? OnShellHook(wParam, lParam) : 0;
            }
            return CFrameWnd::WindowProc(message, wParam, lParam);
    }
}

LRESULT CMainFrame::ForwardToListeners(UINT message, WPARAM wParam, LPARAM lParam) {
    // Copied: a listener may register another while it handles this.
    const std::vector<HWND> listeners = m_arrListeners;
    for (HWND listener : listeners) {
        if (IsWindow(listener)) {
            SendMessageA(listener, message, wParam, lParam);
        }
    }
    return 0;
}

void CMainFrame::OnSizing(WPARAM edge, RECT* rect) {
    if (edge != WMSZ_BOTTOMRIGHT) {
        return;
    }
    const int extra =
        std::max(rect->right - rect->left - kMinWidth, rect->bottom - rect->top - kMinHeight);
    rect->right = rect->left + kMinWidth + extra;
    rect->bottom = rect->top + kMinHeight + extra;
}

void CMainFrame::OnSwitchScreen(CBaseView* leaving, CBaseView* target) {
    if (leaving && leaving == m_pGameInfoView.get()) {
        m_pGameInfoView->ResetDetail();
    }
    if (target) {
        SwitchToScreen(target);
    }
}

void CMainFrame::OnShowGame(GameInfo* game) {
    if (!m_pGameInfoView) {
        return;
    }
    SwitchToScreen(m_pGameInfoView.get());
    m_pGameInfoView->SetGame(game);
}

void CMainFrame::OnCatalogueReady() {
    ParseCatalogue();
    if (m_pActiveView && m_pActiveView == m_pGamesView.get()) {
        m_pGamesView->RefreshGames();
    }
    if (m_pActiveView) {
        m_pActiveView->Invalidate(TRUE);
    }
}
