#include "screens/TileGrid.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

namespace {

TEST(TileGrid, HitTestAndVisibilityStopAtTheEdgesOfTheRowsInView) {
    const TileGeometry g;  // 183 x 153 cells
    // No tile right of the third column (x 549), below the third row in view
    // (y 459) or in an empty cell after the last record.
    struct Case {
        int count, topRow, x, y, tile;
    } cases[] = {
        {12, 1, 182, 0, 0},   {12, 1, 183, 0, 1},    {12, 1, 548, 152, 2},  {12, 1, 549, 0, -1},
        {12, 1, 548, 458, 8}, {12, 1, 0, 459, -1},   {5, 1, 183, 153, 4},   {5, 1, 366, 153, -1},
        {12, 2, 0, 0, 3},     {12, 2, 366, 306, 11}, {10, 2, 183, 306, -1},
    };
    for (const Case& c : cases) {
        TileCursor cursor;
        cursor.topRow = c.topRow;
        EXPECT_EQ(HitTestTile(g, cursor, c.count, c.x, c.y), c.tile) << "case " << &c - cases;
    }
    TileCursor second;
    second.topRow = 2;
    for (int tile = 0; tile < 14; ++tile) {
        EXPECT_EQ(second.IsVisible(tile), tile >= 3 && tile <= 11) << tile;
    }
}

TEST(TileGrid, TileRectsCoverTheEnlargedTileAndOnlyTilesInView) {
    const TileGeometry g;
    TileCursor cursor;
    RECT rect{};
    ASSERT_TRUE(TileRect(g, cursor, 4, &rect));
    EXPECT_EQ(std::tie(rect.left, rect.top, rect.right, rect.bottom),
              std::make_tuple(183 - 27, 153 - 4, 183 - 27 + 183, 153 - 4 + 153));
    EXPECT_FALSE(TileRect(g, cursor, 10, &rect));
    cursor.topRow = 2;
    EXPECT_FALSE(TileRect(g, cursor, 2, &rect));
    ASSERT_TRUE(TileRect(g, cursor, 3, &rect));
    EXPECT_EQ(rect.top, -4);
}

TEST(TileGrid, KeysMoveTheSelectionScrollAndLeaveAtTheEdges) {
    struct Case {
        int count, topRow, selection;
        UINT key;
        TileMove move;
        int selectionAfter, topRowAfter;
    } cases[] = {
        {12, 1, 0, VK_LEFT, TileMove::ExitLeft, 0, 1},
        {12, 1, 4, VK_LEFT, TileMove::Moved, 3, 1},
        {12, 1, 2, VK_RIGHT, TileMove::NextControl, 2, 1},
        {12, 1, 4, VK_RIGHT, TileMove::Moved, 5, 1},
        {5, 1, 4, VK_RIGHT, TileMove::None, 4, 1},
        {12, 1, 1, VK_UP, TileMove::None, 1, 1},
        {12, 2, 4, VK_UP, TileMove::Scrolled, 1, 1},
        {12, 2, 7, VK_UP, TileMove::Moved, 4, 2},
        {12, 1, 1, VK_DOWN, TileMove::Moved, 4, 1},
        {12, 1, 7, VK_DOWN, TileMove::Scrolled, 10, 2},
        {12, 2, 9, VK_DOWN, TileMove::ExitDown, 9, 2},
        {7, 1, 5, VK_DOWN, TileMove::Moved, 6, 1},  // cut at the last record
        {12, 1, 4, VK_PRIOR, TileMove::PageUp, 4, 1},
        {12, 1, 4, VK_NEXT, TileMove::PageDown, 4, 1},
        {12, 1, 4, VK_HOME, TileMove::None, 4, 1},
    };
    for (const Case& c : cases) {
        TileCursor cursor;
        cursor.topRow = c.topRow;
        cursor.selection = c.selection;
        SCOPED_TRACE(testing::Message() << "case " << &c - cases);
        EXPECT_EQ(MoveByKey(cursor, c.count, c.key), c.move);
        EXPECT_EQ(std::tie(cursor.selection, cursor.topRow),
                  std::tie(c.selectionAfter, c.topRowAfter));
    }
}

TEST(TileGrid, PageTurnsFollowTheirUnevenStepsAtTheEnd) {
    struct Case {
        bool down;
        int count, page, selection, topRow;
        bool turned;
        int pageAfter, selectionAfter, topRowAfter;
    } cases[] = {
        {true, 12, 1, 4, 1, true, 2, 8, 2},
        {false, 12, 2, 8, 2, true, 1, 4, 1},
        {true, 30, 1, 0, 1, true, 2, 9, 4},
        {true, 10, 1, 0, 1, true, 2, 2, 2},
        {false, 10, 2, 2, 2, false, 2, 2, 2},  // selection in the first row
        {false, 30, 2, 9, 4, true, 1, 0, 1},
        {true, 9, 1, 4, 1, false, 1, 4, 1},     // one page only
        {true, 30, 1, -1, 1, false, 1, -1, 1},  // nothing selected
        {false, 30, 1, 5, 1, false, 1, 5, 1},
        {true, 30, 4, 27, 8, false, 4, 27, 8},  // past the last page
    };
    for (const Case& c : cases) {
        TileCursor cursor;
        cursor.page = static_cast<int16_t>(c.page);
        cursor.selection = c.selection;
        cursor.topRow = c.topRow;
        SCOPED_TRACE(testing::Message() << "case " << &c - cases);
        EXPECT_EQ(c.down ? PageDown(cursor, c.count) : PageUp(cursor, c.count), c.turned);
        EXPECT_EQ(std::make_tuple(int{cursor.page}, cursor.selection, cursor.topRow),
                  std::tie(c.pageAfter, c.selectionAfter, c.topRowAfter));
    }
}

TEST(TileGrid, TilesGrowWithTheArea) {
    TileGeometry g;
    ASSERT_TRUE(FitTiles(600, 400, g));
    EXPECT_EQ((std::vector<int>{g.cellWidth, g.cellHeight, g.frameWidth, g.iconWidth, g.frameHeight,
                                g.iconHeight, g.captionHeight}),
              (std::vector<int>{200, 133, 145, 129, 111, 95, 15}));
    ASSERT_TRUE(FitTiles(549, 459, g));
    EXPECT_EQ(g.frameWidth, 128);
    EXPECT_EQ(g.frameHeight, 128);
    EXPECT_EQ(g.captionHeight, 18);
    EXPECT_FALSE(FitTiles(-10, 400, g));
    EXPECT_EQ(g.cellWidth, 183);
}

}  // namespace
