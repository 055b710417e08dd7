#include "ui/FrameWnd.h"

#include <QApplication>
#include <QCursor>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>
#include <algorithm>

class SizeTracker : public QObject {
  public:
    SizeTracker(CFrameWnd* frame, int edge)
        : m_frame(frame), m_edge(edge), m_start(QCursor::pos()) {
        m_frame->GetWindowRect(&m_startRect);
    }

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::MouseMove) {
            const QPoint delta =
                static_cast<QMouseEvent*>(event)->globalPosition().toPoint() - m_start;
            RECT rect = m_startRect;
            if (m_edge == WMSZ_LEFT || m_edge == WMSZ_TOPLEFT || m_edge == WMSZ_BOTTOMLEFT) {
                rect.left += delta.x();
            }
            if (m_edge == WMSZ_RIGHT || m_edge == WMSZ_TOPRIGHT || m_edge == WMSZ_BOTTOMRIGHT) {
                rect.right += delta.x();
            }
            if (m_edge == WMSZ_TOP || m_edge == WMSZ_TOPLEFT || m_edge == WMSZ_TOPRIGHT) {
                rect.top += delta.y();
            }
            if (m_edge == WMSZ_BOTTOM || m_edge == WMSZ_BOTTOMLEFT || m_edge == WMSZ_BOTTOMRIGHT) {
                rect.bottom += delta.y();
            }
            m_frame->SizeTo(m_edge, rect);
            return true;
        }
        if (event->type() == QEvent::MouseButtonRelease) {
            if (QWidget* grabber = QWidget::mouseGrabber()) {
                grabber->releaseMouse();
            }
            qApp->removeEventFilter(this);
            return true;
        }
        return false;
    }

  private:
    CFrameWnd* m_frame;
    int m_edge;
    QPoint m_start;
    RECT m_startRect{};
};

CFrameWnd::CFrameWnd() = default;

CFrameWnd::~CFrameWnd() {
    if (m_tracker) {
        qApp->removeEventFilter(m_tracker.get());
    }
}

BOOL CFrameWnd::Create(const std::string& title, DWORD style, const RECT& rect) {
    if (!CreateEx(0, title, style & ~WS_CHILD, rect, nullptr, 0)) {
        return FALSE;
    }
    ApplyMinMaxInfo();
    return TRUE;
}

void CFrameWnd::ApplyMinMaxInfo() {
    MINMAXINFO info{};
    hv::Send<WM_GETMINMAXINFO>(GetSafeHwnd(), {}, &info);
    if (GetWidget() && info.ptMinTrackSize.x > 0 && info.ptMinTrackSize.y > 0) {
        GetWidget()->setMinimumSize(info.ptMinTrackSize.x, info.ptMinTrackSize.y);
    }
}

void CFrameWnd::RecalcLayout() {
    if (CWnd* pane = GetDlgItem(AFX_IDW_PANE_FIRST)) {
        RECT client;
        GetClientRect(&client);
        pane->MoveWindow(client);
    }
}

RECT CFrameWnd::SizeTo(int edge, RECT proposed) {
    hv::Send<WM_SIZING>(GetSafeHwnd(), static_cast<WPARAM>(edge), &proposed);
    MINMAXINFO info{};
    hv::Send<WM_GETMINMAXINFO>(GetSafeHwnd(), {}, &info);
    // The edge being dragged gives way to the minimum; the opposite one stays.
    const bool left = edge == WMSZ_LEFT || edge == WMSZ_TOPLEFT || edge == WMSZ_BOTTOMLEFT;
    const bool top = edge == WMSZ_TOP || edge == WMSZ_TOPLEFT || edge == WMSZ_TOPRIGHT;
    if (proposed.right - proposed.left < info.ptMinTrackSize.x) {
        if (left) {
            proposed.left = proposed.right - info.ptMinTrackSize.x;
        } else {
            proposed.right = proposed.left + info.ptMinTrackSize.x;
        }
    }
    if (proposed.bottom - proposed.top < info.ptMinTrackSize.y) {
        if (top) {
            proposed.top = proposed.bottom - info.ptMinTrackSize.y;
        } else {
            proposed.bottom = proposed.top + info.ptMinTrackSize.y;
        }
    }
    if (GetWidget()) {
        GetWidget()->setGeometry(proposed.left, proposed.top, proposed.right - proposed.left,
                                 proposed.bottom - proposed.top);
    }
    return proposed;
}

void CFrameWnd::StartSizing(int hitTest) {
    QWidget* widget = GetWidget();
    if (!widget || widget->isMaximized() || !(GetStyle() & WS_THICKFRAME)) {
        return;
    }
    if (m_tracker) {
        qApp->removeEventFilter(m_tracker.get());
    }
    m_tracker = std::make_unique<SizeTracker>(this, hitTest - HTLEFT + WMSZ_LEFT);
    qApp->installEventFilter(m_tracker.get());
    widget->grabMouse();
}

LRESULT CFrameWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_NCLBUTTONDOWN:
            if (wParam == HTCAPTION) {
                if (GetWidget() && GetWidget()->windowHandle()) {
                    GetWidget()->windowHandle()->startSystemMove();
                }
            } else if (wParam >= HTLEFT && wParam <= HTBOTTOMRIGHT) {
                StartSizing(static_cast<int>(wParam));
            }
            return 0;
        case WM_SIZE: {
            const LRESULT result = CWnd::WindowProc(message, wParam, lParam);
            RecalcLayout();
            return result;
        }
        default: return CWnd::WindowProc(message, wParam, lParam);
    }
}
