// The real client, started like the real one, with a driver that plays the
// user (HALVORY_E2E_SCENARIO names the walk; see the drivers' headers). It
// reports each step on standard output and ends with "e2e: passed" or
// "e2e: failed: <why>".
//
// The "interruptions" walk plays a user who is interrupted, with real X
// input (xdotool): clicks behind the wait dialog, Escape on the purchase
// confirmation, and session ends (asked of the test with "e2e: waiting for
// logout N") while a question is open.
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ClientState.h"
#include "StepDriver.h"
#include "app/App.h"
#include "app/CommandLine.h"
#include "catalogue/Catalogue.h"
#include "frame/MainFrame.h"
#include "screens/DownloadView.h"
#include "screens/GameInfoView.h"
#include "screens/LoginStatusView.h"
#include "screens/LoginView.h"
#include "skin/MessageDlg.h"
#include "skin/PleaseWaitDlg.h"
#include "ui/Application.h"

namespace {

using namespace e2e;
using Clock = std::chrono::steady_clock;

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// Stands in for a control on a screen: counts the button messages that
// reach it (a button clicks on the release).
class CProbe : public CWnd {
  public:
    int m_nClicks = 0;

  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_LBUTTONDOWN || message == WM_LBUTTONUP) {
            ++m_nClicks;
        }
        return CWnd::WindowProc(message, wParam, lParam);
    }
};

// Counts the real clicks the X server delivers to the probe, whether or not
// they go further, and the real Escape presses.
class CInputWatch : public QObject {
  public:
    QWidget* m_probe = nullptr;
    int m_nArrived = 0;
    int m_nEscapes = 0;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // Qt keeps a press from a disabled widget, not the release.
        if (event->spontaneous() && event->type() == QEvent::MouseButtonRelease &&
            watched == m_probe) {
            ++m_nArrived;
        }
        if (event->spontaneous() && event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            ++m_nEscapes;
        }
        return false;
    }
};

class CInterruptionsDriver {
  public:
    CInterruptionsDriver() : m_driver(Steps()) { qApp->installEventFilter(&m_watch); }

  private:
    std::vector<DriverStep> Steps() {
        const auto logout = [](int number) {
            return [number] {
                CStepDriver::Report("e2e: waiting for logout " + std::to_string(number));
                return QStringList();
            };
        };
        // The first question of a purchase is answered Yes; the confirmation
        // after it is the purchase's own.
        const auto purchaseAsked = [this] {
            if (Asking("Your account will be charged")) {
                Click(QuestionDialog(), IDYES);
            }
            CMessageDlg* question = QuestionDialog();
            return AskDownload(m_game) && question && question->m_bPurchase;
        };
        return {
            {"logged in", nullptr, [this] { return FindGames(); }},
            {"a click reaches an enabled screen", [this] { return PlaceProbe(); },
             [this] { return m_probe.m_nClicks == 2; }},
            {"clicks behind the wait dialog are dropped", nullptr,
             [this] { return ClickedBehindWaitDialog(); }},
            {"the purchase confirmation asked", nullptr, purchaseAsked},
            {"Escape refused the purchase", CStepDriver::KeysInput({"Escape"}),
             [this] {
                 return m_watch.m_nEscapes > 0 && !QuestionDialog() && Frame()->IsWindowEnabled() &&
                        On(Frame()->GameInfoView()) && !Frame()->GameInfoView()->IsBusy();
             }},
            {"the storage question asked", nullptr,
             [this] { return AskDownload(m_demo) && Asking("Where would you like to store"); }},
            {"logout 1 closed the storage question", logout(1), [this] { return LoggedOut(); }},
            {"logged in again",
             [this] {
                 m_demo = m_game = m_downloadAsked = nullptr;
                 Frame()->PostMessage(UWM_START_LOGIN);
                 return QStringList();
             },
             [this] { return !On(Frame()->LoginStatusView()) && FindGames(); }},
            {"the purchase confirmation asked again", nullptr, purchaseAsked},
            {"logout 2 closed the purchase confirmation", logout(2),
             [this] {
                 // The suspension is told in a message, which is answered.
                 if (CMessageDlg* told = QuestionDialog();
                     told && Question().find("suspended") != std::string::npos) {
                     Click(told, IDOK);
                 }
                 return LoggedOut();
             }},
        };
    }

    // A free demo and its full game, which is priced.
    bool FindGames() {
        for (const auto& demo : g_arrGameInfo) {
            for (const auto& game : g_arrGameInfo) {
                if (demo->IsDemo() && !game->IsDemo() && !demo->m_strPairKey.empty() &&
                    game->m_strPairKey == demo->m_strPairKey &&
                    std::atof(std::string(game->m_strPrice).c_str()) > 0) {
                    m_demo = demo.get();
                    m_game = game.get();
                }
            }
        }
        return m_demo != nullptr;
    }

    // Asks for the game's download once, through the frame's messages; true
    // once asked.
    bool AskDownload(GameInfo* game) {
        if (m_downloadAsked != game && !Frame()->GameInfoView()->IsBusy()) {
            m_downloadAsked = game;
            Frame()->PostMessage(UWM_SHOW_GAME, 0, reinterpret_cast<LPARAM>(game));
            Frame()->PostMessage(UWM_GAME_ACTION, ACTION_DOWNLOAD, reinterpret_cast<LPARAM>(game));
            CStepDriver::Report("e2e: downloading " + game->m_strTitle);
        }
        return m_downloadAsked == game;
    }

    // A probe on the download screen, clicked for real. Without it, the check
    // behind the wait dialog could not fail.
    QStringList PlaceProbe() {
        CMainFrame* frame = Frame();
        frame->SwitchToScreen(frame->DownloadView());
        m_probe.CreateEx(0, "", WS_CHILD | WS_VISIBLE, RECT{20, 200, 160, 260},
                         frame->DownloadView(), 0xE2E);
        m_watch.m_probe = m_probe.GetWidget();
        return CStepDriver::ClickAt(m_probe.GetWidget());
    }

    bool ClickedBehindWaitDialog() {
        if (!AskDownload(m_game)) {
            return false;
        }
        if (!m_clickedBehind && ShownWindow<CPleaseWaitDlg>() && !Frame()->IsWindowEnabled()) {
            m_clickedBehind = true;
            m_nArrivedBefore = m_watch.m_nArrived;
            CStepDriver::SpawnDetached(QStringList{"xdotool"} +
                                       CStepDriver::ClickAt(m_probe.GetWidget()));
        }
        if (!m_clickedBehind || m_watch.m_nArrived == m_nArrivedBefore) {
            return false;
        }
        if (m_probe.m_nClicks != 2) {
            CStepDriver::Fail("a click reached a screen behind the wait dialog");
        }
        return m_probe.m_nClicks == 2;
    }

    // The login screen, 2 s after it came (late results of the old session
    // would land by then), with nothing left open, disabled or stored.
    bool LoggedOut() {
        CMainFrame* frame = Frame();
        if (!On(frame->LoginView())) {
            return false;
        }
        m_logoutSeen = m_logoutSeen.value_or(Clock::now());
        if (Clock::now() - *m_logoutSeen < std::chrono::seconds(2)) {
            return false;
        }
        m_logoutSeen.reset();
        if (QuestionDialog() || QApplication::activeModalWidget() ||
            ShownWindow<CPleaseWaitDlg>() || !frame->IsWindowEnabled() ||
            frame->DownloadView()->GetGame() ||
            !std::filesystem::is_empty(Env("HALVORY_E2E_STORAGE"))) {
            CStepDriver::Fail("the ended session left something behind");
            return false;
        }
        return true;
    }

    // A click on one of the dialog's buttons, once per dialog: handles are
    // never reused, unlike the addresses of dialogs on the stack.
    void Click(CMessageDlg* dialog, int button) {
        QWidget* widget =
            dialog->GetDlgItem(button) ? dialog->GetDlgItem(button)->GetWidget() : nullptr;
        if (!widget || dialog->GetSafeHwnd() == m_answered) {
            return;
        }
        m_answered = dialog->GetSafeHwnd();
        const QPointF centre(widget->width() / 2.0, widget->height() / 2.0);
        for (const auto& [type, buttons] : {std::pair{QEvent::MouseButtonPress, Qt::LeftButton},
                                            {QEvent::MouseButtonRelease, Qt::NoButton}}) {
            QMouseEvent event(type, centre, widget->mapToGlobal(centre), Qt::LeftButton, buttons,
                              Qt::NoModifier);
            QApplication::sendEvent(widget, &event);
        }
    }

    GameInfo* m_demo = nullptr;
    GameInfo* m_game = nullptr;
    GameInfo* m_downloadAsked = nullptr;
    CInputWatch m_watch;
    CProbe m_probe;
    int m_nArrivedBefore = 0;
    bool m_clickedBehind = false;
    std::optional<Clock::time_point> m_logoutSeen;
    HWND m_answered = nullptr;
    CStepDriver m_driver;
};

}  // namespace

int main(int argc, char** argv) {
    const std::string commandLine = hv::JoinArguments(argc, argv);
    hv::HidePassword(argc, argv);
    CWinApp application(argc, argv);
    CApp app(commandLine);
    if (!app.InitInstance()) {
        app.ExitInstance();
        CStepDriver::Report("e2e: failed: the client did not start");
        return 1;
    }
    const std::string scenario = Env("HALVORY_E2E_SCENARIO");
    std::shared_ptr<void> walk;
    for (auto* start : {StartPagesWalk, StartBrowseWalk, StartDownloadWalk, StartLoginWalk}) {
        walk = walk ? walk : start(scenario);
    }
    if (!walk && scenario == "interruptions") {
        walk = std::make_shared<CInterruptionsDriver>();
    }
    if (!walk) {
        CStepDriver::Report("e2e: failed: no walk named '" + scenario + "'");
    }
    const int code = walk ? CWinApp::exec() : 1;
    walk.reset();
    app.ExitInstance();
    return code;
}
