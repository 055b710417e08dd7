// The baseline for the client benchmarks: the least a Qt program does before
// its first frame reaches the screen. It quits after that frame unless given
// --stay, which the idle benchmark uses to measure it sitting still.
#include <QApplication>
#include <QPainter>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstring>

namespace {

class PlainWindow : public QWidget {
  public:
    explicit PlainWindow(bool stay) : m_stay(stay) {}

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(rect(), QColor(0x0A, 0x14, 0x24));
        if (!m_painted) {
            m_painted = true;
            std::puts("first-paint");
            std::fflush(stdout);
            if (!m_stay) {
                QTimer::singleShot(0, qApp, &QApplication::quit);
            }
        }
    }

  private:
    bool m_stay = false;
    bool m_painted = false;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    PlainWindow window(argc == 2 && std::strcmp(argv[1], "--stay") == 0);
    window.setWindowTitle("Plain Window");
    window.resize(800, 600);
    window.show();
    return app.exec();
}
