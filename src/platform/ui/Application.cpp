#include "ui/Application.h"

#include "ui/MessagePump.h"

CWinApp::CWinApp(int& argc, char** argv) : QApplication(argc, argv) {
    setQuitOnLastWindowClosed(false);
    hv::InstallMessagePump();
}

bool CWinApp::notify(QObject* receiver, QEvent* event) {
    if (hv::PreTranslateInput(receiver, event)) {
        return true;
    }
    return QApplication::notify(receiver, event);
}
