// Plays a user who reads the service's pages: with real keys (xdotool) and
// one mouse click on the real client, engine, service and web view.
#include <QWidget>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "ClientState.h"
#include "StepDriver.h"
#include "frame/MainFrame.h"
#include "screens/BrowserView.h"
#include "screens/HomeScreenView.h"
#include "skin/MCListBox.h"
#include "ui/WebBrowser2.h"

namespace {

using namespace e2e;

struct State {
    State() : m_driver(Steps()) {}

    std::vector<DriverStep> Steps() {
        const auto keys = CStepDriver::KeysInput;
        const auto moveMouse = [] { return QStringList{"mousemove_relative", "--", "20", "20"}; };
        const auto home = [this] { return HomeWithMenuFocused(); };
        const auto barHidden = [] { return Frame()->ToolBar().IsHidden(); };
        return {
            {"announcements shown", nullptr, [this] { return OnPage("Halvory Announcements"); },
             "pages-announcements-800x600"},
            {"Continue went home", keys({"Return"}),
             [this] { return HomeWithMenuFocused() && PageShows("Latest Halvory Updates"); },
             "pages-home-800x600"},
            {"Edit Profile shows the account", keys({"Down", "Down", "Return"}),
             [this] {
                 return OnPage("Your Halvory Account") &&
                        PageShows(std::getenv("HALVORY_E2E_USER") ?: "?");
             }},
            {"Back came home", keys({"BackSpace"}), home},
            {"Support shows the help page", keys({"Down", "Down", "Down", "Return"}),
             [this] { return OnPage("Halvory Troubleshooting Tips"); }},
            // Keys typed into the page are the page's: Backspace there leaves nothing.
            {"Backspace inside the page stays there",
             [] {
                 return CStepDriver::ClickAt(Frame()->BrowserView()->PageArea()->GetWidget(), {},
                                             {"click", "1", "key", "BackSpace"});
             },
             [this] {
                 return m_driver.SinceStepStart() > std::chrono::seconds(2) &&
                        OnPage("Halvory Troubleshooting Tips");
             }},
            {"Continue clicked came home",
             [] {
                 return CStepDriver::ClickAt(Frame()->BrowserView()->ContinueButton().GetWidget());
             },
             home},
            {"top bar hidden", nullptr, barHidden, "pages-bar-hidden-800x600"},
            {"top bar shown", moveMouse, [] { return !Frame()->ToolBar().IsHidden(); },
             "pages-bar-shown-800x600"},
            {"maximised by a double click on the top bar",
             [] {
                 return CStepDriver::ClickAt(Frame()->ToolBar().GetWidget(), {},
                                             {"click", "--repeat", "2", "--delay", "80", "1"});
             },
             [this] {
                 return Frame()->FrameShowState() == SW_SHOWMAXIMIZED && HomeWithMenuFocused();
             },
             "pages-home-maximised"},
            {"Back shows the announcements", keys({"BackSpace"}),
             [this] { return OnPage("Halvory Announcements"); }, "pages-announcements-maximised"},
            {"Back there asks to log out", keys({"BackSpace"}),
             [] { return QuestionDialog() != nullptr; }},
            {"answered No", keys({"Escape"}),
             [] { return NoQuestion() && On(Frame()->BrowserView()); }},
            {"top bar hidden maximised", nullptr, barHidden, "pages-bar-hidden-maximised"},
            {"top bar shown maximised", moveMouse, [] { return !Frame()->ToolBar().IsHidden(); },
             "pages-bar-shown-maximised"},
            {"Continue went home again", keys({"Return"}), home},
            // A page that cannot load: the web view's own error page, and
            // the screen works as ever.
            {"an unreachable page shows the web view's error",
             [] {
                 Frame()->ShowWebPage("http://127.0.0.1:1/gone.htm", 1, 0, 0);
                 return QStringList{};
             },
             [this] { return OnPage("This site can"); }, "pages-unreachable"},
            {"Continue left it", keys({"Return"}), home},
        };
    }

    // The text the web view renders, asked for afresh on each poll.
    bool PageShows(const std::string& text) {
        CWebBrowser2* browser = Frame()->Browser();
        if (!browser) {
            return false;
        }
        if (m_pageStep != m_driver.StepNumber()) {
            m_pageStep = m_driver.StepNumber();
            m_pageText.clear();
        }
        browser->PageText([this, generation = m_pageStep](const std::string& rendered) {
            if (generation == m_driver.StepNumber()) {
                m_pageText = rendered;
            }
        });
        return m_pageText.find(text) != std::string::npos;
    }

    bool OnPage(const std::string& text) { return On(Frame()->BrowserView()) && PageShows(text); }

    bool HomeWithMenuFocused() {
        return On(Frame()->HomeView()) && CWnd::GetFocus() == &Frame()->HomeView()->Menu();
    }

    std::string m_pageText;
    size_t m_pageStep = 0;
    CStepDriver m_driver;
};

}  // namespace

std::shared_ptr<void> StartPagesWalk(const std::string& scenario) {
    return scenario == "pages" ? std::make_shared<State>() : nullptr;
}
