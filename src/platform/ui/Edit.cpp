#include "ui/Edit.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>
#include <algorithm>

namespace {

QPlainTextEdit* EditOf(const CWnd& wnd) {
    return qobject_cast<QPlainTextEdit*>(wnd.GetWidget());
}

// The viewport takes the mouse, not the editor: ask the editor's window
// where the point lies before Qt places a caret or selects.
class HitTestFilter : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::MouseMove: {
                auto* viewport = static_cast<QWidget*>(watched);
                CWnd* owner = CWnd::FromWidget(viewport->parentWidget());
                if (!owner) {
                    return false;
                }
                const QPoint global = static_cast<QMouseEvent*>(event)->globalPosition().toPoint();
                return owner->SendMessage(WM_NCHITTEST, 0, MAKELPARAM(global.x(), global.y())) !=
                       HTCLIENT;
            }
            default: return false;
        }
    }
};

}  // namespace

int CEdit::GetLineCount() const {
    const QPlainTextEdit* edit = EditOf(*this);
    if (!edit) {
        return 1;
    }
    const QTextDocument* document = edit->document();
    const qreal width = edit->viewport()->width() - 2 * document->documentMargin();
    QTextOption option = document->defaultTextOption();
    option.setWrapMode(edit->wordWrapMode());
    int lines = 0;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        QTextLayout layout(block.text(), edit->font());
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            ++lines;
        }
        layout.endLayout();
    }
    return std::max(lines, 1);
}

void CEdit::LineScroll(int lines) {
    if (QPlainTextEdit* edit = EditOf(*this)) {
        QScrollBar* bar = edit->verticalScrollBar();
        bar->setValue(bar->value() + lines);
    }
}

int CEdit::GetFirstVisibleLine() const {
    const QPlainTextEdit* edit = EditOf(*this);
    return edit ? edit->verticalScrollBar()->value() : 0;
}

QWidget* CreateMultiLineEdit(QWidget* parent, DWORD style, const QColor& readOnlyText) {
    auto* edit = new QPlainTextEdit(parent);
    edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    edit->setFrameShape(QFrame::NoFrame);
    // Lines start at the top edge, so a box sized to its lines shows them all.
    edit->document()->setDocumentMargin(0);
    // Focus comes from the keyboard only; a click goes through the hit test.
    edit->setFocusPolicy(Qt::TabFocus);
    edit->viewport()->installEventFilter(new HitTestFilter(edit));
    if (style & ES_READONLY) {
        edit->setReadOnly(true);
        edit->viewport()->setAutoFillBackground(false);
        edit->viewport()->setCursor(Qt::ArrowCursor);
        QPalette palette = edit->palette();
        palette.setColor(QPalette::Base, Qt::transparent);
        if (readOnlyText.isValid()) {
            palette.setColor(QPalette::Text, readOnlyText);
        }
        edit->setPalette(palette);
    }
    return edit;
}
