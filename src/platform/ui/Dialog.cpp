#include "ui/Dialog.h"

#include <QEventLoop>
#include <QWidget>

#include "ui/Button.h"

CDialog::CDialog(UINT templateId, CWnd* parent) : m_templateId(templateId), m_parentWnd(parent) {}

CDialog::~CDialog() {
    if (m_loop) {
        m_loop->exit();
    }
    DestroyWindow();
}

BOOL CDialog::CreateFromTemplate(CWnd* parent) {
    const DialogTemplate* dialogTemplate = FindDialogTemplate(m_templateId);
    if (!dialogTemplate || GetSafeHwnd()) {
        return FALSE;
    }
    const RECT rect{0, 0, DialogUnitsToPixelsX(dialogTemplate->width),
                    DialogUnitsToPixelsY(dialogTemplate->height)};
    if (!CreateEx(0, "", (dialogTemplate->style & ~(WS_CHILD | WS_VISIBLE)) | WS_POPUP, rect,
                  nullptr, 0)) {
        return FALSE;
    }
    if (parent && parent->GetWidget()) {
        // Owned by the parent: stays above it and is centred on it.
        GetWidget()->setParent(parent->GetWidget(), GetWidget()->windowFlags() | Qt::Dialog);
        GetWidget()->resize(rect.right, rect.bottom);
        // An owned window works while its owner is disabled, as on Windows.
        GetWidget()->setEnabled(true);
    }
    m_items = CreateDialogItems(*dialogTemplate, this, DialogItemColours{m_staticText, {}});
    OnInitDialog();
    return TRUE;
}

BOOL CDialog::Create(UINT templateId, CWnd* parent) {
    m_templateId = templateId;
    m_parentWnd = parent;
    return CreateFromTemplate(parent);
}

INT_PTR CDialog::DoModal() {
    if (!CreateFromTemplate(m_parentWnd)) {
        return -1;
    }
    GetWidget()->setWindowModality(Qt::ApplicationModal);
    CenterWindow();
    QWidget* chosen = GetWidget()->focusWidget();
    ShowWindow(SW_SHOW);
    // As on Windows, the owner takes no input while the dialog is up: not
    // even what reaches it past Qt's modality, such as the remote's keys.
    const bool disableOwner = m_parentWnd && m_parentWnd->IsWindowEnabled();
    if (disableOwner) {
        m_parentWnd->EnableWindow(FALSE);
    }
    // Disabling the owner hands its focus on along the focus chain, which
    // runs into this dialog's first control: the control the dialog chose
    // takes it back.
    if (chosen) {
        chosen->setFocus(Qt::OtherFocusReason);
    }
    QEventLoop loop;
    m_loop = &loop;
    m_result = IDCANCEL;
    loop.exec(QEventLoop::DialogExec);
    m_loop = nullptr;
    if (disableOwner) {
        m_parentWnd->EnableWindow(TRUE);
    }
    DestroyWindow();
    m_items.clear();
    return m_result;
}

void CDialog::EndDialog(INT_PTR result) {
    m_result = result;
    if (m_loop) {
        m_loop->exit();
    } else {
        ShowWindow(SW_HIDE);
    }
}

BOOL CDialog::PreTranslateMessage(MSG* msg) {
    if (msg->message != WM_KEYDOWN) {
        return FALSE;
    }
    if (msg->wParam == VK_ESCAPE) {
        SendMessage(WM_COMMAND, IDCANCEL, 0);
        return TRUE;
    }
    if (msg->wParam == VK_RETURN) {
        CWnd* focus = GetFocus();
        if (auto* button = dynamic_cast<CButton*>(focus); button && button->GetParent() == this) {
            button->Click();
        } else {
            CWnd* defaultButton = GetDlgItem(IDOK);
            hv::Send<WM_COMMAND>(GetSafeHwnd(), MAKEWPARAM(IDOK, BN_CLICKED),
                                 defaultButton ? defaultButton->GetSafeHwnd() : nullptr);
        }
        return TRUE;
    }
    return FALSE;
}

LRESULT CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) {
                OnOK();
            } else if (LOWORD(wParam) == IDCANCEL) {
                OnCancel();
            }
            return 0;
        case WM_CLOSE: OnCancel(); return 0;
        default: break;
    }
    return CWnd::WindowProc(message, wParam, lParam);
}
