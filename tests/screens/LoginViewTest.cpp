#include <gtest/gtest.h>

#include <QLineEdit>
#include <cctype>

#include "FakeFrame.h"
#include "screens/LoginStatusView.h"
#include "screens/LoginView.h"
#include "ui/MessagePump.h"

namespace {

using Self = CLoginView;

constexpr LPARAM kRepeat = LPARAM(1) << 30;

struct LoginViewTest : ::testing::Test {
    FakeFrame frame;
    CLoginView view;

    void SetUp() override {
        ASSERT_TRUE(view.Create(&frame, 1));
        view.MoveWindow(0, 0, 800, 600);
        view.ShowWindow(SW_SHOW);
        view.ArrangeControls(TRUE);
        frame.SetForegroundWindow();
        ASSERT_TRUE(PumpUntil([] { return QApplication::activeWindow() != nullptr; }));
    }
    // As the frame hands the screen Enter, Backspace and Browser Back.
    void Key(WPARAM key, LPARAM data = 1) { view.SendMessage(WM_KEYDOWN, key, data); }
    void Fill(const std::string& user, const std::string& password) {
        view.UserNameBox().SetWindowText(user);
        view.PasswordBox().SetWindowText(password);
    }
    // Handles what the screen posted to itself and to the frame: a click
    // reaches the screen once the button's sweep has run.
    void Settle(size_t heard = 0) {
        PumpUntil([&] { return frame.heard.size() >= heard; });
        PumpUntil([] { return false; }, 250);
    }
};

// Enter triggers the button once however long it is held; Backspace closes
// the program from a button and deletes a character in a box.
TEST_F(LoginViewTest, KeysFollowTheirTable) {
    const struct {
        const char* name;
        CWnd* focus;
        const char* keys;      // E(nter), B(ackspace), W(eb back); lower case: held
        const char* heard;     // empty: nothing
        const char* userName;  // left in the box
    } rows[] = {
        {"enter in a box", &view.PasswordBox(), "EeE", "login", "ada"},
        {"enter on cancel", &view.CancelButton(), "EE", "close", "ada"},
        {"backspace on login", &view.LoginButton(), "B", "close", "ada"},
        {"browser back on cancel", &view.CancelButton(), "W", "close", "ada"},
        {"held backspace on a button", &view.LoginButton(), "b", "", "ada"},
        {"backspace in a box", &view.UserNameBox(), "Bb", "", "a"},
        {"browser back in a box", &view.UserNameBox(), "W", "", "ada"},
        {"held enter in a box", &view.UserNameBox(), "e", "", "ada"},
    };
    const WPARAM keys[] = {VK_RETURN, VK_BACK, VK_BROWSER_BACK};  // E, B, W
    CWnd* const inputs[] = {&view.UserNameBox(), &view.PasswordBox(), &view.CancelButton()};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Fill("ada", "pw");
        frame.heard.clear();
        row.focus->SetFocus();
        for (const char* key = row.keys; *key; ++key) {
            const char upper = static_cast<char>(std::toupper(*key));
            Key(keys[std::string("EBW").find(upper)], upper == *key ? 1 : kRepeat);
        }
        for (CWnd* input : inputs) {
            EXPECT_TRUE(std::string(row.heard) != "login" || !input->IsWindowEnabled())
                << "disabled until the posted click has run";
        }
        Settle(*row.heard ? 1 : 0);
        EXPECT_EQ(frame.heard, *row.heard ? Lines{row.heard} : Lines{});
        EXPECT_EQ(view.UserNameBox().GetWindowText(), row.userName);
        for (CWnd* input : inputs) {
            EXPECT_TRUE(input->IsWindowEnabled());
        }
    }
}

// Down and Up move through the controls that take the focus, going round,
// before the focused control sees the arrow.
TEST_F(LoginViewTest, ArrowsMoveTheFocusInTabOrder) {
    view.UserNameBox().SetFocus();
    const std::vector<CWnd*> order{&view.PasswordBox(), &view.LoginButton(), &view.CancelButton(),
                                   &view.UserNameBox()};
    for (CWnd* expected : order) {
        ASSERT_TRUE(hv::SendKeyInput(WM_KEYDOWN, VK_DOWN, 1));
        EXPECT_EQ(CWnd::GetFocus(), expected) << expected->GetDlgCtrlID();
    }
    hv::SendKeyInput(WM_KEYDOWN, VK_UP, 1);
    EXPECT_EQ(CWnd::GetFocus(), &view.CancelButton());
    view.UserNameBox().SetWindowText("ada");
    auto* edit = qobject_cast<QLineEdit*>(view.UserNameBox().GetWidget());
    view.UserNameBox().SetFocus();
    edit->setCursorPosition(1);
    hv::SendKeyInput(WM_KEYDOWN, VK_DOWN, 1);
    EXPECT_EQ(edit->cursorPosition(), 1) << "the box never saw the arrow";
}

// What the Login action sends: the name without trailing blanks, the
// password likewise, and never a blank password; the box is empty after.
TEST_F(LoginViewTest, LoginTakesTrimmedNamesAndEmptiesThePasswordBox) {
    const struct {
        const char* user;
        const char* password;
        const char* sent;  // "name|password" as the frame reads them; empty: no login
        const char* kept;  // the password kept after
        const char* boxAfter;
    } rows[] = {
        {"  ada  ", "s3cret pass  ", "  ada|s3cret pass", "s3cret pass", ""},
        {"ada", "   ", "", "", ""},
        {"   ", "pw", "", "", "pw"},
        {"", "", "", "", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.user + std::string("/") + row.password);
        Fill(row.user, row.password);
        std::string sent;
        frame.onStartLogin = [&] { sent = view.GetUserName() + "|" + view.GetPassword(); };
        view.SendMessage(WM_COMMAND, MAKEWPARAM(Self::kLoginId, BN_CLICKED), 0);
        EXPECT_EQ(sent, row.sent);
        EXPECT_EQ(view.GetPassword(), row.kept);
        EXPECT_EQ(view.PasswordBox().GetWindowText(), row.boxAfter);
    }
}

TEST_F(LoginViewTest, BoxStaysCentredAndFramedWhateverTheSize) {
    auto centre = [&](CWnd& wnd) { return wnd.GetWidget()->geometry().center(); };
    const QPoint offset = centre(view.UserNameBox()) - centre(view.Panel());
    for (const QSize size : {QSize(800, 600), QSize(1280, 1000), QSize(900, 640)}) {
        view.MoveWindow(0, 0, size.width(), size.height());
        Settle();
        const QPoint middle(size.width() / 2, size.height() / 2);
        EXPECT_LE((centre(view.Panel()) - middle).manhattanLength(), 2) << size.width();
        EXPECT_EQ(centre(view.UserNameBox()) - centre(view.Panel()), offset) << size.width();
    }
    auto* edit = qobject_cast<QLineEdit*>(view.PasswordBox().GetWidget());
    EXPECT_EQ(edit->echoMode(), QLineEdit::Password);
    EXPECT_EQ(edit->maxLength(), Self::kMaxText);
}

// The mouse over a box lights its frame; once it has left, the check on the
// 10 ms timer puts the normal strips back.
TEST_F(LoginViewTest, HoverLightsTheFrameUntilTheMouseLeaves) {
    view.LoginButton().SetFocus();
    CTeEdit& box = view.UserNameBox();
    const auto topRow = [&] {
        const QImage image = box.GetWidget()->grab().toImage();
        return image.pixel(image.width() / 2, 0);
    };
    const QRgb normal = topRow();
    QCursor::setPos(box.GetWidget()->mapToGlobal(QPoint(20, 10)));
    box.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(20, 10));
    EXPECT_TRUE(box.IsEmphasised());
    EXPECT_NE(topRow(), normal);
    QCursor::setPos(QPoint(1, 1));
    EXPECT_TRUE(PumpUntil([&] { return !box.IsHot(); }, 200));
    EXPECT_EQ(topRow(), normal);
    box.SetFocus();
    EXPECT_TRUE(box.IsEmphasised()) << "the focus lights it too";
}

// At start-up the check waits behind the wait dialog, then asks the service
// and offers the upgrade with the dialog closed.
TEST_F(LoginViewTest, StartupCheckRunsBehindTheWaitDialog) {
    view.SendMessage(UWM_CHECK_UPGRADE);
    EXPECT_EQ(frame.heard, Lines{"wait:1"});
    ASSERT_TRUE(PumpUntil([&] { return frame.heard.size() == 4; }));
    EXPECT_EQ(frame.heard, (Lines{"wait:1", "discover", "closewait", "upgrade"}));
}

TEST(LoginStatusViewTest, ConnectingAnimatesWhileShownAndEveryWayOutCancels) {
    FakeFrame frame;
    CLoginStatusView view;
    ASSERT_TRUE(view.Create(&frame, 1));
    EXPECT_EQ(view.GetDlgItem(CLoginStatusView::kStatusId)->GetWindowText(), "Connecting...");
    view.ShowWindow(SW_SHOW);
    EXPECT_TRUE(view.Animation().IsPlaying());
    EXPECT_TRUE(view.CancelButton().IsAnimating());
    frame.SetForegroundWindow();
    ASSERT_TRUE(PumpUntil([] { return QApplication::activeWindow() != nullptr; }));
    view.CancelButton().SetFocus();
    const struct {
        WPARAM key;
        LPARAM data;
        bool cancels;
    } rows[] = {{VK_RETURN, 1, true},       {VK_RETURN, kRepeat, false}, {VK_BACK, 1, true},
                {VK_BROWSER_BACK, 1, true}, {VK_BACK, kRepeat, false},   {VK_LEFT, 1, false}};
    for (const auto& row : rows) {
        frame.heard.clear();
        view.SendMessage(WM_KEYDOWN, row.key, row.data);
        PumpUntil([&] { return !frame.heard.empty(); }, 50);
        EXPECT_EQ(frame.heard.size(), row.cancels ? 1u : 0u) << row.key;
    }
    view.ShowWindow(SW_HIDE);
    EXPECT_FALSE(view.Animation().IsPlaying());
    EXPECT_FALSE(view.CancelButton().IsAnimating());
}

}  // namespace
