#include "ui/Button.h"

#include <QPainter>
#include <QWidget>

#include "ui/DrawText.h"

BOOL CButton::Create(const std::string& text, DWORD style, const RECT& rect, CWnd* parent,
                     UINT id) {
    if (!CreateEx(0, "", style | WS_CHILD, rect, parent, id)) {
        return FALSE;
    }
    SetWindowText(text);
    return TRUE;
}

void CButton::SetFont(const QFont& font) {
    m_font = font;
    Invalidate(FALSE);
}

void CButton::Click() {
    if (CWnd* parent = GetParent()) {
        hv::Send<WM_COMMAND>(parent->GetSafeHwnd(), MAKEWPARAM(GetDlgCtrlID(), BN_CLICKED),
                             GetSafeHwnd());
    }
}

void CButton::DrawItem(QPainter& painter) {
    const QRect area = GetWidget()->rect();
    painter.fillRect(area, m_bPressed ? QColor(0x2A, 0x3C, 0x5C) : QColor(0x1C, 0x2C, 0x48));
    painter.setPen(QColor(0x3F, 0xC1, 0xFF));
    painter.drawRect(area.adjusted(0, 0, -1, -1));
    painter.setFont(m_font);
    painter.setPen(QColor(0xEE, 0xEE, 0xEE));
    QRect text = area;
    hv::DrawText(painter, GetWindowText(), &text,
                 DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_WORD_ELLIPSIS);
}

LRESULT CButton::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: {
            QPainter painter(GetWidget());
            DrawItem(painter);
            return 0;
        }
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            m_bPressed = true;
            SetFocus();
            Invalidate(FALSE);
            return 0;
        case WM_LBUTTONUP: {
            const bool wasPressed = m_bPressed;
            m_bPressed = false;
            Invalidate(FALSE);
            const QPoint point(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
            if (wasPressed && GetWidget() && GetWidget()->rect().contains(point)) {
                Click();
            }
            return 0;
        }
        case WM_KEYDOWN:
            if (wParam == VK_SPACE) {
                Click();
                return 0;
            }
            break;
        default: break;
    }
    return CWnd::WindowProc(message, wParam, lParam);
}
