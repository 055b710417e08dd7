// The real client, started like the real one, with a driver that plays the
// user: it waits for the session, then takes a free demo (downloaded, played,
// deleted) and buys its full game (downloaded, not played, deleted), all
// through the frame's own messages, answering the client's dialogs by
// clicking their buttons. It reports each step on standard output
// and ends with "e2e: passed" or "e2e: failed: <why>".
//
// With HALVORY_E2E_SCENARIO=interruptions it plays a user who is interrupted
// instead, with real X input (xdotool): clicks behind the wait dialog,
// Escape on the purchase confirmation, and session ends (asked of the test
// with "e2e: waiting for logout N") while a question is open. With "pages" it
// reads the service's pages instead (PagesDriver.h).
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "BrowseDriver.h"
#include "DownloadDriver.h"
#include "LoginDriver.h"
#include "PagesDriver.h"
#include "StepDriver.h"
#include "app/App.h"
#include "app/CommandLine.h"
#include "catalogue/Catalogue.h"
#include "frame/MainFrame.h"
#include "screens/DownloadView.h"
#include "screens/GameInfoView.h"
#include "screens/GamesView.h"
#include "screens/LoginStatusView.h"
#include "screens/LoginView.h"
#include "skin/MessageDlg.h"
#include "skin/PleaseWaitDlg.h"
#include "ui/Application.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr auto npos = std::string::npos;

void Report(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

bool Contains(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

std::string ReadFile(const std::string& path) {
    std::ifstream file(path);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void Click(CWnd* button) {
    QWidget* widget = button ? button->GetWidget() : nullptr;
    if (!widget) {
        return;
    }
    const QPointF centre(widget->width() / 2.0, widget->height() / 2.0);
    const QPointF global = widget->mapToGlobal(centre);
    QMouseEvent press(QEvent::MouseButtonPress, centre, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, centre, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

// Real input, as the X server delivers it.
void Xdotool(const QStringList& arguments) {
    CStepDriver::SpawnDetached(QStringList{"xdotool"} + arguments);
}

bool Shown(const std::function<bool(CWnd*)>& match) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && match(CWnd::FromWidget(widget))) {
            return true;
        }
    }
    return false;
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
// they go further.
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

// The steps run one after the other; each is polled until it reports done.
class CSessionDriver {
  public:
    CSessionDriver() {
        m_storage = Env("HALVORY_E2E_STORAGE");
        m_gameLog = Env("HALVORY_DEMO_GAME_LOG");
        if (Env("HALVORY_E2E_SCENARIO") == "interruptions") {
            m_interrupted = true;
            qApp->installEventFilter(&m_watch);
            m_steps = {
                {"logged in", 60, [this] { return LoggedIn(); }},
                {"a click reaches an enabled screen", 10, [this] { return ProbeReached(); }},
                {"clicks behind the wait dialog are dropped", 10,
                 [this] { return ClickedBehindWaitDialog(); }},
                {"Escape refused the purchase", 20, [this] { return BackOnDetail(); }},
                {"logout 1 closed the storage question", 60,
                 [this] { return LoggedOutDuring(m_demo, 1); }},
                {"logged in again", 60, [this] { return LoggedInAgain(); }},
                {"logout 2 closed the purchase confirmation", 60,
                 [this] { return LoggedOutDuring(m_game, 2); }},
                {"closed", 30, [this] { return Closed(); }},
            };
        } else {
            m_steps = {
                {"logged in", 60, [this] { return LoggedIn(); }},
                {"icons fetched", 60, [this] { return IconsFetched(); }},
                {"demo asked for", 5, [this] { return AskDownload(m_demo); }},
                {"demo installed", 120, [this] { return Installed(m_demo); }},
                {"demo played", 60, [this] { return Played(); }},
                {"demo deleted", 60, [this] { return Deleted(m_demo); }},
                {"game asked for", 5, [this] { return AskDownload(m_game); }},
                {"game bought and installed", 120, [this] { return Installed(m_game); }},
                {"game deleted", 60, [this] { return Deleted(m_game); }},
                {"closed", 30, [this] { return Closed(); }},
            };
        }
        m_timer.setInterval(50);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Tick(); });
        m_timer.start();
        m_stepStart = Clock::now();
    }

  private:
    struct Step {
        const char* name;
        int seconds;
        std::function<bool()> done;
    };

    CMainFrame* Frame() const { return dynamic_cast<CMainFrame*>(GetFrame()); }

    void Tick() {
        AnswerDialog();
        if (m_failed || m_step >= m_steps.size()) {
            return;
        }
        const Step& step = m_steps[m_step];
        if (step.done()) {
            Report(std::string("e2e: ") + step.name);
            ++m_step;
            m_stepStart = Clock::now();
        } else if (Clock::now() - m_stepStart > std::chrono::seconds(step.seconds)) {
            Fail(std::string("no '") + step.name + "' within " + std::to_string(step.seconds) +
                 " s");
        }
    }

    void Fail(const std::string& why) {
        if (!m_failed) {
            m_failed = true;
            Report("e2e: failed: " + why);
            QCoreApplication::exit(1);
        }
    }

    // Answers the dialog on top as a user would, by clicking one of its buttons.
    void AnswerDialog() {
        auto* dialog =
            dynamic_cast<CMessageDlg*>(CWnd::FromWidget(QApplication::activeModalWidget()));
        if (!dialog) {
            if (CMessageDlg* purchase = OpenPurchaseDialog()) {
                AnswerPurchase(purchase);
            }
            return;
        }
        const std::string text = dialog->GetDlgItem(kMessageId)->GetWindowText();
        if (m_interrupted && text.rfind("Where would you like to store", 0) == 0) {
            AskForLogout(1);
        } else if (m_interrupted && text.find("suspended") != npos) {
            Answer(dialog, IDOK);
        } else if (text.rfind("Where would you like to store", 0) == 0) {
            dialog->GetDlgItem(kFolderId)->SetWindowText(m_storage);
            Answer(dialog, IDYES);
        } else if (text.rfind("Would you like to play", 0) == 0) {
            // Only the demo is played; the game's offer is declined.
            m_playAnswered =
                m_playAnswered || (m_demo && text.find(m_demo->m_strTitle + " now") != npos);
            Answer(dialog, m_game && text.find(m_game->m_strTitle + " now") != npos ? IDNO : IDYES);
        } else if (text.rfind("Are you sure you want to", 0) == 0 ||
                   text.rfind("Your account will be charged", 0) == 0) {
            Answer(dialog, IDYES);
        } else if (Answer(dialog, IDOK)) {
            Fail("unexpected message: " + text);
        }
    }

    void AnswerPurchase(CMessageDlg* purchase) {
        if (!m_interrupted) {
            Answer(purchase, IDYES);
        } else if (m_step == 3 && purchase->GetSafeHwnd() != m_answered) {
            m_answered = purchase->GetSafeHwnd();
            Report("e2e: dialog: " + purchase->GetDlgItem(kMessageId)->GetWindowText() +
                   " -> Escape");
            Xdotool({"windowactivate", "--sync", QString::number(purchase->GetWidget()->winId()),
                     "key", "Escape"});
        } else if (m_step == 6) {
            AskForLogout(2);
        }
    }

    // The purchase confirmation does not block the window: it is found among
    // the shown windows.
    static CMessageDlg* OpenPurchaseDialog() {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* dialog = dynamic_cast<CMessageDlg*>(CWnd::FromWidget(widget));
            if (dialog && dialog->m_bPurchase && widget->isVisible()) {
                return dialog;
            }
        }
        return nullptr;
    }

    // Clicks once per dialog; false when this dialog was answered already.
    // Handles are never reused, unlike the addresses of dialogs on the stack.
    bool Answer(CMessageDlg* dialog, int button) {
        if (dialog->GetSafeHwnd() == m_answered) {
            return false;
        }
        m_answered = dialog->GetSafeHwnd();
        Report("e2e: dialog: " + dialog->GetDlgItem(kMessageId)->GetWindowText() + " -> " +
               (button == IDNO ? "no" : "yes"));
        Click(dialog->GetDlgItem(button));
        return true;
    }

    // A free demo and its full game, which is bought.
    bool LoggedIn() {
        CMainFrame* frame = Frame();
        if (!frame || g_arrGameInfo.empty()) {
            return false;
        }
        for (const auto& demo : g_arrGameInfo) {
            for (const auto& game : g_arrGameInfo) {
                if (demo->IsDemo() && !game->IsDemo() && !demo->m_strPairKey.empty() &&
                    game->m_strPairKey == demo->m_strPairKey &&
                    std::atof(game->m_strPrice.c_str()) > 0) {
                    m_demo = demo.get();
                    m_game = game.get();
                }
            }
        }
        if (!m_demo) {
            Fail("the catalogue has no demo with a priced game");
            return false;
        }
        Report("e2e: records " + std::to_string(g_arrGameInfo.size()) + ", categories " +
               std::to_string(frame->GamesView()->CategoryNames().size()));
        return true;
    }

    // Every game has an icon, and the games screen hears of each one; one of
    // the demo games has no description.
    bool IconsFetched() {
        for (const auto& game : g_arrGameInfo) {
            if (!fs::exists(game->m_strIconFile)) {
                return false;
            }
        }
        if (static_cast<size_t>(Frame()->GamesView()->IconsReady()) != g_arrGameInfo.size()) {
            return false;
        }
        for (const auto& game : g_arrGameInfo) {
            std::lock_guard lock(game->m_csIcon);
            if (!game->m_pIconImage || !game->m_pIconImage->IsValid()) {
                Fail("the icon of " + game->m_strTitle + " was announced but not decoded");
            }
        }
        return true;
    }

    bool AskDownload(GameInfo* game) {
        CMainFrame* frame = Frame();
        if (frame->GameInfoView()->IsBusy()) {
            return false;
        }
        frame->PostMessage(UWM_SHOW_GAME, 0, reinterpret_cast<LPARAM>(game));
        frame->PostMessage(UWM_GAME_ACTION, ACTION_DOWNLOAD, reinterpret_cast<LPARAM>(game));
        Report("e2e: downloading " + game->m_strTitle);
        return true;
    }

    bool Installed(GameInfo* game) const {
        CMainFrame* frame = Frame();
        return Contains(game->IsDemo() ? frame->InstalledDemos() : frame->InstalledGames(),
                        game->m_strPackage) &&
               !frame->IsDownloadActive();
    }

    bool Played() const {
        const std::string log = ReadFile(m_gameLog);
        return m_playAnswered && log.find("closed: ") != npos && !Frame()->GameInfoView()->IsBusy();
    }

    bool Deleted(GameInfo* game) {
        CMainFrame* frame = Frame();
        if (m_deleteAsked != game) {
            m_deleteAsked = game;
            frame->PostMessage(UWM_GAME_ACTION, ACTION_DELETE, reinterpret_cast<LPARAM>(game));
            return false;
        }
        return !Contains(frame->InstalledDemos(), game->m_strPackage) &&
               !Contains(frame->InstalledGames(), game->m_strPackage) &&
               !frame->GameInfoView()->IsBusy();
    }

    void AskForLogout(int number) {
        if (m_logoutAsked < number) {
            m_logoutAsked = number;
            Report("e2e: waiting for logout " + std::to_string(number));
        }
    }

    QPoint ProbeCentre() const {
        return m_probe.GetWidget()->mapToGlobal(m_probe.GetWidget()->rect().center());
    }

    void ClickProbe() {
        const QPoint at = ProbeCentre();
        // No --sync: it waits for a move that never comes when the pointer is there already.
        Xdotool({"mousemove", QString::number(at.x()), QString::number(at.y()), "click", "1"});
    }

    // Without this, the check behind the wait dialog could not fail.
    bool ProbeReached() {
        CMainFrame* frame = Frame();
        if (!m_probe.GetSafeHwnd()) {
            frame->SwitchToScreen(frame->DownloadView());
            m_probe.CreateEx(0, "", WS_CHILD | WS_VISIBLE, RECT{20, 200, 160, 260},
                             frame->DownloadView(), 0xE2E);
            m_watch.m_probe = m_probe.GetWidget();
            QTimer::singleShot(300, [this] { ClickProbe(); });
        }
        return m_probe.m_nClicks == 2;
    }

    bool ClickedBehindWaitDialog() {
        CMainFrame* frame = Frame();
        if (m_downloadAsked != m_game) {
            m_downloadAsked = AskDownload(m_game) ? m_game : nullptr;
            m_nArrivedBefore = m_watch.m_nArrived;
            return false;
        }
        const bool waiting = Shown([](CWnd* wnd) { return dynamic_cast<CPleaseWaitDlg*>(wnd); });
        if (!m_clickedBehind && waiting && !frame->IsWindowEnabled()) {
            m_clickedBehind = true;
            ClickProbe();
        }
        if (m_watch.m_nArrived == m_nArrivedBefore) {
            return false;
        }
        if (m_probe.m_nClicks != 2) {
            Fail("a click reached a screen behind the wait dialog");
        }
        return true;
    }

    bool BackOnDetail() {
        CMainFrame* frame = Frame();
        return m_watch.m_nEscapes > 0 && !OpenPurchaseDialog() && frame->IsWindowEnabled() &&
               frame->ActiveView() == frame->GameInfoView() && !frame->GameInfoView()->IsBusy();
    }

    // Asks for a download that stops at a question, and waits until the
    // test has ended the session while it was open: then the login screen
    // must stay, with nothing left open, disabled or installed.
    bool LoggedOutDuring(GameInfo* game, int number) {
        CMainFrame* frame = Frame();
        if (m_logoutAsked < number) {
            if (m_downloadAsked != game) {
                m_downloadAsked = AskDownload(game) ? game : nullptr;
            }
            return false;
        }
        if (frame->ActiveView() != frame->LoginView() || !m_logoutSeen.has_value()) {
            if (frame->ActiveView() == frame->LoginView()) {
                m_logoutSeen = Clock::now();
            }
            return false;
        }
        if (Clock::now() - *m_logoutSeen < std::chrono::seconds(2)) {
            return false;  // late results of the old session would land by now
        }
        m_logoutSeen.reset();
        const bool open = OpenPurchaseDialog() || QApplication::activeModalWidget() ||
                          Shown([](CWnd* wnd) { return dynamic_cast<CPleaseWaitDlg*>(wnd); });
        if (frame->ActiveView() != frame->LoginView() || open || !frame->IsWindowEnabled() ||
            frame->DownloadView()->GetGame() || !fs::is_empty(m_storage)) {
            Fail("the ended session left something behind");
        }
        return true;
    }

    bool LoggedInAgain() {
        if (!m_loginAsked) {
            m_loginAsked = true;
            m_demo = m_game = m_downloadAsked = nullptr;
            Frame()->PostMessage(UWM_START_LOGIN);
        }
        return Frame()->ActiveView() != Frame()->LoginStatusView() && LoggedIn();
    }

    bool Closed() {
        if (!m_closeAsked) {
            m_closeAsked = true;
            Report("e2e: passed");
            Frame()->PostMessage(WM_CLOSE);
        }
        return false;
    }

    QTimer m_timer;
    std::vector<Step> m_steps;
    size_t m_step = 0;
    Clock::time_point m_stepStart;
    bool m_failed = false;
    std::string m_storage;
    std::string m_gameLog;
    GameInfo* m_demo = nullptr;
    GameInfo* m_game = nullptr;
    HWND m_answered = nullptr;
    bool m_playAnswered = false;
    GameInfo* m_deleteAsked = nullptr;
    bool m_closeAsked = false;
    // The interruptions.
    bool m_interrupted = false;
    CInputWatch m_watch;
    CProbe m_probe;
    int m_nArrivedBefore = 0;
    bool m_clickedBehind = false;
    GameInfo* m_downloadAsked = nullptr;
    int m_logoutAsked = 0;
    std::optional<Clock::time_point> m_logoutSeen;
    bool m_loginAsked = false;
};

}  // namespace

int main(int argc, char** argv) {
    const std::string commandLine = hv::JoinArguments(argc, argv);
    hv::HidePassword(argc, argv);
    CWinApp application(argc, argv);
    CApp app(commandLine);
    if (!app.InitInstance()) {
        app.ExitInstance();
        Report("e2e: failed: the client did not start");
        return 1;
    }
    int code = 0;
    if (Env("HALVORY_E2E_SCENARIO") == "pages") {
        CPagesDriver driver;
        code = CWinApp::exec();
    } else if (CDownloadDriver::Walk walk{};
               CDownloadDriver::FromScenario(Env("HALVORY_E2E_SCENARIO"), &walk)) {
        CDownloadDriver driver(walk);
        code = CWinApp::exec();
    } else if (CLoginDriver::Walk walk{};
               CLoginDriver::FromScenario(Env("HALVORY_E2E_SCENARIO"), &walk)) {
        CLoginDriver driver(walk, Env("HALVORY_E2E_USER"), Env("HALVORY_E2E_PASSWORD"));
        code = CWinApp::exec();
    } else if (Env("HALVORY_E2E_SCENARIO").rfind("browse", 0) == 0) {
        CBrowseDriver driver(Env("HALVORY_E2E_SCENARIO") == "browse-gamepad");
        code = CWinApp::exec();
    } else {
        CSessionDriver driver;
        code = CWinApp::exec();
    }
    app.ExitInstance();
    return code;
}
