#include "skin/PleaseWaitDlg.h"

#include <QLabel>
#include <QWidget>

#include "ui/DialogTemplate.h"

BOOL CPleaseWaitDlg::Create(CWnd* parent) {
    const RECT rect{0, 0, DialogUnitsToPixelsX(266), DialogUnitsToPixelsY(62)};
    if (!CreateEx(0, "", WS_POPUP, rect, nullptr, 0)) {
        return FALSE;
    }
    if (parent && parent->GetWidget()) {
        GetWidget()->setParent(parent->GetWidget(), GetWidget()->windowFlags() | Qt::Dialog);
        GetWidget()->resize(rect.right, rect.bottom);
    }
    m_label = new QLabel(GetWidget());
    m_label->setAlignment(Qt::AlignCenter);
    m_label->setGeometry(0, 0, rect.right, rect.bottom);
    SetMode(m_nMode);
    return TRUE;
}

void CPleaseWaitDlg::SetMode(int mode) {
    m_nMode = mode;
    if (m_label) {
        m_label->setText(mode == 1 ? "Checking For Updates" : "Please Wait");
    }
}
