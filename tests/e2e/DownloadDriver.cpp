// Plays a user who takes a free demo and watches the download screen, with
// the keyboard only. Three walks: a slow transfer seen through to the end
// with the game played before it is in; a transfer whose connection keeps
// dropping; a transfer cancelled from the screen. A fourth serves the
// download benchmark: it tells when the screen first shows the transfer,
// declines the game and tells when the transfer has ended.
#include <QApplication>
#include <QWidget>
#include <string>
#include <utility>
#include <vector>

#include "ClientState.h"
#include "Drivers.h"
#include "StepDriver.h"
#include "catalogue/GameInfo.h"
#include "frame/MainFrame.h"
#include "screens/BrowserView.h"
#include "screens/DownloadView.h"
#include "screens/HomeScreenView.h"
#include "skin/TeTBar.h"

namespace {

using namespace e2e;
enum class Walk { Throttled, Dropping, Cancelled, Bench };

// The demo content's first action game and its free demo.
constexpr const char* kGame = "Starfall Run";
constexpr const char* kNotInstalled = "Play Game:1|SPLITTER:0|Play Free Demo:2";
constexpr const char* kDemoInstalled = "Play Game:1|SPLITTER:0|Play Free Demo:4|Delete Free Demo:6";

CDownloadView* Screen() {
    return Frame()->DownloadView();
}

std::string Status() {
    return Screen()->StatusText();
}

// On the download screen, nothing asked, its status line holding every piece.
bool Showing(std::initializer_list<const char*> pieces) {
    if (Frame()->ActiveView() != Screen() || !NoQuestion()) {
        return false;
    }
    const std::string status = Status();
    for (const char* piece : pieces) {
        if (status.find(piece) == std::string::npos) {
            return false;
        }
    }
    return true;
}

// "Start playing in:" followed by a time of hours, minutes and seconds.
bool ShowsTimeToPlay(const char* word) {
    const std::string status = Status();
    const size_t at = status.find("Start playing in:");
    return Showing({word}) && at != std::string::npos && status.size() == at + 17 + 8 &&
           status[at + 17 + 2] == ':' && status[at + 17 + 5] == ':';
}

struct State {
    explicit State(Walk walk)
        : m_driver(Steps(walk), [this] {
              CWnd* active = Frame()->ActiveView();
              return std::string("on ") + (active ? typeid(*active).name() : "nothing") +
                     ", status '" + Status() + "', bar " +
                     std::to_string(Screen()->Progress().GetPos()) + ", question: " + Question() +
                     ", detail: " + DetailRows() +
                     ", games closed: " + std::to_string(m_gameLog.Closes()) + ", " +
                     m_storage.Describe();
          }) {}

    std::vector<DriverStep> Steps(Walk walk) {
        const auto keys = CStepDriver::KeysInput;
        std::vector<DriverStep> steps = {
            {"announcements shown", nullptr,
             [] { return Frame()->ActiveView() == Frame()->BrowserView(); }, nullptr},
            {"Continue went home", keys({"Return"}),
             [] { return Frame()->ActiveView() == Frame()->HomeView(); }, nullptr},
            {"Browse Games lists All", keys({"Down", "Return"}),
             [] { return OnGames("All", "1 Of 24"); }, nullptr},
            {"Action chosen", keys({"Down", "Return"}), [] { return OnGames("Action", "1 Of 6"); },
             nullptr},
            {"the game opened", keys({"Right", "Return"}),
             [] { return OnDetail(kGame, kNotInstalled); }, nullptr},
            {"the demo asks where to store it", keys({"Down", "Return"}),
             [this] { return Asking("Where would you like to store") && m_storage.Note(); },
             nullptr},
        };
        const auto add = [&steps](std::vector<DriverStep> more) {
            steps.insert(steps.end(), more.begin(), more.end());
        };
        // At full speed "Connecting..." may pass between two looks: the
        // benchmark's walk waits for the transfer itself.
        if (walk != Walk::Bench) {
            add({{"connecting", keys({"Return"}),
                  [] {
                      return Showing({"Connecting..."}) && Status().find_first_not_of(' ') == 33;
                  },
                  walk == Walk::Throttled ? "download-connecting" : nullptr}});
        }
        switch (walk) {
            case Walk::Throttled:
                add({
                    {"downloading with the time to play", nullptr,
                     [] { return ShowsTimeToPlay("   Downloading"); }, "download-time-to-play"},
                    {"counting down", nullptr,
                     [] {
                         return ShowsTimeToPlay("   Installing") && Screen()->CountdownRunning();
                     },
                     "download-countdown"},
                    {"asked to play", nullptr, [] { return Asking("Would you like to play"); },
                     nullptr},
                    {"streaming while the game runs", keys({"Return"}),
                     [] { return Status().find("Streaming") == 33; }, nullptr},
                    {"the game closed, the transfer goes on", nullptr,
                     [this] {
                         return m_gameLog.Closes() == 1 && Showing({"Downloading"}) &&
                                Status().find("Start playing") == std::string::npos &&
                                Frame()->IsDownloadActive();
                     },
                     "download-after-play"},
                });
                add(Ending(false));
                break;
            case Walk::Dropping:
                add({
                    {"retrying", nullptr, [] { return Showing({"Retrying Connection"}); },
                     "download-retrying"},
                    {"restored", nullptr, [] { return Showing({"Connection Restored."}); },
                     "download-restored"},
                    {"asked to play", nullptr, [] { return Asking("Would you like to play"); },
                     nullptr},
                    {"declined: streaming", keys({"Escape"}), [] { return Showing({"Streaming"}); },
                     "download-streaming"},
                });
                add(Ending(true));
                break;
            case Walk::Cancelled:
                add({
                    {"downloading with the time to play", nullptr,
                     [] { return ShowsTimeToPlay("   Downloading"); }, nullptr},
                    {"Backspace asks first", keys({"BackSpace"}),
                     [] { return Asking(CDownloadView::kCancelQuestion); },
                     "download-cancel-question"},
                    {"No goes on", keys({"Tab", "Return"}),
                     [] { return Showing({"   Downloading"}) && Frame()->IsDownloadActive(); },
                     nullptr},
                    {"maximised", CStepDriver::ShowInput(SW_SHOWMAXIMIZED),
                     [this] {
                         return m_driver.Settled(SW_SHOWMAXIMIZED, 2) &&
                                ShowsTimeToPlay("   Downloading");
                     },
                     "download-maximised"},
                    {"Backspace asks again", keys({"BackSpace"}),
                     [] { return Asking(CDownloadView::kCancelQuestion); }, nullptr},
                    {"Yes cancels", keys({"Return"}),
                     [this] { return OnDetail(kGame, kNotInstalled) && m_storage.Stored(0); },
                     "download-cancelled"},
                });
                break;
            case Walk::Bench:
                // The status line is read whether a question is up or not: at
                // full speed the play question may come before the first look.
                add({
                    {"transfer started", keys({"Return"}),
                     [] {
                         return Frame()->ActiveView() == Screen() && Frame()->IsDownloadActive() &&
                                (Status().find("Downloading") != std::string::npos ||
                                 Status().find("Streaming") != std::string::npos);
                     },
                     nullptr},
                    {"asked to play", nullptr, [] { return Asking("Would you like to play"); },
                     nullptr},
                    {"declined", keys({"Escape"}),
                     [] { return Frame()->ActiveView() == Screen() && NoQuestion(); }, nullptr},
                    {"transfer ended", nullptr,
                     [this] {
                         return Frame()->ActiveView() == Screen() && !Frame()->IsDownloadActive() &&
                                NoQuestion() && m_storage.Stored(1);
                     },
                     nullptr},
                });
                break;
        }
        return steps;
    }

    // The transfer ends on the screen, which keeps its last line; the bar's
    // Back then leaves it for the game, installed (Backspace only ever asks
    // to cancel, and with nothing to cancel it does nothing).
    std::vector<DriverStep> Ending(bool reportFolder) {
        return {
            {"the transfer ended", nullptr,
             [this] {
                 return Frame()->ActiveView() == Screen() && !Frame()->IsDownloadActive() &&
                        NoQuestion() && m_storage.Stored(1);
             },
             reportFolder ? nullptr : "download-ended"},
            {"the bar comes down to the pointer",
             [] {
                 QWidget* frame = Frame()->GetWidget();
                 return PointAt(frame, QPoint(frame->width() / 2, 2), false);
             },
             [] { return BarInView(); }, nullptr},
            {"the bar's Back goes to the game, installed",
             [] {
                 const RECT back = Frame()->ToolBar().BackRect();
                 return PointAt(Frame()->ToolBar().GetWidget(),
                                QPoint((back.left + back.right) / 2, (back.top + back.bottom) / 2),
                                true);
             },
             [this, reportFolder] {
                 if (!OnDetail(kGame, kDemoInstalled)) {
                     return false;
                 }
                 if (reportFolder) {
                     CStepDriver::Report("e2e: installed in " + m_storage.NewFolder());
                 }
                 return true;
             },
             nullptr},
        };
    }

    // Real pointer moves and clicks, placed within the frame's window.
    static QStringList PointAt(const QWidget* widget, const QPoint& point, bool click) {
        QWidget* frame = Frame()->GetWidget();
        const QPoint at = widget->mapTo(frame, point);
        QStringList input{"mousemove", "--window", QString::number(frame->winId()),
                          QString::number(at.x()), QString::number(at.y())};
        return click ? input + QStringList{"click", "1"} : input;
    }

    // The bar keeps out of the way until the pointer comes to the top edge.
    static bool BarInView() { return Frame()->ToolBar().GetWidget()->y() >= 0; }

    StorageWatch m_storage;
    GameLog m_gameLog;
    CStepDriver m_driver;
};

}  // namespace

std::shared_ptr<void> StartDownloadWalk(const std::string& scenario) {
    for (const auto& [name, walk] : {std::pair{"download-throttled", Walk::Throttled},
                                     {"download-dropping", Walk::Dropping},
                                     {"download-cancelled", Walk::Cancelled},
                                     {"download-bench", Walk::Bench}}) {
        if (scenario == name) {
            return std::make_shared<State>(walk);
        }
    }
    return nullptr;
}
