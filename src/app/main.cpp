#include "app/App.h"
#include "ui/Application.h"

int main(int argc, char** argv) {
    CWinApp application(argc, argv);
    CApp app;
    if (!app.InitInstance()) {
        return 0;
    }
    const int code = CWinApp::exec();
    app.ExitInstance();
    return code;
}
