// The widget behind a drawn CWnd. Input stays with the window it is aimed
// at, as on the target platform: nothing propagates to parent widgets.
#pragma once

#include <QObject>
#include <QWidget>

class CWnd;

class WndWidget : public QWidget {
  public:
    explicit WndWidget(QWidget* parent, Qt::WindowFlags flags = {});

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
};

// Feeds every event of one widget to its CWnd first.
class WndEventBridge : public QObject {
  public:
    explicit WndEventBridge(CWnd* owner) : m_owner(owner) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    CWnd* m_owner;
};
