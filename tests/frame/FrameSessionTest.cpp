#include <QWidget>
#include <filesystem>
#include <future>
#include <memory>

#include "FrameFixture.h"
#include "catalogue/GameInfo.h"
#include "screens/BrowserView.h"
#include "screens/DownloadView.h"
#include "screens/GameInfoView.h"
#include "screens/GamesView.h"
#include "screens/HomeScreenView.h"
#include "screens/LoginStatusView.h"
#include "screens/LoginView.h"
#include "skin/MessageDlg.h"
#include "winapi/UniqueHandle.h"

namespace {

// Holds an engine call until the test lets it go; shared, as an abandoned
// worker may wait on it after the test.
struct Gate {
    std::shared_ptr<std::promise<void>> opener = std::make_shared<std::promise<void>>();
    std::shared_future<void> opened = opener->get_future().share();
};

}  // namespace

TEST_F(FrameTest, LoginCodesDecideTheScreenAndAHangingLoginIsCancelled) {
    frame->LoginView()->SetUserName("ada  ");
    frame->LoginView()->SetPassword("s3cret pass");
    frame->LoginView()->CapturePassword();
    CBaseView* const login = frame->LoginView();
    CBaseView* const status = frame->LoginStatusView();
    CBaseView* const browser = frame->BrowserView();
    const struct {
        int code;
        CBaseView* screen;
        const char* message;  // null: none
        long number;
        bool animating;  // on a screen that stays: a worker or the engine reports later
    } rows[] = {
        {HV_LOGIN_OK, browser, nullptr, 0, false},
        {HV_LOGIN_OK_ALT, browser, nullptr, 0, false},
        {33, login, "Internal error while authenticating. Please contact Customer Service. (123)",
         123, false},
        {HV_LOGIN_COMMUNICATION_LOST, login, "Communication Lost. Please try again.", 0, false},
        {HV_LOGIN_CANCELLED, status, nullptr, 0, true},
        {HV_LOGIN_PENDING, status, nullptr, 0, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.code);
        frame->messages.clear();
        frame->SwitchToScreen(login);
        fake::SetResult("hv_LoginA", row.code);
        Send(UWM_START_LOGIN);
        EXPECT_EQ(frame->ActiveView(), status);
        ASSERT_TRUE(frame->WaitForWorkers(5000));
        QApplication::processEvents();
        QApplication::processEvents();
        EXPECT_EQ(frame->ActiveView(), row.screen);
        if (row.screen != browser) {
            EXPECT_EQ(frame->LoginStatusView()->IsAnimating(), row.animating);
        }
        ASSERT_EQ(Texts(frame->messages), row.message ? Lines{row.message} : Lines{});
        if (row.message) {
            EXPECT_EQ(frame->messages[0].number, row.number);
            EXPECT_EQ(frame->messages[0].thread, GetCurrentThreadId());
        }
        if (row.screen == browser) {
            EXPECT_EQ(frame->BrowserAddress(), "/announcements.htm");
            EXPECT_TRUE(frame->ToolBar().IsLogoutEnabled());
        }
    }
    const auto calls = fake::CallsTo("hv_LoginA");
    EXPECT_EQ(calls.at(0).args,
              (std::vector<std::optional<std::string>>{"ada", "s3cret pass", "1"}));
    EXPECT_NE(calls.at(0).threadId, GetCurrentThreadId());

    // A login that hangs until it is cancelled.
    Gate gate;
    fake::SetHook("hv_LoginA", [gate](const fake::Call&) {
        gate.opened.wait();
        return HV_LOGIN_CANCELLED;
    });
    fake::SetHook("hv_CancelLogin", [gate](const fake::Call&) {
        gate.opener->set_value();
        return 0;
    });
    Send(UWM_START_LOGIN);
    Send(UWM_CANCEL_LOGIN);
    ASSERT_TRUE(PumpUntil([&] { return frame->ActiveView() == frame->LoginView(); }));
    EXPECT_EQ(fake::CallsTo("hv_CancelLogin").size(), 1u);
    EXPECT_TRUE(frame->messages.empty());
    EXPECT_TRUE(frame->IsWindowEnabled()) << "the wait dialog let the frame go";
}

// A forced logout shows its reason first; any logout empties the installed
// lists before the engine logs out.
TEST_F(FrameTest, LogoutsEmptyTheInstalledListsBeforeTheEngineLogsOut) {
    SendText(UWM_PACKAGE_ON_DISK, 0, "game-a");
    SendText(UWM_PACKAGE_ON_DISK, 1, "demo-a");
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

    PostMessageA(hwnd, UWM_FORCED_LOGOUT, 0, HV_LOGOUT_PASSWORD_CHANGED);
    PostMessageA(hwnd, UWM_FORCED_LOGOUT, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return fake::CallsTo("hv_LogOut").size() == 3; }));
    const std::string changed =
        "Your password has been changed. Please log back in with new password. (126)";
    EXPECT_EQ(Texts(frame->messages), (Lines{changed, "You have been logged out!"}));
    EXPECT_EQ(frame->messages.at(0).number, 0);
}

TEST_F(FrameTest, FailedDownloadsTellWhy) {
    fake::SetBufferText("hv_DownloadA", "Region locked");
    CBaseView* const detail = frame->GameInfoView();
    const struct {
        int code;
        const char* message;  // null: none
        CBaseView* screen;
        size_t queued;  // failures leave the queue as it was; a logout empties it
    } rows[] = {
        {HV_DL_ALREADY_COMPLETE, "Package already exists on hard drive and is complete", detail, 1},
        {HV_DL_ENGINE_TEXT, "Region locked", detail, 2},
        {HV_DL_DECLINED, nullptr, detail, 3},
        {HV_DL_CONNECTION_LOST,
         "Network Error: Connection lost. You must log back in to continue. (119)",
         frame->LoginView(), 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.code);
        frame->messages.clear();
        fake::SetResult("hv_DownloadA", row.code);
        Act(ACTION_DOWNLOAD, &nebula);
        EXPECT_EQ(frame->ActiveView(), frame->DownloadView());
        Act(ACTION_DOWNLOAD, &nebula);  // busy: does nothing
        ASSERT_TRUE(PumpUntil([&] { return frame->ActiveView() == row.screen; }));
        ASSERT_TRUE(frame->WaitForWorkers(5000));
        EXPECT_EQ(Texts(frame->messages), row.message ? Lines{row.message} : Lines{});
        EXPECT_EQ(frame->GameInfoView()->m_bDownloadBusy, 0);
        EXPECT_EQ(frame->DownloadQueue().size(), row.queued);
    }
    const auto download = fake::CallsTo("hv_DownloadA");
    ASSERT_EQ(download.size(), 4u);
    EXPECT_EQ(download[0].args[0], "NEBULA01");
    EXPECT_EQ(download[0].args[1], "Nebula Drift");
    EXPECT_EQ(fake::CallsTo("hv_LogOut").size(), 1u);
    EXPECT_EQ(fake::CallsTo("hv_CancelA").at(0).args[0], std::nullopt) << "none was under way";

    // Action 2 without a partner does nothing.
    Act(ACTION_DOWNLOAD_PARTNER, &nebula);
    EXPECT_TRUE(frame->DownloadQueue().empty());
}

TEST_F(FrameTest, CancelTakesTheQueuedDownloadOrNothing) {
    frame->SwitchToScreen(frame->DownloadView());
    Send(UWM_CANCEL_DOWNLOAD);
    ASSERT_TRUE(frame->WaitForWorkers(5000));
    QApplication::processEvents();
    EXPECT_EQ(fake::CallsTo("hv_CancelA").at(0).args[0], std::nullopt);
    EXPECT_EQ(frame->ActiveView(), frame->DownloadView());

    Act(ACTION_DOWNLOAD, &nebula);
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

TEST_F(FrameTest, DeleteActionsRemoveTheGameOrItsPartnerOnceConfirmed) {
    GameInfo demo;
    demo.m_strPackage = "NEBULA01D";
    nebula.m_pPartner = &demo;
    frame->answers = {IDYES, IDNO, IDYES};
    // One at a time: each delete worker takes a second.
    for (GameAction action : {ACTION_DELETE, ACTION_DELETE_PARTNER, ACTION_DELETE_PARTNER}) {
        Act(action, &nebula);
        ASSERT_TRUE(frame->WaitForWorkers(5000));
    }
    const auto deleted = fake::CallsTo("hv_DeletePkgA");
    ASSERT_EQ(deleted.size(), 2u) << "the answer No deletes nothing";
    EXPECT_EQ(deleted[0].args[0], "NEBULA01");
    EXPECT_EQ(deleted[1].args[0], "NEBULA01D");
}

TEST_F(FrameTest, StoragePathGetsSeparatorNameAndDemoSuffix) {
    const std::string folder = std::filesystem::temp_directory_path().string();
    frame->paths = {"/no/such/folder", folder, folder + "/"};
    EXPECT_EQ(SendText(UWM_ASK_STORAGE, 0, "Nebula Drift"), 1);
    EXPECT_EQ(frame->messages.size(), 1u) << "the unusable path is refused first";
    EXPECT_EQ(SendText(UWM_ASK_STORAGE, 1, "Nebula Drift"), 1);
    EXPECT_EQ(SendText(UWM_ASK_STORAGE, 0, "Nebula Drift"), 0) << "declined";
    // A title names one folder under the chosen one, never a path.
    frame->paths = {folder, folder, folder};
    for (const char* title : {"../../.config/evil", "..", ""}) {
        EXPECT_EQ(SendText(UWM_ASK_STORAGE, 0, title), 1);
    }
    Lines set;
    for (const fake::Call& call : fake::CallsTo("hv_SetGamePath")) {
        set.push_back(call.args.at(0).value_or("-"));
    }
    EXPECT_EQ(set,
              (Lines{folder + "/Nebula Drift", folder + "/Nebula Drift Demo",
                     folder + "/..%2F..%2F.config%2Fevil", folder + "/%2E%2E", folder + "/%"}));
}

TEST_F(FrameTest, DestructionCancelsTheDownloadAndShutsDownLast) {
    Act(ACTION_DOWNLOAD, &nebula);
    ASSERT_TRUE(frame->WaitForWorkers(5000));
    ASSERT_TRUE(frame->IsDownloadActive());

    // A login that only returns once the engine shuts down.
    Gate gate;
    fake::SetHook("hv_LoginA", [gate](const fake::Call&) {
        gate.opened.wait();
        return HV_LOGIN_CANCELLED;
    });
    fake::SetHook("hv_Shutdown", [gate](const fake::Call&) {
        gate.opener->set_value();
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

namespace {

CMessageDlg* ShownPurchaseDialog() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* dialog = dynamic_cast<CMessageDlg*>(CWnd::FromWidget(widget));
        if (dialog && dialog->m_bPurchase && widget->isVisible()) {
            return dialog;
        }
    }
    return nullptr;
}

}  // namespace

// The engine waits for one of the two events: No to the first question
// signals nothing; every way out of the second but Yes sets the refusal; the
// frame stays usable.
TEST_F(FrameTest, PurchaseConfirmationLeftAnyWayButYesRefuses) {
    const struct {
        const char* way;
        std::function<void(CMessageDlg&)> leave;  // null: No to the first question
    } rows[] = {
        {"No to the first question", {}},
        {"Escape",
         [](CMessageDlg& dialog) {
             MSG key{dialog.GetSafeHwnd(), WM_KEYDOWN, VK_ESCAPE, 0, 0, {}};
             dialog.PreTranslateMessage(&key);
         }},
        {"close", [](CMessageDlg& dialog) { dialog.SendMessage(WM_CLOSE); }},
        {"forced logout",
         [this](CMessageDlg&) { Send(UWM_FORCED_LOGOUT, 0, HV_LOGOUT_SUSPENDED); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.way);
        hv::UniqueHandle yes(CreateEventA(nullptr, TRUE, FALSE, HV_PURCHASE_EVENT));
        hv::UniqueHandle no(CreateEventA(nullptr, TRUE, FALSE, HV_NO_PURCHASE_EVENT));
        ResetEvent(yes.Get());
        ResetEvent(no.Get());
        frame->answers = {row.leave ? IDYES : IDNO};
        ASSERT_EQ(ConfirmPurchase(), row.leave ? 1 : 0);
        if (row.leave) {
            CMessageDlg* dialog = ShownPurchaseDialog();
            ASSERT_NE(dialog, nullptr);
            EXPECT_FALSE(frame->IsWindowEnabled());
            EXPECT_TRUE(dialog->IsWindowEnabled()) << "an owned dialog works while its owner waits";
            row.leave(*dialog);
        }
        EXPECT_EQ(WaitForSingleObject(no.Get(), 0), row.leave ? WAIT_OBJECT_0 : WAIT_TIMEOUT);
        EXPECT_EQ(WaitForSingleObject(yes.Get(), 0), WAIT_TIMEOUT);
        EXPECT_EQ(ShownPurchaseDialog(), nullptr) << "nothing left to answer Yes later";
        EXPECT_TRUE(frame->IsWindowEnabled());
    }
    EXPECT_EQ(frame->questions.at(0).text,
              "Your account will be charged $19.99 for the purchase of Nebula Drift.\r\n\r\nDo you "
              "wish to continue?");
}

// A logout while a download is being started: whatever the engine answers
// afterwards, the user stays on the login screen and nothing of the old
// session is touched.
TEST_F(FrameTest, LateResultsOfAnEndedSessionAreDropped) {
    // Only the worker's call logs out: the logout cancels through the engine too.
    const auto logoutInside = [this, ui = GetCurrentThreadId()](int code) {
        return
            [this, ui, code, once = std::make_shared<std::atomic<bool>>()](const fake::Call& call) {
                if (call.threadId == ui || once->exchange(true)) {
                    return code;
                }
                PostMessageA(hwnd, UWM_FORCED_LOGOUT, 0, HV_LOGOUT_SUSPENDED);
                fake::WaitForCalls("hv_LogOut", 1, std::chrono::seconds(5));
                return code;
            };
    };
    const struct {
        const char* what;
        const char* hooked;
        int code;
        bool cancel;  // cancel once the download runs, the logout inside the cancel
    } rows[] = {
        {"failure with a message", "hv_DownloadA", HV_DL_ENGINE_TEXT, false},
        {"refusal", "hv_DownloadA", HV_DL_DECLINED, false},
        {"success", "hv_DownloadA", HV_DL_OK, false},
        {"cancel", "hv_CancelA", 0, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        fake::Reset();
        frame->messages.clear();
        auto game = std::make_unique<GameInfo>();
        game->m_strPackage = "NEBULA01";
        fake::SetHook(row.hooked, logoutInside(row.code));
        Act(ACTION_DOWNLOAD, game.get());
        if (row.cancel) {
            ASSERT_TRUE(frame->WaitForWorkers(5000));
            Send(UWM_CANCEL_DOWNLOAD);
        }
        ASSERT_TRUE(PumpUntil([&] { return !fake::CallsTo("hv_LogOut").empty(); }));
        ASSERT_TRUE(frame->WaitForWorkers(5000));
        game.reset();  // the catalogue's records go with the session
        PumpUntil([] { return false; }, 300);
        EXPECT_EQ(frame->ActiveView(), frame->LoginView());
        EXPECT_EQ(frame->messages.size(), 1u) << "only the reason for the logout";
        EXPECT_FALSE(frame->IsDownloadActive());
        EXPECT_TRUE(frame->DownloadQueue().empty());
        EXPECT_EQ(frame->DownloadView()->GetGame(), nullptr);
        EXPECT_FALSE(frame->GameInfoView()->IsBusy());
        EXPECT_TRUE(frame->IsWindowEnabled());
    }
}

// A question still open when the session ends is answered No, whatever the
// user clicks afterwards.
TEST_F(FrameTest, QuestionsOutlivingTheirSessionCountAsNo) {
    frame->whileAsked = [this](const MessageRequest& request) {
        if (request.flags & MSG_TWO_BUTTONS) {
            frame->LogoutSequence();
        }
    };
    frame->paths = {std::filesystem::temp_directory_path().string()};
    frame->answers = {IDYES, IDYES, IDYES};
    EXPECT_EQ(SendText(UWM_ASK_STORAGE, 0, "Nebula Drift"), 0);
    EXPECT_EQ(ConfirmPurchase(), 0);
    EXPECT_EQ(ShownPurchaseDialog(), nullptr);
    EXPECT_EQ(SendText(UWM_ASK_PLAY_NOW, 0, "Nebula Drift"), 0);
    Act(ACTION_DELETE, &nebula);
    ASSERT_TRUE(frame->WaitForWorkers(5000));
    EXPECT_TRUE(fake::CallsTo("hv_SetGamePath").empty());
    EXPECT_TRUE(fake::CallsTo("hv_DeletePkgA").empty());
    EXPECT_TRUE(frame->IsWindowEnabled());
}

// Why a started download or a launch failed reaches the user, and a game
// that never started gives the frame back.
TEST_F(FrameTest, EngineFailuresAreShownAndAFailedLaunchEndsThePlay) {
    frame->GameInfoView()->m_bPlayBusy = 1;
    auto sent =
        fake::SendTextFromThread(UWM_ENGINE_FAILED, 0, "Nebula Drift could not be started.");
    ASSERT_TRUE(PumpUntil(
        [&] { return sent.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    PostMessageA(hwnd, UWM_GAME_CLOSED, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return !frame->GameInfoView()->IsBusy(); }));
    EXPECT_EQ(Texts(frame->messages), Lines{"Nebula Drift could not be started."});
}

// Continue goes back to the purchase question, to the screen the page was
// opened from, or home when that was home or the login.
TEST_F(FrameTest, ContinueLeadsBackToWhereThePageWasOpened) {
    CBrowserView* page = frame->BrowserView();
    // Continue on a page opened from `from`: what the browser shows then.
    const auto continued = [&](CBaseView* from) {
        frame->SwitchToScreen(from);
        frame->ShowWebPage("/page.htm", 1, 0, 0);
        page->ContinueAction();
        PumpUntil([&] { return frame->ActiveView() != page; });
        return frame->BrowserAddress();
    };
    EXPECT_EQ(continued(frame->LoginStatusView()), "/whatsnew.htm") << "after login";
    EXPECT_EQ(frame->ActiveView(), frame->HomeView());
    EXPECT_EQ(continued(frame->HomeView()), "/whatsnew.htm");
    EXPECT_EQ(frame->ActiveView(), frame->HomeView());
    EXPECT_EQ(continued(frame->GamesView()), "/page.htm");
    EXPECT_EQ(frame->ActiveView(), frame->GamesView());

    frame->answers = {IDYES};
    ASSERT_EQ(ConfirmPurchase(), 1);
    CMessageDlg* dialog = ShownPurchaseDialog();
    ASSERT_NE(dialog, nullptr);
    // The terms link: the question steps aside for the page.
    dialog->ShowWindow(SW_HIDE);
    frame->EnableWindow(TRUE);
    dialog->m_fnShowTerms();
    EXPECT_EQ(frame->ActiveView(), page);
    EXPECT_EQ(frame->BrowserAddress(), "/terms.htm");
    page->ContinueAction();
    EXPECT_EQ(frame->ActiveView(), frame->DownloadView());
    EXPECT_EQ(ShownPurchaseDialog(), dialog);
    EXPECT_EQ(page->m_bReturnToPurchase, 0) << "used once";
    // Shown again without the flag, the page leads to the screen it came from.
    frame->ShowWebPage("/terms.htm", 1, 0, 0);
    page->ContinueAction();
    EXPECT_TRUE(PumpUntil([&] { return frame->ActiveView() == frame->DownloadView(); }));
    dialog->AnswerPurchase(false);
}
