// Plays a user who browses the catalogue with the keyboard only: into the
// games screen, pages turned, a category chosen, a game opened, its free demo
// taken, played and deleted, the game bought, played and deleted. With a
// gamepad, the same walk on a virtual game controller instead of the keys.
#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "ClientState.h"
#include "Drivers.h"
#include "StepDriver.h"
#include "VirtualGamepad.h"
#include "catalogue/Catalogue.h"
#include "catalogue/GameInfo.h"
#include "frame/MainFrame.h"
#include "screens/BrowserView.h"
#include "screens/GameInfoView.h"
#include "screens/GamesView.h"
#include "screens/HomeScreenView.h"
#include "skin/MCListBox.h"
#include "skin/MessageDlg.h"

namespace {

using namespace e2e;

// The demo content: 24 titles, five of them with a free demo; "Action" holds
// six, the first of them "Starfall Run", which has a demo.
constexpr int kAllTiles = 24;
constexpr const char* kGame = "Starfall Run";
constexpr int kActionRow = 1;
constexpr int kActionTiles = 6;

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

struct State {
    explicit State(bool gamepad)
        : m_gamepad(gamepad), m_driver(Steps(), [this] {
              return "games screen: " + GamesText() + ", detail: " + DetailRows() +
                     ", question: " + Question() +
                     ", games closed: " + std::to_string(m_gameLog.Closes()) + ", " +
                     m_storage.Describe();
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
        const auto keys = CStepDriver::KeysInput;
        const std::string all = std::to_string(kAllTiles);
        // The walk with the keys leaves the pictures; the one with the pad
        // repeats it.
        const auto shot = [this](const char* name) { return m_gamepad ? nullptr : name; };
        return {
            {"announcements shown", nullptr,
             [] { return Frame()->ActiveView() == Frame()->BrowserView(); }, nullptr},
            {"icons fetched", nullptr, [] { return IconsFetched(); }, nullptr},
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
             [this] { return Asking("Where would you like to store") && m_storage.Note(); },
             nullptr},
            {"the demo arrives and asks to be played", keys({"Return"}),
             [] { return Asking("Would you like to play"); }, nullptr},
            {"the demo played and closed itself", keys({"Return"}),
             [this] {
                 return m_gameLog.Closes() >= 1 && NoQuestion() &&
                        OnDetail("Play Game:1|SPLITTER:0|Play Free Demo:4|Delete Free Demo:6") &&
                        m_storage.Stored(1);
             },
             shot("browse-detail-demo-installed-800x600")},
            // Not a user step: the screenshots want the large window too.
            {"maximised", CStepDriver::ShowInput(SW_SHOWMAXIMIZED),
             [this] { return m_driver.Settled(SW_SHOWMAXIMIZED, 2) && OnDetail(""); },
             shot("browse-detail-demo-installed-maximised")},
            {"deleting the demo asks first", keys({"Down", "Down", "Return"}),
             [] { return Asking("Are you sure you want to delete"); }, nullptr},
            {"the demo deleted", keys({"Return"}),
             [this] {
                 return NoQuestion() && OnDetail("Play Game:1|SPLITTER:0|Play Free Demo:2") &&
                        m_storage.Stored(0);
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
                 return m_gameLog.Closes() == 2 && NoQuestion() &&
                        OnDetail("Play Game:1|Delete Game:5|SPLITTER:0|Play Free Demo:2") &&
                        m_storage.Stored(1);
             },
             nullptr},
            {"deleting the game asks first", keys({"Down", "Return"}),
             [] { return Asking("Are you sure you want to delete"); }, nullptr},
            {"the game deleted", keys({"Return"}),
             [this] {
                 return NoQuestion() && OnDetail("Play Game:1|SPLITTER:0|Play Free Demo:2") &&
                        m_storage.Stored(0);
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

    // Every game's icon is stored, announced to the games screen and decoded.
    static bool IconsFetched() {
        if (g_arrGameInfo.empty() ||
            static_cast<size_t>(Games()->IconsReady()) != g_arrGameInfo.size()) {
            return false;
        }
        for (const auto& game : g_arrGameInfo) {
            std::lock_guard lock(game->m_csIcon);
            if (!std::filesystem::exists(game->IconFile()) || !game->m_pIconImage ||
                !game->m_pIconImage->IsValid()) {
                return false;
            }
        }
        return true;
    }

    static CGamesView* Games() { return Frame()->GamesView(); }

    static bool Focus(CWnd& wnd) { return CWnd::GetFocus() == &wnd; }

    static bool OnDetail(const std::string& rows) { return e2e::OnDetail(kGame, rows); }

    bool m_gamepad;
    VirtualGamepad m_pad;
    StorageWatch m_storage;
    GameLog m_gameLog;
    CStepDriver m_driver;
};

}  // namespace

std::shared_ptr<void> StartBrowseWalk(const std::string& scenario) {
    if (scenario != "browse" && scenario != "browse-gamepad") {
        return nullptr;
    }
    auto state = std::make_shared<State>(scenario == "browse-gamepad");
    if (state->m_gamepad) {
        if (!state->m_pad.Attach()) {
            CStepDriver::Report("e2e: failed: no virtual controller: " + state->m_pad.Error());
            QCoreApplication::exit(1);
        }
        state->m_driver.SetKeyPresser(
            [raw = state.get()](const QStringList& keys) { raw->Press(keys); });
    }
    return state;
}
