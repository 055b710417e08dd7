#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QPainter>
#include <QTimer>
#include <QWidget>

namespace {

// The whole game: a title screen that closes on Escape.
class GameWindow : public QWidget {
  public:
    explicit GameWindow(QString name) : m_name(std::move(name)) {
        setWindowTitle(m_name);
        resize(640, 400);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QLinearGradient bg(0, 0, 0, height());
        bg.setColorAt(0, QColor(0x0b, 0x14, 0x2a));
        bg.setColorAt(1, QColor(0x03, 0x07, 0x12));
        p.fillRect(rect(), bg);
        p.setPen(QPen(QColor(0x35, 0xd6, 0xf0), 3));
        p.drawRoundedRect(rect().adjusted(20, 20, -20, -20), 16, 16);
        QFont title = font();
        title.setPointSize(28);
        title.setBold(true);
        p.setFont(title);
        p.setPen(QColor(0xee, 0xf6, 0xff));
        p.drawText(rect().adjusted(40, 40, -40, -80), Qt::AlignCenter | Qt::TextWordWrap, m_name);
        QFont small = font();
        small.setPointSize(11);
        p.setFont(small);
        p.setPen(QColor(0x8f, 0xb8, 0xd8));
        p.drawText(rect().adjusted(40, 0, -40, -40), Qt::AlignHCenter | Qt::AlignBottom,
                   QStringLiteral("Press Esc to quit"));
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Escape) {
            close();
        }
    }

  private:
    QString m_name;
};

// Launched by the engine, the game sees only its environment: tests use it to
// have the game close itself and to learn that it ran.
void Record(const QString& line) {
    const QByteArray path = qgetenv("HALVORY_DEMO_GAME_LOG");
    QFile log(QString::fromLocal8Bit(path));
    if (!path.isEmpty() && log.open(QIODevice::Append)) {
        log.write((line + QLatin1Char('\n')).toUtf8());
    }
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QString name;
    bool closeAfterSet = false;
    int closeAfter =
        qEnvironmentVariableIntValue("HALVORY_DEMO_GAME_CLOSE_AFTER_MS", &closeAfterSet);
    if (!closeAfterSet) {
        closeAfter = -1;
    }
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--close-after") && i + 1 < args.size()) {
            closeAfter = args[++i].toInt();
        } else if (args[i] == QLatin1String("--name-file") && i + 1 < args.size()) {
            QFile f(args[++i]);
            if (f.open(QIODevice::ReadOnly)) {
                name = QString::fromUtf8(f.readAll()).trimmed();
            }
        } else {
            name = args[i];
        }
    }
    if (name.isEmpty()) {
        // Installed games carry their name in a file beside the program.
        QFile f(QCoreApplication::applicationDirPath() + QStringLiteral("/game.txt"));
        if (f.open(QIODevice::ReadOnly)) {
            name = QString::fromUtf8(f.readAll()).trimmed();
        }
    }
    if (name.isEmpty()) {
        name = QStringLiteral("Halvory Demo Game");
    }
    GameWindow window(name);
    window.show();
    Record(QStringLiteral("started: ") + name);
    if (closeAfter >= 0) {
        QTimer::singleShot(closeAfter, &window, &QWidget::close);
    }
    const int code = app.exec();
    Record(QStringLiteral("closed: ") + name);
    return code;
}
