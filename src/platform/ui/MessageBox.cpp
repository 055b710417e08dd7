#include "ui/MessageBox.h"

#include <QMessageBox>

#include "ui/Wnd.h"

int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) {
    CWnd* parent = CWnd::FromHandle(owner);
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(caption ? caption : ""),
                    QString::fromUtf8(text ? text : ""), QMessageBox::NoButton,
                    parent ? parent->GetWidget() : nullptr);
    // The text may carry a server's or a file's words: never markup.
    box.setTextFormat(Qt::PlainText);
    if (type & MB_ICONERROR) {
        box.setIcon(QMessageBox::Critical);
    }
    if ((type & 0xF) == MB_YESNO) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    } else if ((type & 0xF) == MB_OKCANCEL) {
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    switch (box.exec()) {
        case QMessageBox::Yes: return IDYES;
        case QMessageBox::No: return IDNO;
        case QMessageBox::Cancel: return IDCANCEL;
        default: return IDOK;
    }
}
