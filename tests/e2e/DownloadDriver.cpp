// Plays a user who takes a free demo and watches the download screen, with
// the keyboard only. Three walks: a slow transfer seen through to the end
// with the game played before it is in; a transfer whose connection keeps
// dropping; a transfer cancelled from the screen. A fourth serves the
// download benchmark: it tells when the screen first shows the transfer,
// declines the game and tells when the transfer has ended.
#include <QWidget>
#include <string>
#include <utility>
#include <vector>

#include "ClientState.h"
#include "StepDriver.h"
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

// On the download screen, nothing asked, its status line holding `piece`.
bool Showing(const char* piece) {
    return On(Screen()) && NoQuestion() && Status().find(piece) != std::string::npos;
}

// "Start playing in:" followed by a time of hours, minutes and seconds.
bool ShowsTimeToPlay(const char* word) {
    const std::string status = Status();
    const size_t at = status.find("Start playing in:");
    return Showing(word) && at != std::string::npos && status.size() == at + 17 + 8 &&
           status[at + 17 + 2] == ':' && status[at + 17 + 5] == ':';
}

struct State {
    explicit State(Walk walk) : m_driver(Steps(walk)) {}

    std::vector<DriverStep> Steps(Walk walk) {
        const auto keys = CStepDriver::KeysInput;
        std::vector<DriverStep> steps = {
            {"announcements shown", nullptr, [] { return On(Frame()->BrowserView()); }},
            {"Continue went home", keys({"Return"}), [] { return On(Frame()->HomeView()); }},
            {"Browse Games lists All", keys({"Down", "Return"}),
             [] { return OnGames("All", "1 Of 24"); }},
            {"Action chosen", keys({"Down", "Return"}), [] { return OnGames("Action", "1 Of 6"); }},
            {"the game opened", keys({"Right", "Return"}),
             [] { return OnDetail(kGame, kNotInstalled); }},
            {"the demo asks where to store it", keys({"Down", "Return"}),
             [this] { return Asking("Where would you like to store") && m_storage.Note(); }},
        };
        const DriverStep askedToPlay{"asked to play", nullptr,
                                     [] { return Asking("Would you like to play"); }};
        // At full speed "Connecting..." may pass between two looks: the
        // benchmark's walk waits for the transfer itself.
        if (walk != Walk::Bench) {
            steps.push_back(
                {"connecting", keys({"Return"}),
                 [] { return Showing("Connecting...") && Status().find_first_not_of(' ') == 33; },
                 walk == Walk::Throttled ? "download-connecting" : nullptr});
        }
        std::vector<DriverStep> more;
        switch (walk) {
            case Walk::Throttled:
                more = {
                    {"downloading with the time to play", nullptr,
                     [] { return ShowsTimeToPlay("   Downloading"); }, "download-time-to-play"},
                    {"counting down", nullptr,
                     [] {
                         return ShowsTimeToPlay("   Installing") && Screen()->CountdownRunning();
                     },
                     "download-countdown"},
                    askedToPlay,
                    {"streaming while the game runs", keys({"Return"}),
                     [] { return Status().find("Streaming") == 33; }},
                    {"the game closed, the transfer goes on", nullptr,
                     [] {
                         return GamesClosed() == 1 && Showing("Downloading") &&
                                Status().find("Start playing") == std::string::npos &&
                                Frame()->IsDownloadActive();
                     },
                     "download-after-play"},
                };
                break;
            case Walk::Dropping:
                more = {
                    {"retrying", nullptr, [] { return Showing("Retrying Connection"); },
                     "download-retrying"},
                    {"restored", nullptr, [] { return Showing("Connection Restored."); },
                     "download-restored"},
                    askedToPlay,
                    {"declined: streaming", keys({"Escape"}), [] { return Showing("Streaming"); },
                     "download-streaming"},
                };
                break;
            case Walk::Cancelled:
                more = {
                    {"downloading with the time to play", nullptr,
                     [] { return ShowsTimeToPlay("   Downloading"); }},
                    {"Backspace asks first", keys({"BackSpace"}),
                     [] { return Asking(CDownloadView::kCancelQuestion); },
                     "download-cancel-question"},
                    {"No goes on", keys({"Tab", "Return"}),
                     [] { return Showing("   Downloading") && Frame()->IsDownloadActive(); }},
                    {"maximised", CStepDriver::ShowInput(SW_SHOWMAXIMIZED),
                     [this] {
                         return m_driver.Settled(SW_SHOWMAXIMIZED, 2) &&
                                ShowsTimeToPlay("   Downloading");
                     },
                     "download-maximised"},
                    {"Backspace asks again", keys({"BackSpace"}),
                     [] { return Asking(CDownloadView::kCancelQuestion); }},
                    {"Yes cancels", keys({"Return"}),
                     [this] { return OnDetail(kGame, kNotInstalled) && m_storage.Stored(0); },
                     "download-cancelled"},
                };
                break;
            case Walk::Bench:
                // The status line is read whether a question is up or not: at
                // full speed the play question may come before the first look.
                more = {
                    {"transfer started", keys({"Return"}),
                     [] {
                         return On(Screen()) && Frame()->IsDownloadActive() &&
                                (Status().find("Downloading") != std::string::npos ||
                                 Status().find("Streaming") != std::string::npos);
                     }},
                    askedToPlay,
                    {"declined", keys({"Escape"}), [] { return On(Screen()) && NoQuestion(); }},
                    {"transfer ended", nullptr, [this] { return Ended(); }},
                };
                break;
        }
        steps.insert(steps.end(), more.begin(), more.end());
        if (walk == Walk::Throttled || walk == Walk::Dropping) {
            more = Ending(walk == Walk::Dropping);
            steps.insert(steps.end(), more.begin(), more.end());
        }
        return steps;
    }

    // The transfer ends on the screen, which keeps its last line; the bar's
    // Back then leaves it for the game, installed (Backspace only ever asks
    // to cancel, and with nothing to cancel it does nothing). The bar keeps
    // out of the way until the pointer comes to the top edge.
    std::vector<DriverStep> Ending(bool reportFolder) {
        return {
            {"the transfer ended", nullptr, [this] { return Ended(); },
             reportFolder ? nullptr : "download-ended"},
            {"the bar comes down to the pointer",
             [] {
                 QWidget* frame = Frame()->GetWidget();
                 return CStepDriver::ClickAt(frame, QPoint(frame->width() / 2, 2), {});
             },
             [] { return Frame()->ToolBar().GetWidget()->y() >= 0; }},
            {"the bar's Back goes to the game, installed",
             [] {
                 const RECT back = Frame()->ToolBar().BackRect();
                 return CStepDriver::ClickAt(
                     Frame()->ToolBar().GetWidget(),
                     QPoint((back.left + back.right) / 2, (back.top + back.bottom) / 2));
             },
             [this, reportFolder] {
                 if (!OnDetail(kGame, kDemoInstalled)) {
                     return false;
                 }
                 if (reportFolder) {
                     CStepDriver::Report("e2e: installed in " + m_storage.NewFolder());
                 }
                 return true;
             }},
        };
    }

    bool Ended() const {
        return On(Screen()) && !Frame()->IsDownloadActive() && NoQuestion() && m_storage.Stored(1);
    }

    StorageWatch m_storage;
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
