// Login, logout and the end of a session.
#include "engine/EngineTexts.h"
#include "frame/MainFrame.h"
#include "screens/GameInfoView.h"
#include "screens/GamesView.h"
#include "screens/LoginStatusView.h"
#include "screens/LoginView.h"
#include "skin/MessageDlg.h"
#include "winapi/Log.h"

void CMainFrame::StartLogin() {
    m_arrInstalledDemos.clear();
    m_arrInstalledGames.clear();
    SwitchToScreen(m_pLoginStatusView.get());
    if (!m_engine || !m_pLoginView) {
        return;
    }
    m_pLoginStatusView->StartAnimation();
    const std::string user = m_pLoginView->GetUserName();
    const std::string password = m_pLoginView->GetPassword();
    m_pLoginWorker = StartWorker([engine = m_engine, hwnd = GetSafeHwnd(), user, password] {
        const int code = engine->Api().hv_LoginA(user.c_str(), password.c_str(), 1);
        hv::LogInfo("hv_LoginA returned %d", code);
        if (code == HV_LOGIN_OK || code == HV_LOGIN_OK_ALT) {
            hv::Post<UWM_LOGIN_OK>(hwnd);
            return;
        }
        if (code == HV_LOGIN_CANCELLED) {
            return;  // the cancel worker reports
        }
        hv::Send<HVM_STOP_LOGIN_ANIMATION>(hwnd);
        if (code == HV_LOGIN_PENDING) {
            return;
        }
        const hv::CodeMessage message = hv::LoginFailureMessage(code);
        hv::Send<UWM_SHOW_MESSAGE>(hwnd, message.number, message.text.c_str());
        hv::Post<UWM_SHOW_LOGIN>(hwnd);
    });
}

void CMainFrame::CancelLogin() {
    if (m_pLoginStatusView) {
        m_pLoginStatusView->StopAnimation();
    }
    ShowWaitDialog(2);
    m_pCancelLoginWorker =
        StartWorker([engine = m_engine, login = m_pLoginWorker, hwnd = GetSafeHwnd()] {
            Sleep(100);
            if (login) {
                if (login->IsRunning() && engine) {
                    engine->Api().hv_CancelLogin();
                    // A login that never returns is left to finish alone.
                    login->Wait(kLoginCancelWaitMs);
                }
                hv::Send<HVM_WORKER_ENDED>(hwnd, {}, login.get());
            }
            hv::Send<HVM_CLOSE_WAIT>(hwnd);
            hv::Post<UWM_SHOW_LOGIN>(hwnd);
        });
}

void CMainFrame::OnLoginOk() {
    m_wndToolBar.SetLogoutEnabled(TRUE);
    ParseCatalogue();
    ShowWebPage(PlayerPagesUrl() + "/announcements.htm", 1, 1, 0);
}

void CMainFrame::AskLogout() {
    if (AskQuestion("Are you sure you want to logout?", MSG_FIRST_DEFAULT) == IDYES) {
        LogoutSequence();
    }
}

void CMainFrame::LogoutSequence() {
    // What the ended session left open must not act for it later: workers'
    // results are dropped, the purchase is declined, questions are closed.
    ++m_shared->session;
    if (m_pPurchaseDlg && m_pPurchaseDlg->GetSafeHwnd()) {
        m_pPurchaseDlg->AnswerPurchase(false);
    }
    for (CMessageDlg* dialog : m_openDialogs) {
        dialog->EndDialog(IDCANCEL);
    }
    CloseWaitDialog();
    if (m_pGameInfoView) {
        m_pGameInfoView->ResetDetail();
    }
    m_wndToolBar.SetLogoutEnabled(FALSE);
    ClearCatalogue();
    if (m_pGamesView) {
        m_pGamesView->RemoveAllGames();
    }
    m_arrInstalledDemos.clear();
    m_arrInstalledGames.clear();
    if (m_engine) {
        m_engine->Api().hv_LogOut();
    }
    hv::Post<UWM_SWITCH_SCREEN>(GetSafeHwnd(), nullptr, m_pLoginView.get());
}

void CMainFrame::RestoreFrame() {
    ShowWindow(m_bWasMaximised == 1 ? SW_SHOWMAXIMIZED : SW_RESTORE);
}

void CMainFrame::EndSession(const std::string& text, long errorCode, bool showMessage) {
    RestoreFrame();
    if (showMessage) {
        ShowMessage(text, errorCode);
    }
    LogoutSequence();
}

void CMainFrame::OnForcedLogout(long reason) {
    hv::LogInfo("forced logout, reason %ld", reason);
    // Shown with its number, but without an error code for the help link.
    EndSession(hv::ForcedLogoutMessage(reason).text, 0, true);
}
