#include "screens/BrowserView.h"

#include "messages/Messages.h"
#include "screens/FrameInterface.h"
#include "screens/HomeScreenView.h"
#include "screens/LoginStatusView.h"
#include "skin/SkinSet.h"
#include "ui/DialogTemplate.h"

namespace {

constexpr int kMargin = 15;
constexpr int kButtonTop = 40;

void RegisterTemplate() {
    static const bool registered = [] {
        RegisterDialogTemplate(
            DialogTemplate{CBrowserView::kTemplateId,
                           390,
                           210,
                           WS_CHILD,
                           {{CBrowserView::IDC_CONTINUE, DialogItemKind::Button, "Continue Halvory",
                             RECT{235, 20, 151, 32}, WS_VISIBLE},
                            {CBrowserView::IDC_PAGE_AREA, DialogItemKind::Custom, "",
                             RECT{25, 73, 358, 97}, WS_VISIBLE}}});
        return true;
    }();
    (void)registered;
}

}  // namespace

CBrowserView::CBrowserView() : CBaseView(kTemplateId) {
    RegisterTemplate();
}

void CBrowserView::OnInitialUpdate() {
    m_btnContinue.SubclassDlgItem(IDC_CONTINUE, this);
    m_btnContinue.SetSkinImages();
    if (CSkinSet* skin = GetSkin()) {
        m_btnContinue.SetFont(skin->Font(23, 400));
    }
    m_btnContinue.SetWindowText("Continue Halvory");
}

void CBrowserView::ShowPage(const std::string& address, CBaseView* previous) {
    m_pPrevious = previous;
    m_btnContinue.ShowWindow(m_bContinueButton ? SW_SHOW : SW_HIDE);
    ArrangeControls(TRUE);
    IFrame* frame = GetFrame();
    if (CWnd* area = PageArea(); frame && area) {
        frame->HostBrowser(area, address);
    }
    // The keys of this screen work from the start, not after a click.
    if (m_bContinueButton) {
        m_btnContinue.SetFocus();
    } else {
        SetFocus();
    }
}

void CBrowserView::ContinueAction() {
    IFrame* frame = GetFrame();
    if (!frame) {
        return;
    }
    if (m_bReturnToPurchase) {
        m_bReturnToPurchase = 0;
        frame->ShowPurchaseDialog();
        return;
    }
    const bool fromStart =
        dynamic_cast<CHomeScreenView*>(m_pPrevious) || dynamic_cast<CLoginStatusView*>(m_pPrevious);
    if (m_pPrevious && !fromStart) {
        hv::Post<UWM_SWITCH_SCREEN>(frame->FrameHwnd(), nullptr, m_pPrevious);
        return;
    }
    frame->ShowHomeScreen();
}

void CBrowserView::ArrangeControls(BOOL) {
    RECT client{};
    GetClientRect(&client);
    CWnd* area = PageArea();
    if (!area || !m_btnContinue.GetSafeHwnd()) {
        return;
    }
    RECT page{client.left + kMargin, client.top + 30, client.right - kMargin,
              client.bottom - kMargin};
    if (m_bContinueButton) {
        RECT button{};
        m_btnContinue.GetClientRect(&button);
        const int width = button.right - button.left;
        const int height = button.bottom - button.top;
        m_btnContinue.MoveWindow(client.right - kMargin - width, client.top + kButtonTop, width,
                                 height);
        // One pixel past the left and bottom edges and two past the right:
        // the page fills the screen below the button without a border.
        page = RECT{client.left - 1, client.top + 44 + height, client.right + 2, client.bottom + 1};
    }
    area->MoveWindow(page);
    if (IFrame* frame = GetFrame()) {
        frame->FitBrowser(page);
    }
}

LRESULT CBrowserView::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_KEYDOWN: {
            if (HIWORD(lParam) & KF_REPEAT) {
                return 0;
            }
            if (wParam == VK_BACK || wParam == VK_BROWSER_BACK) {
                if (IFrame* frame = GetFrame()) {
                    frame->GoBack();
                }
            } else if (wParam == VK_RETURN && m_bContinueButton &&
                       CWnd::GetFocus() == &m_btnContinue) {
                ContinueAction();
            }
            return 0;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDC_CONTINUE && HIWORD(wParam) == BN_CLICKED) {
                ContinueAction();
            }
            return 0;
        case WM_SHOWWINDOW:
            // The button pulses only while this screen is the one shown.
            if (wParam) {
                m_btnContinue.StartAnimation();
            } else {
                m_btnContinue.StopAnimation();
            }
            return CBaseView::WindowProc(message, wParam, lParam);
        default: return CBaseView::WindowProc(message, wParam, lParam);
    }
}
