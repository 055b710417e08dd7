// The baseline for the start-up benchmark: the least a Qt program does before
// its first frame reaches the screen.
#include <QApplication>
#include <QPainter>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace {

class PlainWindow : public QWidget {
  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(rect(), QColor(0x0A, 0x14, 0x24));
        if (!painted_) {
            painted_ = true;
            std::puts("first-paint");
            std::fflush(stdout);
            QTimer::singleShot(0, qApp, &QApplication::quit);
        }
    }

  private:
    bool painted_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    PlainWindow window;
    window.setWindowTitle("Plain Window");
    window.resize(800, 600);
    window.show();
    return app.exec();
}
