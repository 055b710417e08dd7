#include "ui/Application.h"

#include "ui/MessagePump.h"

namespace {

// Everything is drawn with QPainter on memory bitmaps, the web view too: X's
// GL (on a machine without a GPU, a whole software GL) would only cost
// memory. Said before the application connects to the display.
int& WithoutGl(int& argc) {
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION")) {
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    }
    return argc;
}

}  // namespace

CWinApp::CWinApp(int& argc, char** argv) : QApplication(WithoutGl(argc), argv) {
    setQuitOnLastWindowClosed(false);
    hv::InstallMessagePump();
}

bool CWinApp::notify(QObject* receiver, QEvent* event) {
    if (hv::PreTranslateInput(receiver, event)) {
        return true;
    }
    return QApplication::notify(receiver, event);
}
