// halvory-skingen: draws every skin resource of the table into a folder,
// writes the rcc collection file for it and a contact sheet of the result.
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageWriter>

#include <cstdio>
#include <vector>

#include "Art.h"
#include "Painters.h"
#include "res/ResourceTable.h"

namespace {

struct Options {
    QString out;
    QString sheet;
    QString font;
    QString fontBold;
};

bool ParseArgs(const QStringList& args, Options* o) {
    for (int i = 1; i + 1 < args.size(); i += 2) {
        const QString& key = args[i];
        const QString& value = args[i + 1];
        if (key == "--out") {
            o->out = value;
        } else if (key == "--sheet") {
            o->sheet = value;
        } else if (key == "--font") {
            o->font = value;
        } else if (key == "--font-bold") {
            o->fontBold = value;
        } else {
            return false;
        }
    }
    return !o->out.isEmpty() && !o->font.isEmpty() && !o->fontBold.isEmpty();
}

QByteArray Encode(const QImage& img, const char* format, int quality) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (quality >= 0) {
        writer.setQuality(quality);
    }
    if (!writer.write(img)) {
        return {};
    }
    return bytes;
}

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Writes only when the bytes differ, so unchanged art does not trigger rebuilds downstream.
bool WriteFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (QFileInfo::exists(path) && ReadFile(path) == bytes) {
        return true;
    }
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QString Name(const hv::ResourceSpec& s) {
    return QStringLiteral("%1 %2").arg(QString::fromLatin1(s.type.data(), s.type.size())).arg(s.id);
}

QByteArray AnimationInfo(const hv::ResourceSpec& s) {
    return QStringLiteral(
               "{\"type\": \"AVI\", \"id\": %1, \"frames\": %2, \"width\": %3, \"height\": %4, "
               "\"fps\": %5, \"layout\": \"horizontal-strip\", \"key\": %6}\n")
        .arg(s.id)
        .arg(s.frames)
        .arg(s.width)
        .arg(s.height)
        .arg(s.fps)
        .arg(s.keyed ? QStringLiteral("\"%1\"").arg(skin::kKey.name().toUpper())
                     : QStringLiteral("null"))
        .toUtf8();
}

// Turns a painted canvas into the stored form the table asks for.
QByteArray Store(const hv::ResourceSpec& s, const QImage& canvas) {
    if (s.type == "JPG") {
        return Encode(skin::Flatten(canvas, Qt::black).convertToFormat(QImage::Format_RGB888),
                      "JPG", 92);
    }
    if (s.type == "BITMAP" || (s.type == "AVI" && s.keyed)) {
        const QImage flat = s.keyed ? skin::ApplyKey(canvas) : skin::Flatten(canvas, skin::kMatte);
        return Encode(flat.convertToFormat(QImage::Format_RGB888), "PNG", -1);
    }
    return Encode(canvas.convertToFormat(QImage::Format_ARGB32), "PNG", -1);
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    Options opt;
    if (!ParseArgs(app.arguments(), &opt)) {
        std::fprintf(stderr,
                     "usage: halvory-skingen --out DIR --font REGULAR.ttf --font-bold BOLD.ttf "
                     "[--sheet SHEET.png]\n");
        return 2;
    }
    skin::RegisterFonts(opt.font, opt.fontBold);

    skin::PainterMap painters;
    skin::AddScreenPainters(painters);
    skin::AddControlPainters(painters);
    skin::AddAnimationPainters(painters);

    const QDir out(opt.out);
    QString qrc = QStringLiteral("<RCC>\n  <qresource prefix=\"/skin\">\n");
    std::vector<skin::SheetEntry> sheet;
    bool ok = true;

    auto add = [&](const std::string& file, const QByteArray& bytes) {
        if (bytes.isEmpty() || !WriteFile(out.filePath(QString::fromStdString(file)), bytes)) {
            std::fprintf(stderr, "halvory-skingen: cannot write %s\n", file.c_str());
            ok = false;
            return;
        }
        const QString name = QString::fromStdString(file);
        qrc += QStringLiteral("    <file alias=\"%1\">%1</file>\n").arg(name);
    };

    for (const hv::ResourceSpec& s : hv::kResourceTable) {
        const std::string file = hv::ResourceFileName(s.type, s.id);
        QByteArray bytes;
        if (s.type == "WAVE") {
            bytes = skin::SynthesiseClick();
        } else if (s.type == "FONT") {
            bytes = ReadFile(s.id == hv::res::kFontBold.id ? opt.fontBold : opt.font);
        } else {
            const auto painter = painters.find(skin::Key(s));
            if (painter == painters.end()) {
                std::fprintf(stderr, "halvory-skingen: nothing draws %s\n", qPrintable(Name(s)));
                ok = false;
                continue;
            }
            const QImage canvas = painter->second(s);
            const QSize expected(s.type == "AVI" ? s.width * s.frames : s.width, s.height);
            if (canvas.size() != expected) {
                std::fprintf(stderr, "halvory-skingen: %s drawn at the wrong size\n",
                             qPrintable(Name(s)));
                ok = false;
                continue;
            }
            bytes = Store(s, canvas);
            painters.erase(painter);
        }
        add(file, bytes);
        if (s.type == "AVI") {
            add(hv::ResourceFileName("AVIINFO", s.id), AnimationInfo(s));
        }
        sheet.push_back({&s, bytes});
    }
    for (const auto& [key, painter] : painters) {
        std::fprintf(stderr, "halvory-skingen: %s %u is drawn but not in the table\n",
                     key.first.c_str(), key.second);
        ok = false;
    }
    qrc += QStringLiteral("  </qresource>\n</RCC>\n");
    ok = ok && WriteFile(out.filePath(QStringLiteral("skin.qrc")), qrc.toUtf8());

    if (ok && !opt.sheet.isEmpty()) {
        const QByteArray png = Encode(skin::DrawContactSheet(sheet), "PNG", -1);
        ok = WriteFile(opt.sheet, png);
    }
    return ok ? 0 : 1;
}
