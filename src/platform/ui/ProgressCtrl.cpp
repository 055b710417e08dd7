#include "ui/ProgressCtrl.h"

#include <QPainter>
#include <QWidget>
#include <algorithm>
#include <utility>

void CProgressCtrl::SetRange(int lower, int upper) {
    SendMessage(PBM_SETRANGE32, static_cast<WPARAM>(lower), static_cast<LPARAM>(upper));
}

int CProgressCtrl::SetPos(int pos) {
    return static_cast<int>(SendMessage(PBM_SETPOS, static_cast<WPARAM>(pos)));
}

int CProgressCtrl::SetStep(int step) {
    return static_cast<int>(SendMessage(PBM_SETSTEP, static_cast<WPARAM>(step)));
}

int CProgressCtrl::StepIt() {
    return static_cast<int>(SendMessage(PBM_STEPIT));
}

int CProgressCtrl::MoveTo(int pos) {
    const int previous = m_nPos;
    m_nPos = std::clamp(pos, std::min(m_nLower, m_nUpper), std::max(m_nLower, m_nUpper));
    if (m_nPos != previous) {
        Invalidate(FALSE);
    }
    return previous;
}

void CProgressCtrl::Paint() {
    QPainter painter(GetWidget());
    const QRect area = GetWidget()->rect();
    painter.fillRect(area, QColor(0x1C, 0x2C, 0x48));
    const long long span = static_cast<long long>(m_nUpper) - m_nLower;
    if (span > 0) {
        const auto filled =
            static_cast<int>(area.width() * (m_nPos - static_cast<long long>(m_nLower)) / span);
        painter.fillRect(QRect(0, 0, filled, area.height()), QColor(0x3F, 0xC1, 0xFF));
    }
}

LRESULT CProgressCtrl::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case PBM_SETRANGE:
        case PBM_SETRANGE32: {
            const LRESULT previous = MAKELPARAM(m_nLower, m_nUpper);
            if (message == PBM_SETRANGE) {
                m_nLower = LOWORD(lParam);
                m_nUpper = HIWORD(lParam);
            } else {
                m_nLower = static_cast<int>(wParam);
                m_nUpper = static_cast<int>(lParam);
            }
            MoveTo(m_nPos);
            Invalidate(FALSE);
            return previous;
        }
        case PBM_SETPOS: return MoveTo(static_cast<int>(wParam));
        case PBM_GETPOS: return m_nPos;
        case PBM_SETSTEP: return std::exchange(m_nStep, static_cast<int>(wParam));
        case PBM_STEPIT: {
            const long long span = static_cast<long long>(m_nUpper) - m_nLower;
            long long next = static_cast<long long>(m_nPos) + m_nStep;
            if (span > 0 && (next > m_nUpper || next < m_nLower)) {
                next = m_nLower + ((next - m_nLower) % span + span) % span;
            }
            return MoveTo(static_cast<int>(next));
        }
        case WM_PAINT: Paint(); return 0;
        default: return CWnd::WindowProc(message, wParam, lParam);
    }
}
