#include "skin/TBar.h"

#include <QCursor>
#include <QGuiApplication>
#include <QPainter>
#include <QStyleHints>
#include <QWidget>
#include <cstdlib>

#include "skin/SkinSet.h"
#include "ui/MessagePump.h"
#include "winapi/Log.h"

namespace {

// The hooks are per thread and carry no context: they serve the one bar.
CTBar* g_pBar = nullptr;
HHOOK g_hFollowHook = nullptr;
HHOOK g_hMouseHook = nullptr;

constexpr int kButtonSize = 16;
constexpr UINT kSlideStepMs = 15;  // the shared 100 ms clock would show two steps of a 200 ms slide

QRect ToQRect(const RECT& rect) {
    return QRect(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
}

POINT PointFrom(LPARAM lParam) {
    return POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
}

}  // namespace

CTBar::CTBar() = default;

CTBar::~CTBar() {
    // While this part of the object still handles WM_DESTROY.
    DestroyWindow();
}

BOOL CTBar::Create(CWnd* parent, UINT id) {
    if (!CreateEx(0, "", WS_CHILD | WS_VISIBLE, RECT{0, 0, 0, 0}, parent, id)) {
        return FALSE;
    }
    // A click on the bar leaves the keyboard with the screen it was on.
    GetWidget()->setFocusPolicy(Qt::NoFocus);
    return TRUE;
}

void CTBar::SetWindowButtonBitmap(WindowImage which, UINT bitmapId) {
    m_windowImages[which] = MaskKeyColour(LoadBitmapResource(bitmapId), m_crTransparent);
}

bool CTBar::Contains(const RECT& rect, POINT point) {
    return point.x >= rect.left && point.x < rect.right && point.y >= rect.top &&
           point.y < rect.bottom;
}

RECT CTBar::WindowButtonRect(WindowButton button) const {
    if ((button == kMaximise && !m_bMaximiseShown) || (button == kMinimise && !m_bMinimiseShown)) {
        return RECT{0, 0, 0, 0};
    }
    RECT client;
    GetClientRect(&client);
    // Right-aligned, 18 pixels apart, vertically centred.
    static constexpr int kFromRight[kWindowButtons] = {21, 39, 57};
    const int x = client.right - kFromRight[button];
    const int y = client.top + (client.bottom - client.top - kButtonSize) / 2;
    return RECT{x, y, x + kButtonSize, y + kButtonSize};
}

CTBar::WindowButton CTBar::WindowButtonAt(POINT point) const {
    for (int button = kClose; button < kWindowButtons; ++button) {
        if (Contains(WindowButtonRect(static_cast<WindowButton>(button)), point)) {
            return static_cast<WindowButton>(button);
        }
    }
    return kWindowButtons;
}

RECT CTBar::PlaceInParent(BOOL hidden) const {
    RECT client{0, 0, 0, 0};
    if (MainWindow()) {
        MainWindow()->GetClientRect(&client);
    }
    const int top = hidden ? client.top - m_nBarHeight : client.top;
    return RECT{client.left + kInset, top, client.right - kInset, top + m_nBarHeight};
}

UINT CTBar::MainWindowState() const {
    WINDOWPLACEMENT placement{};
    if (!MainWindow() || !MainWindow()->GetWindowPlacement(&placement)) {
        return SW_SHOWNORMAL;
    }
    return placement.showCmd;
}

DWORD CTBar::Now() const {
    return GetTickCount();
}

int CTBar::OnCreate() {
    if (g_pBar) {
        hv::LogError("a second top bar was created; only one can exist");
        return -1;
    }
    m_pOwner = dynamic_cast<IBarOwner*>(MainWindow());
    MoveWindow(PlaceInParent(FALSE));
    BringWindowToTop();
    SetTimer(kHideTimer, kHideCheckMs);
    g_pBar = this;
    const DWORD thread = GetCurrentThreadId();
    g_hFollowHook = SetWindowsHookExA(WH_CALLWNDPROC, &CTBar::FollowHook, nullptr, thread);
    g_hMouseHook = SetWindowsHookExA(WH_MOUSE, &CTBar::MouseHook, nullptr, thread);
    m_dwLastActivity = Now();
    return 0;
}

void CTBar::OnDestroy() {
    if (g_pBar != this) {
        return;
    }
    UnhookWindowsHookEx(g_hFollowHook);
    UnhookWindowsHookEx(g_hMouseHook);
    g_hFollowHook = nullptr;
    g_hMouseHook = nullptr;
    g_pBar = nullptr;
    KillTimer(kHideTimer);
    KillTimer(kSlideTimer);
    ShowCursorAgain();
}

LRESULT CTBar::FollowHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && g_pBar && g_pBar->MainWindow()) {
        const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (call->message == WM_SIZE && call->hwnd == g_pBar->MainWindow()->GetSafeHwnd()) {
            g_pBar->Follow();
        }
    }
    return CallNextHookEx(g_hFollowHook, code, wParam, lParam);
}

LRESULT CTBar::MouseHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && g_pBar) {
        g_pBar->OnMouseAnywhere(static_cast<UINT>(wParam),
                                reinterpret_cast<const MOUSEHOOKSTRUCT*>(lParam)->pt);
    }
    return CallNextHookEx(g_hMouseHook, code, wParam, lParam);
}

void CTBar::OnMouseAnywhere(UINT message, POINT screenPoint) {
    if (message == WM_MOUSEMOVE) {
        // A pointer resting on the table jitters along one axis; only a
        // movement in both counts as someone using the mouse.
        if (screenPoint.x != m_ptLastMouse.x && screenPoint.y != m_ptLastMouse.y) {
            if (m_bHidden) {
                Slide(FALSE);
            }
            m_dwLastActivity = Now();
        }
        if (screenPoint.x != m_ptLastMouse.x || screenPoint.y != m_ptLastMouse.y) {
            ShowCursorAgain();
        }
        // A release can be lost to the window manager's move; a movement
        // without the button says it is up.
        if (!(QGuiApplication::mouseButtons() & Qt::LeftButton)) {
            m_bButtonHeld = FALSE;
        }
    }
    m_ptLastMouse = screenPoint;
}

void CTBar::CheckHide() {
    const DWORD now = Now();
    if (m_bButtonHeld) {
        m_dwLastActivity = now;
    }
    if (now - m_dwLastActivity > m_nHideDelay && !m_bHidden) {
        Slide(TRUE);
        // Blank until the next movement; a busy cursor already shown is left alone.
        if (!m_bCursorHidden && !QGuiApplication::overrideCursor()) {
            QGuiApplication::setOverrideCursor(QCursor(Qt::BlankCursor));
            m_bCursorHidden = true;
        }
    }
}

void CTBar::ShowCursorAgain() {
    const QCursor* cursor = QGuiApplication::overrideCursor();
    // Someone else's cursor pushed over ours: ours goes once it is on top again.
    if (m_bCursorHidden && cursor && cursor->shape() == Qt::BlankCursor) {
        QGuiApplication::restoreOverrideCursor();
        m_bCursorHidden = false;
    } else if (m_bCursorHidden && !cursor) {
        m_bCursorHidden = false;
    }
}

void CTBar::Follow() {
    // In view again, whatever the hidden flag says: the next movement settles it.
    KillTimer(kSlideTimer);
    MoveWindow(PlaceInParent(FALSE));
    BringWindowToTop();
}

void CTBar::Slide(BOOL hide) {
    if (hide == m_bHidden || !GetWidget()) {
        return;
    }
    m_bHidden = hide;
    const QRect now = GetWidget()->geometry();
    m_rcSlideFrom = RECT{now.left(), now.top(), now.left() + now.width(), now.top() + now.height()};
    m_rcSlideTo = PlaceInParent(hide);
    m_dwSlideStart = GetTickCount();
    SetTimer(kSlideTimer, kSlideStepMs);
    StepSlide();
}

void CTBar::StepSlide() {
    const DWORD elapsed = GetTickCount() - m_dwSlideStart;
    if (elapsed >= kSlideMs) {
        KillTimer(kSlideTimer);
        MoveWindow(m_rcSlideTo, TRUE);
        return;
    }
    const auto edge = [&](int from, int to) {
        return from + (to - from) * static_cast<int>(elapsed) / static_cast<int>(kSlideMs);
    };
    // What the bar uncovers of its parent is repainted by the parent.
    MoveWindow(
        RECT{edge(m_rcSlideFrom.left, m_rcSlideTo.left), edge(m_rcSlideFrom.top, m_rcSlideTo.top),
             edge(m_rcSlideFrom.right, m_rcSlideTo.right),
             edge(m_rcSlideFrom.bottom, m_rcSlideTo.bottom)},
        FALSE);
}

void CTBar::ToggleMaximised() {
    CWnd* main = MainWindow();
    if (!main) {
        return;
    }
    const UINT state = MainWindowState();
    if (state == SW_SHOWMAXIMIZED) {
        main->ShowWindow(SW_SHOWNORMAL);
        if (m_pOwner) {
            m_pOwner->SetWasMaximised(0);
        }
    } else if (state == SW_SHOWNORMAL) {
        main->ShowWindow(SW_SHOWMAXIMIZED);
        if (m_pOwner) {
            m_pOwner->SetWasMaximised(1);
        }
    }
}

void CTBar::OnPaintBar(QPainter& painter, const QRect& area) {
    const QPoint cursor = GetWidget()->mapFromGlobal(QCursor::pos());
    const UINT state = MainWindowState();
    for (int index = kClose; index < kWindowButtons; ++index) {
        const auto button = static_cast<WindowButton>(index);
        const QRect rect = ToQRect(WindowButtonRect(button));
        if (rect.isEmpty() || !rect.intersects(area)) {
            continue;
        }
        WindowImage normal = kCloseNormal;
        if (button == kMinimise) {
            normal = kMinimiseNormal;
        } else if (button == kMaximise) {
            if (state == SW_SHOWMAXIMIZED) {
                normal = kRestoreNormal;
            } else if (state == SW_SHOWNORMAL) {
                normal = kMaximiseNormal;
            } else {
                continue;
            }
        }
        // Each normal image is followed by its pressed one.
        const QImage& normalImage = m_windowImages[normal];
        const QImage& pressedImage = m_windowImages[normal + 1];
        if (normalImage.isNull() || pressedImage.isNull()) {
            continue;
        }
        const bool pressed = m_bPressed[button] && rect.contains(cursor);
        painter.drawImage(rect.topLeft(), pressed ? pressedImage : normalImage);
    }
}

void CTBar::OnBarLButtonDown(UINT, POINT point) {
    m_bButtonHeld = TRUE;
    if (MainWindow()) {
        MainWindow()->BringWindowToTop();
    }
    const WindowButton button = WindowButtonAt(point);
    if (button != kWindowButtons) {
        m_bPressed[button] = TRUE;
        m_pressStart = button;
        InvalidateRect(WindowButtonRect(button));
        return;
    }
    // The drag is handed to the window manager once the pointer moves: it
    // takes the rest of the click, and a double click would go unseen.
    m_bCaptionPressed = TRUE;
    m_ptCaptionPress = point;
}

void CTBar::OnBarLButtonUp(UINT, POINT point) {
    m_bButtonHeld = FALSE;
    m_bCaptionPressed = FALSE;
    m_pressStart = kWindowButtons;
    for (int index = kClose; index < kWindowButtons; ++index) {
        const auto button = static_cast<WindowButton>(index);
        if (!m_bPressed[button]) {
            continue;
        }
        m_bPressed[button] = FALSE;
        const RECT rect = WindowButtonRect(button);
        InvalidateRect(rect);
        if (!Contains(rect, point) || !MainWindow()) {
            continue;
        }
        switch (button) {
            case kClose: MainWindow()->PostMessage(WM_CLOSE); break;
            case kMaximise: ToggleMaximised(); break;
            case kMinimise: MainWindow()->ShowWindow(SW_MINIMIZE); break;
            default: break;
        }
    }
}

void CTBar::OnBarMouseMove(UINT flags, POINT point) {
    if (m_bCaptionPressed && (flags & MK_LBUTTON) &&
        std::abs(point.x - m_ptCaptionPress.x) + std::abs(point.y - m_ptCaptionPress.y) >=
            QGuiApplication::styleHints()->startDragDistance()) {
        m_bCaptionPressed = FALSE;
        if (MainWindow()) {
            const QPoint screen = GetWidget()->mapToGlobal(QPoint(point.x, point.y));
            MainWindow()->PostMessage(WM_NCLBUTTONDOWN, HTCAPTION,
                                      MAKELPARAM(screen.x(), screen.y()));
        }
    }
    for (int index = kClose; index < kWindowButtons; ++index) {
        const auto button = static_cast<WindowButton>(index);
        const RECT rect = WindowButtonRect(button);
        const bool inside = Contains(rect, point);
        if (!inside && m_bPressed[button]) {
            m_bPressed[button] = FALSE;
            InvalidateRect(rect);
        } else if (inside && (flags & MK_LBUTTON) && !m_bPressed[button] &&
                   button == m_pressStart) {
            m_bPressed[button] = TRUE;
            InvalidateRect(rect);
        }
    }
}

void CTBar::OnBarLButtonDblClk(UINT flags, POINT point) {
    // On a button the second click is just another press of it.
    if (WindowButtonAt(point) != kWindowButtons) {
        OnBarLButtonDown(flags, point);
        return;
    }
    ToggleMaximised();
}

LRESULT CTBar::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            if (CWnd::WindowProc(message, wParam, lParam) == -1) {
                return -1;
            }
            return OnCreate();
        case WM_DESTROY: OnDestroy(); break;
        case WM_PAINT: {
            QPainter painter(GetWidget());
            OnPaintBar(painter, PaintArea(*this));
            return 0;
        }
        case WM_ERASEBKGND: return 1;
        case WM_LBUTTONDOWN:
            OnBarLButtonDown(static_cast<UINT>(wParam), PointFrom(lParam));
            return 0;
        case WM_LBUTTONUP: OnBarLButtonUp(static_cast<UINT>(wParam), PointFrom(lParam)); return 0;
        case WM_MOUSEMOVE: OnBarMouseMove(static_cast<UINT>(wParam), PointFrom(lParam)); return 0;
        case WM_LBUTTONDBLCLK:
            OnBarLButtonDblClk(static_cast<UINT>(wParam), PointFrom(lParam));
            return 0;
        case WM_TIMER:
            if (wParam == kHideTimer) {
                CheckHide();
                return 0;
            }
            if (wParam == kSlideTimer) {
                StepSlide();
                return 0;
            }
            break;
        default: break;
    }
    return CWnd::WindowProc(message, wParam, lParam);
}
