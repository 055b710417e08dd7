// CTBar: the caption of a window that has none of its own. A child along the
// top of its parent with the minimise, maximise or restore and close buttons;
// pressing anywhere else on it and moving drags the whole window, a double
// click there maximises or restores it. After a while without mouse movement anywhere in
// the client it slides up out of view and hides the mouse pointer, so that a
// full-screen picture stays clean; the next movement brings both back.
#pragma once

#include <QImage>
#include <array>

#include "skin/Palette.h"
#include "ui/Wnd.h"

class QPainter;
class QRect;

// What the bar asks of the window it is the caption of, beyond messages.
class IBarOwner {
  public:
    virtual ~IBarOwner() = default;
    virtual void GoBack() = 0;
    // 1 when the window is to come back maximised, 0 when restored.
    virtual void SetWasMaximised(int flag) = 0;
};

class CTBar : public CWnd {
  public:
    static constexpr UINT kHideTimer = 900;
    static constexpr UINT kSlideTimer = 901;
    static constexpr UINT kHideCheckMs = 1000;
    static constexpr DWORD kSlideMs = 200;
    static constexpr int kInset = 2;  // from the parent's left and right edges

    enum WindowButton { kClose, kMaximise, kMinimise, kWindowButtons };
    // The window button images, in the order their owner hands them over.
    enum WindowImage {
        kCloseNormal,
        kClosePressed,
        kMaximiseNormal,
        kMaximisePressed,
        kRestoreNormal,
        kRestorePressed,
        kMinimiseNormal,
        kMinimisePressed,
        kWindowImages
    };

    CTBar();
    ~CTBar() override;

    // A visible child of `parent` along its top edge. The parent is the
    // window the bar moves, sizes and closes; it may be an IBarOwner. Only
    // one bar can exist at a time.
    virtual BOOL Create(CWnd* parent, UINT id);
    void SetWindowButtonBitmap(WindowImage which, UINT bitmapId);

    BOOL IsHidden() const { return m_bHidden; }
    BOOL IsWindowButtonPressed(WindowButton button) const { return m_bPressed[button]; }
    // Client coordinates; empty for a button that is not shown.
    RECT WindowButtonRect(WindowButton button) const;
    // Where the bar belongs in its parent's client area, shown or slid out.
    RECT PlaceInParent(BOOL hidden) const;

  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // `area` is the part of the client area to repaint.
    virtual void OnPaintBar(QPainter& painter, const QRect& area);
    // Mouse-key flags (MK_*) and a point in client coordinates.
    virtual void OnBarLButtonDown(UINT flags, POINT point);
    virtual void OnBarLButtonUp(UINT flags, POINT point);
    virtual void OnBarMouseMove(UINT flags, POINT point);
    virtual void OnBarLButtonDblClk(UINT flags, POINT point);
    // Milliseconds, for the hide rule.
    virtual DWORD Now() const;

    CWnd* MainWindow() const { return GetParent(); }
    IBarOwner* Owner() const { return m_pOwner; }
    // SW_SHOWNORMAL, SW_SHOWMAXIMIZED or SW_SHOWMINIMIZED.
    UINT MainWindowState() const;
    void SetButtonHeld(BOOL held) { m_bButtonHeld = held; }
    // The window button under the point, or kWindowButtons.
    WindowButton WindowButtonAt(POINT point) const;
    static bool Contains(const RECT& rect, POINT point);

  private:
    int OnCreate();
    void OnDestroy();
    void CheckHide();
    void Follow();
    void Slide(BOOL hide);
    void StepSlide();
    void ToggleMaximised();
    void OnMouseAnywhere(UINT message, POINT screenPoint);
    void ShowCursorAgain();
    static LRESULT FollowHook(int code, WPARAM wParam, LPARAM lParam);
    static LRESULT MouseHook(int code, WPARAM wParam, LPARAM lParam);

    int m_nBarHeight = 30;
    DWORD m_nHideDelay = 5000;
    BOOL m_bMaximiseShown = TRUE;
    BOOL m_bMinimiseShown = TRUE;
    COLORREF m_crTransparent = hv::look::kKeyColour;
    std::array<QImage, kWindowImages> m_windowImages;  // keyed once
    BOOL m_bButtonHeld = FALSE;
    std::array<BOOL, kWindowButtons> m_bPressed{};
    // Only the button a press began on can be pressed by dragging back.
    WindowButton m_pressStart = kWindowButtons;
    BOOL m_bCaptionPressed = FALSE;
    POINT m_ptCaptionPress{0, 0};
    DWORD m_dwLastActivity = 0;
    POINT m_ptLastMouse{0, 0};
    BOOL m_bHidden = FALSE;
    bool m_bCursorHidden = false;
    RECT m_rcSlideFrom{};
    RECT m_rcSlideTo{};
    DWORD m_dwSlideStart = 0;
    IBarOwner* m_pOwner = nullptr;
};
