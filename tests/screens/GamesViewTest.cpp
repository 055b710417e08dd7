#include <gtest/gtest.h>

#include "CatalogueRecord.h"
#include "FakeFrame.h"
#include "catalogue/Catalogue.h"
#include "screens/GamesView.h"

namespace {

struct Record {
    const char* title;
    const char* categories;
    const char* pairKey;
    int type;
    const char* price;
    const char* rating = "E - Everyone";
};

// A games screen in a fake frame over a catalogue made for the test.
struct GamesViewTest : ::testing::Test {
    FakeFrame frame;
    CGamesView view;

    void SetUp() override {
        ASSERT_TRUE(view.Create(&frame, 1));
        view.ShowWindow(SW_SHOW);
        view.MoveWindow(0, 0, 800, 600);
        frame.SetForegroundWindow();
        QApplication::processEvents();
        view.ArrangeControls(TRUE);
    }
    void TearDown() override {
        view.RemoveAllGames();
        g_arrGameInfo.clear();
    }
    void Load(const std::vector<Record>& records) {
        for (const Record& r : records) {
            testcat::Fields fields;
            fields[0] = std::string("pkg.") + r.title;
            fields[1] = r.title;
            fields[2] = std::to_string(r.type);
            fields[3] = r.categories;
            fields[4] = r.rating;
            fields[5] = r.price;
            fields[20] = r.pairKey;
            testcat::Add(g_arrGameInfo, fields);
            view.AddCategory(fields[3].substr(0, fields[3].find(',')));
        }
    }
    void LoadGames(int count) {
        for (int i = 0; i < count; ++i) {
            const std::string title = "Game " + std::to_string(i);
            Load({{title.c_str(), "Action", title.c_str(), 1, "1.99"}});
        }
    }
    Lines Listed() {
        Lines titles;
        for (int i = 0; i < view.Games().GetGameCount(); ++i) {
            titles.emplace_back(view.Games().GetGame(i)->m_strTitle);
        }
        return titles;
    }
    std::string Text(UINT id) { return view.GetDlgItem(static_cast<int>(id))->GetWindowText(); }
    // The records in the order loaded.
    static GameInfo* Game(size_t index) { return g_arrGameInfo.at(index).get(); }
    void Key(CWnd& target, UINT key) { target.SendMessage(WM_KEYDOWN, key, 1); }
};

TEST_F(GamesViewTest, ListsEachGameWithItsDemoOnceWhicheverComesFirst) {
    Load({
        {"Alpha Demo", "Action", "alpha", 3, "0"},
        {"Alpha", "Action", "ALPHA", 1, "9.99"},
        {"Beta", "Puzzle", "Beta", 1, "4.99"},
        {"Beta Demo", "Puzzle", "bEtA", 3, "0"},
        {"Gamma", "Action RPG", "gamma", 1, "0"},
        {"Delta Demo", "Puzzle", "delta", 3, "0"},
    });
    view.RefreshGames();
    EXPECT_EQ(Listed(), (Lines{"Alpha Demo", "Beta", "Gamma", "Delta Demo"}));
    EXPECT_EQ(Game(0)->m_pPartner, Game(1));
    EXPECT_EQ(Game(3)->m_pPartner, Game(2));
    EXPECT_EQ(Game(4)->m_pPartner, nullptr);
    // "Action" is part of "Action RPG": both are listed under it.
    view.SelectCategory(1);
    EXPECT_EQ(view.CurrentCategory(), "Action");
    EXPECT_EQ(Listed(), (Lines{"Alpha Demo", "Gamma"}));
    EXPECT_EQ(Text(CGamesView::kTitleId), "Alpha Demo");
    EXPECT_EQ(Text(CGamesView::kCounterId), "1 Of 2");
}

TEST_F(GamesViewTest, ChoosingTheShownCategoryAgainChangesNothing) {
    LoadGames(12);
    Load({{"Loud", "ACTION", "loud", 1, "1.99"}});
    view.RefreshGames();
    view.SelectCategory(1);
    view.Games().SetSelection(5, TRUE);
    // The row "ACTION" is the shown category "Action" in another case.
    view.SelectCategory(2);
    EXPECT_EQ(view.Games().GetSelection(), 5);
    view.SelectCategory(0);
    EXPECT_EQ(Text(CGamesView::kCounterId), "1 Of 13");
}

TEST_F(GamesViewTest, PageButtonsFollowThePositionAndHandTheFocusOn) {
    struct Case {
        int count, position;
        bool previous, next;
    } cases[] = {
        {9, 1, false, false}, {9, 9, false, false},  {10, 1, false, true}, {10, 3, true, true},
        {10, 9, true, true},  {10, 10, true, false}, {20, 16, true, true}, {20, 19, true, false},
    };
    for (const Case& c : cases) {
        TearDown();
        LoadGames(c.count);
        view.RefreshGames();
        view.UpdatePageInfo(view.Games().GetGame(c.position - 1), c.position);
        const std::string where = std::to_string(c.position) + " Of " + std::to_string(c.count);
        EXPECT_EQ(Text(CGamesView::kCounterId), where);
        EXPECT_EQ(bool(view.PrevPageButton().IsWindowEnabled()), c.previous) << where;
        EXPECT_EQ(bool(view.NextPageButton().IsWindowEnabled()), c.next) << where;
    }
    // 20 tiles: the focus leaves a button before it is disabled.
    view.UpdatePageInfo(view.Games().GetGame(3), 4);
    view.PrevPageButton().SetFocus();
    view.UpdatePageInfo(view.Games().GetGame(0), 1);
    EXPECT_EQ(CWnd::GetFocus(), &view.NextPageButton());
    view.UpdatePageInfo(view.Games().GetGame(19), 20);
    EXPECT_EQ(CWnd::GetFocus(), &view.Games());
    view.UpdatePageInfo(nullptr, 0);
    EXPECT_EQ(Text(CGamesView::kCounterId), "20");
    EXPECT_EQ(Text(CGamesView::kTitleId), "");
}

// The summary shows the price from either side of a pair, follows the
// grid's selection and is painted.
TEST_F(GamesViewTest, SummaryOfTheSelectedGame) {
    Load({
        {"Beta", "Puzzle", "beta", 1, "4.99"},
        {"Beta Demo", "Puzzle", "BETA", 3, "4.99"},
        {"Free", "Puzzle", "free", 1, "0", "t - teen"},
    });
    view.RefreshGames();
    const Lines pair{"Price:   $4.99", "Free Demo Available", "Rating: E - Everyone"};
    EXPECT_EQ(SummaryLinesOf(*Game(0)), pair);
    EXPECT_EQ(SummaryLinesOf(*Game(1)), pair);
    EXPECT_EQ(SummaryLinesOf(*Game(2)), (Lines{"Free Demo", "Rating: t - teen"}));
    view.Games().SetSelection(1, TRUE);
    EXPECT_EQ(view.SelectedGame(), Game(2));

    const QImage shot = view.GetWidget()->grab().toImage();
    // The summary panel is drawn: its area differs from the bare backdrop.
    const QRect summary = view.GetDlgItem(CGamesView::kSummaryId)->GetWidget()->geometry();
    ASSERT_FALSE(summary.isEmpty());
    int light = 0;
    for (int y = summary.top(); y <= summary.bottom(); ++y) {
        for (int x = summary.left(); x <= summary.right(); ++x) {
            light += qGray(shot.pixel(x, y)) > 200;
        }
    }
    EXPECT_GT(light, 200);
}

TEST_F(GamesViewTest, KeysAndRemoteTurnPagesAndOpenTheSelectedGame) {
    LoadGames(30);
    view.RefreshGames();
    view.Games().SetFocus();
    Key(view, VK_NEXT);
    EXPECT_EQ(Text(CGamesView::kCounterId), "10 Of 30");
    EXPECT_EQ(view.OnAppCommand(APPCOMMAND_MEDIA_CHANNEL_DOWN), 1);
    EXPECT_EQ(Text(CGamesView::kCounterId), "19 Of 30");
    EXPECT_EQ(view.OnAppCommand(APPCOMMAND_MEDIA_CHANNEL_UP), 1);
    EXPECT_EQ(Text(CGamesView::kCounterId), "10 Of 30");
    EXPECT_EQ(view.OnAppCommand(APPCOMMAND_MEDIA_PLAY), 0);
    // The grid asks its screen to turn the page.
    Key(view.Games(), VK_NEXT);
    EXPECT_EQ(Text(CGamesView::kCounterId), "19 Of 30");
    Key(view.Games(), VK_RIGHT);
    EXPECT_EQ(Text(CGamesView::kTitleId), "Game 19");
    Key(view, VK_RETURN);
    QApplication::processEvents();
    ASSERT_FALSE(frame.heard.empty());
    EXPECT_EQ(frame.heard.back(), "show:Game 19");
    // Left in the first column goes to the categories, Right there comes back.
    Key(view.Games(), VK_LEFT);
    Key(view.Games(), VK_LEFT);
    EXPECT_EQ(CWnd::GetFocus(), &view.Categories());
    Key(view.Categories(), VK_RIGHT);
    EXPECT_EQ(CWnd::GetFocus(), &view.Games());
    // Repeats do nothing.
    view.SendMessage(WM_KEYDOWN, VK_NEXT, 1 | (LPARAM(1) << 30));
    EXPECT_EQ(Text(CGamesView::kTitleId), "Game 18");
    // Another category starts at its first page, and its pages turn.
    view.SelectCategory(1);
    Key(view, VK_NEXT);
    EXPECT_EQ(Text(CGamesView::kCounterId), "10 Of 30");
}

}  // namespace
