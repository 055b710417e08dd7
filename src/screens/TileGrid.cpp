#include "screens/TileGrid.h"

#include <algorithm>

namespace {

// The page arithmetic is 16-bit, as the counter is.
int16_t PageEnd(int page) {
    return static_cast<int16_t>(page * kTilesInView);
}

}  // namespace

bool FitTiles(int width, int height, TileGeometry& geometry) {
    // The grid's sizes are 16-bit values, as in the layout they come from.
    const int cellWidth = static_cast<int16_t>(width / kTileColumns);
    const int cellHeight = static_cast<int16_t>(height / kTileColumns);
    if (cellWidth < 0 || cellHeight < 0) {
        return false;
    }
    const TileGeometry start;
    const int grown = cellWidth - start.cellWidth;
    geometry.cellWidth = cellWidth;
    geometry.cellHeight = cellHeight;
    geometry.frameWidth = start.frameWidth + grown;
    geometry.iconWidth = start.iconWidth + grown;
    geometry.frameHeight = cellHeight * start.frameHeight / start.cellHeight;
    geometry.iconHeight = geometry.frameHeight - 16;
    geometry.captionHeight = static_cast<int>((cellHeight - geometry.frameHeight) * 0.72);
    return true;
}

int HitTestTile(const TileGeometry& geometry, const TileCursor& cursor, int count, int x, int y) {
    // The last pixels right of the third column belong to no tile, not to the
    // next row's first.
    if (x < 0 || y < 0 || geometry.cellWidth <= 0 || geometry.cellHeight <= 0 ||
        x >= kTileColumns * geometry.cellWidth) {
        return -1;
    }
    const int index =
        (y / geometry.cellHeight) * kTileColumns + x / geometry.cellWidth + cursor.FirstVisible();
    if (index >= count || index >= (cursor.topRow + 2) * kTileColumns) {
        return -1;
    }
    return index;
}

bool TileRect(const TileGeometry& geometry, const TileCursor& cursor, int index, RECT* rect) {
    const int j = index - cursor.FirstVisible();
    if (j < 0 || j > kTilesInView) {
        return false;
    }
    rect->left =
        (j % kTileColumns) * geometry.cellWidth - (geometry.cellWidth - geometry.frameWidth) / 2;
    rect->right = rect->left + geometry.cellWidth;
    rect->top = (j / kTileColumns) * geometry.cellHeight - 4;
    rect->bottom = rect->top + geometry.cellHeight;
    return true;
}

TileMove MoveByKey(TileCursor& cursor, int count, UINT key) {
    const int s = cursor.selection;
    const int row = s / kTileColumns;
    const int column = s % kTileColumns;
    const int lastRow = (count - 1) / kTileColumns;
    switch (key) {
        case VK_PRIOR: return TileMove::PageUp;
        case VK_NEXT: return TileMove::PageDown;
        case VK_LEFT:
            if (column == 0) {
                return TileMove::ExitLeft;
            }
            cursor.selection = s - 1;
            return TileMove::Moved;
        case VK_RIGHT:
            if (column == kTileColumns - 1) {
                return TileMove::NextControl;
            }
            if (s >= count - 1) {
                return TileMove::None;
            }
            cursor.selection = s + 1;
            return TileMove::Moved;
        case VK_UP: {
            if (row == 0) {
                return TileMove::None;
            }
            const int top = cursor.topRow;
            if (cursor.topRow > 1 && row == cursor.topRow - 1) {
                --cursor.topRow;
            }
            cursor.selection = s - kTileColumns;
            return cursor.topRow != top ? TileMove::Scrolled : TileMove::Moved;
        }
        case VK_DOWN: {
            if (row == lastRow) {
                return TileMove::ExitDown;
            }
            const int top = cursor.topRow;
            // Below the first two rows in view the rows scroll with the selection.
            if (s - kTileColumns * cursor.topRow + kTileColumns >= 2 * kTileColumns) {
                ++cursor.topRow;
            }
            const int next = std::min(s + kTileColumns, count - 1);
            if (next == s) {
                return TileMove::None;
            }
            cursor.selection = next;
            return cursor.topRow != top ? TileMove::Scrolled : TileMove::Moved;
        }
        default: return TileMove::None;
    }
}

bool PageDown(TileCursor& cursor, int count) {
    if (PageEnd(cursor.page) >= count || cursor.selection < 0 || cursor.selection >= count) {
        return false;
    }
    // The uneven steps at the end of the list are the rule.
    const int next = PageEnd(cursor.page + 1);
    int selection =
        next > count ? cursor.selection + 10 - (next - count) : cursor.selection + kTilesInView;
    cursor.selection = std::min(selection, count - 1);
    cursor.topRow = std::min(cursor.topRow + 3, (count - 4) / kTileColumns);
    cursor.page = static_cast<int16_t>(cursor.page + 1);
    return true;
}

bool PageUp(TileCursor& cursor, int count) {
    if (cursor.page == 1 || cursor.selection < kTileColumns || cursor.selection >= count) {
        return false;
    }
    const int column = cursor.selection % kTileColumns;
    const int shown = PageEnd(cursor.page);
    int selection =
        shown > count ? cursor.selection + (shown - count) - 10 : cursor.selection - kTilesInView;
    selection = std::max(selection, 0);
    cursor.selection = std::max(selection, column);
    cursor.topRow = std::max(cursor.topRow - 3, 1);
    cursor.page = static_cast<int16_t>(cursor.page - 1);
    if (cursor.page < 0) {
        cursor.page = 1;
    }
    return true;
}
