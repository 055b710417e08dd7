#include <QMessageBox>
#include <QTimer>

#include "FrameFixture.h"
#include "catalogue/GameInfo.h"
#include "screens/BrowserView.h"
#include "screens/DownloadView.h"
#include "screens/GameInfoView.h"
#include "screens/GamesView.h"
#include "screens/HomeScreenView.h"
#include "screens/LoginStatusView.h"
#include "screens/LoginView.h"

namespace {

// Records the messages it receives, in one order shared by all recorders.
class Recorder : public CWnd {
  public:
    explicit Recorder(Lines* log, std::string name) : m_log(log), m_name(std::move(name)) {
        CreateEx(0, "", WS_POPUP, RECT{0, 0, 1, 1}, nullptr, 0);
    }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == UWM_ENGINE_PROGRESS || message == UWM_ENGINE_STATE) {
            m_log->push_back(m_name + ":" + std::to_string(message - WM_USER) + ":" +
                             std::to_string(wParam));
            return 0;
        }
        return CWnd::WindowProc(message, wParam, lParam);
    }

  private:
    Lines* m_log;
    std::string m_name;
};

}  // namespace

TEST(FrameCreation, IncompleteEngineFailsWithItsMessage) {
    CConfigHelper config;
    fake::Reset();
    // Answers the platform message box the frame shows when it cannot start.
    std::string shown;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = box->windowTitle().toStdString() + ": " + box->text().toStdString();
            box->done(QMessageBox::Ok);
        }
    });
    timer.start(10);
    CMainFrame frame(FrameContext{&config, nullptr, INCOMPLETE_ENGINE_PATH, {}, {}, {}});
    EXPECT_FALSE(frame.CreateFrame(WS_POPUP, RECT{0, 0, 800, 600}));
    EXPECT_EQ(frame.GetSafeHwnd(), nullptr);
    EXPECT_EQ(shown, "Error: Could not import API from libfakeengine_incomplete.so.");
    EXPECT_TRUE(fake::Calls().empty());
}

TEST_F(FrameTest, CreationLeavesEveryScreenHiddenAndSwitchingShowsOne) {
    const auto calls = fake::Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.front().name, "hv_Init");
    EXPECT_EQ(fake::FrameWindow(), hwnd);
    EXPECT_EQ(frame->ActiveView(), nullptr);
    for (CWnd* screen : std::initializer_list<CWnd*>{
             frame->LoginView(), frame->LoginStatusView(), frame->HomeView(), frame->BrowserView(),
             frame->GamesView(), frame->GameInfoView(), frame->DownloadView()}) {
        ASSERT_NE(screen, nullptr);
        EXPECT_FALSE(screen->IsWindowVisible());
        EXPECT_EQ(screen->GetDlgCtrlID(), AFX_IDW_PANE_FIRST + 1);
    }

    // Switching shows one screen; a second switch to it changes nothing.
    frame->ShowWindow(SW_SHOW);
    frame->SwitchToScreen(frame->LoginView());
    EXPECT_TRUE(frame->LoginView()->IsWindowVisible());
    EXPECT_EQ(frame->LoginView()->GetDlgCtrlID(), AFX_IDW_PANE_FIRST);
    frame->SwitchToScreen(frame->LoginView());
    EXPECT_TRUE(frame->LoginView()->IsWindowVisible()) << "a second switch hides nothing";

    frame->SwitchToScreen(frame->HomeView());
    EXPECT_EQ(frame->ActiveView(), frame->HomeView());
    EXPECT_FALSE(frame->LoginView()->IsWindowVisible());
    EXPECT_EQ(frame->LoginView()->GetDlgCtrlID(), AFX_IDW_PANE_FIRST + 1);
}

TEST_F(FrameTest, ProgressWithoutRecordIsRefusedAndReachesNoListener) {
    Lines log;
    Recorder first(&log, "first");
    Recorder second(&log, "second");
    Send(UWM_GAME_ACTION, ACTION_ADD_LISTENER,
         reinterpret_cast<LPARAM>(static_cast<CWnd*>(&first)));
    Send(UWM_GAME_ACTION, ACTION_ADD_LISTENER,
         reinterpret_cast<LPARAM>(static_cast<CWnd*>(&second)));

    EXPECT_EQ(Send(UWM_ENGINE_PROGRESS, 0, 0), -1);
    EXPECT_TRUE(log.empty());

    const TransferProgress progress{40, 12, 7, 400, 1000, HV_STATE_DOWNLOADING};
    EXPECT_EQ(Send(UWM_ENGINE_PROGRESS, 0, reinterpret_cast<LPARAM>(&progress)), 0);
    EXPECT_EQ(frame->DownloadView()->Progress().GetPos(), 40);
    Send(UWM_ENGINE_STATE, 33, 5);
    EXPECT_EQ(frame->DownloadView()->CountdownSeconds(), 33);
    EXPECT_EQ(log, (Lines{"first:1:0", "second:1:0", "first:12:33", "second:12:33"}));

    // A listener whose window is gone is skipped.
    first.DestroyWindow();
    log.clear();
    Send(UWM_ENGINE_PROGRESS, 0, reinterpret_cast<LPARAM>(&progress));
    EXPECT_EQ(log, Lines{"second:1:0"});
}

TEST_F(FrameTest, WorkerSendBlocksUntilTheUserInterfaceThreadAnswers) {
    frame->answers = {IDYES};
    auto answer = fake::SendTextFromThread(UWM_ASK_PLAY_NOW, 0, "Nebula Drift");
    ASSERT_TRUE(PumpUntil(
        [&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_EQ(answer.get(), 1);
    ASSERT_EQ(frame->questions.size(), 1u);
    EXPECT_EQ(frame->questions[0].text, "Would you like to play Nebula Drift now?");
    EXPECT_EQ(frame->questions[0].thread, GetCurrentThreadId());
    EXPECT_TRUE(frame->DownloadView()->IsReadyToPlay());
}

TEST_F(FrameTest, TitleStateLooksInDemosFirstWithoutRegardToCase) {
    SendText(UWM_PACKAGE_ON_DISK, 0, "ÉTOILE-7");
    EXPECT_EQ(frame->GetTitleState("étoile-7"), 2);
    SendText(UWM_PACKAGE_ON_DISK, 1, "Étoile-7");
    EXPECT_EQ(frame->GetTitleState("ÉTOILE-7"), 3);
    EXPECT_EQ(frame->GetTitleState("etoile-7"), 1);

    // The detail screen's entries follow a removal only when told to refresh.
    GameInfo game;
    game.m_strPackage = "étoile-7";
    game.m_strPrice = "19.99";
    frame->GameInfoView()->SetGame(&game);
    const auto entries = [&] {
        std::string texts;
        const CMCListBox& list = frame->GameInfoView()->ActionList();
        for (int i = 0; i < list.GetCount(); ++i) {
            texts += list.GetItem(i)->text + "=" + std::to_string(list.GetItem(i)->value) + ";";
        }
        return texts;
    };
    EXPECT_EQ(entries(), "Play Game=3;Delete Game=5;");
    // Removal takes the demo first, then the game.
    SendText(UWM_PACKAGE_GONE, 1, "étoile-7");
    EXPECT_EQ(frame->GetTitleState("étoile-7"), 2);
    EXPECT_EQ(entries(), "Play Game=1;Delete Game=5;");
    SendText(UWM_PACKAGE_GONE, 0, "étoile-7");
    EXPECT_EQ(frame->GetTitleState("étoile-7"), 1);
    EXPECT_EQ(entries(), "Play Game=1;Delete Game=5;");
    frame->GameInfoView()->SetGame(nullptr);
}

TEST_F(FrameTest, RemoteCommandsAndKeysGoToTheActiveScreen) {
    const auto command = [&](int cmd) {
        return Send(ShellHookMessage(), HSHELL_APPCOMMAND, static_cast<LPARAM>(cmd) << 16);
    };
    EXPECT_EQ(command(APPCOMMAND_VOLUME_MUTE), 0) << "no active screen";
    frame->SwitchToScreen(frame->LoginView());
    EXPECT_EQ(command(APPCOMMAND_VOLUME_MUTE), 1);
    EXPECT_EQ(command(APPCOMMAND_MEDIA_CHANNEL_DOWN), 1);
    EXPECT_EQ(command(APPCOMMAND_MEDIA_PLAY_PAUSE), 0);
    EXPECT_EQ(Send(ShellHookMessage(), 4, APPCOMMAND_VOLUME_MUTE << 16), 0) << "other shell codes";
    frame->SwitchToScreen(frame->HomeView());
    EXPECT_EQ(command(APPCOMMAND_VOLUME_MUTE), 0);
    // The games screen claims its page commands only; back reaches it as a key.
    frame->SwitchToScreen(frame->GamesView());
    EXPECT_EQ(command(APPCOMMAND_MEDIA_CHANNEL_DOWN), 1);
    EXPECT_EQ(command(APPCOMMAND_BROWSER_BACKWARD), 0);
    EXPECT_EQ(frame->ActiveView(), frame->GamesView());

    // By default back goes back and media keys are swallowed; home claims none.
    CBaseView plain(0);
    for (int command = -1; command <= 60; ++command) {
        SCOPED_TRACE(command);
        frame->SwitchToScreen(frame->GamesView());
        const bool handled =
            command == 1 || (command >= 8 && command <= 13) || (command >= 46 && command <= 52);
        EXPECT_EQ(plain.OnAppCommand(command), handled ? 1 : 0);
        // Back from the games screen leads home.
        EXPECT_EQ(frame->ActiveView() == frame->HomeView(), command == 1);
        EXPECT_EQ(frame->HomeView()->OnAppCommand(command), 0);
    }

    // Enter and Back go to the active screen before their window sees them.
    frame->SwitchToScreen(frame->LoginView());
    const HWND login = frame->LoginView()->GetSafeHwnd();
    MSG sent[] = {{login, WM_KEYDOWN, VK_BACK, 1, 0, {}},
                  {frame->ToolBar().GetSafeHwnd(), WM_KEYDOWN, VK_BROWSER_BACK, 1, 0, {}},
                  {login, WM_KEYDOWN, 'A', 1, 0, {}},
                  {login, WM_RBUTTONDOWN, 0, 0, 0, {}}};
    for (MSG& msg : sent) {
        EXPECT_EQ(bool(frame->PreTranslateMessage(&msg)),
                  msg.message == WM_KEYDOWN && msg.wParam != 'A');
    }
}

// Enter confirms the current entry through the sweep and the frame runs its
// action; after Browse Games the menu is inert until the back action.
TEST_F(FrameTest, HomeMenuIsInertAfterBrowseGamesUntilShownAgain) {
    frame->ShowWindow(SW_SHOW);
    frame->SetForegroundWindow();
    // The window manager activates it in its own time; focus needs it.
    ASSERT_TRUE(PumpUntil([] { return QApplication::activeWindow() != nullptr; }));
    frame->ShowHomeScreen();
    CHomeScreenView* home = frame->HomeView();
    CMCListBox& menu = home->Menu();
    ASSERT_EQ(frame->ActiveView(), home);
    EXPECT_EQ(menu.GetWidget()->geometry(), QRect(15, 112, 225, 314));
    EXPECT_EQ(home->PageArea().GetWidget()->geometry(), QRect(255, 112, 530, 473));
    const auto enter = [&] {
        menu.SetFocus();
        home->SendMessage(WM_KEYDOWN, VK_RETURN, 1);
        return menu.IsConfirming();
    };
    menu.SendMessage(WM_KEYDOWN, VK_DOWN, 1);
    ASSERT_TRUE(enter());
    ASSERT_TRUE(PumpUntil([&] { return frame->ActiveView() == frame->GamesView(); }));

    frame->SwitchToScreen(home);
    EXPECT_FALSE(enter());
    Send(UWM_GAME_ACTION, ACTION_SUPPORT, 0);
    EXPECT_EQ(frame->ActiveView(), home) << "the frame ignores the menu too";

    frame->SwitchToScreen(frame->GamesView());
    frame->GoBack();
    EXPECT_EQ(frame->ActiveView(), home);
    EXPECT_TRUE(enter());
}

TEST_F(FrameTest, CornerSizingKeepsTheAspectAndOtherEdgesAreFree) {
    MINMAXINFO info{};
    Send(WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.ptMinTrackSize.x, 800);
    EXPECT_EQ(info.ptMinTrackSize.y, 600);

    RECT corner{10, 20, 910, 650};
    Send(WM_SIZING, WMSZ_BOTTOMRIGHT, reinterpret_cast<LPARAM>(&corner));
    EXPECT_EQ(corner.right, 910);
    EXPECT_EQ(corner.bottom, 720);

    RECT edge{10, 20, 1000, 650};
    Send(WM_SIZING, WMSZ_RIGHT, reinterpret_cast<LPARAM>(&edge));
    EXPECT_EQ(edge.right, 1000);
    EXPECT_EQ(edge.bottom, 650);
}

TEST_F(FrameTest, MessageTableRows) {
    Send(UWM_SHOW_MESSAGE, 119, reinterpret_cast<LPARAM>("Lost"));
    EXPECT_EQ(Texts(frame->messages), Lines{"Lost"});
    EXPECT_EQ(frame->messages.at(0).number, 119);

    Send(UWM_NOT_MEDIA_CENTER);
    EXPECT_EQ(mediaCenter, 0);

    Send(UWM_ACTIVATE_RUNNING);
    EXPECT_EQ(fake::CallsTo("hv_SetGameForeground").size(), 1u);

    frame->GameInfoView()->m_bPlayBusy = 1;
    Send(UWM_SHOW_GAME, 0, reinterpret_cast<LPARAM>(&nebula));
    EXPECT_EQ(frame->ActiveView(), frame->GameInfoView());
    EXPECT_EQ(frame->GameInfoView()->GetGame(), &nebula);
    Send(UWM_SWITCH_SCREEN,
         reinterpret_cast<WPARAM>(static_cast<CBaseView*>(frame->GameInfoView())),
         reinterpret_cast<LPARAM>(static_cast<CBaseView*>(frame->GamesView())));
    EXPECT_EQ(frame->GameInfoView()->m_bPlayBusy, 0);
    EXPECT_EQ(frame->ActiveView(), frame->GamesView());
    Send(UWM_SWITCH_SCREEN, 0, 0);
    EXPECT_EQ(frame->ActiveView(), frame->GamesView());

    fake::SetBufferText("hv_GetSMSLoginURL", "http://service.test/profile");
    Send(UWM_GAME_ACTION, ACTION_EDIT_PROFILE, 0);
    EXPECT_EQ(frame->BrowserAddress(), "http://service.test/profile");
    frame->SwitchToScreen(frame->GamesView());
    Send(UWM_GAME_ACTION, ACTION_SUPPORT, 0);
    EXPECT_EQ(frame->ActiveView(), frame->BrowserView());
    EXPECT_EQ(frame->BrowserAddress(), "/troubleshootingtips.htm");
    EXPECT_EQ(frame->BrowserView()->GetPreviousScreen(), frame->GamesView());
}

TEST_F(FrameTest, BackOnEachScreen) {
    frame->SwitchToScreen(frame->GamesView());
    frame->GoBack();
    EXPECT_EQ(frame->ActiveView(), frame->HomeView());
    EXPECT_EQ(frame->BrowserAddress(), "/whatsnew.htm");

    frame->GoBack();
    EXPECT_EQ(frame->ActiveView(), frame->BrowserView());
    EXPECT_EQ(frame->BrowserAddress(), "/announcements.htm");
    EXPECT_EQ(frame->BrowserView()->m_bLogoutOnBack, 1);

    // The announcements page logs out on back: the question comes, answered No.
    frame->GoBack();
    ASSERT_EQ(frame->questions.size(), 1u);
    EXPECT_EQ(frame->questions[0].text, "Are you sure you want to logout?");
    EXPECT_EQ(frame->ActiveView(), frame->BrowserView());

    // No transfer: the download screen leaves for the detail screen.
    frame->SwitchToScreen(frame->DownloadView());
    frame->GoBack();
    ASSERT_TRUE(PumpUntil([&] { return frame->ActiveView() == frame->GameInfoView(); }));
}

TEST_F(FrameTest, CloseAsksNothingAndShutsTheEngineDownLast) {
    Send(UWM_LOGOUT, 0);
    ASSERT_TRUE(PumpUntil([&] { return frame->GetSafeHwnd() == nullptr; }));
    EXPECT_TRUE(frame->questions.empty());
    EXPECT_EQ(fake::CallNames().back(), "hv_Shutdown");
    EXPECT_FALSE(IsWindow(hwnd));
}

// The frame runs the application's check with its engine's unpack operation,
// tells the user when the installer did not start and closes when it did.
TEST_F(FrameTest, UpgradeOutcomes) {
    discovered = -1;
    EXPECT_EQ(frame->DiscoverServers(), -1);

    for (const int outcome : {1, -1}) {
        SCOPED_TRACE(outcome);
        frame->messages.clear();
        int unpacked = 0;
        upgrade = [&](const UpgradeUnpack& unpack) {
            unpacked = unpack("/tmp/x/Install.sfe", "/tmp/x");
            return outcome;
        };
        EXPECT_EQ(Send(UWM_CHECK_UPGRADE), 0);
        EXPECT_EQ(unpacked, 1);
        EXPECT_EQ(fake::CallsTo("hv_UnzipInstallPkg").back().args,
                  (std::vector<std::optional<std::string>>{"/tmp/x/Install.sfe", "/tmp/x"}));
        EXPECT_EQ(frame->CheckForUpgrade(), outcome);
        QApplication::processEvents();
        EXPECT_TRUE(IsWindow(hwnd));
        EXPECT_EQ(Texts(frame->messages),
                  outcome < 0 ? Lines(2, "Error in installing the upgrade.") : Lines{});
    }

    frame->messages.clear();
    upgrade = [](const UpgradeUnpack&) { return 0; };
    EXPECT_EQ(frame->CheckForUpgrade(), 0);
    EXPECT_TRUE(frame->messages.empty());
    ASSERT_TRUE(PumpUntil([&] { return frame->GetSafeHwnd() == nullptr; }));
    EXPECT_FALSE(IsWindow(hwnd));
}
