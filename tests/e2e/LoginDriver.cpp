// Plays a user who starts the client without an account on its command line:
// the start-up check behind its wait dialog, then the login screen with real
// keys: a wrong password, a slow login cancelled, and the login itself. Or,
// when the service requires a newer client, the upgrade's download seen
// under way; the client then goes on alone to hand over to the installer.
// Or the upgrade fails: the download cancelled with Escape, a package that
// is not the one the service signed, an installer that cannot start; each
// ends on the login screen.
#include <QAbstractButton>
#include <QMessageBox>
#include <cstdlib>
#include <utility>
#include <vector>

#include "ClientState.h"
#include "StepDriver.h"
#include "app/HttpDownloadDlg.h"
#include "frame/MainFrame.h"
#include "screens/BrowserView.h"
#include "screens/LoginStatusView.h"
#include "screens/LoginView.h"
#include "skin/PleaseWaitDlg.h"

namespace {

using namespace e2e;

enum class Walk { Login, Upgrade, UpgradeCancelled, UpgradeRefused, InstallerMissing };

CLoginView* Login() {
    return Frame()->LoginView();
}

bool WaitDialogShown() {
    return ShownWindow<CPleaseWaitDlg>() != nullptr;
}

// The plain message box on top, if one is.
QMessageBox* PlainBox() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    return box && box->isVisible() ? box : nullptr;
}

// The login screen, usable: nothing over it, its inputs enabled and the
// password box empty, the login box in the middle of the window.
bool OnLoginScreen(const std::string& userName) {
    CLoginView* login = Login();
    const QRect box = login->Panel().GetWidget()->geometry();
    return On(login) && Frame()->IsWindowEnabled() && !WaitDialogShown() && NoQuestion() &&
           !PlainBox() && login->UserNameBox().IsWindowEnabled() &&
           login->PasswordBox().IsWindowEnabled() && login->CancelButton().IsWindowEnabled() &&
           login->PasswordBox().GetWindowText().empty() &&
           login->UserNameBox().GetWindowText() == userName &&
           (box.center() - login->GetWidget()->rect().center()).manhattanLength() <= 2;
}

QStringList Type(const std::string& text) {
    return {"type", "--delay", "40", QString::fromStdString(text)};
}

// The wait dialog, then the download, with the window maximised or not.
std::vector<DriverStep> UpgradeSteps(bool maximised) {
    const UINT show = maximised ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
    return {
        {"checking for updates", nullptr, WaitDialogShown},
        {"checking for updates, the window sized", CStepDriver::ShowInput(show),
         [show] { return WaitDialogShown() && Frame()->FrameShowState() == show; },
         maximised ? "upgrade-checking-maximised" : nullptr},
        {"the upgrade downloads", nullptr,
         [] {
             CHttpDownloadDlg* dialog = ShownWindow<CHttpDownloadDlg>();
             const auto text = [dialog](int id) { return dialog->GetDlgItem(id)->GetWindowText(); };
             return dialog && !WaitDialogShown() &&
                    text(CHttpDownloadDlg::IDC_FILE_STATUS) == "Required upgrades in progress..." &&
                    static_cast<CProgressCtrl*>(dialog->GetDlgItem(CHttpDownloadDlg::IDC_PROGRESS))
                            ->GetPos() > 0 &&
                    text(CHttpDownloadDlg::IDC_TRANSFER_RATE).find("/Sec") != std::string::npos &&
                    text(CHttpDownloadDlg::IDC_TIME_LEFT).find("copied") != std::string::npos;
         },
         maximised ? "upgrade-download-maximised" : nullptr},
    };
}

// The download under way at 800 x 600, then the failure: each ends on the
// login screen, and the window is closed after it.
std::vector<DriverStep> FailedUpgradeSteps(Walk walk) {
    std::vector<DriverStep> steps = UpgradeSteps(false);
    const auto onLogin = [] { return !ShownWindow<CHttpDownloadDlg>() && OnLoginScreen(""); };
    switch (walk) {
        case Walk::UpgradeCancelled:
            steps.back().screenshot = "upgrade-download";
            steps.push_back(
                {"the download cancelled", CStepDriver::KeysInput({"Escape"}), onLogin});
            break;
        case Walk::UpgradeRefused:
            steps.push_back({"the package refused", nullptr, [] {
                                 return PlainBox() &&
                                        PlainBox()->text() ==
                                            "The downloaded file is not the one the service "
                                            "published. It has been deleted.";
                             }});
            steps.push_back(
                {"back on the login screen",
                 [] { return CStepDriver::ClickAt(PlainBox()->button(QMessageBox::Ok)); },
                 onLogin});
            break;
        default:
            steps.push_back({"the installer cannot start", nullptr,
                             [] { return Asking("Error in installing the upgrade."); },
                             "upgrade-installer-failed"});
            steps.push_back(
                {"back on the login screen", CStepDriver::KeysInput({"Return"}), onLogin});
            break;
    }
    return steps;
}

struct State {
    State(Walk walk, std::string user, std::string password)
        : m_user(std::move(user)),
          m_password(std::move(password)),
          m_driver(walk == Walk::Login     ? Steps()
                   : walk == Walk::Upgrade ? UpgradeSteps(true)
                                           : FailedUpgradeSteps(walk)) {
        if (walk == Walk::Upgrade) {
            m_driver.LeaveOpenAtEnd();
        }
    }

    std::vector<DriverStep> Steps() {
        const auto keys = CStepDriver::KeysInput;
        const auto maximise = CStepDriver::ShowInput;
        // Down to the password box, then the password, which has the focus
        // and holds it: typing takes every argument after it, so it comes last.
        const auto type = [](const std::string& password) {
            return [password] { return CStepDriver::Keys({"Down"}) + Type(password); };
        };
        const auto typed = [](const std::string& password) {
            return [password] {
                return CWnd::GetFocus() == &Login()->PasswordBox() &&
                       Login()->PasswordBox().GetWindowText() == password;
            };
        };
        const auto settled = [this](UINT show) {
            return [this, show] { return m_driver.Settled(show, 1) && OnLoginScreen(""); };
        };
        const auto connecting = [this](UINT show) {
            return [this, show] {
                CLoginStatusView* status = Frame()->LoginStatusView();
                return m_driver.Settled(show, show == SW_SHOWNORMAL ? -1 : 1) && On(status) &&
                       status->IsAnimating() &&
                       status->GetDlgItem(CLoginStatusView::kStatusId)->GetWindowText() ==
                           "Connecting...";
            };
        };
        const auto onLogin = [this] { return OnLoginScreen(m_user); };
        return {
            {"checking for updates", nullptr,
             [] { return On(Login()) && WaitDialogShown() && !Frame()->IsWindowEnabled(); },
             "login-checking"},
            {"the login screen", nullptr,
             [] { return OnLoginScreen("") && CWnd::GetFocus() == &Login()->UserNameBox(); },
             "login-screen"},
            {"maximised", maximise(SW_SHOWMAXIMIZED), settled(SW_SHOWMAXIMIZED),
             "login-screen-maximised"},
            {"restored", maximise(SW_SHOWNORMAL), settled(SW_SHOWNORMAL)},
            {"the user name typed", [this] { return Type(m_user); },
             [this] { return Login()->UserNameBox().GetWindowText() == m_user; }},
            {"a wrong password typed", type("not " + m_password), typed("not " + m_password)},
            {"a wrong password is refused", keys({"Return"}),
             [] { return Asking("Access Denied, Please enter the correct Login Information."); }},
            {"back with the password box empty", keys({"Return"}), onLogin},
            {"the password typed", type(m_password), typed(m_password)},
            {"connecting", keys({"Return"}), connecting(SW_SHOWNORMAL), "login-connecting"},
            {"connecting, maximised", maximise(SW_SHOWMAXIMIZED), connecting(SW_SHOWMAXIMIZED),
             "login-connecting-maximised"},
            {"connecting, restored", maximise(SW_SHOWNORMAL), connecting(SW_SHOWNORMAL)},
            {"Cancel goes back to the login screen", keys({"BackSpace"}), onLogin},
            {"the password typed again", type(m_password), typed(m_password)},
            {"logged in", keys({"Return"}), [] { return On(Frame()->BrowserView()); }},
        };
    }

    std::string m_user;
    std::string m_password;
    CStepDriver m_driver;
};

}  // namespace

std::shared_ptr<void> StartLoginWalk(const std::string& scenario) {
    for (const auto& [name, walk] : {std::pair{"login", Walk::Login},
                                     {"upgrade", Walk::Upgrade},
                                     {"upgrade-cancelled", Walk::UpgradeCancelled},
                                     {"upgrade-refused", Walk::UpgradeRefused},
                                     {"upgrade-installer-missing", Walk::InstallerMissing}}) {
        if (scenario == name) {
            const char* user = std::getenv("HALVORY_E2E_USER");
            const char* password = std::getenv("HALVORY_E2E_PASSWORD");
            return std::make_shared<State>(walk, user ? user : "", password ? password : "");
        }
    }
    return nullptr;
}
