#include "ui/Dialog.h"

#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include "ui/WndWidget.h"

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
    }
    for (const DialogItem& item : dialogTemplate->items) {
        RECT r{item.units.left, item.units.top, item.units.left + item.units.right,
               item.units.top + item.units.bottom};
        MapDialogRect(&r);
        QWidget* widget = nullptr;
        switch (item.kind) {
            case DialogItemKind::Static:
                widget = new QLabel(QString::fromStdString(item.text), GetWidget());
                break;
            case DialogItemKind::Button: {
                auto* button = new QPushButton(QString::fromStdString(item.text), GetWidget());
                const int id = item.id;
                QObject::connect(button, &QPushButton::clicked, [this, id] {
                    SendMessage(WM_COMMAND, static_cast<WPARAM>(id), 0);
                });
                widget = button;
                break;
            }
            case DialogItemKind::Edit:
                widget = new QLineEdit(QString::fromStdString(item.text), GetWidget());
                break;
            case DialogItemKind::Custom: widget = new WndWidget(GetWidget()); break;
        }
        widget->setGeometry(r.left, r.top, r.right - r.left, r.bottom - r.top);
        if (!(item.style & WS_VISIBLE) && item.kind == DialogItemKind::Custom) {
            widget->hide();
        }
        auto wnd = std::make_unique<CWnd>();
        wnd->Attach(widget, this, static_cast<UINT>(item.id));
        m_items.push_back(std::move(wnd));
    }
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
    QEventLoop loop;
    m_loop = &loop;
    m_result = IDCANCEL;
    loop.exec(QEventLoop::DialogExec);
    m_loop = nullptr;
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
        case WM_KEYDOWN:
            if (wParam == VK_ESCAPE) {
                OnCancel();
                return 0;
            }
            break;
        default: break;
    }
    return CWnd::WindowProc(message, wParam, lParam);
}
