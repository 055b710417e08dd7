// CWnd: a window that handles the platform's WM_ messages. Each CWnd owns a
// Qt widget (its own drawn one, or a standard Qt control it wraps) and a
// window handle in the platform registry, so other threads can post and send
// to it. Qt events are translated once, here, into WM_ messages for
// WindowProc; what a handler leaves to DefWindowProc gets Qt's own handling.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "winapi/winuser.h"

class QEvent;
class QPaintEvent;
class QWidget;

class CWnd {
  public:
    CWnd();
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    // Creates a drawn window. Top-level unless style has WS_CHILD and a parent
    // is given. Sends WM_CREATE; a result of -1 destroys it again and fails.
    BOOL CreateEx(DWORD exStyle, const std::string& windowName, DWORD style, const RECT& rect,
                  CWnd* parent, UINT id);
    // Adopts a standard Qt control as this window (owned from then on).
    BOOL Attach(QWidget* widget, CWnd* parent, UINT id);
    // Gives up the widget without destroying it; the handle is gone.
    QWidget* Detach();
    // Takes over the parent's control `id`: its widget becomes this window's.
    BOOL SubclassDlgItem(UINT id, CWnd* parent);
    virtual BOOL DestroyWindow();

    HWND GetSafeHwnd() const { return m_hWnd; }
    QWidget* GetWidget() const { return m_widget; }
    static CWnd* FromHandle(HWND hwnd);
    // The window a widget belongs to: the nearest CWnd among it and its parents.
    static CWnd* FromWidget(const QWidget* widget);

    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Called for input aimed at this window or a child before it is handled;
    // TRUE swallows the message.
    virtual BOOL PreTranslateMessage(MSG* msg);

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

    BOOL ShowWindow(int showCmd);
    BOOL IsWindowVisible() const;
    BOOL EnableWindow(BOOL enable);
    BOOL IsWindowEnabled() const;
    void MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE);
    void MoveWindow(const RECT& rect, BOOL repaint = TRUE);
    // Moves and sizes unless SWP_NOMOVE / SWP_NOSIZE; the stacking order is
    // left alone. SWP_FRAMECHANGED asks WM_NCCALCSIZE for the client area
    // again; a window with a frame of its own then gets WM_NCPAINT after
    // each paint to draw it.
    BOOL SetWindowPos(int x, int y, int width, int height, UINT flags);
    void GetClientRect(RECT* rect) const;
    // Screen coordinates.
    void GetWindowRect(RECT* rect) const;
    void CenterWindow();
    BOOL GetWindowPlacement(WINDOWPLACEMENT* placement) const;
    BOOL BringWindowToTop();
    BOOL SetForegroundWindow();

    int GetDlgCtrlID() const { return m_id; }
    int SetDlgCtrlID(int id);
    CWnd* GetParent() const { return m_parent; }
    // Moves a child window under another parent; returns the old one.
    CWnd* SetParent(CWnd* parent);
    CWnd* GetDlgItem(int id) const;
    DWORD GetStyle() const { return m_style; }

    // A top-level window's title; a control's text.
    void SetWindowText(const std::string& text);
    std::string GetWindowText() const;

    UINT_PTR SetTimer(UINT_PTR id, UINT elapse);
    BOOL KillTimer(UINT_PTR id);

    void Invalidate(BOOL erase = TRUE);
    // Client coordinates.
    void InvalidateRect(const RECT& rect);
    void UpdateWindow();
    CWnd* SetFocus();
    static CWnd* GetFocus();

    // Inside a WM_PAINT handler: the bounding rectangle of the area to
    // repaint, in client coordinates, and TRUE when it is not empty. Outside
    // one: an empty rectangle and FALSE.
    BOOL GetUpdateRect(RECT* rect) const;

    // Translates one Qt event for this window; true when it is consumed.
    bool HandleQtEvent(QEvent* event);

  protected:
    // Called after the window is gone (WM_NCDESTROY).
    virtual void PostNcDestroy() {}
    // A control's notification to its parent, shown to the control first;
    // TRUE keeps it from the parent.
    virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam);

  private:
    void Register(QWidget* widget, CWnd* parent, UINT id, DWORD style);
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam, bool* defaultCalled);
    static LRESULT Procedure(void* context, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_hWnd = nullptr;
    QWidget* m_widget = nullptr;
    CWnd* m_parent = nullptr;
    int m_id = 0;
    DWORD m_style = 0;
    std::map<UINT_PTR, int> m_timers;  // our id -> Qt timer id
    const QPaintEvent* m_paintEvent = nullptr;
    // Left, top, right and bottom widths of the frame the window draws itself.
    RECT m_frame{0, 0, 0, 0};
    bool m_paintingDefault = false;
    bool* m_defaultCalled = nullptr;
    bool m_destroying = false;
    std::unique_ptr<class WndEventBridge> m_bridge;
    std::vector<CWnd*> m_children;
    int m_eventDepth = 0;
};
