#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "halvory/engine.h"
#include "skin/MessageDlg.h"
#include "skin/PleaseWaitDlg.h"
#include "ui/MessageBox.h"
#include "winapi/UniqueHandle.h"

namespace {

void SaveShot(QWidget* widget, const char* name) {
    QDir().mkpath(HALVORY_ARTIFACTS_DIR);
    widget->grab().save(QString(HALVORY_ARTIFACTS_DIR "/") + name + ".png");
}

void PressEnter(CMessageDlg& dialog) {
    QWidget* focus = QApplication::focusWidget();
    QTest::keyClick(focus ? focus : dialog.GetWidget(), Qt::Key_Return);
}

std::string Text(CMessageDlg& dialog, int id) {
    return dialog.GetDlgItem(id)->GetWindowText();
}

constexpr int kFolder = 1120;
constexpr char kStoreWhere[] = "Where would you like to store Nebula Drift?";

}  // namespace

// Each form runs modally; once it is up, its picture is saved and the row acts on it.
TEST(MessageDlg, EachFormAnswersAsItsButtonsSay) {
    const struct {
        const char* shot;
        int twoButtons, firstDefault, yesNo, folder, helpLink;
        const char* message;
        std::function<void(CMessageDlg&)> act;
        INT_PTR answer;
        const char* folderPath;
    } rows[] = {
        {"message-single", 0, 0, 0, 0, 0,
         "Network Error: Connection lost. You must log back in to continue. (119)", PressEnter,
         IDOK, ""},
        {"message-two-buttons", 1, 1, 0, 0, 0, "Are you sure you want to logout?",
         [](CMessageDlg& dialog) {
             EXPECT_NE(dialog.GetWidget()->size(), QSize(480, 320)) << "the template's own size";
             EXPECT_EQ(Text(dialog, IDYES) + Text(dialog, IDNO), "YesNo");
             EXPECT_EQ(CWnd::GetFocus(), dialog.GetDlgItem(IDYES));
             PressEnter(dialog);
         },
         IDYES, ""},
        {"message-resized-yes-no", 1, 0, 1, 0, 0,
         "Your account will be charged $19.99 for the purchase of Nebula Drift.\r\n\r\nDo you "
         "wish to continue?",
         [](CMessageDlg& dialog) {
             EXPECT_EQ(dialog.GetWidget()->size(), QSize(480, 320));
             EXPECT_EQ(dialog.GetDlgItem(IDYES)->GetWidget()->geometry(), QRect(10, 260, 220, 50));
             EXPECT_EQ(CWnd::GetFocus(), dialog.GetDlgItem(IDNO)) << "second button by default";
             PressEnter(dialog);
         },
         IDNO, ""},
        {"message-help-link", 0, 0, 0, 0, 1,
         "Internal error while authenticating. Please contact Customer Service. (123)",
         [](CMessageDlg& dialog) {
             EXPECT_FALSE(dialog.LinkHitRect().isEmpty());
             QTest::keyClick(dialog.GetWidget(), Qt::Key_Escape);
         },
         IDCANCEL, ""},
        {"message-folder", 1, 0, 0, 1, 0, kStoreWhere,
         [](CMessageDlg& dialog) {
             EXPECT_EQ(Text(dialog, IDYES) + Text(dialog, IDNO), "OkCancel");
             EXPECT_EQ(Text(dialog, kFolder), QDir::currentPath().toStdString());
             // Enter on Cancel does nothing in the folder form...
             ASSERT_EQ(CWnd::GetFocus(), dialog.GetDlgItem(IDNO));
             PressEnter(dialog);
             // ...the chooser, cancelled, leaves the path as it was...
             dialog.GetDlgItem(kFolder)->SetWindowText("/tmp");
             QTimer::singleShot(200, [] {
                 if (auto* chooser =
                         qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                     chooser->reject();
                 }
             });
             dialog.SendMessage(WM_COMMAND, kFolder - 1, 0);  // the chooser
             EXPECT_EQ(Text(dialog, kFolder), "/tmp");
             // ...and a click on Cancel answers No.
             static_cast<CButton*>(dialog.GetDlgItem(IDNO))->Click();
         },
         IDNO, "/tmp"},
        {"message-folder-chosen", 1, 1, 0, 1, 0, kStoreWhere,
         [](CMessageDlg& dialog) {
             dialog.GetDlgItem(kFolder)->SetWindowText("/srv/games");
             PressEnter(dialog);
         },
         IDYES, "/srv/games"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.shot);
        CMessageDlg dialog;
        dialog.m_bTwoButtons = row.twoButtons;
        dialog.m_bFirstDefault = row.firstDefault;
        dialog.m_bYesNo = row.yesNo;
        dialog.m_bFolder = row.folder;
        dialog.m_bHelpLink = row.helpLink;
        dialog.SetTitle("Halvory");
        dialog.SetMessage(row.message);
        QTimer::singleShot(150, [&dialog, &row] {
            SaveShot(dialog.GetWidget(), row.shot);
            // Titles and messages come from the network: markup is shown as written.
            for (const int id : {1010, 1011}) {
                const auto* label = qobject_cast<QLabel*>(dialog.GetDlgItem(id)->GetWidget());
                EXPECT_EQ(label ? label->textFormat() : Qt::RichText, Qt::PlainText) << id;
            }
            row.act(dialog);
        });
        QElapsedTimer timer;
        timer.start();
        EXPECT_EQ(dialog.DoModal(), row.answer);
        EXPECT_EQ(dialog.m_strFolderPath, row.folderPath);
        if (row.answer == IDOK) {
            EXPECT_GE(timer.elapsed(), 500) << "the answer waits for the button's sweep";
        }
    }
}

TEST(MessageDlg, HelpAddressCarriesTheErrorCode) {
    CMessageDlg dialog;
    dialog.m_lErrorCode = -7;
    EXPECT_EQ(dialog.HelpAddress(), std::string(CMessageDlg::kBuiltInErrorInfoUrl) + "?Err=-7");
    dialog.m_lErrorCode = 0;
    EXPECT_EQ(dialog.HelpAddress(), CMessageDlg::kBuiltInErrorInfoUrl);
    dialog.m_strErrorInfoUrl = "http://help.test/err";
    dialog.m_lErrorCode = 5;
    EXPECT_EQ(dialog.HelpAddress(), "http://help.test/err?Err=5");
}

TEST(MessageDlg, PurchaseFormSetsExactlyOneEvent) {
    for (const int button : {IDYES, IDNO}) {
        const hv::UniqueHandle yes(CreateEventA(nullptr, TRUE, FALSE, HV_PURCHASE_EVENT));
        const hv::UniqueHandle no(CreateEventA(nullptr, TRUE, FALSE, HV_NO_PURCHASE_EVENT));
        CMessageDlg dialog;
        dialog.m_bTwoButtons = 1;
        dialog.m_bFirstDefault = 1;
        dialog.m_bPurchase = 1;
        dialog.SetTitle("Halvory");
        dialog.SetMessage(
            "Your credit card will be charged $19.99 for this purchase.\r\nAre you sure you wish "
            "to purchase Nebula Drift?");
        ASSERT_TRUE(dialog.Create(CMessageDlg::kTemplateId, nullptr));
        dialog.ShowWindow(SW_SHOW);
        SaveShot(dialog.GetWidget(), "message-purchase");
        static_cast<CButton*>(dialog.GetDlgItem(button))->Click();
        EXPECT_TRUE(QTest::qWaitFor([&dialog] { return !dialog.GetSafeHwnd(); }, 5000))
            << "answered and gone";
        EXPECT_EQ(WaitForSingleObject(yes.Get(), 0) == WAIT_OBJECT_0, button == IDYES);
        EXPECT_EQ(WaitForSingleObject(no.Get(), 0) == WAIT_OBJECT_0, button == IDNO);
    }
}

// Message texts come from the network too.
TEST(MessageBox, ShowsMarkupAsWritten) {
    QTimer::singleShot(150, [] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->textFormat(), Qt::PlainText);
        box->accept();
    });
    MessageBoxA(nullptr, "<b>x</b><img src=\"/etc/hostname\">", "Error", MB_OK);
}

TEST(PleaseWaitDlg, TextsCycleEveryHalfSecondAndStopPromptly) {
    EXPECT_EQ(CPleaseWaitDlg::CycleText(0, 4), "Please Wait.. ") << "round and round";
    const std::vector<std::string> cycles[] = {
        {"Please Wait.  ", "Please Wait.. ", "Please Wait..."},
        {"Checking For Updates...", "Checking For Updates.  ", "Checking For Updates.. "}};
    for (const int mode : {1, 0}) {
        CPleaseWaitDlg dialog;
        dialog.SetMode(mode);
        ASSERT_TRUE(dialog.Create(nullptr));
        dialog.Show(TRUE);
        std::vector<std::string> seen;
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 1300) {
            QApplication::processEvents(QEventLoop::AllEvents, 10);
            if (!dialog.CurrentText().empty() &&
                (seen.empty() || seen.back() != dialog.CurrentText())) {
                seen.push_back(dialog.CurrentText());
            }
        }
        SaveShot(dialog.GetWidget(), mode == 1 ? "wait-checking" : "wait-please");
        seen.resize(3);
        EXPECT_EQ(seen, cycles[mode]);
        timer.restart();
        dialog.Show(FALSE);
        EXPECT_LT(timer.elapsed(), 600);
        EXPECT_FALSE(dialog.IsWindowVisible());
    }
}
