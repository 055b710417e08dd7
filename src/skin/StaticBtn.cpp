#include "skin/StaticBtn.h"

#include <QPainter>
#include <QWidget>

#include "skin/SkinSet.h"
#include "ui/DrawText.h"

QImage CStaticBtn::LoadState(UINT id) const {
    return MaskKeyColour(LoadBitmapResource(id), m_crTransparent);
}

const QImage& CStaticBtn::CurrentImage() const {
    if (!IsWindowEnabled()) {
        return m_disabled;
    }
    if (m_bPressed && m_bHover) {
        return m_pressed;
    }
    if (m_bHover && !m_bPressed) {
        return m_highlight;
    }
    if (GetFocus() == this) {
        return m_highlight;
    }
    return m_normal;
}

void CStaticBtn::ClearHover() {
    if (m_bHover) {
        m_bHover = false;
        Invalidate(TRUE);
    }
}

void CStaticBtn::Paint() {
    QPainter painter(GetWidget());
    const QRect area = GetWidget()->rect();
    painter.fillRect(area, ToQColor(m_crBackground));
    painter.drawImage(0, 0, CurrentImage());
    const std::string text = GetWindowText();
    if (m_bText && !text.empty()) {
        painter.setFont(m_font);
        painter.setPen(ToQColor(m_crText));
        UINT flags = DT_SINGLELINE | DT_WORD_ELLIPSIS;
        flags |= (m_style & SS_CENTER) ? DT_CENTER : (m_style & SS_RIGHT) ? DT_RIGHT : DT_LEFT;
        if (m_style & SS_CENTERIMAGE) {
            flags |= DT_VCENTER;
        }
        QRect textArea = area;
        hv::DrawText(painter, text, &textArea, flags);
    }
}

void CStaticBtn::MoveFocus(bool forward) {
    if (GetWidget()) {
        QWidget* next =
            forward ? GetWidget()->nextInFocusChain() : GetWidget()->previousInFocusChain();
        if (next) {
            next->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
        }
    }
}

BOOL CStaticBtn::PreTranslateMessage(MSG* msg) {
    if (msg->message != WM_KEYDOWN || msg->hwnd != GetSafeHwnd()) {
        return FALSE;
    }
    // The arrows act before the repeat check: a held arrow keeps moving.
    if (msg->wParam == VK_DOWN || msg->wParam == VK_RIGHT) {
        MoveFocus(true);
        return TRUE;
    }
    if (msg->wParam == VK_UP || msg->wParam == VK_LEFT) {
        MoveFocus(false);
        return TRUE;
    }
    if (!((msg->lParam >> 30) & 1) && GetParent()) {
        GetParent()->SendMessage(WM_KEYDOWN, msg->wParam, msg->lParam);
    }
    return TRUE;
}

LRESULT CStaticBtn::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: Paint(); return 0;
        case WM_MOUSEMOVE: {
            if (!m_bHover) {
                SetFocus();
            }
            const bool inside =
                GetWidget()->rect().contains(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
            if (inside != m_bHover) {
                m_bHover = inside;
                Invalidate(TRUE);
            }
            return 0;
        }
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            m_bPressed = true;
            m_bHover = true;
            Invalidate(TRUE);
            return 0;
        case WM_LBUTTONUP:
            m_bPressed = false;
            Invalidate(TRUE);
            if (GetParent()) {
                hv::Send<WM_COMMAND>(GetParent()->GetSafeHwnd(), MAKEWPARAM(GetDlgCtrlID(), 0),
                                     GetSafeHwnd());
            }
            return 0;
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
        case WM_ENABLE: Invalidate(TRUE); break;
        default: break;
    }
    return CWnd::WindowProc(message, wParam, lParam);
}
