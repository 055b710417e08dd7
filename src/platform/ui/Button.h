// CButton: a push button drawn by this program. A click tells the parent
// with WM_COMMAND (id, BN_CLICKED), which the button sees first.
#pragma once

#include <QFont>

#include "ui/Wnd.h"

class QPainter;

class CButton : public CWnd {
  public:
    BOOL Create(const std::string& text, DWORD style, const RECT& rect, CWnd* parent, UINT id);
    void SetFont(const QFont& font);
    const QFont& GetFont() const { return m_font; }
    // As if the user had clicked it.
    void Click();

  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Paints the face; the plain look without skin.
    virtual void DrawItem(QPainter& painter);
    bool IsPressed() const { return m_bPressed; }

  private:
    QFont m_font;
    bool m_bPressed = false;
};
