#include "ui/DrawText.h"

#include <QFontMetrics>
#include <QPainter>

namespace hv {

int DrawText(QPainter& painter, const std::string& text, QRect* rect, UINT flags) {
    const QFontMetrics metrics(painter.font());
    QString shown = QString::fromStdString(text);
    const bool single = flags & DT_SINGLELINE;
    if (single && (flags & (DT_WORD_ELLIPSIS | DT_END_ELLIPSIS))) {
        shown = metrics.elidedText(shown, Qt::ElideRight, rect->width());
    }
    int alignment = (flags & DT_CENTER)  ? Qt::AlignHCenter
                    : (flags & DT_RIGHT) ? Qt::AlignRight
                                         : Qt::AlignLeft;
    if (single) {
        alignment |= (flags & DT_VCENTER)  ? Qt::AlignVCenter
                     : (flags & DT_BOTTOM) ? Qt::AlignBottom
                                           : Qt::AlignTop;
    } else {
        alignment |= Qt::AlignTop;
        if (flags & DT_WORDBREAK) {
            alignment |= Qt::TextWordWrap;
        }
    }
    if (flags & DT_NOCLIP) {
        alignment |= Qt::TextDontClip;
    }
    if (flags & DT_CALCRECT) {
        const QRect needed = metrics.boundingRect(
            single ? QRect(rect->topLeft(), QSize(1 << 20, metrics.height())) : *rect,
            alignment & ~(Qt::AlignHCenter | Qt::AlignRight | Qt::AlignVCenter), shown);
        rect->setSize(needed.size());
        return needed.height();
    }
    QRect drawn;
    painter.drawText(*rect, alignment, shown, &drawn);
    return drawn.height();
}

}  // namespace hv
