// CMCListBox: the skinned vertical menu of the home, games and game detail
// screens. It takes over a control of its screen's template and draws every
// row itself. The row under the focus pulses on the shared animation clock;
// a confirmed row plays the click while a shine sweeps across it, and only
// when the shine has crossed the row does the screen hear of the choice.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "skin/Palette.h"
#include "skin/ScaledImage.h"
#include "ui/Wnd.h"

class QPainter;
class QRect;

// One row of the list.
struct MCListItem {
    std::string text;
    int kind = 0;   // CMCListBox::kSeparator or the owner's kind of row
    int value = 0;  // the owner's number, an action for instance
    std::vector<std::string> subTexts;
    int extra = 0;
};

class CMCListBox : public CWnd {
  public:
    static constexpr int kSeparator = 4;
    static constexpr int kRowHeight = 45;
    static constexpr int kRowPitch = 47;  // rows are 2 pixels apart

    CMCListBox();
    ~CMCListBox() override;

    // Appends a row; returns its index.
    int AddItem(const std::string& text, int kind, int value,
                const std::vector<std::string>* subTexts = nullptr, int extra = 0);
    // The text's length, or -1 for an index outside the rows.
    int GetItemText(int index, std::string* text) const;
    // Null outside the rows.
    const MCListItem* GetItem(int index) const;
    int GetCount() const { return static_cast<int>(m_arrItems.size()); }
    // The row becomes current and chosen.
    void SetCurSel(int index);
    void RemoveAllItems();
    // Stretches the row images to the client width (decoding them the first
    // time); after taking over the control, before it is first painted.
    void LoadRowImages();

    // The row at a client point: -1 past the rows and on a separator.
    int HitTest(int x, int y) const;

    int GetCurrentRow() const { return m_nCurrent; }
    int GetChosenRow() const { return m_nChosen; }
    int GetPendingRow() const { return m_nPending; }
    // The owner names the row that its UWM_MENU_CHOOSE is to confirm.
    void SetPendingRow(int row) { m_nPending = row; }
    bool IsConfirming() const { return m_bConfirming; }
    // Page Up and Page Down go to the parent as key-downs (the game detail
    // screen scrolls its description with them); otherwise they do nothing.
    void SetPageKeysToParent(bool forward) { m_bPageKeysToParent = forward; }
    // One pulse or sweep step, as the clock runs it while the list has the focus.
    void Step();

    // Turns a wheel message into key-downs posted to `hwnd`: one Up for each
    // notch forward, one Down for each notch back.
    static void PostWheelKeys(HWND hwnd, WPARAM wParam);

  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    // What the last step put on a row.
    enum class Shown { Rest, Pulse, Sweep };

    bool IsIndex(int row) const { return row >= 0 && row < GetCount(); }
    bool IsSeparator(int row) const;
    QRect RowRect(int row) const;
    void ScrollIntoView(int row);
    void InvalidateRow(int row);
    void MakeCurrent(int row);
    void StepUp();
    void StepDown();
    bool OnKeyDown(UINT key, LPARAM data);
    void Choose(int row);
    void PostChoice();
    void Pulse();
    void Sweep();
    void Show(Shown shown, int row);
    void OnSetFocus();
    void OnKillFocus();
    void Paint();
    void DrawRow(QPainter& painter, int row) const;
    void DrawRowText(QPainter& painter, const QRect& row, const std::string& text,
                     UINT ellipsis) const;

    std::vector<std::unique_ptr<MCListItem>> m_arrItems;
    int m_nCurrent = -1;
    int m_nPending = -1;
    int m_nChosen = -1;
    int m_nTopRow = 0;  // the first row in view
    COLORREF m_crText = hv::look::kStaticText;
    int m_nPulseAlpha = 0;
    bool m_bPulseRising = true;
    int m_nShinePosition = 0;
    bool m_bConfirming = false;
    // The end of the sweep (or the loss of the focus) has posted the choice.
    bool m_bChoicePosted = false;
    bool m_bPageKeysToParent = false;

    // Decoded once, stretched once per client width.
    CScaledImage m_imgChosen;
    CScaledImage m_imgRow;
    CScaledImage m_imgPulseBaseChosen;
    CScaledImage m_imgPulseLightChosen;
    CScaledImage m_imgPulseBase;
    CScaledImage m_imgPulseLight;
    CScaledImage m_imgShine;

    Shown m_shown = Shown::Rest;
    int m_nShownRow = -1;
    int m_nShownAlpha = 0;
    int m_nShownSweepX = 0;
};
