#include <gtest/gtest.h>

#include <QFontMetricsF>

#include "FakeFrame.h"
#include "image/CxImage.h"
#include "screens/DownloadView.h"

namespace {

using Self = CDownloadView;

std::string Blanks(int count) {
    return std::string(static_cast<size_t>(count), ' ');
}

// The dots right after `word` in the status line.
int DotsAfter(const std::string& text, const std::string& word) {
    const size_t at = text.find(word);
    if (at == std::string::npos) {
        return -1;
    }
    size_t end = at + word.size();
    while (end < text.size() && text[end] == '.') {
        ++end;
    }
    return static_cast<int>(end - at - word.size());
}

struct DownloadViewTest : ::testing::Test {
    FakeFrame frame;
    CDownloadView view;
    GameInfo game;

    void SetUp() override {
        game.m_strTitle = "Nebula Drift Demo";
        game.m_strRating = "T - Teen";
        ASSERT_TRUE(view.Create(&frame, 1));
        view.MoveWindow(0, 0, 800, 600);
        view.ShowWindow(SW_SHOW);
        view.SetGame(&game);
    }
    void TearDown() override { view.SetGame(nullptr); }
    LRESULT Progress(int percent, int seconds, int done, int total, int state) {
        const TransferProgress record{percent, seconds, 0, done, total, state};
        return view.SendMessage(UWM_ENGINE_PROGRESS, 0, reinterpret_cast<LPARAM>(&record));
    }
    std::string Status() const { return view.StatusText(); }
    // The question Back asks, if any, and the flag it leaves.
    std::string AnswerWith(int button) {
        int flag = 5;
        const std::string asked = AnswerWhile(button, [&] { view.ConfirmCancel(flag); });
        return asked + "|" + std::to_string(flag);
    }
};

}  // namespace

TEST(DownloadTexts, TimeTextAndPictureFit) {
    EXPECT_EQ(hv::download::TimeText(0), "00:00:00");
    EXPECT_EQ(hv::download::TimeText(86399), "23:59:59");
    EXPECT_EQ(hv::download::TimeText(360000), "100:00:00");

    // Smaller with equal gaps fits the width; larger with equal excess the
    // height; a narrow picture is drawn wider than the rectangle.
    const QRect art(10, 20, 600, 300);
    EXPECT_EQ(hv::download::FitArt(400, 100, art), QRect(10, 95, 600, 150));
    EXPECT_EQ(hv::download::FitArt(700, 400, art), QRect(47, 20, 525, 300));
    EXPECT_EQ(hv::download::FitArt(290, 100, art), QRect(-125, 20, 870, 300));
}

// The dots count 1, 2, 3 and over; "Start playing in:" stays in its column,
// in characters and in pixels of the line's own font, whatever the dot count
// and however the time reads.
TEST_F(DownloadViewTest, TimeToPlayKeepsItsColumn) {
    const QFontMetricsF metrics(view.GetDlgItem(Self::kStatusId)->GetWidget()->font());
    double column = -1;
    double width = -1;
    int dots = 0;
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        Progress(37, i == 1 ? 9 : 3725, 100, 1000, HV_STATE_DOWNLOADING);
        const std::string text = Status();
        const int last = dots;
        dots = DotsAfter(text, "Downloading");
        ASSERT_GE(dots, 1) << text;
        EXPECT_TRUE(i == 0 || dots == last % 3 + 1);
        EXPECT_EQ(text, Blanks(3) + "Downloading" + std::string(dots, '.') + Blanks(41 - dots) +
                            "Start playing in:" + (i == 1 ? "00:00:09" : "01:02:05"));
        const QString shown = QString::fromStdString(text);
        const double at = metrics.horizontalAdvance(shown.left(shown.indexOf("Start")));
        const double full = metrics.horizontalAdvance(shown);
        if (column >= 0) {
            EXPECT_DOUBLE_EQ(at, column);
            EXPECT_DOUBLE_EQ(full, width) << "the centred line keeps its width";
        }
        column = at;
        width = full;
    }
    EXPECT_GT(column, 0);
    EXPECT_EQ(view.Progress().GetPos(), 37);
}

TEST_F(DownloadViewTest, CountdownFromThree) {
    const std::string before = Status();
    view.SendMessage(UWM_ENGINE_STATE, 3, 0);
    EXPECT_EQ(view.Progress().GetPos(), 100);
    EXPECT_EQ(Status(), before);
    for (const char* time : {"00:00:03", "00:00:02", "00:00:01"}) {
        ASSERT_TRUE(PumpUntil([&] { return Status().ends_with(time); }, 1600)) << time;
        EXPECT_EQ(Status().find("Start playing in:"), 3 + 10 + 48u) << time;
    }
    EXPECT_FALSE(view.CountdownRunning());
    EXPECT_EQ(view.CountdownSeconds(), 0);
    PumpUntil([] { return false; }, 1200);
    EXPECT_TRUE(Status().ends_with("00:00:01")) << "the line keeps the last time";
}

// Each record in turn: the line keeps its text when a record makes no sense;
// a restored connection starts the retrying dots over.
TEST_F(DownloadViewTest, StatusLineFollowsTheRecords) {
    EXPECT_EQ(view.Progress().m_strCaption, "0%");
    EXPECT_EQ(view.GetDlgItem(Self::kTitleId)->GetWindowText(), "Nebula Drift Demo");
    EXPECT_EQ(view.SendMessage(UWM_ENGINE_PROGRESS, 0, 0), -1);
    const std::string connecting = Blanks(33) + "Connecting...";
    const std::string phase = Blanks(3) + "Installing" + Blanks(39) + "Preparing Game [Phase ";
    const std::string retrying = Blanks(30) + "Retrying Connection.";
    const std::string restored = Blanks(29) + "Connection Restored.";
    const struct {
        int done, total, state;
        std::string shown;
    } rows[] = {
        {0, 0, -1, connecting},                         // as set
        {100, 1000, HV_STATE_DOWNLOADING, connecting},  // no time, not yet offered
        {50, 200, HV_STATE_INSTALLING_1, phase + "1] 25%"},
        {50, 0, HV_STATE_INSTALLING_1, phase + "1] 25%"},
        {201, 200, HV_STATE_INSTALLING_2, phase + "1] 25%"},
        {200, 200, HV_STATE_INSTALLING_2, phase + "2] 100%"},
        {1, 3, HV_STATE_INSTALLING_2, phase + "2] 33%"},
        {0, 0, HV_STATE_RESTORED, restored},
        {0, 0, HV_STATE_RETRYING, retrying},
        {0, 0, HV_STATE_RETRYING, retrying + "."},
        {0, 0, HV_STATE_RETRYING, retrying + ".."},
        {0, 0, HV_STATE_RETRYING, retrying},
        {0, 0, HV_STATE_RESTORED, restored},
        {0, 0, HV_STATE_RETRYING, retrying},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.state << ": " << row.done << " of " << row.total);
        if (row.state >= 0) {
            EXPECT_EQ(Progress(99, 0, row.done, row.total, row.state), 0);
        }
        EXPECT_EQ(Status(), row.shown);
    }
    EXPECT_EQ(view.Progress().GetPos(), 0) << "the phases leave the bar";
}

// Extracting and installing-to-play advance one counter between them.
TEST_F(DownloadViewTest, ExtractingAndInstallingShareTheirDots) {
    int last = -1;
    for (int i = 0; i < 4; ++i) {
        const bool extracting = i % 2 == 0;
        if (extracting) {
            Progress(0, 0, 0, 0, HV_STATE_EXTRACTING);
        } else {
            view.SendMessage(UWM_ENGINE_STATE, 1, 0);
            view.SendMessage(WM_TIMER, Self::kCountdownTimer, 0);
        }
        const std::string text = Status();
        const int dots = DotsAfter(text, extracting ? "Extracting Files" : "Installing");
        ASSERT_GE(dots, 1) << text;
        if (extracting) {
            EXPECT_EQ(text, Blanks(3) + "Installing" + Blanks(48) + "Extracting Files" +
                                std::string(dots, '.'));
        } else {
            EXPECT_EQ(text, Blanks(3) + "Installing" + std::string(dots, '.') + Blanks(48 - dots) +
                                "Start playing in:00:00:01");
        }
        EXPECT_TRUE(last < 0 || dots == last % 3 + 1) << "step " << i;
        last = dots;
    }
}

TEST_F(DownloadViewTest, OfferedGameStreamsAndCancelLeavesItsLine) {
    const struct {
        bool ready, ended;
        const char* streaming;  // the line while the transfer goes on
        const char* afterCancel;
        int barAfterCancel;
    } rows[] = {
        {false, false, nullptr, "", 0},
        {true, false, "Streaming", "", 1},
        {true, true, "Downloading", "Downloading", 1},
        {false, true, "Downloading", "Downloading", 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "ready " << row.ready << ", ended " << row.ended);
        view.SetGame(&game);
        frame.heard.clear();
        if (row.ready) {
            view.MarkReadyToPlay();
        }
        if (row.ended) {
            view.SetPlayEnded();
        }
        Progress(10, 0, 0, 1000, HV_STATE_DOWNLOADING);
        if (row.streaming) {
            EXPECT_GE(DotsAfter(Status(), row.streaming), 1) << Status();
            EXPECT_EQ(Status().find(row.streaming), 33u);
            EXPECT_EQ(view.Progress().GetPos(), row.ready ? 1 : 0);
            Progress(10, 0, 500, 1000, HV_STATE_DOWNLOADING);
            EXPECT_EQ(view.Progress().GetPos(), row.ready ? 50 : 0);
            // Once all is in, the bar of a game being played stays full.
            Progress(100, 0, 1000, 1000, HV_STATE_EXTRACTING);
            EXPECT_EQ(view.Progress().GetPos(), row.ready ? 100 : 0);
            view.Progress().SetPos(0);
        } else {
            EXPECT_EQ(Status(), Blanks(33) + "Connecting...");
        }
        view.SendMessage(WM_COMMAND, MAKEWPARAM(Self::kCancelId, BN_CLICKED), 0);
        EXPECT_EQ(frame.heard, Lines{"cancel"});
        EXPECT_TRUE(*row.afterCancel ? Status().find(row.afterCancel) != std::string::npos
                                     : Status().empty())
            << Status();
        EXPECT_EQ(view.Progress().GetPos(), row.barAfterCancel);
        EXPECT_FALSE(view.IsReadyToPlay());
    }
}

TEST_F(DownloadViewTest, BackAsksAndEnterCancelsOnce) {
    frame.downloadActive = false;
    EXPECT_EQ(AnswerWith(IDNO), "|0") << "no transfer: no question";
    frame.downloadActive = true;
    EXPECT_EQ(AnswerWith(IDNO), "Halvory: This will cancel your download. Are you sure?|5");
    EXPECT_TRUE(frame.heard.empty());
    EXPECT_EQ(AnswerWith(IDYES), "Halvory: This will cancel your download. Are you sure?|1");
    EXPECT_EQ(frame.heard, Lines{"cancel"});

    // Enter held down: the first press and its repeats make one click.
    frame.heard.clear();
    view.SetGame(&game);
    view.SendMessage(WM_KEYDOWN, VK_RETURN, 1);
    view.SendMessage(WM_KEYDOWN, VK_RETURN, 1 | (LPARAM(1) << 30));
    view.SendMessage(WM_KEYDOWN, VK_RETURN, 1);
    EXPECT_EQ(AnswerWith(IDYES), "|5") << "no question while the click is on its way";
    ASSERT_TRUE(PumpUntil([&] { return !frame.heard.empty(); }));
    PumpUntil([] { return false; }, 500);
    EXPECT_EQ(frame.heard, Lines{"cancel"});
    // The click has landed: Enter works again.
    view.SendMessage(WM_KEYDOWN, VK_RETURN, 1);
    ASSERT_TRUE(PumpUntil([&] { return frame.heard.size() == 2; }));
}

// The picture faint in the art rectangle, the badge beside its bottom edge;
// the badge only for a rating written exactly as the table has it.
TEST_F(DownloadViewTest, PictureAndBadge) {
    // An art rectangle of 600 x 300.
    view.MoveWindow(0, 0, 700, 525);
    view.ArrangeControls(TRUE);
    game.m_pIconImage = std::make_unique<CxImage>();
    ASSERT_TRUE(game.m_pIconImage->Create(300, 200, false));
    for (const char* rating : {"EC- Early Childhood", "t - teen"}) {
        game.m_strRating = rating;
        view.SetGame(&game);
        view.GetWidget()->grab();
        EXPECT_EQ(view.PictureRect(), QRect(50 + 75, 105, 450, 300)) << rating;
        EXPECT_EQ(view.BadgeRect(),
                  *rating == 'E' ? QRect(50 + 75 + 450 + 1, 105 + 300 - 48, 48, 48) : QRect())
            << rating;
    }
    game.m_pIconImage.reset();
    view.GetWidget()->grab();
    EXPECT_TRUE(view.PictureRect().isNull());
    EXPECT_TRUE(view.BadgeRect().isNull()) << "no picture, no badge";
}

// The panel centres the bar and the button together at any size.
TEST_F(DownloadViewTest, LayoutCentresTheBlock) {
    const QRect bar = view.Progress().GetWidget()->geometry();
    const QRect button = view.CancelButton().GetWidget()->geometry();
    for (const QSize size : {QSize(1024, 700), QSize(640, 480)}) {
        view.MoveWindow(0, 0, size.width(), size.height());
        view.ArrangeControls(TRUE);
        const QRect panel = view.GetDlgItem(Self::kPanelId)->GetWidget()->geometry();
        EXPECT_NEAR(panel.center().x(), size.width() / 2, 1) << size.width();
        EXPECT_NEAR(panel.center().y(), ((size.height() - 85) + 70) / 2, 1);
        const QRect movedBar = view.Progress().GetWidget()->geometry();
        const QRect movedButton = view.CancelButton().GetWidget()->geometry();
        EXPECT_EQ(movedBar.size(), bar.size());
        EXPECT_NEAR(movedBar.center().x(), size.width() / 2, 3) << "the bar itself is centred";
        EXPECT_EQ(movedButton.topLeft() - movedBar.topLeft(), button.topLeft() - bar.topLeft());
        QWidget* status = view.GetDlgItem(Self::kStatusId)->GetWidget();
        EXPECT_EQ(status->geometry(), QRect(15, size.height() - 80, size.width() - 30, 50));
        // The longest line keeps its time whole.
        const QString longest = QString::fromStdString(Blanks(3) + "Installing..." + Blanks(45) +
                                                       "Start playing in:00:00:00");
        EXPECT_LE(QFontMetrics(status->font()).horizontalAdvance(longest), status->width());
    }
}
