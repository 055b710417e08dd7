#include "app/App.h"
#include "app/CommandLine.h"
#include "ui/Application.h"

int main(int argc, char** argv) {
    const std::string commandLine = hv::JoinArguments(argc, argv);
    hv::HidePassword(argc, argv);
    CWinApp application(argc, argv);
    CApp app(commandLine);
    if (!app.InitInstance()) {
        app.ExitInstance();
        return 0;
    }
    const int code = CWinApp::exec();
    app.ExitInstance();
    return code;
}
