// The arithmetic of the games screen's tile grid: three tiles a row, three
// rows in view, which tile is where, and how the keys and page turns move the
// selection. No windows here, so every rule is tested directly.
#pragma once

#include <cstdint>

#include "winapi/winuser.h"

inline constexpr int kTileColumns = 3;
inline constexpr int kTilesInView = 9;

// Pixel sizes of one tile; the screen sets them from its layout.
struct TileGeometry {
    int cellWidth = 183;
    int cellHeight = 153;
    int frameWidth = 128;
    int frameHeight = 128;
    int iconWidth = 112;
    int iconHeight = 112;
    int captionHeight = 18;
};

// The sizes for a grid area of width x height; false (and nothing changed)
// when the area is too small to hold a tile.
bool FitTiles(int width, int height, TileGeometry& geometry);

// Where the grid stands: the first visible row (from 1), the selected index
// (-1 for none) and the page counter of the page keys.
struct TileCursor {
    int topRow = 1;
    int selection = -1;
    int16_t page = 1;

    int FirstVisible() const { return kTileColumns * (topRow - 1); }
    bool IsVisible(int index) const {
        return index >= FirstVisible() && index < FirstVisible() + kTilesInView;
    }
};

// The tile under a point of the grid, or -1.
int HitTestTile(const TileGeometry& geometry, const TileCursor& cursor, int count, int x, int y);

// The area a tile may paint, the enlarged selected tile included; false when
// the tile is not in view.
bool TileRect(const TileGeometry& geometry, const TileCursor& cursor, int index, RECT* rect);

// What an arrow or page key asks of the grid.
enum class TileMove {
    None,      // nothing changes
    Moved,     // the selection moved within the rows in view
    Scrolled,  // the selection moved and the rows in view with it
    ExitLeft,  // Left in the first column
    ExitDown,  // Down in the last row
    NextControl,
    PageUp,
    PageDown,
};

// Applies the key to the cursor of a grid of `count` tiles with a selection.
TileMove MoveByKey(TileCursor& cursor, int count, UINT key);

// The page turns; false when the rules leave the cursor as it was.
bool PageDown(TileCursor& cursor, int count);
bool PageUp(TileCursor& cursor, int count);
