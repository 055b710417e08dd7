#include "screens/LoginView.h"

#include <QWidget>

#include "messages/Messages.h"
#include "res/ResourceTable.h"
#include "screens/FrameInterface.h"
#include "skin/SkinSet.h"
#include "ui/DialogTemplate.h"

namespace {

using Self = CLoginView;

void RegisterTemplate() {
    static const bool registered = [] {
        using Kind = DialogItemKind;
        RegisterDialogTemplate(DialogTemplate{
            Self::kTemplateId,
            412,
            286,
            WS_CHILD,
            {{Self::kPanelId, Kind::Static, "", RECT{6, 0, 400, 273}, 0},
             {Self::kTopBarId, Kind::Static, "", RECT{72, 55, 265, 29}, WS_VISIBLE},
             {Self::kUserNameLabelId, Kind::Static, "User Name:", RECT{58, 98, 95, 17},
              WS_VISIBLE | SS_RIGHT},
             {Self::kUserNameId, Kind::Edit, "", RECT{162, 95, 189, 24},
              WS_VISIBLE | ES_AUTOHSCROLL},
             {Self::kPasswordLabelId, Kind::Static, "Password:", RECT{58, 130, 95, 17},
              WS_VISIBLE | SS_RIGHT},
             {Self::kPasswordId, Kind::Edit, "", RECT{162, 129, 189, 24},
              WS_VISIBLE | ES_PASSWORD | ES_AUTOHSCROLL},
             {Self::kBottomBarId, Kind::Static, "", RECT{72, 171, 265, 29}, WS_VISIBLE},
             {Self::kLoginId, Kind::Button, "Login", RECT{30, 242, 167, 31}, WS_VISIBLE},
             {Self::kCancelId, Kind::Button, "Cancel", RECT{212, 242, 167, 31}, WS_VISIBLE},
             {Self::kSpareId, Kind::Static, "Static", RECT{21, 134, 21, 54}, 0}}});
        return true;
    }();
    (void)registered;
}

constexpr const char* kBlanks = " \t\r\n\v\f";

std::string WithoutTrailingBlanks(const std::string& text) {
    const size_t end = text.find_last_not_of(kBlanks);
    return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

bool IsAutoRepeat(LPARAM data) {
    return (data & (LPARAM(1) << 30)) != 0;
}

}  // namespace

CLoginView::CLoginView() : CBaseView(kTemplateId) {
    RegisterTemplate();
}

CLoginView::~CLoginView() {
    // The delay thread only sleeps and posts: it is done within its delay.
    m_startupDelay.Wait(10 * kStartupDelayMs);
    DestroyWindow();
}

void CLoginView::OnInitialUpdate() {
    using namespace hv::res;
    const std::array<UINT, 8> borders{kEditTopEmphasised.id,
                                      kEditBottomEmphasised.id,
                                      kEditLeftEmphasised.id,
                                      kEditRightEmphasised.id,
                                      kEditTop.id,
                                      kEditBottom.id,
                                      kEditLeft.id,
                                      kEditRight.id};
    for (auto [box, id] :
         {std::pair{&m_editPassword, kPasswordId}, std::pair{&m_editUserName, kUserNameId}}) {
        box->LoadImages(borders);
        if (box->Attach(id, this)) {
            box->SendMessage(EM_LIMITTEXT, kMaxText);
        }
    }
    for (auto [button, id] :
         {std::pair{&m_btnLogin, kLoginId}, std::pair{&m_btnCancel, kCancelId}}) {
        if (button->SubclassDlgItem(id, this)) {
            button->SetSkinImages();
        }
    }
    if (m_topBar.SubclassDlgItem(kTopBarId, this)) {
        m_topBar.SetBitmap(kLoginHeaderRule.id);
    }
    if (m_bottomBar.SubclassDlgItem(kBottomBarId, this)) {
        m_bottomBar.SetBitmap(kLoginFooterRule.id);
    }
    if (m_panel.Attach(kPanelId, this)) {
        m_panel.CollectSiblings();
    }
    const CSkinSet* skin = GetSkin();
    const QFont font = skin ? skin->Font(30, 400) : QFont();
    for (const UINT id : {kUserNameId, kPasswordId}) {
        if (CWnd* item = GetDlgItem(static_cast<int>(id))) {
            item->GetWidget()->setFont(font);
        }
    }
    // The bundled face runs wider than the one the labels were sized for:
    // both take the size at which the longer fits on its line.
    if (CWnd* label = GetDlgItem(kUserNameLabelId)) {
        const QFont fitted =
            FitFont(font, QStringLiteral("User Name:"), label->GetWidget()->size(), false);
        for (const UINT id : {kUserNameLabelId, kPasswordLabelId}) {
            GetDlgItem(static_cast<int>(id))->GetWidget()->setFont(fitted);
        }
    }
    m_btnLogin.SetFont(font);
    m_btnCancel.SetFont(font);
    m_editUserName.SetFocus();
}

std::string CLoginView::GetUserName() const {
    return WithoutTrailingBlanks(m_editUserName.GetWindowText());
}

void CLoginView::SetUserName(const std::string& name) {
    m_editUserName.SetWindowText(name);
}

void CLoginView::SetPassword(const std::string& password) {
    m_editPassword.SetWindowText(password);
}

void CLoginView::CapturePassword() {
    m_strPassword = WithoutTrailingBlanks(m_editPassword.GetWindowText());
    m_editPassword.SetWindowText("");
}

void CLoginView::EnableInputs(BOOL enable) {
    for (CWnd* input : {static_cast<CWnd*>(&m_editUserName), static_cast<CWnd*>(&m_editPassword),
                        static_cast<CWnd*>(&m_btnCancel)}) {
        if (input->GetSafeHwnd()) {
            input->EnableWindow(enable);
        }
    }
}

void CLoginView::OnLogin() {
    m_strPassword.clear();
    if (!GetUserName().empty()) {
        CapturePassword();
        IFrame* frame = GetFrame();
        if (!m_strPassword.empty() && frame) {
            hv::Send<HVM_WAIT_CURSOR>(frame->FrameHwnd(), true);
            hv::Send<UWM_START_LOGIN>(frame->FrameHwnd());
            hv::Send<HVM_WAIT_CURSOR>(frame->FrameHwnd(), false);
        }
    }
    m_bLoginPosted = 0;
    EnableInputs(TRUE);
}

void CLoginView::OnCancel() {
    if (IFrame* frame = GetFrame()) {
        PostMessageA(frame->FrameHwnd(), WM_CLOSE, 0, 0);
    }
    m_bCancelPosted = 0;
}

BOOL CLoginView::PreTranslateMessage(MSG* msg) {
    if (msg->message == WM_KEYDOWN && (msg->wParam == VK_DOWN || msg->wParam == VK_UP)) {
        const CWnd* focus = GetFocus();
        if (CWnd* next = GetNextDlgTabItem(focus, msg->wParam == VK_UP)) {
            next->SetFocus();
        }
        return TRUE;
    }
    return CBaseView::PreTranslateMessage(msg);
}

void CLoginView::OnKeyDown(WPARAM key, LPARAM data) {
    CWnd* focus = GetFocus();
    const bool onButton = focus == &m_btnLogin || focus == &m_btnCancel;
    const bool repeat = IsAutoRepeat(data);
    if (key == VK_RETURN && !repeat) {
        if (focus == &m_btnCancel) {
            if (!m_bCancelPosted) {
                m_bCancelPosted = 1;
                hv::Post<WM_COMMAND>(GetSafeHwnd(), MAKEWPARAM(kCancelId, BN_CLICKED),
                                     m_btnCancel.GetSafeHwnd());
            }
        } else if (!m_bLoginPosted) {
            EnableInputs(FALSE);
            m_bLoginPosted = 1;
            hv::Post<WM_COMMAND>(GetSafeHwnd(), MAKEWPARAM(kLoginId, BN_CLICKED),
                                 m_btnLogin.GetSafeHwnd());
        }
        return;
    }
    if (key != VK_RETURN && key != VK_BACK && key != VK_BROWSER_BACK) {
        return;
    }
    if (!onButton) {
        if (key == VK_BACK && focus) {
            focus->SendMessage(WM_CHAR, VK_BACK, data);
        }
        return;
    }
    if (!repeat) {
        if (IFrame* frame = GetFrame()) {
            PostMessageA(frame->FrameHwnd(), WM_CLOSE, 0, 0);
        }
    }
}

void CLoginView::OnCheckUpgrade() {
    if (IFrame* frame = GetFrame()) {
        frame->ShowWaitDialog(1);
    }
    m_startupDelay = hv::Thread::Start([hwnd = GetSafeHwnd()] {
        Sleep(kStartupDelayMs);
        hv::Post<UWM_RUN_STARTUP_CHECK>(hwnd);
    });
}

void CLoginView::OnRunStartupCheck() {
    m_startupDelay = hv::Thread();
    IFrame* frame = GetFrame();
    if (!frame) {
        return;
    }
    hv::Send<HVM_WAIT_CURSOR>(frame->FrameHwnd(), true);
    frame->DiscoverServers();
    frame->CloseWaitDialog();
    SetForegroundWindow();
    frame->CheckForUpgrade();
    hv::Send<HVM_WAIT_CURSOR>(frame->FrameHwnd(), false);
}

void CLoginView::ArrangeControls(BOOL) {
    EnableInputs(TRUE);
    if (!m_panel.GetSafeHwnd()) {
        return;
    }
    RECT client;
    GetClientRect(&client);
    RECT panel;
    m_panel.GetClientRect(&panel);
    m_panel.MoveWindow((client.right - panel.right) / 2, (client.bottom - panel.bottom) / 2,
                       panel.right, panel.bottom);
}

LRESULT CLoginView::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_KEYDOWN: OnKeyDown(wParam, lParam); return 0;
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED) {
                if (LOWORD(wParam) == kLoginId) {
                    OnLogin();
                } else if (LOWORD(wParam) == kCancelId) {
                    OnCancel();
                }
            }
            return 0;
        case WM_SHOWWINDOW:
            // The buttons pulse only while this screen is the one shown.
            for (CAniButton* button : {&m_btnLogin, &m_btnCancel}) {
                if (wParam) {
                    button->StartAnimation();
                } else {
                    button->StopAnimation();
                }
            }
            break;
        case UWM_CHECK_UPGRADE: OnCheckUpgrade(); return 0;
        case UWM_RUN_STARTUP_CHECK: OnRunStartupCheck(); return 0;
        default: break;
    }
    return CBaseView::WindowProc(message, wParam, lParam);
}
