#include "skin/TeEdit.h"

#include <QCursor>
#include <QLineEdit>
#include <QPainter>
#include <QWidget>

#include "skin/SkinSet.h"

CTeEdit::~CTeEdit() {
    DestroyWindow();
}

void CTeEdit::LoadImages(const std::array<UINT, 2 * kSides>& bitmapIds) {
    for (int side = 0; side < kSides; ++side) {
        m_emphasised[side] =
            CScaledImage(MaskKeyColour(LoadBitmapResource(bitmapIds[side]), hv::look::kKeyColour));
        m_normal[side] = CScaledImage(
            MaskKeyColour(LoadBitmapResource(bitmapIds[kSides + side]), hv::look::kKeyColour));
    }
}

BOOL CTeEdit::Attach(UINT id, CWnd* parent) {
    CWnd* item = parent ? parent->GetDlgItem(static_cast<int>(id)) : nullptr;
    if (auto* edit = item ? qobject_cast<QLineEdit*>(item->GetWidget()) : nullptr) {
        edit->setFrame(false);
    }
    if (!SubclassDlgItem(id, parent)) {
        return FALSE;
    }
    // The client area shrinks by the strips at once.
    SetWindowPos(0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
    return TRUE;
}

int CTeEdit::BorderWidth(Side side) const {
    const QImage& image = m_normal[side].Source();
    return side == kLeft || side == kRight ? image.width() : image.height();
}

bool CTeEdit::IsEmphasised() const {
    return m_bHot || GetFocus() == this;
}

void CTeEdit::PaintFrame() {
    QWidget* widget = GetWidget();
    const int left = BorderWidth(kLeft);
    const int top = BorderWidth(kTop);
    const int right = widget->width() - BorderWidth(kRight);
    const int bottom = widget->height() - BorderWidth(kBottom);
    std::array<QRect, kSides> strips;
    strips[kTop] = QRect(0, 0, widget->width(), top);
    strips[kBottom] = QRect(0, bottom, widget->width(), widget->height() - bottom);
    strips[kLeft] = QRect(0, top, left, bottom - top);
    strips[kRight] = QRect(right, top, widget->width() - right, bottom - top);
    const auto& images = IsEmphasised() ? m_emphasised : m_normal;
    QPainter painter(widget);
    painter.setClipRect(PaintArea(*this));
    for (int side = 0; side < kSides; ++side) {
        if (!images[side].IsNull() && !strips[side].isEmpty()) {
            painter.drawImage(strips[side].topLeft(), images[side].At(strips[side].size()));
        }
    }
}

void CTeEdit::OnHoverCheck() {
    RECT window;
    GetWindowRect(&window);
    const QPoint cursor = QCursor::pos();
    if (cursor.x() < window.left || cursor.x() >= window.right || cursor.y() < window.top ||
        cursor.y() >= window.bottom) {
        KillTimer(kHoverTimer);
        m_bHot = 0;
        Invalidate(FALSE);
    }
}

LRESULT CTeEdit::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_NCCALCSIZE: {
            RECT* rect = hv::LParam<WM_NCCALCSIZE>(lParam);
            rect->left += BorderWidth(kLeft);
            rect->top += BorderWidth(kTop);
            rect->right -= BorderWidth(kRight);
            rect->bottom -= BorderWidth(kBottom);
            return 0;
        }
        case WM_NCPAINT: PaintFrame(); return 0;
        case WM_MOUSEMOVE:
            if (!m_bHot) {
                m_bHot = 1;
                Invalidate(FALSE);
                SetTimer(kHoverTimer, kHoverCheckMs);
            }
            break;
        case WM_TIMER:
            if (wParam == kHoverTimer) {
                OnHoverCheck();
                return 0;
            }
            break;
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
        case WM_ACTIVATE: {
            const LRESULT result = CWnd::WindowProc(message, wParam, lParam);
            Invalidate(FALSE);
            return result;
        }
        case WM_DESTROY:
            if (m_bHot) {
                KillTimer(kHoverTimer);
            }
            break;
        default: break;
    }
    return CWnd::WindowProc(message, wParam, lParam);
}
