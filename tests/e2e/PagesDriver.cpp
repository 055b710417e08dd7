// Plays a user who reads the service's pages: with real keys (xdotool) and
// one mouse click on the real client, engine, service and web view.
#include <QApplication>
#include <QWidget>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "ClientState.h"
#include "Drivers.h"
#include "StepDriver.h"
#include "frame/MainFrame.h"
#include "screens/BrowserView.h"
#include "screens/HomeScreenView.h"
#include "skin/MCListBox.h"
#include "skin/MessageDlg.h"
#include "ui/WebBrowser2.h"

namespace {

using e2e::Frame;

struct State {
    State() : m_driver(Steps(), [this] { return "page text: " + m_pageText.substr(0, 200); }) {}

    std::vector<DriverStep> Steps() {
        const auto keys = CStepDriver::KeysInput;
        const auto moveMouse = [] { return QStringList{"mousemove_relative", "--", "20", "20"}; };
        return {
            {"announcements shown", nullptr,
             [this] { return OnPage(Frame()->BrowserView(), "Halvory Announcements"); },
             "pages-announcements-800x600"},
            {"Continue went home", keys({"Return"}),
             [this] { return HomeWithMenuFocused() && PageShows("Latest Halvory Updates"); },
             "pages-home-800x600"},
            {"Edit Profile shows the account", keys({"Down", "Down", "Return"}),
             [this] {
                 return OnPage(Frame()->BrowserView(), "Your Halvory Account") &&
                        PageShows(std::getenv("HALVORY_E2E_USER") ?: "?");
             },
             nullptr},
            {"Back came home", keys({"BackSpace"}), [this] { return HomeWithMenuFocused(); },
             nullptr},
            {"Support shows the help page", keys({"Down", "Down", "Down", "Return"}),
             [this] { return OnPage(Frame()->BrowserView(), "Halvory Troubleshooting Tips"); },
             nullptr},
            // Keys typed into the page are the page's: Backspace there leaves nothing.
            {"Backspace inside the page stays there", [] { return TypeIntoPage(); },
             [this] {
                 return m_driver.SinceStepStart() > std::chrono::seconds(2) &&
                        OnPage(Frame()->BrowserView(), "Halvory Troubleshooting Tips");
             },
             nullptr},
            {"Continue clicked came home", [] { return ClickContinue(); },
             [this] { return HomeWithMenuFocused(); }, nullptr},
            {"top bar hidden", nullptr, [] { return Frame()->ToolBar().IsHidden(); },
             "pages-bar-hidden-800x600"},
            {"top bar shown", moveMouse, [] { return !Frame()->ToolBar().IsHidden(); },
             "pages-bar-shown-800x600"},
            {"maximised by a double click on the top bar", [] { return DoubleClickBar(); },
             [this] {
                 return Frame()->FrameShowState() == SW_SHOWMAXIMIZED && HomeWithMenuFocused();
             },
             "pages-home-maximised"},
            {"Back shows the announcements", keys({"BackSpace"}),
             [this] { return OnPage(Frame()->BrowserView(), "Halvory Announcements"); },
             "pages-announcements-maximised"},
            {"Back there asks to log out", keys({"BackSpace"}),
             [] { return e2e::QuestionDialog() != nullptr; }, nullptr},
            {"answered No", keys({"Escape"}),
             [] { return e2e::NoQuestion() && Frame()->ActiveView() == Frame()->BrowserView(); },
             nullptr},
            {"top bar hidden maximised", nullptr, [] { return Frame()->ToolBar().IsHidden(); },
             "pages-bar-hidden-maximised"},
            {"top bar shown maximised", moveMouse, [] { return !Frame()->ToolBar().IsHidden(); },
             "pages-bar-shown-maximised"},
            {"Continue went home again", keys({"Return"}), [this] { return HomeWithMenuFocused(); },
             nullptr},
            // A page that cannot load: the web view's own error page, and
            // the screen works as ever.
            {"an unreachable page shows the web view's error",
             [] {
                 Frame()->ShowWebPage("http://127.0.0.1:1/gone.htm", 1, 0, 0);
                 return QStringList{};
             },
             [this] { return OnPage(Frame()->BrowserView(), "This site can"); },
             "pages-unreachable"},
            {"Continue left it", keys({"Return"}), [this] { return HomeWithMenuFocused(); },
             nullptr},
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

    bool OnPage(CBaseView* screen, const std::string& text) {
        return Frame()->ActiveView() == screen && PageShows(text);
    }

    bool HomeWithMenuFocused() {
        CHomeScreenView* home = Frame()->HomeView();
        return Frame()->ActiveView() == home && CWnd::GetFocus() == &home->Menu();
    }

    // A real click in the page, then Backspace.
    static QStringList TypeIntoPage() {
        return CStepDriver::ClickAt(Frame()->BrowserView()->PageArea()->GetWidget(), {},
                                    {"click", "1", "key", "BackSpace"});
    }

    static QStringList ClickContinue() {
        return CStepDriver::ClickAt(Frame()->BrowserView()->ContinueButton().GetWidget());
    }

    static QStringList DoubleClickBar() {
        return CStepDriver::ClickAt(Frame()->ToolBar().GetWidget(), {},
                                    {"click", "--repeat", "2", "--delay", "80", "1"});
    }

    std::string m_pageText;
    size_t m_pageStep = 0;
    CStepDriver m_driver;
};

}  // namespace

std::shared_ptr<void> StartPagesWalk(const std::string& scenario) {
    return scenario == "pages" ? std::make_shared<State>() : nullptr;
}
