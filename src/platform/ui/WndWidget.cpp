#include "ui/WndWidget.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include "ui/Wnd.h"

WndWidget::WndWidget(QWidget* parent, Qt::WindowFlags flags) : QWidget(parent, flags) {
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
}

void WndWidget::keyPressEvent(QKeyEvent* event) {
    event->accept();
}
void WndWidget::keyReleaseEvent(QKeyEvent* event) {
    event->accept();
}
void WndWidget::mousePressEvent(QMouseEvent* event) {
    event->accept();
}
void WndWidget::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
}
void WndWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
}
void WndWidget::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
}
void WndWidget::wheelEvent(QWheelEvent* event) {
    event->accept();
}

bool WndEventBridge::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_owner->GetWidget()) {
        return false;
    }
    return m_owner->HandleQtEvent(event);
}
