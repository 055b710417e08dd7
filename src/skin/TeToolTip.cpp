#include "skin/TeToolTip.h"

#include <QCursor>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QWidget>
#include <algorithm>

#include "skin/Look.h"
#include "skin/SkinSet.h"

namespace {

constexpr int kPointerHeight = 8;
constexpr int kPointerHalfWidth = 6;
constexpr int kPadding = 6;
constexpr int kCorner = 6;
constexpr int kBelowCursor = 18;  // clear of the pointer's own image

QFont TipFont() {
    return GetSkin() ? GetSkin()->Font(13, 400) : QFont();
}

// A rounded body under a pointer that points up at (pointerX, 0).
QPainterPath Balloon(const QSize& size, int pointerX) {
    QPainterPath body;
    body.addRoundedRect(QRectF(0, kPointerHeight, size.width(), size.height() - kPointerHeight),
                        kCorner, kCorner);
    QPainterPath pointer;
    pointer.moveTo(pointerX - kPointerHalfWidth, kPointerHeight + 1);
    pointer.lineTo(pointerX, 0);
    pointer.lineTo(pointerX + kPointerHalfWidth, kPointerHeight + 1);
    pointer.closeSubpath();
    return body.united(pointer);
}

}  // namespace

CTeToolTip::~CTeToolTip() {
    DestroyWindow();
}

BOOL CTeToolTip::Create() {
    if (!CreateEx(0, "", WS_POPUP, RECT{0, 0, 0, 0}, nullptr, 0)) {
        return FALSE;
    }
    QWidget* widget = GetWidget();
    widget->setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus);
    widget->setAttribute(Qt::WA_ShowWithoutActivating);
    widget->setAttribute(Qt::WA_TransparentForMouseEvents);
    widget->setFocusPolicy(Qt::NoFocus);
    return TRUE;
}

void CTeToolTip::AddTool(HWND window, UINT area, const std::string& text) {
    m_tips[{window, area}] = text;
}

void CTeToolTip::RelayEvent(const MSG& msg, UINT area) {
    switch (msg.message) {
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDBLCLK:
        case WM_MBUTTONDBLCLK: Hide(); return;
        case WM_MOUSEMOVE: break;
        default: return;
    }
    if (msg.pt.x == m_ptCursor.x && msg.pt.y == m_ptCursor.y) {
        return;
    }
    Hide();
    m_ptCursor = msg.pt;
    auto tip = m_tips.find({msg.hwnd, area});
    if (tip == m_tips.end()) {
        tip = m_tips.find({msg.hwnd, kWholeWindow});
    }
    if (tip == m_tips.end()) {
        return;
    }
    m_strText = tip->second;
    m_nTimer = SetTimer(kDelayTimer, kDelayMs);
}

void CTeToolTip::Hide() {
    if (m_nTimer) {
        KillTimer(m_nTimer);
        m_nTimer = 0;
    }
    m_strText.clear();
    ShowWindow(SW_HIDE);
}

void CTeToolTip::Pop() {
    QWidget* widget = GetWidget();
    if (!widget || m_strText.empty()) {
        return;
    }
    const QFontMetrics metrics(TipFont());
    const QString text = QString::fromStdString(m_strText);
    const QSize size(metrics.horizontalAdvance(text) + 2 * kPadding + 2,
                     metrics.height() + 2 * kPadding + kPointerHeight);
    const QPoint cursor(m_ptCursor.x, m_ptCursor.y);
    QScreen* screen = QGuiApplication::screenAt(cursor);
    const QRect room = (screen ? screen : QGuiApplication::primaryScreen())->availableGeometry();
    // Under the cursor, pulled back inside the screen; the pointer stays on the cursor.
    const int x = std::clamp(cursor.x() - 2 * kPointerHalfWidth, room.left(),
                             std::max(room.left(), room.right() - size.width()));
    const int pointerMin = kCorner + kPointerHalfWidth;
    m_nPointerX =
        std::clamp(cursor.x() - x, pointerMin, std::max(pointerMin, size.width() - pointerMin));
    widget->setGeometry(QRect(QPoint(x, cursor.y() + kBelowCursor), size));
    widget->setMask(QRegion(Balloon(size, m_nPointerX).toFillPolygon().toPolygon()));
    ShowWindow(SW_SHOWNOACTIVATE);
    m_nTimer = SetTimer(kHideTimer, kHideCheckMs);
}

void CTeToolTip::Paint() {
    QWidget* widget = GetWidget();
    QPainter painter(widget);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPainterPath shape = Balloon(widget->size(), m_nPointerX);
    painter.fillPath(shape, ToQColor(hv::look::kNightHigh));
    painter.setPen(ToQColor(hv::look::kAccent));
    painter.drawPath(shape);
    painter.setFont(TipFont());
    painter.setPen(ToQColor(hv::look::kStaticText));
    painter.drawText(QRect(0, kPointerHeight, widget->width(), widget->height() - kPointerHeight),
                     Qt::AlignCenter, QString::fromStdString(m_strText));
}

LRESULT CTeToolTip::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: Paint(); return 0;
        case WM_ERASEBKGND: return 1;
        case WM_TIMER:
            if (wParam == kDelayTimer) {
                KillTimer(kDelayTimer);
                m_nTimer = 0;
                Pop();
                return 0;
            }
            if (wParam == kHideTimer) {
                const QPoint cursor = QCursor::pos();
                if (cursor.x() != m_ptCursor.x || cursor.y() != m_ptCursor.y) {
                    Hide();
                }
                return 0;
            }
            break;
        default: break;
    }
    return CWnd::WindowProc(message, wParam, lParam);
}
