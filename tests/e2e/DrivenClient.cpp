// The real client, started like the real one, with a driver that plays the
// user: it waits for the session, asks the frame for a game's download, play
// and delete through the frame's own messages, and answers the client's
// dialogs by clicking their buttons. It reports each step on standard output
// and ends with "e2e: passed" or "e2e: failed: <why>".
#include <sys/stat.h>

#include <QApplication>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/App.h"
#include "app/CommandLine.h"
#include "catalogue/Catalogue.h"
#include "frame/MainFrame.h"
#include "screens/GameInfoView.h"
#include "screens/GamesView.h"
#include "skin/MessageDlg.h"
#include "ui/Application.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kMessageId = 1011;  // the message dialog's text
constexpr int kFolderId = 1120;   // its folder entry

void Report(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

bool Contains(const std::vector<std::string>& list, const std::string& item) {
    for (const std::string& entry : list) {
        if (entry == item) {
            return true;
        }
    }
    return false;
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

// The steps run one after the other; each is polled until it reports done.
class CSessionDriver {
  public:
    CSessionDriver() {
        m_storage = Env("HALVORY_E2E_STORAGE");
        m_gameLog = Env("HALVORY_DEMO_GAME_LOG");
        m_steps = {
            {"logged in", 60, [this] { return LoggedIn(); }},
            {"icons fetched", 60, [this] { return IconsFetched(); }},
            {"download asked", 5, [this] { return AskDownload(); }},
            {"installed", 120, [this] { return Installed(); }},
            {"played", 60, [this] { return Played(); }},
            {"deleted", 60, [this] { return Deleted(); }},
            {"closed", 30, [this] { return Closed(); }},
        };
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
        // Handles are never reused, unlike the addresses of dialogs on the stack.
        if (!dialog || dialog->GetSafeHwnd() == m_answered || !dialog->GetDlgItem(kMessageId)) {
            return;
        }
        m_answered = dialog->GetSafeHwnd();
        const std::string text = dialog->GetDlgItem(kMessageId)->GetWindowText();
        Report("e2e: dialog: " + text);
        if (text.rfind("Where would you like to store", 0) == 0) {
            dialog->GetDlgItem(kFolderId)->SetWindowText(m_storage);
            Click(dialog->GetDlgItem(IDYES));
        } else if (text.rfind("Would you like to play", 0) == 0) {
            m_playAnswered = true;
            Click(dialog->GetDlgItem(IDYES));
        } else if (text.rfind("Are you sure you want to", 0) == 0) {
            Click(dialog->GetDlgItem(IDYES));
        } else {
            Click(dialog->GetDlgItem(IDOK));
            Fail("unexpected message: " + text);
        }
    }

    bool LoggedIn() {
        CMainFrame* frame = Frame();
        if (!frame || g_arrGameInfo.empty()) {
            return false;
        }
        for (const auto& game : g_arrGameInfo) {
            if (game->IsDemo()) {
                m_game = game.get();
                break;
            }
        }
        if (!m_game) {
            Fail("the catalogue has no demo");
            return false;
        }
        Report("e2e: records " + std::to_string(g_arrGameInfo.size()) + ", categories " +
               std::to_string(frame->GamesView()->CategoryNames().size()));
        return true;
    }

    // Every game has an icon; one of the demo games has no description.
    bool IconsFetched() const {
        for (const auto& game : g_arrGameInfo) {
            if (!fs::exists(game->m_strIconFile)) {
                return false;
            }
        }
        return true;
    }

    bool AskDownload() {
        CMainFrame* frame = Frame();
        frame->PostMessage(UWM_SHOW_GAME, 0, reinterpret_cast<LPARAM>(m_game));
        frame->PostMessage(UWM_GAME_ACTION, ACTION_DOWNLOAD, reinterpret_cast<LPARAM>(m_game));
        Report("e2e: downloading " + m_game->m_strTitle);
        return true;
    }

    bool Installed() const {
        CMainFrame* frame = Frame();
        return Contains(frame->InstalledDemos(), m_game->m_strPackage) &&
               !frame->IsDownloadActive();
    }

    bool Played() const {
        const std::string log = ReadFile(m_gameLog);
        return m_playAnswered && log.find("closed: ") != std::string::npos &&
               !Frame()->GameInfoView()->IsBusy();
    }

    bool Deleted() {
        CMainFrame* frame = Frame();
        if (!m_deleteAsked) {
            m_deleteAsked = true;
            frame->PostMessage(UWM_GAME_ACTION, ACTION_DELETE, reinterpret_cast<LPARAM>(m_game));
            return false;
        }
        return !Contains(frame->InstalledDemos(), m_game->m_strPackage) &&
               !frame->GameInfoView()->IsBusy();
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
    GameInfo* m_game = nullptr;
    HWND m_answered = nullptr;
    bool m_playAnswered = false;
    bool m_deleteAsked = false;
    bool m_closeAsked = false;
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
    {
        CSessionDriver driver;
        code = CWinApp::exec();
    }
    app.ExitInstance();
    return code;
}
