#include "screens/HomeScreenView.h"

#include <QWidget>
#include <algorithm>

#include "messages/Messages.h"
#include "screens/FrameInterface.h"
#include "skin/SkinSet.h"
#include "ui/DialogTemplate.h"

namespace {

// Dialog units; the list's width is that of its row images.
void RegisterTemplate() {
    static const bool registered = [] {
        RegisterDialogTemplate(
            DialogTemplate{CHomeScreenView::kTemplateId,
                           401,
                           302,
                           WS_CHILD,
                           {{CHomeScreenView::kMenuId, DialogItemKind::Custom, "",
                             RECT{9, 29, 150, 193}, WS_VISIBLE},
                            {CHomeScreenView::kPageAreaId, DialogItemKind::Static, "",
                             RECT{177, 29, 212, 256}, WS_VISIBLE}}});
        return true;
    }();
    (void)registered;
}

struct MenuEntry {
    const char* text;
    GameAction action;
};
constexpr MenuEntry kMenu[] = {
    {"What's New", ACTION_WHATS_NEW},
    {"Browse Games", ACTION_BROWSE_GAMES},
    {"Edit Profile", ACTION_EDIT_PROFILE},
    {"Support", ACTION_SUPPORT},
};
constexpr int kOrdinaryEntry = 1;
// The menu and the page area start this far below the top, clear of the logo.
constexpr int kMargin = 15;
constexpr int kTop = 112;

}  // namespace

CHomeScreenView::CHomeScreenView() : CBaseView(kTemplateId) {
    RegisterTemplate();
}

CHomeScreenView::~CHomeScreenView() {
    DestroyWindow();
}

void CHomeScreenView::OnInitialUpdate() {
    if (m_lstMenu.SubclassDlgItem(kMenuId, this)) {
        if (const CSkinSet* skin = GetSkin()) {
            m_lstMenu.GetWidget()->setFont(skin->Font(18, 700));
        }
    }
    m_wndPageArea.SubclassDlgItem(kPageAreaId, this);
}

int CHomeScreenView::FillMenu() {
    m_lstMenu.RemoveAllItems();
    for (const MenuEntry& entry : kMenu) {
        m_lstMenu.AddItem(entry.text, kOrdinaryEntry, entry.action);
    }
    m_lstMenu.SetCurSel(0);
    return 1;
}

void CHomeScreenView::ShowHome() {
    m_nBrowsePending = 0;
    ShowWhatsNew();
    m_lstMenu.SetCurSel(0);
}

void CHomeScreenView::ShowWhatsNew() {
    IFrame* frame = GetFrame();
    if (frame && m_wndPageArea.GetSafeHwnd()) {
        frame->HostBrowser(&m_wndPageArea, frame->PlayerPagesUrl() + "/whatsnew.htm");
    }
}

void CHomeScreenView::ArrangeControls(BOOL) {
    if (!m_lstMenu.GetSafeHwnd() || !m_wndPageArea.GetSafeHwnd()) {
        return;
    }
    RECT client;
    GetClientRect(&client);
    RECT list;
    m_lstMenu.GetClientRect(&list);
    const int listLeft = client.left + kMargin;
    const int listTop = client.top + kTop;
    m_lstMenu.MoveWindow(listLeft, listTop, list.right, list.bottom);
    // Built when the screen is first shown, not before the first frame.
    if (IsWindowVisible()) {
        m_lstMenu.LoadRowImages();
    }
    const RECT page{listLeft + list.right + kMargin, listTop, client.right - kMargin,
                    client.bottom - kMargin};
    m_wndPageArea.MoveWindow(page);
    if (IFrame* frame = GetFrame()) {
        frame->FitBrowser(page);
    }
}

void CHomeScreenView::OnKeyDown(WPARAM key, LPARAM data) {
    IFrame* frame = GetFrame();
    switch (key) {
        case VK_BACK:
        case VK_BROWSER_BACK:
            if (frame) {
                frame->GoBack();
            }
            return;
        case VK_RETURN: {
            CWnd* focus = GetFocus();
            if (focus == &m_lstMenu) {
                if (!m_nBrowsePending) {
                    m_lstMenu.SetPendingRow(std::max(m_lstMenu.GetCurrentRow(), 0));
                    m_lstMenu.SendMessage(UWM_MENU_CHOOSE);
                }
            } else if (focus && focus != this) {
                focus->SendMessage(WM_KEYDOWN, key, data);
            }
            return;
        }
        default: return;
    }
}

LRESULT CHomeScreenView::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_KEYDOWN:
            if (!(lParam & (LPARAM(1) << 30))) {
                OnKeyDown(wParam, lParam);
            }
            return 0;
        case UWM_MENU_CHOOSE: {
            IFrame* frame = GetFrame();
            if (const MCListItem* item = hv::LParam<UWM_MENU_CHOOSE>(lParam); item && frame) {
                hv::Post<UWM_GAME_ACTION>(frame->FrameHwnd(), static_cast<GameAction>(item->value),
                                          nullptr);
            }
            return 0;
        }
        default: return CBaseView::WindowProc(message, wParam, lParam);
    }
}
