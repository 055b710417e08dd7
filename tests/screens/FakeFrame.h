// A frame for screen tests: a real top-level window that the screens live in,
// with the frame operations they call written down instead of carried out.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/GameInfo.h"
#include "messages/Messages.h"
#include "screens/BaseView.h"
#include "screens/FrameInterface.h"
#include "skin/MessageDlg.h"
#include "ui/Button.h"

using Lines = std::vector<std::string>;

class FakeFrame : public CWnd, public IFrame {
  public:
    FakeFrame() {
        CreateEx(0, "", WS_POPUP | WS_VISIBLE, RECT{0, 0, 800, 600}, nullptr, 0);
        SetFrame(this);
    }
    ~FakeFrame() override { SetFrame(nullptr); }

    // Every call and every message posted to the frame, in order:
    // "back", "action:<n>", "show:<title>", "cancel", ...
    Lines heard;
    // By package as the screen asks for it; missing packages are not installed (1).
    std::map<std::string, int> titleStates;
    bool downloadActive = false;
    // Runs while the frame handles the login the screen sends.
    std::function<void()> onStartLogin;

    HWND FrameHwnd() const override { return GetSafeHwnd(); }
    void SwitchToScreen(CBaseView*) override { heard.emplace_back("switch"); }
    void GoBack() override { heard.emplace_back("back"); }
    void ShowHomeScreen() override { heard.emplace_back("home"); }
    void ShowWebPage(const std::string& address, int, int, int) override {
        heard.push_back("page:" + address);
    }
    void HostBrowser(CWnd*, const std::string&) override {}
    void FitBrowser(const RECT&) override {}
    void ShowPurchaseDialog() override {}
    void ShowMessage(const std::string& text, long) override { heard.push_back("message:" + text); }
    void ShowWaitDialog(int mode) override { heard.push_back("wait:" + std::to_string(mode)); }
    void CloseWaitDialog() override { heard.emplace_back("closewait"); }
    int GetTitleState(const std::string& package) const override {
        auto it = titleStates.find(package);
        return it == titleStates.end() ? 1 : it->second;
    }
    bool IsDownloadActive() const override { return downloadActive; }
    UINT FrameShowState() const override { return SW_SHOWNORMAL; }
    std::string PlayerPagesUrl() const override { return "http://127.0.0.1:1"; }
    int DiscoverServers() override {
        heard.emplace_back("discover");
        return 1;
    }
    int CheckForUpgrade() override {
        heard.emplace_back("upgrade");
        return 1;
    }

  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        switch (message) {
            case UWM_GAME_ACTION:
                heard.push_back("action:" +
                                std::to_string(int{hv::WParam<UWM_GAME_ACTION>(wParam)}));
                return 0;
            case UWM_SHOW_GAME: {
                const GameInfo* game = hv::LParam<UWM_SHOW_GAME>(lParam);
                heard.push_back("show:" +
                                (game ? std::string(game->m_strTitle) : std::string("none")));
                return 0;
            }
            case UWM_CANCEL_DOWNLOAD: heard.emplace_back("cancel"); return 0;
            case UWM_START_LOGIN:
                heard.emplace_back("login");
                if (onStartLogin) {
                    onStartLogin();
                }
                return 0;
            case UWM_CANCEL_LOGIN: heard.emplace_back("cancellogin"); return 0;
            case WM_CLOSE: heard.emplace_back("close"); return 0;
            default: return CWnd::WindowProc(message, wParam, lParam);
        }
    }
};

// Runs the event loop until `done` or the time is up; false when it is up.
inline bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 3000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) {
            return false;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Answers the question shown within 100 ms with `button` and waits for that
// moment: "caption: text" of what was asked, empty when nothing was.
inline std::string AnswerWhile(int button, const std::function<void()>& asking) {
    auto asked = std::make_shared<std::string>("?");
    QTimer::singleShot(100, [asked, button] {
        asked->clear();
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* dialog = dynamic_cast<CMessageDlg*>(CWnd::FromWidget(widget));
            if (dialog && widget->isVisible()) {
                *asked = dialog->GetDlgItem(1010)->GetWindowText() + ": " +
                         dialog->GetDlgItem(1011)->GetWindowText();
                static_cast<CButton*>(dialog->GetDlgItem(button))->Click();
            }
        }
    });
    asking();
    PumpUntil([&] { return *asked != "?"; });
    return *asked;
}
