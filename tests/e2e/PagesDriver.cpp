#include "PagesDriver.h"

#include <QApplication>
#include <QProcess>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <typeinfo>
#include <vector>

#include "frame/MainFrame.h"
#include "screens/BrowserView.h"
#include "screens/HomeScreenView.h"
#include "skin/MCListBox.h"
#include "skin/MessageDlg.h"
#include "ui/WebBrowser2.h"

namespace {

using Clock = std::chrono::steady_clock;

void Report(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

// Real input, as the X server delivers it, to the client's window made
// active first. Not waited for: activation needs this thread's event loop.
void Xdotool(WId window, const QStringList& arguments) {
    QProcess::startDetached(
        "xdotool", QStringList{"windowactivate", "--sync", QString::number(window)} + arguments);
}

CMainFrame* Frame() {
    return dynamic_cast<CMainFrame*>(GetFrame());
}

}  // namespace

struct CPagesDriver::State {
    // Each step gives its input (xdotool arguments) once when it begins,
    // then is polled until done.
    struct Step {
        const char* name;
        std::function<QStringList()> input;
        std::function<bool()> done;
        const char* screenshot;  // taken once done, or null
    };

    State() {
        const std::string artifacts = std::getenv("HALVORY_E2E_ARTIFACTS") ?: "";
        m_artifacts = QString::fromStdString(artifacts);
        const auto keys = [](QStringList names) {
            return [names] { return QStringList{"key", "--delay", "150"} + names; };
        };
        const auto moveMouse = [] { return QStringList{"mousemove_relative", "--", "20", "20"}; };
        m_steps = {
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
                 return Clock::now() - m_stepStart > std::chrono::seconds(2) &&
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
            {"Back there asks to log out", keys({"BackSpace"}), [] { return Question(); }, nullptr},
            {"answered No", keys({"Escape"}),
             [] { return !Question() && Frame()->ActiveView() == Frame()->BrowserView(); },
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
        m_timer.setInterval(100);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Tick(); });
        m_timer.start();
    }

    void Tick() {
        CMainFrame* frame = Frame();
        if (m_done || !frame || !frame->GetWidget()->isVisible()) {
            return;
        }
        if (m_step == m_steps.size()) {
            m_done = true;
            Report("e2e: passed");
            frame->PostMessage(WM_CLOSE);
            return;
        }
        const Step& step = m_steps[m_step];
        if (!m_acted) {
            m_acted = true;
            m_stepStart = Clock::now();
            m_pageText.clear();
            if (step.input) {
                Xdotool(frame->GetWidget()->winId(), step.input());
            }
            return;
        }
        if (step.done()) {
            Report(std::string("e2e: ") + step.name);
            if (step.screenshot && !m_artifacts.isEmpty()) {
                QProcess::execute("import",
                                  {"-window", QString::number(frame->GetWidget()->winId()),
                                   m_artifacts + "/" + step.screenshot + ".png"});
            }
            ++m_step;
            m_acted = false;
        } else if (Clock::now() - m_stepStart > std::chrono::seconds(30)) {
            m_done = true;
            CWnd* focus = CWnd::GetFocus();
            Report(std::string("e2e: failed: no '") + step.name + "' within 30 s; show state " +
                   std::to_string(frame->FrameShowState()) + ", focus on " +
                   (focus ? typeid(*focus).name() : "nothing") + " (" +
                   (QApplication::focusWidget()
                        ? QApplication::focusWidget()->metaObject()->className()
                        : "none") +
                   "), page text: " + m_pageText.substr(0, 200));
            QCoreApplication::exit(1);
        }
    }

    // The text the web view renders, asked for afresh on each poll.
    bool PageShows(const std::string& text) {
        CWebBrowser2* browser = Frame()->Browser();
        if (!browser) {
            return false;
        }
        browser->PageText([this, generation = m_step](const std::string& rendered) {
            if (generation == m_step) {
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

    static bool Question() {
        QWidget* modal = QApplication::activeModalWidget();
        return modal && dynamic_cast<CMessageDlg*>(CWnd::FromWidget(modal));
    }

    static QStringList TypeIntoPage() {
        QWidget* page = Frame()->BrowserView()->PageArea()->GetWidget();
        const QPoint centre = page->mapToGlobal(page->rect().center());
        return {"mousemove",
                QString::number(centre.x()),
                QString::number(centre.y()),
                "click",
                "1",
                "key",
                "BackSpace"};
    }

    // A real click on the continue button.
    static QStringList ClickContinue() {
        QWidget* button = Frame()->BrowserView()->ContinueButton().GetWidget();
        const QPoint centre = button->mapToGlobal(button->rect().center());
        return {"mousemove", QString::number(centre.x()), QString::number(centre.y()), "click",
                "1"};
    }

    static QStringList DoubleClickBar() {
        QWidget* bar = Frame()->ToolBar().GetWidget();
        const QPoint caption = bar->mapToGlobal(QPoint(bar->width() / 2, bar->height() / 2));
        return {"mousemove",
                QString::number(caption.x()),
                QString::number(caption.y()),
                "click",
                "--repeat",
                "2",
                "--delay",
                "80",
                "1"};
    }

    QTimer m_timer;
    std::vector<Step> m_steps;
    size_t m_step = 0;
    bool m_acted = false;
    bool m_done = false;
    Clock::time_point m_stepStart;
    std::string m_pageText;
    QString m_artifacts;
};

CPagesDriver::CPagesDriver() : m_state(std::make_unique<State>()) {}

CPagesDriver::~CPagesDriver() = default;
