#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>

#include "FrameFixture.h"
#include "catalogue/GameInfo.h"
#include "screens/BrowserView.h"
#include "screens/DownloadView.h"
#include "screens/GameInfoView.h"
#include "screens/LoginStatusView.h"
#include "screens/LoginView.h"

namespace {

// Holds an engine call until the test lets it go.
struct Gate {
    std::mutex lock;
    std::condition_variable changed;
    bool open = false;
    void Open() {
        std::lock_guard guard(lock);
        open = true;
        changed.notify_all();
    }
    void Wait() {
        std::unique_lock guard(lock);
        changed.wait(guard, [&] { return open; });
    }
};

}  // namespace

TEST_F(FrameTest, SuccessfulLoginShowsTheAnnouncements) {
    frame->LoginView()->SetUserName("ada  ");
    frame->LoginView()->SetPassword("s3cret pass");
    fake::SetResult("hv_LoginA", HV_LOGIN_OK_ALT);
    Send(UWM_START_LOGIN);
    EXPECT_EQ(frame->ActiveView(), frame->LoginStatusView());
    ASSERT_TRUE(PumpUntil([&] { return frame->ActiveView() == frame->BrowserView(); }));
    EXPECT_EQ(frame->BrowserView()->GetAddress(), "/announcements.htm");
    EXPECT_TRUE(frame->ToolBar().IsLogoutEnabled());
    const auto login = fake::CallsTo("hv_LoginA");
    ASSERT_EQ(login.size(), 1u);
    EXPECT_EQ(login[0].args, (std::vector<std::optional<std::string>>{"ada", "s3cret pass", "1"}));
    EXPECT_NE(login[0].threadId, GetCurrentThreadId());
}

TEST_F(FrameTest, FailedLoginShowsItsTextAndReturnsToTheLoginScreen) {
    for (const auto& [code, text, number] :
         {std::tuple<int, std::string, long>{
              33, "Internal error while authenticating. Please contact Customer Service. (123)",
              123},
          {28, "Communication Lost. Please try again.", 0}}) {
        frame->messages.clear();
        fake::SetResult("hv_LoginA", code);
        Send(UWM_START_LOGIN);
        ASSERT_TRUE(PumpUntil([&] { return frame->ActiveView() == frame->LoginView(); }));
        ASSERT_EQ(frame->messages.size(), 1u);
        EXPECT_EQ(frame->messages[0].text, text);
        EXPECT_EQ(frame->messages[0].number, number);
        EXPECT_EQ(frame->messages[0].thread, GetCurrentThreadId());
        EXPECT_FALSE(frame->LoginStatusView()->IsAnimating());
        frame->WaitForWorkers(5000);
    }
}

TEST_F(FrameTest, LoginCodesWithoutMessage) {
    enum class After { LoggedIn, StaysStill };
    for (const auto& [code, after] : {std::pair{HV_LOGIN_OK, After::LoggedIn},
                                      {HV_LOGIN_CANCELLED, After::StaysStill},
                                      {HV_LOGIN_PENDING, After::StaysStill}}) {
        SCOPED_TRACE(code);
        frame->SwitchToScreen(frame->LoginView());
        fake::SetResult("hv_LoginA", code);
        Send(UWM_START_LOGIN);
        ASSERT_TRUE(frame->WaitForWorkers(5000));
        QApplication::processEvents();
        QApplication::processEvents();
        if (after == After::LoggedIn) {
            EXPECT_TRUE(PumpUntil([&] { return frame->ActiveView() == frame->BrowserView(); }));
        } else {
            // The cancel worker or the engine reports later; the status screen stays.
            EXPECT_EQ(frame->ActiveView(), frame->LoginStatusView());
        }
        if (code == HV_LOGIN_CANCELLED || code == HV_LOGIN_PENDING) {
            // Only a pending login stops the animation itself.
            EXPECT_EQ(frame->LoginStatusView()->IsAnimating(), code == HV_LOGIN_CANCELLED);
        }
        EXPECT_TRUE(frame->messages.empty());
    }
}

TEST_F(FrameTest, HangingLoginIsCancelled) {
    Gate gate;
    fake::SetHook("hv_LoginA", [&](const fake::Call&) {
        gate.Wait();
        return HV_LOGIN_CANCELLED;
    });
    fake::SetHook("hv_CancelLogin", [&](const fake::Call&) {
        gate.Open();
        return 0;
    });
    Send(UWM_START_LOGIN);
    Send(UWM_CANCEL_LOGIN);
    ASSERT_TRUE(PumpUntil([&] { return frame->ActiveView() == frame->LoginView(); }));
    EXPECT_EQ(fake::CallsTo("hv_CancelLogin").size(), 1u);
    EXPECT_TRUE(frame->messages.empty());
    EXPECT_TRUE(frame->IsWindowEnabled()) << "the wait dialog let the frame go";
}

TEST_F(FrameTest, LogoutEmptiesTheInstalledListsBeforeTheEngineLogsOut) {
    fake::SendText(UWM_PACKAGE_ON_DISK, 0, "game-a");
    fake::SendText(UWM_PACKAGE_ON_DISK, 1, "demo-a");
    size_t listedAtLogout = 99;
    fake::SetHook("hv_LogOut", [&](const fake::Call&) {
        listedAtLogout = frame->InstalledGames().size() + frame->InstalledDemos().size();
        return 0;
    });
    frame->answers = {IDYES};
    Send(UWM_LOGOUT, 1);
    EXPECT_EQ(listedAtLogout, 0u);
    EXPECT_FALSE(frame->ToolBar().IsLogoutEnabled());
    ASSERT_TRUE(PumpUntil([&] { return frame->ActiveView() == frame->LoginView(); }));
}

TEST_F(FrameTest, ForcedLogoutShowsItsReasonThenLogsOut) {
    fake::Post(UWM_FORCED_LOGOUT, 0, HV_LOGOUT_PASSWORD_CHANGED);
    fake::Post(UWM_FORCED_LOGOUT, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return fake::CallsTo("hv_LogOut").size() == 2; }));
    ASSERT_EQ(frame->messages.size(), 2u);
    EXPECT_EQ(frame->messages[0].text,
              "Your password has been changed. Please log back in with new password. (126)");
    EXPECT_EQ(frame->messages[0].number, 0);
    EXPECT_EQ(frame->messages[1].text, "You have been logged out!");
}

TEST_F(FrameTest, FailedDownloadsTellWhyAndReturnToTheDetail) {
    GameInfo game;
    game.m_strTitle = "Nebula Drift";
    game.m_strPackage = "NEBULA01";
    fake::SetBufferText("hv_DownloadA", "Region locked");
    const struct {
        int code;
        const char* message;  // null: none
    } rows[] = {
        {HV_DL_ALREADY_COMPLETE, "Package already exists on hard drive and is complete"},
        {HV_DL_ENGINE_TEXT, "Region locked"},
        {HV_DL_DECLINED, nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.code);
        frame->messages.clear();
        fake::SetResult("hv_DownloadA", row.code);
        Send(UWM_GAME_ACTION, ACTION_DOWNLOAD, reinterpret_cast<LPARAM>(&game));
        EXPECT_EQ(frame->ActiveView(), frame->DownloadView());
        // Busy: a second action does nothing.
        Send(UWM_GAME_ACTION, ACTION_DOWNLOAD, reinterpret_cast<LPARAM>(&game));
        ASSERT_TRUE(PumpUntil([&] { return frame->ActiveView() == frame->GameInfoView(); }));
        ASSERT_TRUE(frame->WaitForWorkers(5000));
        ASSERT_EQ(frame->messages.size(), row.message ? 1u : 0u);
        if (row.message) {
            EXPECT_EQ(frame->messages[0].text, row.message);
        }
        EXPECT_EQ(frame->GameInfoView()->m_bDownloadBusy, 0);
    }
    const auto download = fake::CallsTo("hv_DownloadA");
    ASSERT_EQ(download.size(), 3u);
    EXPECT_EQ(download[0].args[0], "NEBULA01");
    EXPECT_EQ(download[0].args[1], "Nebula Drift");
    // Failures leave the queue as it was.
    EXPECT_EQ(frame->DownloadQueue().size(), 3u);

    // Action 2 without a partner does nothing.
    Send(UWM_GAME_ACTION, ACTION_DOWNLOAD_PARTNER, reinterpret_cast<LPARAM>(&game));
    EXPECT_EQ(frame->DownloadQueue().size(), 3u);
}

TEST_F(FrameTest, LostConnectionDuringDownloadLogsOutWithoutItsOwnMessage) {
    GameInfo game;
    game.m_strTitle = "Nebula Drift";
    game.m_strPackage = "NEBULA01";
    fake::SetResult("hv_DownloadA", HV_DL_CONNECTION_LOST);
    Send(UWM_GAME_ACTION, ACTION_DOWNLOAD, reinterpret_cast<LPARAM>(&game));
    ASSERT_TRUE(PumpUntil([&] { return frame->ActiveView() == frame->LoginView(); }));
    ASSERT_EQ(frame->messages.size(), 1u);
    EXPECT_EQ(frame->messages[0].text,
              "Network Error: Connection lost. You must log back in to continue. (119)");
    EXPECT_EQ(frame->GameInfoView()->m_bDownloadBusy, 0);
    EXPECT_EQ(fake::CallsTo("hv_LogOut").size(), 1u);
}

TEST_F(FrameTest, CancelTakesTheQueuedDownloadOrNothing) {
    frame->SwitchToScreen(frame->DownloadView());
    Send(UWM_CANCEL_DOWNLOAD);
    ASSERT_TRUE(frame->WaitForWorkers(5000));
    QApplication::processEvents();
    EXPECT_EQ(fake::CallsTo("hv_CancelA").at(0).args[0], std::nullopt);
    EXPECT_EQ(frame->ActiveView(), frame->DownloadView());

    GameInfo game;
    game.m_strPackage = "NEBULA01";
    Send(UWM_GAME_ACTION, ACTION_DOWNLOAD, reinterpret_cast<LPARAM>(&game));
    ASSERT_TRUE(frame->WaitForWorkers(5000));
    ASSERT_TRUE(frame->IsDownloadActive());
    Send(UWM_CANCEL_DOWNLOAD);
    ASSERT_TRUE(PumpUntil([&] { return frame->ActiveView() == frame->GameInfoView(); }));
    ASSERT_TRUE(frame->WaitForWorkers(5000));
    EXPECT_EQ(fake::CallsTo("hv_CancelA").at(1).args[0], "NEBULA01");
    EXPECT_FALSE(frame->IsDownloadActive());
    EXPECT_TRUE(frame->DownloadQueue().empty());
    EXPECT_EQ(frame->GameInfoView()->m_bDownloadBusy, 0);
}

TEST_F(FrameTest, PurchaseAnsweredNoSignalsNothing) {
    HANDLE yes = CreateEventA(nullptr, TRUE, FALSE, HV_PURCHASE_EVENT);
    HANDLE no = CreateEventA(nullptr, TRUE, FALSE, HV_NO_PURCHASE_EVENT);
    frame->answers = {IDNO};
    EXPECT_EQ(fake::SendTexts(UWM_CONFIRM_PURCHASE, "19.99", "Nebula Drift"), 0);
    ASSERT_EQ(frame->questions.size(), 1u);
    EXPECT_EQ(frame->questions[0].text,
              "Your account will be charged $19.99 for the purchase of Nebula Drift.\r\n\r\nDo you "
              "wish to continue?");
    EXPECT_TRUE(frame->IsWindowEnabled());
    EXPECT_EQ(WaitForSingleObject(yes, 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(no, 0), WAIT_TIMEOUT);
    CloseHandle(yes);
    CloseHandle(no);
}

TEST_F(FrameTest, StoragePathGetsSeparatorNameAndDemoSuffix) {
    const std::string folder = std::filesystem::temp_directory_path().string();
    frame->paths = {"/no/such/folder", folder, folder + "/"};
    EXPECT_EQ(fake::SendText(UWM_ASK_STORAGE, 0, "Nebula Drift"), 1);
    EXPECT_EQ(frame->messages.size(), 1u) << "the unusable path is refused first";
    EXPECT_EQ(fake::SendText(UWM_ASK_STORAGE, 1, "Nebula Drift"), 1);
    const auto paths = fake::CallsTo("hv_SetGamePath");
    ASSERT_EQ(paths.size(), 2u);
    EXPECT_EQ(paths[0].args[0], folder + "/Nebula Drift");
    EXPECT_EQ(paths[1].args[0], folder + "/Nebula Drift Demo");
    EXPECT_EQ(fake::SendText(UWM_ASK_STORAGE, 0, "Nebula Drift"), 0) << "declined";
}

TEST_F(FrameTest, DestructionCancelsTheDownloadAndShutsDownLast) {
    GameInfo game;
    game.m_strTitle = "Nebula Drift";
    game.m_strPackage = "NEBULA01";
    Send(UWM_GAME_ACTION, ACTION_DOWNLOAD, reinterpret_cast<LPARAM>(&game));
    ASSERT_TRUE(frame->WaitForWorkers(5000));
    ASSERT_TRUE(frame->IsDownloadActive());

    // A login that only returns once the engine shuts down. The gate is
    // shared: the abandoned login worker may use it after this test ends.
    auto gate = std::make_shared<Gate>();
    fake::SetHook("hv_LoginA", [gate](const fake::Call&) {
        gate->Wait();
        return HV_LOGIN_CANCELLED;
    });
    fake::SetHook("hv_Shutdown", [gate](const fake::Call&) {
        gate->Open();
        return 0;
    });
    Send(UWM_START_LOGIN);
    ASSERT_TRUE(fake::WaitForCalls("hv_LoginA", 1, std::chrono::seconds(5)));

    frame->DestroyWindow();
    const auto names = fake::CallNames();
    ASSERT_GE(names.size(), 2u);
    EXPECT_EQ(names[names.size() - 2], "hv_CancelA");
    EXPECT_EQ(names.back(), "hv_Shutdown");
    EXPECT_EQ(fake::CallsTo("hv_CancelA").back().args[0], "NEBULA01");
    frame.reset();
}
