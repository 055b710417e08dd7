#include "screens/BaseView.h"

#include <QPainter>
#include <QWidget>

#include "image/CxImageQt.h"
#include "res/ResourceTable.h"
#include "screens/FrameInterface.h"
#include "skin/SkinSet.h"
#include "ui/DialogTemplate.h"

BOOL CBaseView::Create(CWnd* frame, UINT id) {
    RECT client{0, 0, 0, 0};
    if (frame) {
        frame->GetClientRect(&client);
    }
    if (!CreateEx(WS_EX_CLIENTEDGE, "", WS_CHILD, client, frame, id)) {
        return FALSE;
    }
    GetWidget()->setAttribute(Qt::WA_OpaquePaintEvent);
    if (const DialogTemplate* form = FindDialogTemplate(m_nTemplateId)) {
        // Statics show near-white text straight on the background picture;
        // edits take the same near-white as their background.
        m_arrControls = CreateDialogItems(
            *form, this,
            DialogItemColours{ToQColor(hv::look::kStaticText), ToQColor(hv::look::kStaticText)});
    }
    OnInitialUpdate();
    return TRUE;
}

void CBaseView::ArrangeControls(BOOL) {}

WORD CBaseView::OnAppCommand(int command) {
    if (command == APPCOMMAND_BROWSER_BACKWARD) {
        if (IFrame* frame = GetFrame()) {
            frame->GoBack();
        }
        return 1;
    }
    // Media keys mean nothing to a screen that does not claim them: swallow.
    if ((command >= APPCOMMAND_VOLUME_MUTE && command <= APPCOMMAND_MEDIA_STOP) ||
        (command >= APPCOMMAND_MEDIA_PLAY && command <= APPCOMMAND_MEDIA_CHANNEL_DOWN)) {
        return 1;
    }
    return 0;
}

void CBaseView::DrawBackground() {
    QWidget* widget = GetWidget();
    // Only what Qt asks for: every piece comes ready-made, so this is a few
    // copies of the part that changed, never the whole window.
    const QRect area = PaintArea(*this);
    QPainter painter(widget);
    CSkinSet* skin = GetSkin();
    if (const CPicture* backdrop = skin ? skin->Picture(hv::res::kScreenBackdrop.id) : nullptr) {
        DrawPicture(painter, *backdrop, widget->rect(), area);
    } else {
        painter.fillRect(area, ToQColor(hv::look::kNightDeep));
    }
    if (m_logo.isNull()) {
        if (const CxImage* logo = skin ? skin->Image(hv::res::kLogo.id) : nullptr) {
            m_logo = ToQImage(*logo).convertToFormat(QImage::Format_ARGB32_Premultiplied);
        }
    }
    const QRect logoArea(QPoint(16, 32), m_logo.size());
    if (area.intersects(logoArea)) {
        painter.drawImage(logoArea.topLeft(), m_logo);
    }
    const IFrame* frame = GetFrame();
    const UINT state = frame ? frame->FrameShowState() : SW_SHOWNORMAL;
    if (state == SW_SHOWNORMAL || state == SW_SHOW || state == SW_RESTORE) {
        if (m_grip.isNull()) {
            m_grip =
                MaskKeyColour(LoadBitmapResource(hv::res::kResizeGrip.id), hv::look::kKeyColour);
        }
        const QRect gripArea(
            QPoint(widget->width() - m_grip.width(), widget->height() - m_grip.height()),
            m_grip.size());
        if (area.intersects(gripArea)) {
            painter.drawImage(gripArea.topLeft(), m_grip);
        }
    }
}

namespace {

bool TakesTabFocus(const CWnd* control) {
    const QWidget* widget = control ? control->GetWidget() : nullptr;
    return widget && widget->isVisible() && widget->isEnabled() &&
           (widget->focusPolicy() & Qt::TabFocus);
}

}  // namespace

void CBaseView::FocusFirstControl() {
    const DialogTemplate* form = FindDialogTemplate(m_nTemplateId);
    if (!form) {
        return;
    }
    for (const DialogItem& item : form->items) {
        CWnd* control = GetDlgItem(item.id);
        if (TakesTabFocus(control)) {
            control->SetFocus();
            return;
        }
    }
}

CWnd* CBaseView::GetNextDlgTabItem(const CWnd* control, BOOL previous) const {
    const DialogTemplate* form = FindDialogTemplate(m_nTemplateId);
    if (!form || form->items.empty()) {
        return nullptr;
    }
    const auto count = static_cast<int>(form->items.size());
    int start = previous ? 0 : count - 1;
    for (int i = 0; i < count; ++i) {
        if (control && form->items[static_cast<size_t>(i)].id == control->GetDlgCtrlID()) {
            start = i;
        }
    }
    const int step = previous ? count - 1 : 1;
    for (int k = 1; k <= count; ++k) {
        const DialogItem& item = form->items[static_cast<size_t>((start + k * step) % count)];
        // Edits and buttons are tab stops; other controls only when they say so.
        const bool tabStop = item.kind == DialogItemKind::Edit ||
                             item.kind == DialogItemKind::Button || (item.style & WS_TABSTOP);
        CWnd* next = GetDlgItem(item.id);
        if (tabStop && TakesTabFocus(next)) {
            return next;
        }
    }
    return nullptr;
}

LRESULT CBaseView::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            DrawBackground();
            PaintOverlay();
            return 0;
        case WM_ERASEBKGND: return 1;
        case WM_SETFOCUS:
            CWnd::WindowProc(message, wParam, lParam);
            FocusFirstControl();
            return 0;
        case WM_SIZE:
            CWnd::WindowProc(message, wParam, lParam);
            ArrangeControls(TRUE);
            Invalidate(TRUE);
            return 0;
        default: return CWnd::WindowProc(message, wParam, lParam);
    }
}
