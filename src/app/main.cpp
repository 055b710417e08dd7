#include <QApplication>

#include "app/App.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    CApp app;
    if (!app.InitInstance()) {
        return 0;
    }
    const int code = QApplication::exec();
    app.ExitInstance();
    return code;
}
