// Plays a user who starts the client without an account on its command line:
// the start-up check behind its wait dialog, then the login screen with real
// keys: a wrong password, a slow login cancelled, and the login itself. Or,
// when the service requires a newer client, the upgrade's download seen
// under way; the client then goes on alone to hand over to the installer.
// Or the upgrade fails: the download cancelled with Escape, a package that
// is not the one the service signed, an installer that cannot start; each
// ends on the login screen.
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QWidget>
#include <chrono>
#include <cstdlib>
#include <utility>
#include <vector>

#include "ClientState.h"
#include "Drivers.h"
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

CHttpDownloadDlg* DownloadDialog() {
    return ShownWindow<CHttpDownloadDlg>();
}

// The text of the plain message box on top, if one is.
std::string MessageBoxText() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    return box && box->isVisible() ? box->text().toStdString() : std::string();
}

// A click on the OK button of the plain message box on top.
QStringList ClickMessageBoxOk() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    QAbstractButton* ok = box ? box->button(QMessageBox::Ok) : nullptr;
    return ok ? CStepDriver::ClickAt(ok) : QStringList();
}

// The login screen, usable: nothing over it, its inputs enabled and the
// password box empty, the login box in the middle of the window.
bool OnLoginScreen(const std::string& userName) {
    CLoginView* login = Login();
    const QRect box = login->Panel().GetWidget()->geometry();
    const QRect screen = login->GetWidget()->rect();
    return Frame()->ActiveView() == login && Frame()->IsWindowEnabled() && !WaitDialogShown() &&
           NoQuestion() && login->UserNameBox().IsWindowEnabled() &&
           login->PasswordBox().IsWindowEnabled() && login->CancelButton().IsWindowEnabled() &&
           login->PasswordBox().GetWindowText().empty() &&
           login->UserNameBox().GetWindowText() == userName &&
           (box.center() - screen.center()).manhattanLength() <= 2;
}

// The password box has the focus and holds `password`.
bool Typed(const std::string& password) {
    CLoginView* login = Login();
    return CWnd::GetFocus() == &login->PasswordBox() &&
           login->PasswordBox().GetWindowText() == password;
}

QStringList Type(const std::string& text) {
    return {"type", "--delay", "40", QString::fromStdString(text)};
}

struct State {
    State(Walk walk, std::string user, std::string password)
        : m_user(std::move(user)), m_password(std::move(password)), m_driver(StepsOf(walk), [this] {
              CWnd* active = Frame()->ActiveView();
              return std::string("on ") + (active ? typeid(*active).name() : "nothing") +
                     ", wait dialog " + (WaitDialogShown() ? "shown" : "not shown") +
                     ", user box '" + Login()->UserNameBox().GetWindowText() +
                     "', question: " + Question() + ", message box: " + MessageBoxText();
          }) {
        if (walk == Walk::Upgrade) {
            m_driver.LeaveOpenAtEnd();
        }
    }

    std::vector<DriverStep> StepsOf(Walk walk) {
        switch (walk) {
            case Walk::Login: return Steps();
            case Walk::Upgrade: return UpgradeSteps();
            default: return FailedUpgradeSteps(walk);
        }
    }

    // The wait dialog, then the download, with the window maximised or not;
    // screenshots are taken with the window maximised.
    static std::vector<DriverStep> UpgradeSteps(bool maximised = true) {
        const char* shots[2][2] = {{nullptr, nullptr},
                                   {"upgrade-checking-maximised", "upgrade-download-maximised"}};
        std::vector<DriverStep> steps{
            {"checking for updates", nullptr, [] { return WaitDialogShown(); }, nullptr},
            {"checking for updates, the window sized",
             CStepDriver::ShowInput(maximised ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL),
             [maximised] {
                 return WaitDialogShown() &&
                        Frame()->FrameShowState() ==
                            static_cast<UINT>(maximised ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
             },
             shots[maximised][0]},
            {"the upgrade downloads", nullptr,
             [] {
                 CHttpDownloadDlg* dialog = DownloadDialog();
                 const auto text = [dialog](int id) {
                     return dialog->GetDlgItem(id)->GetWindowText();
                 };
                 return dialog && !WaitDialogShown() &&
                        text(CHttpDownloadDlg::IDC_FILE_STATUS) ==
                            "Required upgrades in progress..." &&
                        static_cast<CProgressCtrl*>(
                            dialog->GetDlgItem(CHttpDownloadDlg::IDC_PROGRESS))
                                ->GetPos() > 0 &&
                        text(CHttpDownloadDlg::IDC_TRANSFER_RATE).find("/Sec") !=
                            std::string::npos &&
                        text(CHttpDownloadDlg::IDC_TIME_LEFT).find("copied") != std::string::npos;
             },
             shots[maximised][1]},
        };
        return steps;
    }

    // The download under way at 800 x 600, then the failure: each ends on
    // the login screen, and the window is closed after it.
    std::vector<DriverStep> FailedUpgradeSteps(Walk walk) {
        std::vector<DriverStep> steps = UpgradeSteps(false);
        if (walk == Walk::UpgradeCancelled) {
            steps.back().screenshot = "upgrade-download";
        }
        const auto onLogin = DriverStep{
            "back on the login screen", ClickMessageBoxOk,
            [] { return OnLoginScreen("") && MessageBoxText().empty() && !DownloadDialog(); },
            nullptr};
        switch (walk) {
            case Walk::UpgradeCancelled:
                steps.push_back({"the download cancelled", CStepDriver::KeysInput({"Escape"}),
                                 [] { return !DownloadDialog() && OnLoginScreen(""); }, nullptr});
                break;
            case Walk::UpgradeRefused:
                steps.push_back({"the package refused", nullptr,
                                 [] {
                                     return MessageBoxText() ==
                                            "The downloaded file is not the one the service "
                                            "published. It has been deleted.";
                                 },
                                 nullptr});
                steps.push_back(onLogin);
                break;
            default:
                steps.push_back({"the installer cannot start", nullptr,
                                 [] { return Asking("Error in installing the upgrade."); },
                                 "upgrade-installer-failed"});
                steps.push_back({"back on the login screen", CStepDriver::KeysInput({"Return"}),
                                 [] { return OnLoginScreen(""); }, nullptr});
                break;
        }
        return steps;
    }

    std::vector<DriverStep> Steps() {
        const auto keys = CStepDriver::KeysInput;
        const auto maximise = CStepDriver::ShowInput;
        // Down to the password box, then the password: typing takes every
        // argument after it, so it comes last.
        const auto typed = [](const std::string& password) {
            return [password] { return CStepDriver::Keys({"Down"}) + Type(password); };
        };
        const auto settled = [this](UINT show) {
            return [this, show] { return m_driver.Settled(show, 1) && OnLoginScreen(""); };
        };
        const auto connecting = [this](UINT show) {
            return [this, show] {
                CLoginStatusView* status = Frame()->LoginStatusView();
                return m_driver.Settled(show, show == SW_SHOWNORMAL ? -1 : 1) &&
                       Frame()->ActiveView() == status && status->IsAnimating() &&
                       status->GetDlgItem(CLoginStatusView::kStatusId)->GetWindowText() ==
                           "Connecting...";
            };
        };
        return {
            {"checking for updates", nullptr,
             [] {
                 return Frame()->ActiveView() == Login() && WaitDialogShown() &&
                        !Frame()->IsWindowEnabled();
             },
             "login-checking"},
            {"the login screen", nullptr,
             [] { return OnLoginScreen("") && CWnd::GetFocus() == &Login()->UserNameBox(); },
             "login-screen"},
            {"maximised", maximise(SW_SHOWMAXIMIZED), settled(SW_SHOWMAXIMIZED),
             "login-screen-maximised"},
            {"restored", maximise(SW_SHOWNORMAL), settled(SW_SHOWNORMAL), nullptr},
            {"the user name typed", [this] { return Type(m_user); },
             [this] { return Login()->UserNameBox().GetWindowText() == m_user; }, nullptr},
            {"a wrong password typed", typed("not " + m_password),
             [this] { return Typed("not " + m_password); }, nullptr},
            {"a wrong password is refused", keys({"Return"}),
             [] { return Asking("Access Denied, Please enter the correct Login Information."); },
             nullptr},
            {"back with the password box empty", keys({"Return"}),
             [this] { return OnLoginScreen(m_user); }, nullptr},
            {"the password typed", typed(m_password), [this] { return Typed(m_password); },
             nullptr},
            {"connecting", keys({"Return"}), connecting(SW_SHOWNORMAL), "login-connecting"},
            {"connecting, maximised", maximise(SW_SHOWMAXIMIZED), connecting(SW_SHOWMAXIMIZED),
             "login-connecting-maximised"},
            {"connecting, restored", maximise(SW_SHOWNORMAL), connecting(SW_SHOWNORMAL), nullptr},
            {"Cancel goes back to the login screen", keys({"BackSpace"}),
             [this] { return OnLoginScreen(m_user); }, nullptr},
            {"the password typed again", typed(m_password), [this] { return Typed(m_password); },
             nullptr},
            {"logged in", keys({"Return"}),
             [] { return Frame()->ActiveView() == Frame()->BrowserView(); }, nullptr},
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
