#include "Games.h"

#include <QGuiApplication>

#include <cstdlib>
#include <iostream>

int main(int argc, char** argv) {
    // Drawing needs fonts but no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    hv::democontent::Options options;
    options.gameBinary =
        (QCoreApplication::applicationDirPath() + QStringLiteral("/halvory-demo-game"))
            .toStdString();
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        bool hasValue = i + 1 < args.size();
        if (args[i] == QLatin1String("--out") && hasValue) {
            options.out = args[++i].toStdString();
        } else if (args[i] == QLatin1String("--package-size") && hasValue) {
            options.packageSize = args[++i].toLongLong();
        } else if (args[i] == QLatin1String("--sized-package") && hasValue) {
            options.sizedPackage = args[++i].toStdString();
        } else if (args[i] == QLatin1String("--game-binary") && hasValue) {
            options.gameBinary = args[++i].toStdString();
        } else if (args[i] == QLatin1String("--upgrade-package") && hasValue) {
            options.upgradePackage = args[++i].toStdString();
        } else {
            options.out.clear();
            break;
        }
    }
    if (options.out.empty()) {
        std::cerr << "usage: halvory-democontent --out DIR [--package-size BYTES]"
                     " [--sized-package PACKAGE] [--game-binary FILE] [--upgrade-package FILE]\n";
        return 2;
    }
    try {
        hv::democontent::Generate(options);
    } catch (const std::exception& e) {
        std::cerr << "halvory-democontent: " << e.what() << "\n";
        return 1;
    }
    std::cout << "content written to " << options.out.string() << "\n";
    return 0;
}
