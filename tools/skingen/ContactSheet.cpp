// One picture of the whole bundle, decoded back from the stored bytes.
#include <QPainterPath>
#include <QtEndian>

#include <algorithm>
#include <cmath>

#include "Art.h"
#include "Painters.h"

namespace skin {
namespace {

constexpr int kColumns = 6;
constexpr int kCellW = 300;
constexpr int kCellH = 232;
constexpr int kBoxW = 272;
constexpr int kBoxH = 176;
constexpr int kMargin = 24;
constexpr int kHeader = 64;

void Checker(QPainter& p, const QRect& r) {
    p.save();
    p.setClipRect(r);
    for (int y = r.top(); y < r.bottom(); y += 8) {
        for (int x = r.left(); x < r.right(); x += 8) {
            const bool odd = (((x - r.left()) / 8) + ((y - r.top()) / 8)) % 2;
            p.fillRect(QRect(x, y, 8, 8),
                       odd ? QColor(0x3A, 0x3D, 0x42) : QColor(0x2E, 0x31, 0x36));
        }
    }
    p.restore();
}

// Magenta shown as transparent, the way the program draws it.
QImage Unkeyed(const QImage& img) {
    QImage out = img.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            if ((line[x] & 0xFFFFFF) == (kKey.rgb() & 0xFFFFFF)) {
                line[x] = 0;
            }
        }
    }
    return out;
}

// Largest size that fits the box; small images grow by whole steps so pixels stay crisp.
QRect FitInto(const QSize& size, const QRect& box) {
    QSize target = size;
    if (size.width() > box.width() || size.height() > box.height()) {
        target = size.scaled(box.size(), Qt::KeepAspectRatio);
    } else {
        const int step =
            std::max(1, std::min(box.width() / size.width(), box.height() / size.height()));
        target = size * std::min(step, 6);
    }
    target = target.expandedTo(QSize(1, 1));
    return QRect(box.left() + (box.width() - target.width()) / 2,
                 box.top() + (box.height() - target.height()) / 2, target.width(), target.height());
}

void DrawImage(QPainter& p, const QImage& img, const QRect& box) {
    const QRect at = FitInto(img.size(), box);
    const bool enlarged = at.width() > img.width();
    p.setRenderHint(QPainter::SmoothPixmapTransform, !enlarged);
    p.drawImage(at, img);
}

void DrawWave(QPainter& p, const QByteArray& wav, const QRect& box) {
    p.fillRect(box, QColor(0x14, 0x18, 0x1E));
    if (wav.size() <= 44) {
        return;
    }
    const auto* samples = reinterpret_cast<const uchar*>(wav.constData() + 44);
    const int frames = (wav.size() - 44) / 4;
    const int columns = box.width();
    p.setPen(kAccent);
    for (int x = 0; x < columns; ++x) {
        int lo = 0;
        int hi = 0;
        for (int i = x * frames / columns; i < (x + 1) * frames / columns; ++i) {
            const int v = qFromLittleEndian<int16_t>(samples + i * 4);
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
        const qreal mid = box.center().y();
        const qreal scale = box.height() / 2.0 / 32768.0;
        p.drawLine(QPointF(box.left() + x + 0.5, mid - hi * scale),
                   QPointF(box.left() + x + 0.5, mid - lo * scale));
    }
}

}  // namespace

QImage DrawContactSheet(const std::vector<SheetEntry>& entries) {
    int cells = 0;
    int wideRows = 0;
    for (const SheetEntry& e : entries) {
        if (e.entry->type == "AVI") {
            ++wideRows;
        } else {
            ++cells;
        }
    }
    const int rows = (cells + kColumns - 1) / kColumns + wideRows;
    QImage sheet(kMargin * 2 + kColumns * kCellW, kHeader + kMargin + rows * kCellH,
                 QImage::Format_RGB32);
    sheet.fill(QColor(0x1C, 0x1F, 0x24));
    QPainter p(&sheet);
    Prepare(p);
    p.setPen(kText);
    p.setFont(SkinFont(26, true));
    p.drawText(QPoint(kMargin, 44), QStringLiteral("Halvory skin"));
    p.setFont(SkinFont(15, false));
    p.setPen(kTextGrey);
    p.drawText(QPoint(kMargin + 200, 44),
               QStringLiteral("%1 resources  ·  magenta-keyed images shown with the key cleared")
                   .arg(entries.size()));

    int slot = 0;
    int y = kHeader;
    auto nextCell = [&](int span) {
        if (span > 1 && slot % kColumns != 0) {
            slot = 0;
            y += kCellH;
        }
        const QRect cell(kMargin + (slot % kColumns) * kCellW, y, kCellW * span, kCellH);
        slot += span;
        if (slot >= kColumns) {
            slot = 0;
            y += kCellH;
        }
        return cell;
    };

    for (const SheetEntry& e : entries) {
        const hv::ResourceSpec& s = *e.entry;
        const bool wide = s.type == "AVI";
        const QRect cell = nextCell(wide ? kColumns : 1);
        const QRect box(cell.left() + (kCellW - kBoxW) / 2 - 6, cell.top() + 8,
                        wide ? cell.width() - 2 * kMargin : kBoxW, kBoxH);
        Checker(p, box);
        p.setPen(QColor(0x4A, 0x4F, 0x57));
        p.setBrush(Qt::NoBrush);
        p.drawRect(box.adjusted(0, 0, -1, -1));

        QString detail;
        if (s.type == "WAVE") {
            DrawWave(p, e.bytes, box.adjusted(1, 1, -1, -1));
            detail = QStringLiteral("%1 bytes").arg(e.bytes.size());
        } else if (s.type == "FONT") {
            p.fillRect(box.adjusted(1, 1, -1, -1), QColor(0x14, 0x18, 0x1E));
            p.setFont(SkinFont(30, s.id == 2));
            p.setPen(kText);
            p.drawText(box, Qt::AlignCenter, QStringLiteral("Halvory Aa 0123"));
            detail = QStringLiteral("%1 bytes").arg(e.bytes.size());
        } else {
            QImage img = QImage::fromData(e.bytes);
            if (s.keyed) {
                img = Unkeyed(img);
            }
            if (wide) {
                const int shown = 6;
                const int gap = 10;
                const int frameW = (box.width() - gap * (shown + 1)) / shown;
                for (int i = 0; i < shown; ++i) {
                    const int frame = i * s.frames / shown;
                    const QImage one = img.copy(frame * s.width, 0, s.width, s.height);
                    DrawImage(p, one,
                              QRect(box.left() + gap + i * (frameW + gap), box.top() + 8, frameW,
                                    box.height() - 16));
                }
                detail = QStringLiteral("%1 x %2, %3 frames at %4 fps")
                             .arg(s.width)
                             .arg(s.height)
                             .arg(s.frames)
                             .arg(s.fps);
            } else {
                DrawImage(p, img, box.adjusted(6, 6, -6, -6));
                detail = QStringLiteral("%1 x %2").arg(img.width()).arg(img.height());
            }
            if (s.keyed) {
                detail += QStringLiteral(", key");
            }
        }
        p.setFont(SkinFont(15, true));
        p.setPen(kText);
        const QString name = QStringLiteral("%1 %2")
                                 .arg(QString::fromLatin1(s.type.data(), s.type.size()))
                                 .arg(s.id);
        p.drawText(QPoint(box.left(), box.bottom() + 22), name);
        p.setFont(SkinFont(12, false));
        p.setPen(kAccent);
        p.drawText(QPoint(box.left() + 112, box.bottom() + 21), detail);
        p.setPen(kTextGrey);
        const QString what = p.fontMetrics().elidedText(
            QString::fromUtf8(s.description.data(), static_cast<int>(s.description.size())),
            Qt::ElideRight, box.width());
        p.drawText(QPoint(box.left(), box.bottom() + 40), what);
    }
    return sheet;
}

}  // namespace skin
