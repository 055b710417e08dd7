#include "skin/AniButton.h"

#include <QCursor>
#include <QPainter>
#include <QWidget>

#include "skin/AnimationClock.h"
#include "skin/ClickSound.h"
#include "skin/SkinSet.h"
#include "ui/DrawText.h"

CAniButton::CAniButton() = default;

CAniButton::~CAniButton() {
    StopAnimation();
    DestroyWindow();
}

void CAniButton::SetImages(UINT normal, UINT glow, UINT sweep) {
    m_nNormalId = normal;
    m_nGlowId = glow;
    m_nSweepId = sweep;
    // Decoded on the first paint: most buttons are made long before they are seen.
    m_normal = m_glow = m_sweep = CScaledImage();
}

void CAniButton::StartAnimation() {
    if (!GetSafeHwnd() || !m_nNormalId || !m_nGlowId || !m_nSweepId) {
        return;
    }
    StopAnimation();
    m_nGlowLevel = 0;
    m_bGlowRising = true;
    m_nSweepPosition = 5;
    m_bAnimating = true;
    FollowClock(IsWindowVisible());
}

void CAniButton::StopAnimation() {
    // A click whose sweep did not finish is dropped, and so is one already
    // posted: restarted later, the button must not report it then.
    m_bClicked = false;
    m_nStaleClicks += m_nPostedClicks;
    m_nPostedClicks = 0;
    m_bAnimating = false;
    m_shown = Shown::Face;
    FollowClock(false);
}

void CAniButton::FollowClock(bool visible) {
    CAnimationClock& clock = CAnimationClock::Instance();
    if (m_bAnimating && visible) {
        if (!clock.IsSubscribed(this)) {
            clock.Subscribe(this, [this] { Step(); });
        }
    } else {
        clock.Unsubscribe(this);
    }
}

void CAniButton::DrawLabel(QPainter& painter, bool hot) const {
    const std::string text = GetWindowText();
    if (text.empty()) {
        return;
    }
    painter.setFont(GetFont());
    painter.setPen(ToQColor(hot ? m_crHighlightText : m_crNormalText));
    QRect area = GetWidget()->rect().adjusted(5, 0, -5, 0);
    hv::DrawText(painter, text, &area, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_WORD_ELLIPSIS);
}

void CAniButton::DrawItem(QPainter& painter) {
    if (!m_nNormalId) {
        return;
    }
    if (m_normal.IsNull()) {
        m_normal = CScaledImage(LoadBitmapResource(m_nNormalId));
        m_glow = CScaledImage(LoadBitmapResource(m_nGlowId));
        m_sweep = CScaledImage(LoadBitmapResource(m_nSweepId));
    }
    const QSize size = GetWidget()->size();
    painter.drawImage(0, 0, m_normal.At(size));
    switch (m_shown) {
        case Shown::Glow:
            painter.setOpacity(m_nShownGlow / 255.0);
            painter.drawImage(0, 0, m_glow.At(size));
            painter.setOpacity(1.0);
            DrawLabel(painter, m_bShownHot);
            return;
        case Shown::Sweep:
            painter.save();
            painter.setClipRect(
                QRect(QPoint(3, 5), QPoint(size.width() - 3 - 1, size.height() - 5 - 1)));
            painter.setOpacity(200 / 255.0);
            painter.drawImage(m_nShownSweepX, 0, m_sweep.At(size));
            painter.restore();
            DrawLabel(painter, true);
            return;
        case Shown::Face: DrawLabel(painter, GetFocus() == this); return;
    }
}

void CAniButton::Step() {
    if (!m_bAnimating) {
        return;
    }
    if (m_bClicked) {
        Sweep();
    } else {
        Pulse();
    }
}

void CAniButton::Pulse() {
    const bool hover = GetWidget()->rect().contains(GetWidget()->mapFromGlobal(QCursor::pos()));
    m_shown = Shown::Glow;
    m_nShownGlow = m_nGlowLevel;
    m_bShownHot = GetFocus() == this || hover;
    GetWidget()->update();

    if (m_bGlowRising) {
        m_nGlowLevel += 25;
        if (m_nGlowLevel >= 255) {
            m_nGlowLevel = 255;
            m_bGlowRising = false;
        }
    } else {
        m_nGlowLevel -= 25;
        if (m_nGlowLevel <= 0) {
            m_nGlowLevel = 0;
            m_bGlowRising = true;
        }
    }
}

void CAniButton::Sweep() {
    const int width = GetWidget()->width();
    const int x = m_nSweepPosition - width;
    m_shown = Shown::Sweep;
    m_nShownSweepX = x;
    GetWidget()->update();

    m_nSweepPosition += 100;
    if (x >= width && GetParent()) {
        // The shine has crossed the face: now the parent may hear of it.
        hv::Post<WM_COMMAND>(GetParent()->GetSafeHwnd(), MAKEWPARAM(GetDlgCtrlID(), BN_CLICKED),
                             GetSafeHwnd());
        ++m_nPostedClicks;
    }
}

BOOL CAniButton::OnChildNotify(UINT message, WPARAM wParam, LPARAM) {
    if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) {
        return FALSE;
    }
    if (m_nStaleClicks > 0) {
        --m_nStaleClicks;
        return TRUE;
    }
    if (!m_bClicked) {
        m_bClicked = true;
        PlayClickSound();
        return TRUE;
    }
    m_bClicked = false;
    m_nPostedClicks = 0;
    m_nGlowLevel = 0;
    m_bGlowRising = true;
    m_nSweepPosition = 5;
    return FALSE;
}

LRESULT CAniButton::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SHOWWINDOW: FollowClock(wParam != FALSE); break;
        case WM_DESTROY: StopAnimation(); break;
        default: break;
    }
    return CButton::WindowProc(message, wParam, lParam);
}
