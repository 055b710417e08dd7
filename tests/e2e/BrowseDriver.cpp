#include "BrowseDriver.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "StepDriver.h"
#include "VirtualGamepad.h"
#include "catalogue/GameInfo.h"
#include "frame/MainFrame.h"
#include "screens/BrowserView.h"
#include "screens/GameInfoView.h"
#include "screens/GamesView.h"
#include "screens/HomeScreenView.h"
#include "skin/MCListBox.h"
#include "skin/MessageDlg.h"

namespace {

namespace fs = std::filesystem;

// The demo content: 24 titles, five of them with a free demo; "Action" holds
// six, the first of them "Starfall Run", which has a demo.
constexpr int kAllTiles = 24;
constexpr const char* kGame = "Starfall Run";
constexpr int kActionRow = 1;
constexpr int kActionTiles = 6;

CMainFrame* Frame() {
    return CStepDriver::Frame();
}

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// The question on top, or null.
CMessageDlg* QuestionDialog() {
    auto* dialog = dynamic_cast<CMessageDlg*>(CWnd::FromWidget(QApplication::activeModalWidget()));
    if (!dialog) {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* shown = dynamic_cast<CMessageDlg*>(CWnd::FromWidget(widget));
            if (shown && shown->m_bPurchase && widget->isVisible()) {
                dialog = shown;
            }
        }
    }
    return dialog;
}

// The text of the question on top; empty without one.
std::string Question() {
    CMessageDlg* dialog = QuestionDialog();
    return dialog ? dialog->GetDlgItem(kMessageId)->GetWindowText() : std::string();
}

bool Asking(const std::string& start) {
    return Question().rfind(start, 0) == 0 && !start.empty();
}

bool NoQuestion() {
    return Question().empty();
}

// The controller's button for each key of the walk.
SDL_GameControllerButton ButtonFor(const QString& key) {
    static const std::map<QString, SDL_GameControllerButton> buttons = {
        {"Up", SDL_CONTROLLER_BUTTON_DPAD_UP},
        {"Down", SDL_CONTROLLER_BUTTON_DPAD_DOWN},
        {"Left", SDL_CONTROLLER_BUTTON_DPAD_LEFT},
        {"Right", SDL_CONTROLLER_BUTTON_DPAD_RIGHT},
        {"Return", SDL_CONTROLLER_BUTTON_A},
        {"BackSpace", SDL_CONTROLLER_BUTTON_B},
        {"Prior", SDL_CONTROLLER_BUTTON_LEFTSHOULDER},
        {"Next", SDL_CONTROLLER_BUTTON_RIGHTSHOULDER},
    };
    auto it = buttons.find(key);
    return it == buttons.end() ? SDL_CONTROLLER_BUTTON_INVALID : it->second;
}

}  // namespace

struct CBrowseDriver::State {
    explicit State(bool gamepad)
        : m_gamepad(gamepad), m_gameLog(Env("HALVORY_DEMO_GAME_LOG")), m_driver(Steps(), [this] {
              return "games screen: " + GamesText() + ", detail: " + Rows() +
                     ", question: " + Question() + ", games closed: " + std::to_string(Closes()) +
                     ", folders stored: " + std::to_string(Folders().size() - m_before.size()) +
                     " in " + m_storage + ":" + Listing();
          }) {}

    // Each key a press and a release, as a hand would, one after another.
    void Press(const QStringList& keys) {
        constexpr int kPitchMs = 300;
        constexpr int kHoldMs = 100;
        for (int i = 0; i < keys.size(); ++i) {
            const SDL_GameControllerButton button = ButtonFor(keys[i]);
            QTimer::singleShot(i * kPitchMs, [this, button] { m_pad.Press(button); });
            QTimer::singleShot(i * kPitchMs + kHoldMs, [this, button] { m_pad.Release(button); });
        }
    }

    std::vector<DriverStep> Steps() {
        const auto keys = [](QStringList names) {
            return [names] { return CStepDriver::Keys(names); };
        };
        const std::string all = std::to_string(kAllTiles);
        // The walk with the keys leaves the pictures; the one with the pad
        // repeats it.
        const auto shot = [this](const char* name) { return m_gamepad ? nullptr : name; };
        return {
            {"announcements shown", nullptr,
             [] { return Frame()->ActiveView() == Frame()->BrowserView(); }, nullptr},
            {"Continue went home", keys({"Return"}),
             [] {
                 return Frame()->ActiveView() == Frame()->HomeView() &&
                        CWnd::GetFocus() == &Frame()->HomeView()->Menu();
             },
             nullptr},
            {"Browse Games lists All", keys({"Down", "Return"}),
             [this, all] { return OnGames("All", "1 Of " + all) && Focus(Games()->Categories()); },
             shot("browse-games-all-800x600")},
            {"Right goes to the tiles", keys({"Right"}), [this] { return Focus(Games()->Games()); },
             nullptr},
            {"Page Down turns a page", keys({"Next"}),
             [this, all] { return OnGames("All", "10 Of " + all); }, nullptr},
            {"Page Down turns the last page", keys({"Next"}),
             [this, all] { return OnGames("All", "17 Of " + all); }, nullptr},
            {"Page Up turns back", keys({"Prior"}),
             [this, all] { return OnGames("All", "10 Of " + all); }, nullptr},
            {"Left goes to the categories", keys({"Left"}),
             [this] { return Focus(Games()->Categories()); }, nullptr},
            {"Action chosen", keys({"Down", "Return"}),
             [this] {
                 return OnGames("Action", "1 Of " + std::to_string(kActionTiles)) &&
                        Games()->GetDlgItem(CGamesView::kTitleId)->GetWindowText() == kGame;
             },
             shot("browse-games-action-800x600")},
            {"the game opened", keys({"Right", "Return"}),
             [this] { return OnDetail("Play Game:1|SPLITTER:0|Play Free Demo:2"); }, nullptr},
            {"the demo asks where to store it", keys({"Down", "Return"}),
             [this] { return Asking("Where would you like to store") && NoteStorage(); }, nullptr},
            {"the demo arrives and asks to be played", keys({"Return"}),
             [] { return Asking("Would you like to play"); }, nullptr},
            {"the demo played and closed itself", keys({"Return"}),
             [this] {
                 return GameLog().find("closed: ") != std::string::npos && NoQuestion() &&
                        OnDetail("Play Game:1|SPLITTER:0|Play Free Demo:4|Delete Free Demo:6") &&
                        Stored(1);
             },
             shot("browse-detail-demo-installed-800x600")},
            {"maximised", [] { return Maximise(); },
             [this] {
                 // Given a moment to settle and repaint at the new size.
                 return Frame()->FrameShowState() == SW_SHOWMAXIMIZED && OnDetail("") &&
                        m_driver.SinceStepStart() > std::chrono::seconds(2);
             },
             shot("browse-detail-demo-installed-maximised")},
            {"deleting the demo asks first", keys({"Down", "Down", "Return"}),
             [] { return Asking("Are you sure you want to delete"); }, nullptr},
            {"the demo deleted", keys({"Return"}),
             [this] {
                 return NoQuestion() && OnDetail("Play Game:1|SPLITTER:0|Play Free Demo:2") &&
                        Stored(0);
             },
             nullptr},
            {"buying asks for the purchase", keys({"Up", "Up", "Return"}),
             [] { return Asking("Your account will be charged"); }, nullptr},
            {"the purchase asks again", keys({"Return"}),
             [] { return Asking("Your credit card will be charged"); }, nullptr},
            {"the purchase confirmed asks where to store", keys({"Return"}),
             [] { return Asking("Where would you like to store"); }, nullptr},
            {"the game arrives and asks to be played", keys({"Return"}),
             [] { return Asking("Would you like to play"); }, nullptr},
            {"the game played and closed itself", keys({"Return"}),
             [this] {
                 return Closes() == 2 && NoQuestion() &&
                        OnDetail("Play Game:1|Delete Game:5|SPLITTER:0|Play Free Demo:2") &&
                        Stored(1);
             },
             nullptr},
            {"deleting the game asks first", keys({"Down", "Return"}),
             [] { return Asking("Are you sure you want to delete"); }, nullptr},
            {"the game deleted", keys({"Return"}),
             [this] {
                 return NoQuestion() && OnDetail("Play Game:1|SPLITTER:0|Play Free Demo:2") &&
                        Stored(0);
             },
             nullptr},
            {"Back returns to the games", keys({"BackSpace"}),
             [this] { return OnGames("Action", "1 Of " + std::to_string(kActionTiles)); },
             shot("browse-games-action-maximised")},
            {"All chosen again", keys({"Left", "Up", "Return"}),
             [this, all] { return OnGames("All", "1 Of " + all); },
             shot("browse-games-all-maximised")},
        };
    }

    static CGamesView* Games() { return Frame()->GamesView(); }

    static bool Focus(CWnd& wnd) { return CWnd::GetFocus() == &wnd; }

    static std::string GamesText() {
        CGamesView* games = Games();
        return games->CurrentCategory() + " " +
               games->GetDlgItem(CGamesView::kCounterId)->GetWindowText();
    }

    static bool OnGames(const std::string& category, const std::string& counter) {
        return Frame()->ActiveView() == Games() && Games()->CurrentCategory() == category &&
               Games()->GetDlgItem(CGamesView::kCounterId)->GetWindowText() == counter;
    }

    // The detail screen's action rows as "text:action|...".
    static std::string Rows() {
        const CMCListBox& list = Frame()->GameInfoView()->ActionList();
        std::string rows;
        for (int i = 0; i < list.GetCount(); ++i) {
            const MCListItem* item = list.GetItem(i);
            rows += (i ? "|" : "") + item->text + ":" + std::to_string(item->value);
        }
        return rows;
    }

    // The detail screen of the game, idle, with these rows (any when empty).
    static bool OnDetail(const std::string& rows) {
        CGameInfoView* detail = Frame()->GameInfoView();
        return Frame()->ActiveView() == detail && detail->GetGame() &&
               detail->GetGame()->m_strTitle == kGame && !detail->IsBusy() &&
               !Frame()->IsDownloadActive() && (rows.empty() || Rows() == rows);
    }

    // The folders in the storage folder the question offers (the client's
    // own), before any game is stored there.
    bool NoteStorage() {
        if (m_storage.empty()) {
            m_storage = QuestionDialog()->GetDlgItem(kFolderId)->GetWindowText();
            m_before = Folders();
        }
        return true;
    }

    std::set<fs::path> Folders() const {
        std::set<fs::path> folders;
        std::error_code error;
        for (fs::directory_iterator it(m_storage, error), end; !error && it != end;
             it.increment(error)) {
            if (it->is_directory()) {
                folders.insert(it->path());
            }
        }
        return folders;
    }

    std::string Listing() const {
        std::string names;
        std::error_code error;
        for (fs::directory_iterator it(m_storage, error), end; !error && it != end;
             it.increment(error)) {
            names += " " + it->path().filename().string();
        }
        return names;
    }

    // How many games the engine keeps in the storage folder.
    bool Stored(size_t count) const { return Folders().size() == m_before.size() + count; }

    std::string GameLog() const {
        std::ifstream log(m_gameLog);
        return std::string(std::istreambuf_iterator<char>(log), std::istreambuf_iterator<char>());
    }

    size_t Closes() const {
        const std::string log = GameLog();
        size_t count = 0;
        for (size_t at = log.find("closed: "); at != std::string::npos;
             at = log.find("closed: ", at + 1)) {
            ++count;
        }
        return count;
    }

    // Not a user step: the screenshots want the large window too.
    static QStringList Maximise() {
        Frame()->ShowWindow(SW_SHOWMAXIMIZED);
        return {};
    }

    bool m_gamepad;
    VirtualGamepad m_pad;
    std::string m_storage;
    std::set<fs::path> m_before;
    std::string m_gameLog;
    CStepDriver m_driver;
};

CBrowseDriver::CBrowseDriver(bool gamepad) : m_state(std::make_unique<State>(gamepad)) {
    if (gamepad) {
        if (!m_state->m_pad.Attach()) {
            CStepDriver::Report("e2e: failed: no virtual controller: " + m_state->m_pad.Error());
            QCoreApplication::exit(1);
            return;
        }
        m_state->m_driver.SetKeyPresser([this](const QStringList& keys) { m_state->Press(keys); });
    }
}

CBrowseDriver::~CBrowseDriver() = default;
