#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QKeyEvent>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>

#include "FakeFrame.h"
#include "res/ResourceTable.h"
#include "screens/GameDetail.h"
#include "screens/GameInfoView.h"
#include "screens/RatingBadge.h"

namespace {

using hv::detail::ActionEntry;

// "text=action;" for each entry, the separator as "|".
std::string Listed(const std::vector<ActionEntry>& entries) {
    std::string text;
    for (const ActionEntry& entry : entries) {
        const bool separator = entry.kind == hv::detail::kSeparatorEntry;
        EXPECT_EQ(separator, entry.text == "SPLITTER" && entry.action == 0) << entry.text;
        text += separator ? "|" : entry.text + "=" + std::to_string(entry.action) + ";";
    }
    return text;
}

std::string Listed(const CMCListBox& list) {
    std::vector<ActionEntry> entries;
    for (int i = 0; i < list.GetCount(); ++i) {
        const MCListItem* item = list.GetItem(i);
        entries.push_back({item->text, item->kind, item->value});
    }
    return Listed(entries);
}

// A record and, when partnerType is not 0, its partner.
struct Pair {
    GameInfo game;
    GameInfo partner;
    Pair(int16_t gameType, const char* gamePrice, int16_t partnerType, const char* partnerPrice) {
        game.m_strPackage = "g";
        game.m_nType = gameType;
        game.m_strPrice = gamePrice;
        partner.m_strPackage = "q";
        partner.m_nType = partnerType;
        partner.m_strPrice = partnerPrice;
        if (partnerType != 0) {
            game.m_pPartner = &partner;
            partner.m_pPartner = &game;
        }
    }
};

constexpr int16_t kGame = 1;
constexpr int16_t kDemo = 3;
constexpr int16_t kNone = 0;

void Pump() {
    for (int i = 0; i < 5; ++i) {
        QApplication::processEvents();
    }
}

QRect Geometry(const CWnd* control) {
    return control->GetWidget()->geometry();
}

}  // namespace

TEST(GameDetail, EveryRowOfTheActionTable) {
    // Install states: 1 not installed, 2 as a game, 3 as a demo, others unknown.
    const struct {
        int16_t gameType;
        const char* gamePrice;
        int16_t partnerType;
        const char* partnerPrice;
        int gameState, partnerState;
        const char* listed;
    } rows[] = {
        {kGame, "19.99", kDemo, "0", 1, 3, "Play Game=1;|Play Free Demo=4;Delete Free Demo=6;"},
        {kDemo, "0", kGame, "19.99", 3, 1, "Play Game=2;|Play Free Demo=3;Delete Free Demo=5;"},
        {kGame, "0", kNone, "", 2, 1, "Play Free Demo=1;Delete Free Demo=5;"},
        {kGame, "19.99", kDemo, "0", 0, 1, "|Play Free Demo=2;"},
        {kGame, "19.99", kDemo, "0", 1, 7, "Play Game=1;|"},
        {kGame, "19.99", kDemo, "0", 2, 2,
         "Play Game=1;Delete Game=5;|Play Free Demo=2;Delete Free Demo=6;"},
        {kGame, "19.99", kDemo, "0", 3, 1, "Play Game=3;Delete Game=5;|Play Free Demo=2;"},
        {kDemo, "0", kGame, "19.99", 2, 3,
         "Play Game=4;Delete Game=6;|Play Free Demo=1;Delete Free Demo=5;"},
        {kDemo, "4.99", kNone, "", 3, 1, "Play Free Demo=3;Delete Free Demo=5;"},
        {kDemo, "0", kDemo, "5", 1, 3, "Play Free Demo=3;Delete Free Demo=5;"},
        {kGame, "0", kGame, "9.99", 2, 1, "Play Game=2;|Play Free Demo=1;Delete Free Demo=5;"},
        {kGame, "0.00", kDemo, "0", 1, 2, "Play Free Demo=1;Delete Free Demo=5;"},
        {kGame, " 19.99", kNone, "", 1, 1, "Play Game=1;"},
        {kGame, "soon", kNone, "", 1, 1, "Play Free Demo=1;"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "row " << &row - rows);
        Pair pair(row.gameType, row.gamePrice, row.partnerType, row.partnerPrice);
        const auto state = [&](const std::string& package) {
            return package == "g" ? row.gameState : row.partnerState;
        };
        EXPECT_EQ(Listed(hv::detail::BuildActionEntries(pair.game, state)), row.listed);
    }
}

TEST(GameDetail, InformationLines) {
    const struct {
        int16_t gameType;
        const char* gamePrice;
        int16_t partnerType;
        const char* partnerPrice;
        const char* publisher;
        const char* developer;
        const char* lines;  // "|" between lines, the rating line left off
    } rows[] = {
        {kGame, "19.99", kDemo, "0", "Lumen", "Arc Forge",
         "Price:   $19.99|Free Demo Available|Publisher: Lumen|Developer: Arc Forge|"},
        {kDemo, "0", kGame, "24.50", "", "", "Price:   $24.50|Free Demo Available|"},
        {kDemo, "3", kNone, "", "", "Arc Forge", "Free Demo|Developer: Arc Forge|"},
        {kDemo, "0", kDemo, "0", "Lumen", "", "Free Demo|Publisher: Lumen|"},
        {kGame, "0", kGame, "0", "", "", "Free Demo|Free Demo Available|"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.lines);
        Pair pair(row.gameType, row.gamePrice, row.partnerType, row.partnerPrice);
        pair.game.m_strPublisher = row.publisher;
        pair.game.m_strDeveloper = row.developer;
        pair.game.m_strRating = "T - Teen";
        std::string joined;
        for (const std::string& line : hv::detail::InformationLines(pair.game)) {
            joined += line + "|";
        }
        EXPECT_EQ(joined, row.lines + std::string("Rating: T - Teen|"));
    }
}

TEST(GameDetail, PictureFitAndItsTieBreaks) {
    using Size = hv::detail::FittedSize;
    const auto fit = [](int w, int h) { return hv::detail::FitPicture(w, h, 200, 150); };
    EXPECT_EQ(fit(100, 50), (Size{300, 150}));   // smaller, equal gaps: the height
    EXPECT_EQ(fit(100, 80), (Size{187, 150}));   // smaller, height closer; 187.5 truncated
    EXPECT_EQ(fit(150, 50), (Size{200, 66}));    // smaller, width closer
    EXPECT_EQ(fit(300, 250), (Size{200, 166}));  // larger, equal excess: the width
    EXPECT_EQ(fit(300, 400), (Size{112, 150}));  // larger, height further out
    EXPECT_EQ(fit(200, 100), (Size{200, 100}));  // one side equal counts as not smaller
    EXPECT_EQ(fit(0, 50), (Size{0, 0}));
}

// The games screen ignores case; the detail and download screens want the
// exact text (their tests show it).
TEST(GameDetail, RatingBadgeByText) {
    EXPECT_EQ(RatingBadgeId("t - teen", true), hv::res::kRatingT.id);
    EXPECT_EQ(RatingBadgeId("ec- early CHILDHOOD", true), hv::res::kRatingEc.id);
    EXPECT_EQ(RatingBadgeId("EC - Early Childhood", true), 0u);
    EXPECT_EQ(RatingBadgeId("t - teen", false), 0u);
}

// The screen in a frame of 800 x 600, showing a paid game whose demo is
// installed as a demo.
struct GameInfoViewTest : ::testing::Test {
    FakeFrame frame;
    CGameInfoView view;
    Pair pair{kGame, "19.99", kDemo, "0"};
    std::filesystem::path folder =
        std::filesystem::temp_directory_path() /
        ("detail-test-" + std::to_string(QApplication::applicationPid()));

    void SetUp() override {
        std::filesystem::create_directories(folder);
        // The art folder the record's description is read from.
        pair.game.m_pSource = CatalogueSource::Copied(nullptr, 0, folder.string() + "/");
        pair.game.m_strTitle = "Nebula Drift";
        pair.game.m_strRating = "T - Teen";
        pair.game.m_strPublisher = "Lumen Interactive";
        pair.game.m_strDeveloper = "Arc Forge";
        frame.titleStates = {{"q", 3}};
        ASSERT_TRUE(view.Create(&frame, 1));
        view.ShowWindow(SW_SHOW);
        QApplication::setActiveWindow(frame.GetWidget());
        Pump();
    }
    void TearDown() override {
        view.SetGame(nullptr);
        std::filesystem::remove_all(folder);
    }
    // Writes the shown game's description file.
    void Describe(const std::string& content) {
        std::filesystem::remove_all(pair.game.DescFile());
        std::ofstream(pair.game.DescFile(), std::ios::binary) << content;
    }
    CWnd* Item(UINT id) const { return view.GetDlgItem(static_cast<int>(id)); }
    void Key(CWnd& target, UINT key, LPARAM data = 1) { target.SendMessage(WM_KEYDOWN, key, data); }
    static void Focus(CWnd* target) {
        target->SetFocus();
        ASSERT_TRUE(PumpUntil([&] { return CWnd::GetFocus() == target; }));
    }
    // Through Qt, so that what the window leaves to the default handling gets it.
    static void Type(CWnd& target, Qt::Key key) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(target.GetWidget(), &press);
    }
};

// The entries follow the frame's installs when the screen is arranged again;
// rows 0 and 1 wait while something is under way, later rows do not.
TEST_F(GameInfoViewTest, ChoicesReachTheFrameUnlessBusyOrWithoutRecord) {
    view.SetGame(&pair.game);
    CMCListBox& list = view.ActionList();
    EXPECT_EQ(Listed(list), "Play Game=1;|Play Free Demo=4;Delete Free Demo=6;");
    EXPECT_EQ(list.GetCurrentRow(), 0);
    frame.titleStates = {};
    view.RefreshDetail();
    EXPECT_EQ(Listed(list), "Play Game=1;|Play Free Demo=2;");
    frame.titleStates = {{"g", 2}, {"q", 3}};
    view.ArrangeControls(TRUE);
    ASSERT_EQ(Listed(list), "Play Game=1;Delete Game=5;|Play Free Demo=4;Delete Free Demo=6;");
    std::atomic<int>* const flags[] = {nullptr, &view.m_bDownloadBusy, &view.m_bPlayBusy,
                                       &view.m_bDeleteBusy};
    const struct {
        int flag;
        int row;
        const char* heard;  // empty: Enter did nothing
    } rows[] = {
        {0, 0, "action:1"}, {0, 1, "action:5"}, {1, 0, ""},         {2, 1, ""},
        {3, 1, ""},         {1, 3, "action:4"}, {2, 4, "action:6"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "flag " << row.flag << ", row " << row.row);
        if (flags[row.flag]) {
            *flags[row.flag] = 1;
        }
        Focus(&list);
        list.SetCurSel(row.row);
        frame.heard.clear();
        Key(view, VK_RETURN);
        EXPECT_EQ(list.IsConfirming(), *row.heard != '\0');
        if (list.IsConfirming()) {
            list.SendMessage(UWM_MENU_CHOOSE);  // the sweep's end
            ASSERT_TRUE(PumpUntil([&] { return !frame.heard.empty(); }));
            EXPECT_EQ(frame.heard.back(), row.heard);
        } else {
            Pump();
            EXPECT_TRUE(frame.heard.empty());
        }
        view.m_bDownloadBusy = view.m_bPlayBusy = view.m_bDeleteBusy = 0;
    }
    // A report without item, or with no record shown, reaches nobody.
    frame.heard.clear();
    view.SendMessage(UWM_MENU_CHOOSE, 0, 0);
    const MCListItem* item = list.GetItem(0);
    view.SetGame(nullptr);
    view.SendMessage(UWM_MENU_CHOOSE, 0, reinterpret_cast<LPARAM>(item));
    Pump();
    EXPECT_TRUE(frame.heard.empty());
}

TEST_F(GameInfoViewTest, LeavingWhileBusyAndTheResetAfter) {
    view.SetGame(&pair.game);
    const struct {
        const char* name;
        int play, download, remove;
        int button;  // the answer to the question; 0: no question
        int ok;
        bool cancelled;
    } rows[] = {
        {"nothing under way", 0, 0, 0, 0, 1, false},
        {"a game runs, No", 1, 0, 0, IDNO, 0, false},
        {"a game runs, Yes", 1, 1, 1, IDYES, 1, true},
        {"a download", 0, 1, 0, 0, 0, false},
        {"a delete", 0, 0, 1, 0, 0, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        view.m_bPlayBusy = row.play;
        view.m_bDownloadBusy = row.download;
        view.m_bDeleteBusy = row.remove;
        frame.heard.clear();
        int ok = -1;
        const std::string asked =
            AnswerWhile(row.button ? row.button : IDNO, [&] { view.ConfirmLeave(ok); });
        EXPECT_EQ(ok, row.ok);
        EXPECT_EQ(asked, row.button ? "Halvory: This will terminate the game. Are you sure?" : "");
        EXPECT_EQ(frame.heard, row.cancelled ? Lines{"cancel"} : Lines{});
        Pump();
    }

    // The reset shows every part again and clears the flags.
    const UINT shown[] = {CGameInfoView::kPictureId, CGameInfoView::kInformationId,
                          CGameInfoView::kDescriptionId, CGameInfoView::kPictureFrameId,
                          CGameInfoView::kDescriptionFrameId};
    for (const UINT id : shown) {
        Item(id)->ShowWindow(SW_HIDE);
    }
    Item(CGameInfoView::kSpareId)->ShowWindow(SW_SHOW);
    view.m_bPlayBusy = view.m_bDownloadBusy = view.m_bDeleteBusy = 1;
    view.ResetDetail();
    EXPECT_EQ(view.GetGame(), nullptr);
    EXPECT_FALSE(view.IsBusy());
    for (const UINT id : shown) {
        EXPECT_TRUE(Item(id)->IsWindowVisible()) << id;
    }
    EXPECT_FALSE(Item(CGameInfoView::kSpareId)->IsWindowVisible());
    EXPECT_FALSE(Item(CGameInfoView::kScrollUpId)->IsWindowVisible());
}

TEST_F(GameInfoViewTest, LongDescriptionShowsTheArrowsAndScrollsOneLinePerKey) {
    std::string forty = "Line 1";
    for (int i = 2; i <= 40; ++i) {
        forty += "\nLine " + std::to_string(i);
    }
    Describe(forty);
    view.SetGame(&pair.game);
    CDescriptionEdit& box = view.Description();
    const int lineHeight = QFontMetrics(box.GetWidget()->font()).height();
    RECT client;
    view.GetClientRect(&client);
    const int cap = 2 * (((client.bottom - 15) - 81) / 3) - 64;
    EXPECT_EQ(view.DescriptionOverflows(), 1);
    // Capped, and moved down clear of the picture's frame.
    EXPECT_LE(Geometry(&box).height(), cap);
    EXPECT_EQ(Geometry(&box).bottom() + 1, client.bottom - 15);
    EXPECT_EQ(Geometry(&box).right() + 1, client.right - 45) << "room for the arrows";
    CWnd& list = view.ActionList();
    CWnd* down = Item(CGameInfoView::kScrollDownId);
    CWnd* up = Item(CGameInfoView::kScrollUpId);
    EXPECT_TRUE(up->IsWindowVisible() && down->IsWindowVisible());
    EXPECT_EQ(Geometry(down), QRect(client.right - 42, client.bottom - 42, 27, 27));
    EXPECT_EQ(Geometry(up), QRect(client.right - 42, client.bottom - 72, 27, 27));
    // The lines each way of scrolling moves the text by.
    const auto scrolled = [&](const std::function<void()>& act) {
        const int before = box.GetFirstVisibleLine();
        act();
        return box.GetFirstVisibleLine() - before;
    };
    EXPECT_EQ(scrolled([&] { Key(list, VK_NEXT); }), 1);
    EXPECT_EQ(scrolled([&] { Type(box, Qt::Key_Down); }), 1);
    EXPECT_EQ(scrolled([&] { Type(box, Qt::Key_PageUp); }), -1);
    EXPECT_EQ(scrolled([&] { Key(view, VK_UP); }), -1);
    EXPECT_EQ(scrolled([&] { EXPECT_EQ(view.OnAppCommand(52), 1); }), 1);
    EXPECT_EQ(scrolled([&] { EXPECT_EQ(view.OnAppCommand(51), 1); }), -1);
    EXPECT_EQ(scrolled([&] { EXPECT_EQ(view.OnAppCommand(9), 0); }), 0) << "volume";
    EXPECT_EQ(scrolled([&] { down->SendMessage(WM_LBUTTONUP); }), 1);
    Focus(up);
    EXPECT_EQ(scrolled([&] { Key(view, VK_RETURN); }), -1) << "Enter on the up arrow";

    frame.heard.clear();
    Key(view, VK_BACK);
    Key(view, VK_BROWSER_BACK);
    Key(view, VK_BACK, 1 | (LPARAM(1) << 30));
    EXPECT_EQ(frame.heard, (Lines{"back", "back"}));
    // Down on the last row, or Right: the up arrow takes the focus.
    for (const UINT key : {VK_RIGHT, VK_DOWN}) {
        Focus(&list);
        view.ActionList().SetCurSel(view.ActionList().GetCount() - 1);
        Key(list, key);
        EXPECT_TRUE(PumpUntil([&] { return CWnd::GetFocus() == up; })) << key;
    }

    // A short text: a box of its own height, no arrows.
    Describe("One\nTwo\nThree");
    view.SetGame(&pair.game);
    EXPECT_EQ(view.DescriptionOverflows(), 0);
    EXPECT_LE(Geometry(&box).height(), 3 * lineHeight);
    EXPECT_EQ(Geometry(&box).bottom() + 1, client.bottom - 15);
    EXPECT_EQ(Geometry(&box).right() + 1, client.right - 15);
    EXPECT_FALSE(up->IsWindowVisible() || down->IsWindowVisible());
}

TEST_F(GameInfoViewTest, DescriptionFromItsFileOrTheStandIn) {
    const auto shown = [&] {
        view.SetGame(&pair.game);
        return view.Description().GetWindowText();
    };
    Describe("");
    EXPECT_EQ(shown(), "");
    std::filesystem::remove(pair.game.DescFile());
    EXPECT_EQ(shown(), "No Description Available");
    std::filesystem::create_directory(pair.game.DescFile());
    EXPECT_EQ(shown(), "No Description Available") << "a folder";
    Describe("Über <b>alles</b>\nzwei");
    EXPECT_EQ(shown(), "Über <b>alles</b>\nzwei");
}

// The picture and the information side by side, framed, the description
// below.
TEST_F(GameInfoViewTest, PaidGameWithItsDemoInstalled) {
    pair.game.m_strRating = "M - Mature";
    pair.game.m_pIconImage = std::make_unique<CxImage>();
    ASSERT_TRUE(pair.game.m_pIconImage->LoadResource("JPG", hv::res::kScreenBackdrop.id,
                                                     CXIMAGE_FORMAT_JPG));
    Describe(
        "Race a stolen courier ship through the collapsing lanes of the Nebula.\nEvery run "
        "reshapes the drift; every wreck leaves salvage for the next.");
    view.SetGame(&pair.game);
    Pump();
    const QRect picture = Geometry(Item(CGameInfoView::kPictureId));
    const QRect info = Geometry(Item(CGameInfoView::kInformationId));
    const QRect group = Geometry(Item(CGameInfoView::kPictureFrameId));
    const QRect box = Geometry(&view.Description());
    const QRect boxFrame = Geometry(Item(CGameInfoView::kDescriptionFrameId));
    EXPECT_EQ(info.left(), picture.right() + 1 + 10);
    EXPECT_EQ(info.height(), 132 + 24 + 24) << "publisher and developer";
    const QFontMetricsF metrics(Item(CGameInfoView::kInformationId)->GetWidget()->font());
    EXPECT_EQ(info.width(), std::ceil(metrics.horizontalAdvance("Publisher: Lumen Interactive")));
    EXPECT_NEAR(picture.center().y(), info.center().y(), 1) << "centred on each other";
    EXPECT_NEAR(picture.width() * 768 / 1028, picture.height(), 1) << "proportions kept";
    EXPECT_EQ(group.left(), picture.left() - 5);
    EXPECT_EQ(group.right(), info.right() + 10 + 5);
    EXPECT_LE(info.right() + 1, view.GetWidget()->width() - 15) << "the lines stay on the screen";
    EXPECT_GE(box.top(), group.bottom() + 1 + 32);
    EXPECT_EQ(boxFrame, box.adjusted(-5, -5, 5, 5));

    // The badge is faint: at most 100 of 255 opaque.
    ASSERT_FALSE(view.RatingBadge().isNull());
    EXPECT_LE(qAlpha(view.RatingBadge().pixel(24, 24)), 100);

    view.GetWidget()->grab();  // paints the picture, the lines and the badge
    pair.game.m_strRating = "m - mature";
    view.SetGame(&pair.game);
    EXPECT_TRUE(view.RatingBadge().isNull()) << "the exact text only";
}
