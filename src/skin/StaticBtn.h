// CStaticBtn: a small image button (the scroll arrows). Four state images;
// the arrow keys move the focus; a click is reported when the mouse button
// is released.
#pragma once

#include <QFont>
#include <QImage>

#include "skin/Look.h"
#include "ui/Wnd.h"

class CStaticBtn : public CWnd {
  public:
    void SetNormalBitmap(UINT id) { m_normal = LoadState(id); }
    void SetPressedBitmap(UINT id) { m_pressed = LoadState(id); }
    void SetHighlightBitmap(UINT id) { m_highlight = LoadState(id); }
    void SetDisabledBitmap(UINT id) { m_disabled = LoadState(id); }
    void SetTextFlag(BOOL draw) { m_bText = draw; }
    void SetFont(const QFont& font) { m_font = font; }
    void SetAlignment(DWORD staticStyle) { m_style = staticStyle; }

    // The image the current state shows, its key colour transparent (null
    // when that state has none).
    const QImage& CurrentImage() const;
    bool IsPressed() const { return m_bPressed; }
    bool IsHover() const { return m_bHover; }
    // The mouse moved on elsewhere in the owner: drop the highlight.
    void ClearHover();

  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    BOOL PreTranslateMessage(MSG* msg) override;

  private:
    // Keyed once here, so painting is a plain draw.
    QImage LoadState(UINT id) const;
    void Paint();
    // Tab forwards or backwards through the parent's controls.
    void MoveFocus(bool forward);

    BOOL m_bText = TRUE;
    COLORREF m_crBackground = 0x000000;
    COLORREF m_crText = 0xFFFFFF;
    COLORREF m_crTransparent = hv::look::kKeyColour;
    QImage m_normal;
    QImage m_pressed;
    QImage m_highlight;
    QImage m_disabled;
    QFont m_font;
    DWORD m_style = 0;
    bool m_bPressed = false;
    bool m_bHover = false;
};
