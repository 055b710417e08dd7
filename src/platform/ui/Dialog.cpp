#include "ui/Dialog.h"

#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>

#include "ui/Button.h"

std::vector<std::unique_ptr<CWnd>> CreateDialogItems(const DialogTemplate& dialogTemplate,
                                                     CWnd* parent, const QColor& staticText) {
    std::vector<std::unique_ptr<CWnd>> items;
    for (const DialogItem& item : dialogTemplate.items) {
        RECT r{item.units.left, item.units.top, item.units.left + item.units.right,
               item.units.top + item.units.bottom};
        MapDialogRect(&r);
        const QRect geometry(r.left, r.top, r.right - r.left, r.bottom - r.top);
        const UINT id = static_cast<UINT>(item.id);
        std::unique_ptr<CWnd> wnd;
        switch (item.kind) {
            case DialogItemKind::Static: {
                auto* label = new QLabel(parent->GetWidget());
                // Texts come from the network and the user: never markup.
                label->setTextFormat(Qt::PlainText);
                label->setText(QString::fromStdString(item.text));
                label->setAlignment((item.style & SS_TYPEMASK) == SS_CENTER
                                        ? Qt::AlignCenter
                                        : Qt::AlignLeft | Qt::AlignTop);
                label->setWordWrap((item.style & SS_TYPEMASK) != SS_LEFTNOWORDWRAP);
                if (staticText.isValid()) {
                    QPalette palette = label->palette();
                    palette.setColor(QPalette::WindowText, staticText);
                    label->setPalette(palette);
                }
                label->setGeometry(geometry);
                wnd = std::make_unique<CWnd>();
                wnd->Attach(label, parent, id);
                break;
            }
            case DialogItemKind::Button: {
                auto button = std::make_unique<CButton>();
                button->Create(item.text, 0, RECT{r.left, r.top, r.right, r.bottom}, parent, id);
                wnd = std::move(button);
                break;
            }
            case DialogItemKind::Edit: {
                auto* edit = new QLineEdit(QString::fromStdString(item.text), parent->GetWidget());
                edit->setGeometry(geometry);
                wnd = std::make_unique<CWnd>();
                wnd->Attach(edit, parent, id);
                break;
            }
            case DialogItemKind::Custom:
                wnd = std::make_unique<CWnd>();
                wnd->CreateEx(0, "", WS_CHILD, RECT{r.left, r.top, r.right, r.bottom}, parent, id);
                break;
        }
        if (item.style & WS_VISIBLE) {
            wnd->ShowWindow(SW_SHOW);
        } else {
            wnd->ShowWindow(SW_HIDE);
        }
        items.push_back(std::move(wnd));
    }
    return items;
}

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
    m_items = CreateDialogItems(*dialogTemplate, this, m_staticText);
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
    ShowWindow(SW_SHOW);
    // As on Windows, the owner takes no input while the dialog is up: not
    // even what reaches it past Qt's modality, such as the remote's keys.
    const bool disableOwner = m_parentWnd && m_parentWnd->IsWindowEnabled();
    if (disableOwner) {
        m_parentWnd->EnableWindow(FALSE);
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
