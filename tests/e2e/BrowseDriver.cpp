// Plays a user who browses the catalogue with the keyboard only: into the
// games screen, pages turned, a category chosen, a game opened, its free demo
// taken, played and deleted, the game bought, played and deleted. With a
// gamepad, the same walk on a virtual game controller instead of the keys.
#include <QTimer>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "ClientState.h"
#include "StepDriver.h"
#include "VirtualGamepad.h"
#include "catalogue/Catalogue.h"
#include "catalogue/GameInfo.h"
#include "frame/MainFrame.h"
#include "screens/BrowserView.h"
#include "screens/GamesView.h"
#include "screens/HomeScreenView.h"
#include "skin/MCListBox.h"

namespace {

using namespace e2e;

// The demo content: 24 titles, "Action" holds six, the first of them
// "Starfall Run", which has a demo.
constexpr const char* kGame = "Starfall Run";
constexpr const char* kNothingInstalled = "Play Game:1|SPLITTER:0|Play Free Demo:2";

// The controller's button for each key of the walk.
const std::map<QString, SDL_GameControllerButton> kButtons = {
    {"Up", SDL_CONTROLLER_BUTTON_DPAD_UP},         {"Down", SDL_CONTROLLER_BUTTON_DPAD_DOWN},
    {"Left", SDL_CONTROLLER_BUTTON_DPAD_LEFT},     {"Right", SDL_CONTROLLER_BUTTON_DPAD_RIGHT},
    {"Return", SDL_CONTROLLER_BUTTON_A},           {"BackSpace", SDL_CONTROLLER_BUTTON_B},
    {"Prior", SDL_CONTROLLER_BUTTON_LEFTSHOULDER}, {"Next", SDL_CONTROLLER_BUTTON_RIGHTSHOULDER},
};

CGamesView* Games() {
    return Frame()->GamesView();
}

bool Focus(CWnd& wnd) {
    return CWnd::GetFocus() == &wnd;
}

// Every game's icon is stored, announced to the games screen and decoded.
bool IconsFetched() {
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

struct State {
    explicit State(bool gamepad) : m_gamepad(gamepad), m_driver(Steps()) {}

    // Each key a press and a release, as a hand would, one after another.
    void Press(const QStringList& keys) {
        constexpr int kPitchMs = 300;
        constexpr int kHoldMs = 100;
        for (int i = 0; i < keys.size(); ++i) {
            const SDL_GameControllerButton button = kButtons.at(keys[i]);
            QTimer::singleShot(i * kPitchMs, [this, button] { m_pad.Press(button); });
            QTimer::singleShot(i * kPitchMs + kHoldMs, [this, button] { m_pad.Release(button); });
        }
    }

    std::vector<DriverStep> Steps() {
        const auto keys = CStepDriver::KeysInput;
        // The walk with the keys leaves the pictures; the one with the pad
        // repeats it.
        const auto shot = [this](const char* name) { return m_gamepad ? nullptr : name; };
        // A game's question answered Yes, its game played and closed itself.
        const auto played = [this](size_t closes, const char* rows) {
            return [this, closes, rows] {
                return GamesClosed() == closes && NoQuestion() && OnDetail(kGame, rows) &&
                       m_storage.Stored(1);
            };
        };
        const auto deleted = [this] {
            return NoQuestion() && OnDetail(kGame, kNothingInstalled) && m_storage.Stored(0);
        };
        const auto asking = [](const char* question) {
            return [question] { return Asking(question); };
        };
        return {
            {"announcements shown", nullptr, [] { return On(Frame()->BrowserView()); }},
            {"icons fetched", nullptr, IconsFetched},
            {"Continue went home", keys({"Return"}),
             [] { return On(Frame()->HomeView()) && Focus(Frame()->HomeView()->Menu()); }},
            {"Browse Games lists All", keys({"Down", "Return"}),
             [] { return OnGames("All", "1 Of 24") && Focus(Games()->Categories()); },
             shot("browse-games-all-800x600")},
            {"Right goes to the tiles", keys({"Right"}), [] { return Focus(Games()->Games()); }},
            {"Page Down turns a page", keys({"Next"}), [] { return OnGames("All", "10 Of 24"); }},
            {"Page Down turns the last page", keys({"Next"}),
             [] { return OnGames("All", "17 Of 24"); }},
            {"Page Up turns back", keys({"Prior"}), [] { return OnGames("All", "10 Of 24"); }},
            {"Left goes to the categories", keys({"Left"}),
             [] { return Focus(Games()->Categories()); }},
            {"Action chosen", keys({"Down", "Return"}),
             [] {
                 return OnGames("Action", "1 Of 6") &&
                        Games()->GetDlgItem(CGamesView::kTitleId)->GetWindowText() == kGame;
             },
             shot("browse-games-action-800x600")},
            {"the game opened", keys({"Right", "Return"}),
             [] { return OnDetail(kGame, kNothingInstalled); }},
            {"the demo asks where to store it", keys({"Down", "Return"}),
             [this] { return Asking("Where would you like to store") && m_storage.Note(); }},
            {"the demo arrives and asks to be played", keys({"Return"}),
             asking("Would you like to play")},
            {"the demo played and closed itself", keys({"Return"}),
             played(1, "Play Game:1|SPLITTER:0|Play Free Demo:4|Delete Free Demo:6"),
             shot("browse-detail-demo-installed-800x600")},
            // Not a user step: the screenshots want the large window too.
            {"maximised", CStepDriver::ShowInput(SW_SHOWMAXIMIZED),
             [this] { return m_driver.Settled(SW_SHOWMAXIMIZED, 2) && OnDetail(kGame, ""); },
             shot("browse-detail-demo-installed-maximised")},
            {"deleting the demo asks first", keys({"Down", "Down", "Return"}),
             asking("Are you sure you want to delete")},
            {"the demo deleted", keys({"Return"}), deleted},
            {"buying asks for the purchase", keys({"Up", "Up", "Return"}),
             asking("Your account will be charged")},
            {"the purchase asks again", keys({"Return"}),
             asking("Your credit card will be charged")},
            {"the purchase confirmed asks where to store", keys({"Return"}),
             asking("Where would you like to store")},
            {"the game arrives and asks to be played", keys({"Return"}),
             asking("Would you like to play")},
            {"the game played and closed itself", keys({"Return"}),
             played(2, "Play Game:1|Delete Game:5|SPLITTER:0|Play Free Demo:2")},
            {"deleting the game asks first", keys({"Down", "Return"}),
             asking("Are you sure you want to delete")},
            {"the game deleted", keys({"Return"}), deleted},
            {"Back returns to the games", keys({"BackSpace"}),
             [] { return OnGames("Action", "1 Of 6"); }, shot("browse-games-action-maximised")},
            {"All chosen again", keys({"Left", "Up", "Return"}),
             [] { return OnGames("All", "1 Of 24"); }, shot("browse-games-all-maximised")},
        };
    }

    bool m_gamepad;
    VirtualGamepad m_pad;
    StorageWatch m_storage;
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
            CStepDriver::Fail("no virtual controller: " + state->m_pad.Error());
        }
        state->m_driver.SetKeyPresser(
            [raw = state.get()](const QStringList& keys) { raw->Press(keys); });
    }
    return state;
}
