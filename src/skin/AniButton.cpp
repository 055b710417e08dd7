#include "skin/AniButton.h"

#include <QCursor>
#include <QPainter>
#include <QSoundEffect>
#include <QWidget>

#include "res/Resources.h"
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
}

void CAniButton::StartAnimation() {
    if (!GetSafeHwnd() || !m_nNormalId || !m_nGlowId || !m_nSweepId) {
        return;
    }
    StopAnimation();
    m_nGlowLevel = 0;
    m_bGlowRising = true;
    m_nSweepPosition = 5;
    // Scaled once here, not on every step.
    const QSize size = GetWidget()->size();
    m_normal = ScaleBitmap(LoadBitmapResource(m_nNormalId), size.width(), size.height());
    m_glow = ScaleBitmap(LoadBitmapResource(m_nGlowId), size.width(), size.height());
    m_sweep = ScaleBitmap(LoadBitmapResource(m_nSweepId), size.width(), size.height());
    m_bAnimating = true;
    SetTimer(kTimerId, kStepMs);
}

void CAniButton::StopAnimation() {
    KillTimer(kTimerId);
    m_bAnimating = false;
    m_normal = QImage();
    m_glow = QImage();
    m_sweep = QImage();
    m_frame = QImage();
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
    if (m_bAnimating && !m_frame.isNull()) {
        painter.drawImage(0, 0, m_frame);
        return;
    }
    if (!m_nNormalId) {
        return;
    }
    const QSize size = GetWidget()->size();
    painter.drawImage(0, 0,
                      ScaleBitmap(LoadBitmapResource(m_nNormalId), size.width(), size.height()));
    DrawLabel(painter, GetFocus() == this);
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
    m_frame = m_normal.copy();
    QPainter painter(&m_frame);
    painter.setOpacity(m_nGlowLevel / 255.0);
    painter.drawImage(0, 0, m_glow);
    painter.setOpacity(1.0);
    const bool hover = GetWidget()->rect().contains(GetWidget()->mapFromGlobal(QCursor::pos()));
    DrawLabel(painter, GetFocus() == this || hover);
    painter.end();
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
    const int height = GetWidget()->height();
    const int x = m_nSweepPosition - width;
    m_frame = m_normal.copy();
    QPainter painter(&m_frame);
    painter.setClipRect(QRect(QPoint(3, 5), QPoint(width - 3 - 1, height - 5 - 1)));
    painter.setOpacity(200 / 255.0);
    painter.drawImage(x, 0, m_sweep);
    painter.setOpacity(1.0);
    painter.setClipping(false);
    DrawLabel(painter, true);
    painter.end();
    GetWidget()->update();

    m_nSweepPosition += 100;
    if (x >= width && GetParent()) {
        // The shine has crossed the face: now the parent may hear of it.
        hv::Post<WM_COMMAND>(GetParent()->GetSafeHwnd(), MAKEWPARAM(GetDlgCtrlID(), BN_CLICKED),
                             GetSafeHwnd());
    }
}

BOOL CAniButton::OnChildNotify(UINT message, WPARAM wParam, LPARAM) {
    if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) {
        return FALSE;
    }
    if (!m_bClicked) {
        m_bClicked = true;
        PlayClick();
        return TRUE;
    }
    m_bClicked = false;
    m_nGlowLevel = 0;
    m_bGlowRising = true;
    m_nSweepPosition = 5;
    return FALSE;
}

void CAniButton::PlayClick() {
    static QSoundEffect* sound = [] {
        auto* effect = new QSoundEffect;
        effect->setSource(QUrl(QStringLiteral("qrc") + hv::ResourcePath(hv::res::kClickSound.type,
                                                                        hv::res::kClickSound.id)));
        return effect;
    }();
    sound->play();
}

LRESULT CAniButton::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER:
            if (wParam == kTimerId) {
                Step();
                return 0;
            }
            break;
        case WM_DESTROY: StopAnimation(); break;
        default: break;
    }
    return CButton::WindowProc(message, wParam, lParam);
}
