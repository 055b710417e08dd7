// CGameList: the games screen's grid of game tiles, three a row and three
// rows in view. It takes over a list-box control of the screen's form and
// draws every tile itself; the selected tile is drawn enlarged while the grid
// has the focus. It points at catalogue records it does not own.
#pragma once

#include <QFont>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "screens/TileGrid.h"
#include "skin/Palette.h"
#include "skin/ScaledImage.h"
#include "ui/Wnd.h"

struct GameInfo;
class QPainter;

class CGameList : public CWnd {
  public:
    void RemoveAllGames();
    void AddGame(GameInfo* game);
    int GetGameCount() const;
    // Null past the end.
    GameInfo* GetGame(int index) const;
    GameInfo* GetSelectedGame() const;
    int GetSelection() const { return m_cursor.selection; }
    const TileCursor& Cursor() const { return m_cursor; }

    // Tells the screen of the new selection (when asked and not empty).
    void SetSelection(int index, BOOL notify);
    void RedrawAll();
    void InvalidateTile(int index);
    // Repaints the first tile whose record has the package (ignoring case):
    // its icon has arrived.
    void RepaintPackage(const std::string& package);
    void PageUp();
    void PageDown();

    // Set by the screen's layout.
    void SetGeometry(const TileGeometry& geometry);
    const TileGeometry& Geometry() const { return m_geometry; }
    // The placeholder and frame images, before taking over the control.
    void LoadImages();

  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    void Notify();
    void Paint();
    void DrawTile(QPainter& painter, int index, GameInfo& game, int x, int y, bool focused);
    // The record's icon at that size, converted and scaled once.
    const QImage& IconAt(GameInfo& game, const QSize& size);
    bool OnKeyDown(UINT key, LPARAM data);
    void OnMouseMove(int x, int y);
    void OnClick(int x, int y);
    void MoveFocusToNextControl();

    mutable std::mutex m_lock;  // guards m_games
    std::vector<GameInfo*> m_games;
    TileGeometry m_geometry;
    TileCursor m_cursor;
    COLORREF m_crCaption = hv::look::kStaticText;

    CScaledImage m_imgPlaceholder;
    CScaledImage m_imgFrame;
    CScaledImage m_imgGlow;
    // Icons of the tiles lately in view; an arriving icon drops its entry.
    std::unordered_map<const GameInfo*, CScaledImage> m_icons;
    QFont m_captionFont;
};
