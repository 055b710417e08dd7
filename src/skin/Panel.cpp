#include "skin/Panel.h"

#include <QWidget>

BOOL CPanel::Attach(UINT id, CWnd* parent) {
    const CWnd* item = parent ? parent->GetDlgItem(static_cast<int>(id)) : nullptr;
    if (!item || !item->GetWidget()) {
        return FALSE;
    }
    m_rect = item->GetWidget()->geometry();
    return SubclassDlgItem(id, parent);
}

int CPanel::AddControl(UINT id) {
    m_ids.push_back(id);
    return static_cast<int>(m_ids.size()) - 1;
}

void CPanel::CollectSiblings() {
    const CWnd* parent = GetParent();
    if (!parent || !parent->GetWidget()) {
        return;
    }
    for (const QObject* object : parent->GetWidget()->children()) {
        const auto* widget = qobject_cast<const QWidget*>(object);
        if (!widget || widget->isWindow()) {
            continue;
        }
        // A widget that is no window of its own answers with the parent.
        const CWnd* child = CWnd::FromWidget(widget);
        if (child && child != parent && child->GetDlgCtrlID() != GetDlgCtrlID()) {
            m_ids.push_back(static_cast<UINT>(child->GetDlgCtrlID()));
        }
    }
}

void CPanel::OnMove(const QPoint& position) {
    const QPoint offset = position - m_rect.topLeft();
    if (const CWnd* parent = GetParent()) {
        for (const UINT id : m_ids) {
            CWnd* control = parent->GetDlgItem(static_cast<int>(id));
            if (control && control->GetWidget()) {
                const QRect rect = control->GetWidget()->geometry().translated(offset);
                control->MoveWindow(rect.x(), rect.y(), rect.width(), rect.height(), TRUE);
            }
        }
    }
    m_rect = GetWidget()->geometry();
}

LRESULT CPanel::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_MOVE) {
        OnMove(QPoint(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)));
    }
    return CWnd::WindowProc(message, wParam, lParam);
}
