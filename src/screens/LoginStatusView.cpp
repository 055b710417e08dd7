#include "screens/LoginStatusView.h"

#include <QWidget>

#include "messages/Messages.h"
#include "res/ResourceTable.h"
#include "screens/FrameInterface.h"
#include "skin/SkinSet.h"
#include "ui/DialogTemplate.h"

namespace {

using Self = CLoginStatusView;

void RegisterTemplate() {
    static const bool registered = [] {
        using Kind = DialogItemKind;
        RegisterDialogTemplate(DialogTemplate{
            Self::kTemplateId,
            369,
            225,
            WS_CHILD,
            {{Self::kStatusId, Kind::Static, "", RECT{37, 108, 297, 27}, WS_VISIBLE | SS_CENTER},
             {Self::kCancelId, Kind::Button, "Cancel", RECT{101, 161, 167, 31}, WS_VISIBLE},
             {Self::kAnimationId, Kind::Custom, "", RECT{79, 13, 210, 64},
              WS_VISIBLE | ACS_TRANSPARENT},
             {Self::kPanelId, Kind::Static, "", RECT{28, 3, 313, 206}, 0}}});
        return true;
    }();
    (void)registered;
}

}  // namespace

CLoginStatusView::CLoginStatusView() : CBaseView(kTemplateId) {
    RegisterTemplate();
}

CLoginStatusView::~CLoginStatusView() {
    DestroyWindow();
}

void CLoginStatusView::OnInitialUpdate() {
    const CSkinSet* skin = GetSkin();
    const QFont font = skin ? skin->Font(30, 400) : QFont();
    if (m_btnCancel.SubclassDlgItem(kCancelId, this)) {
        m_btnCancel.SetSkinImages();
        m_btnCancel.SetFont(font);
    }
    if (CWnd* status = GetDlgItem(kStatusId)) {
        status->GetWidget()->setFont(font);
        status->SetWindowText(kConnecting);
    }
    if (m_animation.SubclassDlgItem(kAnimationId, this)) {
        m_animation.m_crTransparent = hv::look::kKeyColour;
        m_animation.OpenResource(hv::res::kConnectingAnimation.id);
    }
    if (m_panel.Attach(kPanelId, this)) {
        m_panel.CollectSiblings();
    }
}

void CLoginStatusView::ArrangeControls(BOOL) {
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

void CLoginStatusView::StartAnimation() {
    m_bAnimating = true;
    m_animation.Play(0, -1, -1);
    m_btnCancel.StartAnimation();
}

void CLoginStatusView::StopAnimation() {
    m_bAnimating = false;
    m_animation.Stop();
    m_btnCancel.StopAnimation();
}

void CLoginStatusView::PostCancel() {
    if (IFrame* frame = GetFrame()) {
        hv::Post<UWM_CANCEL_LOGIN>(frame->FrameHwnd());
    }
}

LRESULT CLoginStatusView::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_KEYDOWN:
            if (!(lParam & (LPARAM(1) << 30)) &&
                ((wParam == VK_RETURN && GetFocus() == &m_btnCancel) || wParam == VK_BACK ||
                 wParam == VK_BROWSER_BACK)) {
                PostCancel();
            }
            break;
        case WM_COMMAND:
            if (LOWORD(wParam) == kCancelId && HIWORD(wParam) == BN_CLICKED) {
                PostCancel();
            }
            return 0;
        case WM_SHOWWINDOW:
            if (wParam) {
                StartAnimation();
            } else {
                StopAnimation();
            }
            break;
        default: break;
    }
    return CBaseView::WindowProc(message, wParam, lParam);
}
