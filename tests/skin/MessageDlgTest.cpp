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

#include "halvory/engine.h"
#include "skin/MessageDlg.h"
#include "skin/PleaseWaitDlg.h"
#include "ui/MessageBox.h"

namespace {

void SaveShot(QWidget* widget, const std::string& name) {
    QDir().mkpath(HALVORY_ARTIFACTS_DIR);
    widget->grab().save(QString(HALVORY_ARTIFACTS_DIR) + "/" + QString::fromStdString(name) +
                        ".png");
}

// Runs the dialog modally; once it is up, saves its picture (if named) and acts on it.
INT_PTR RunModal(CMessageDlg& dialog, const char* shot, const std::function<void()>& act) {
    QTimer::singleShot(150, [&dialog, shot, act] {
        if (shot) {
            SaveShot(dialog.GetWidget(), shot);
        }
        act();
    });
    return dialog.DoModal();
}

void PressEnter(CMessageDlg& dialog) {
    QWidget* focus = QApplication::focusWidget();
    QTest::keyClick(focus ? focus : dialog.GetWidget(), Qt::Key_Return);
}

CButton* Button(CMessageDlg& dialog, int id) {
    return static_cast<CButton*>(dialog.GetDlgItem(id));
}

}  // namespace

TEST(MessageDlg, SingleButtonAnswersOkAfterItsSweep) {
    CMessageDlg dialog;
    dialog.SetTitle("Halvory");
    dialog.SetMessage("Network Error: Connection lost. You must log back in to continue. (119)");
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(RunModal(dialog, "message-single", [&] { PressEnter(dialog); }), IDOK);
    EXPECT_GE(timer.elapsed(), 500) << "the click waits for the sweep";
}

TEST(MessageDlg, TwoButtonsKeepTheTemplateSizeUnlessYesNoIsForced) {
    CMessageDlg plain;
    plain.m_bTwoButtons = 1;
    plain.m_bFirstDefault = 1;
    plain.SetTitle("Halvory");
    plain.SetMessage("Are you sure you want to logout?");
    QSize plainSize;
    EXPECT_EQ(RunModal(plain, "message-two-buttons",
                       [&] {
                           plainSize = plain.GetWidget()->size();
                           EXPECT_EQ(CWnd::GetFocus(), plain.GetDlgItem(IDYES));
                           EXPECT_EQ(plain.GetDlgItem(IDYES)->GetWindowText(), "Yes");
                           EXPECT_EQ(plain.GetDlgItem(IDNO)->GetWindowText(), "No");
                           PressEnter(plain);
                       }),
              IDYES);
    EXPECT_NE(plainSize, QSize(480, 320));

    CMessageDlg forced;
    forced.m_bTwoButtons = 1;
    forced.m_bYesNo = 1;
    forced.SetTitle("Halvory");
    forced.SetMessage(
        "Your account will be charged $19.99 for the purchase of Nebula Drift.\r\n\r\nDo you wish "
        "to continue?");
    EXPECT_EQ(RunModal(forced, "message-resized-yes-no",
                       [&] {
                           EXPECT_EQ(forced.GetWidget()->size(), QSize(480, 320));
                           EXPECT_EQ(forced.GetDlgItem(IDYES)->GetWidget()->geometry(),
                                     QRect(10, 260, 220, 50));
                           EXPECT_EQ(CWnd::GetFocus(), forced.GetDlgItem(IDNO))
                               << "second button by default";
                           PressEnter(forced);
                       }),
              IDNO);
}

TEST(MessageDlg, HelpLinkOpensTheErrorPageWithItsCodeAndEscapeCancels) {
    CMessageDlg dialog;
    dialog.m_bHelpLink = 1;
    dialog.m_lErrorCode = -7;
    EXPECT_EQ(dialog.HelpAddress(), std::string(CMessageDlg::kBuiltInErrorInfoUrl) + "?Err=-7");
    dialog.m_lErrorCode = 0;
    EXPECT_EQ(dialog.HelpAddress(), CMessageDlg::kBuiltInErrorInfoUrl);
    dialog.m_strErrorInfoUrl = "http://help.test/err";
    dialog.m_lErrorCode = 5;
    EXPECT_EQ(dialog.HelpAddress(), "http://help.test/err?Err=5");

    dialog.m_strErrorInfoUrl.clear();
    dialog.m_lErrorCode = 123;
    dialog.SetTitle("Halvory");
    dialog.SetMessage(
        "Internal error while authenticating. Please contact Customer Service. (123)");
    EXPECT_EQ(RunModal(dialog, "message-help-link",
                       [&] {
                           EXPECT_FALSE(dialog.LinkHitRect().isEmpty());
                           QTest::keyClick(dialog.GetWidget(), Qt::Key_Escape);
                       }),
              IDCANCEL);
}

TEST(MessageDlg, FolderFormCancelOnlyByClickAndBrowseKeepsTextOnCancel) {
    CMessageDlg dialog;
    dialog.m_bTwoButtons = 1;
    dialog.m_bFolder = 1;
    dialog.SetTitle("Halvory");
    dialog.SetMessage("Where would you like to store Nebula Drift?");
    EXPECT_EQ(RunModal(dialog, "message-folder",
                       [&] {
                           EXPECT_EQ(dialog.GetDlgItem(IDYES)->GetWindowText(), "Ok");
                           EXPECT_EQ(dialog.GetDlgItem(IDNO)->GetWindowText(), "Cancel");
                           EXPECT_EQ(dialog.GetDlgItem(1120)->GetWindowText(),
                                     QDir::currentPath().toStdString());
                           // Enter on Cancel does nothing in the folder form...
                           ASSERT_EQ(CWnd::GetFocus(), dialog.GetDlgItem(IDNO));
                           PressEnter(dialog);
                           // ...the chooser, cancelled, leaves the path as it was...
                           dialog.GetDlgItem(1120)->SetWindowText("/tmp");
                           QTimer::singleShot(200, [] {
                               if (auto* chooser = qobject_cast<QFileDialog*>(
                                       QApplication::activeModalWidget())) {
                                   chooser->reject();
                               }
                           });
                           dialog.SendMessage(WM_COMMAND, 1119, 0);
                           EXPECT_EQ(dialog.GetDlgItem(1120)->GetWindowText(), "/tmp");
                           // ...and a click on Cancel answers No.
                           Button(dialog, IDNO)->Click();
                       }),
              IDNO);

    CMessageDlg chosen;
    chosen.m_bTwoButtons = 1;
    chosen.m_bFolder = 1;
    chosen.m_bFirstDefault = 1;
    EXPECT_EQ(RunModal(chosen, nullptr,
                       [&] {
                           chosen.GetDlgItem(1120)->SetWindowText("/srv/games");
                           PressEnter(chosen);
                       }),
              IDYES);
    EXPECT_EQ(chosen.m_strFolderPath, "/srv/games");
}

TEST(MessageDlg, PurchaseFormSetsExactlyOneEvent) {
    for (const bool yes : {true, false}) {
        HANDLE purchase = CreateEventA(nullptr, TRUE, FALSE, HV_PURCHASE_EVENT);
        HANDLE decline = CreateEventA(nullptr, TRUE, FALSE, HV_NO_PURCHASE_EVENT);
        ResetEvent(purchase);
        ResetEvent(decline);
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
        if (yes) {
            SaveShot(dialog.GetWidget(), "message-purchase");
        }
        Button(dialog, yes ? IDYES : IDNO)->Click();
        QElapsedTimer timer;
        timer.start();
        while (dialog.GetSafeHwnd() && timer.elapsed() < 5000) {
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        EXPECT_EQ(dialog.GetSafeHwnd(), nullptr) << "answered and gone";
        EXPECT_EQ(WaitForSingleObject(purchase, 0), yes ? WAIT_OBJECT_0 : WAIT_TIMEOUT);
        EXPECT_EQ(WaitForSingleObject(decline, 0), yes ? WAIT_TIMEOUT : WAIT_OBJECT_0);
        CloseHandle(purchase);
        CloseHandle(decline);
    }
}

// Titles and messages come from the network: markup in them is shown as written.
TEST(MessageDlg, MarkupIsShownAsWritten) {
    const std::string markup = "<b>x</b><img src=\"/etc/hostname\">";
    CMessageDlg dialog;
    dialog.SetTitle(markup);
    dialog.SetMessage(markup);
    ASSERT_TRUE(dialog.Create(CMessageDlg::kTemplateId, nullptr));
    for (const int id : {1010, 1011}) {
        const auto* label = qobject_cast<QLabel*>(dialog.GetDlgItem(id)->GetWidget());
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->textFormat(), Qt::PlainText) << id;
    }
    QTimer::singleShot(150, [] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->textFormat(), Qt::PlainText);
        box->accept();
    });
    MessageBoxA(nullptr, markup.c_str(), "Error", MB_OK);
}

TEST(PleaseWaitDlg, TextsCycleEveryHalfSecondAndStopPromptly) {
    EXPECT_EQ(CPleaseWaitDlg::CycleText(1, 0), "Checking For Updates...");
    EXPECT_EQ(CPleaseWaitDlg::CycleText(1, 1), "Checking For Updates.  ");
    EXPECT_EQ(CPleaseWaitDlg::CycleText(1, 2), "Checking For Updates.. ");
    EXPECT_EQ(CPleaseWaitDlg::CycleText(2, 0), "Please Wait.  ");
    EXPECT_EQ(CPleaseWaitDlg::CycleText(0, 4), "Please Wait.. ");
    EXPECT_EQ(CPleaseWaitDlg::CycleText(0, 2).size(), 14u);

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
            if (seen.empty() || seen.back() != dialog.CurrentText()) {
                if (!dialog.CurrentText().empty()) {
                    seen.push_back(dialog.CurrentText());
                }
            }
        }
        SaveShot(dialog.GetWidget(), mode == 1 ? "wait-checking" : "wait-please");
        ASSERT_GE(seen.size(), 3u);
        for (size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(seen[i], CPleaseWaitDlg::CycleText(mode, static_cast<unsigned>(i)));
        }
        timer.restart();
        dialog.Show(FALSE);
        EXPECT_LT(timer.elapsed(), 600);
        EXPECT_FALSE(dialog.IsAnimating());
        EXPECT_FALSE(dialog.IsWindowVisible());
    }
}
