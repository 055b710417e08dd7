// CFrameWnd: the frameless top-level window that carries the screens. It
// has no caption or border of its own; moving and sizing are started with
// WM_NCLBUTTONDOWN and a hit-test code, and sizing asks WM_SIZING and
// WM_GETMINMAXINFO on every step, so the window can shape its own rectangle.
#pragma once

#include <memory>

#include "ui/Wnd.h"

#define AFX_IDW_PANE_FIRST 0xE900

class CFrameWnd : public CWnd {
  public:
    CFrameWnd();
    ~CFrameWnd() override;

    BOOL Create(const std::string& title, DWORD style, const RECT& rect);
    // The pane with id AFX_IDW_PANE_FIRST fills the client area.
    virtual void RecalcLayout();

    // Applies one step of a sizing drag from `edge` (WMSZ_*), proposed in
    // screen coordinates; returns the rectangle the window took.
    RECT SizeTo(int edge, RECT proposed);

  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    void ApplyMinMaxInfo();
    void StartSizing(int hitTest);

    std::unique_ptr<class SizeTracker> m_tracker;
    friend class SizeTracker;
};
