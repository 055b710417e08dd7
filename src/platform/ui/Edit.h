// CEdit: the multi-line edit of a dialog template (ES_MULTILINE), Qt's own
// plain-text editor underneath. Only what its owners use: the line count at
// the current width, a vertical scroll by lines, and the mouse hit test.
#pragma once

#include <QColor>

#include "ui/Wnd.h"

class QWidget;

class CEdit : public CWnd {
  public:
    // Lines the text takes at the box's current width, wrapped lines counted;
    // at least 1.
    int GetLineCount() const;
    // Scrolls by whole lines, down for positive counts.
    void LineScroll(int lines);
    int GetFirstVisibleLine() const;
};

// The control behind an ES_MULTILINE template item: word-wrapped, no scroll
// bars; with ES_READONLY it has no background of its own and its text takes
// `readOnlyText`. Mouse input reaches it only where its window answers
// WM_NCHITTEST with HTCLIENT.
QWidget* CreateMultiLineEdit(QWidget* parent, DWORD style, const QColor& readOnlyText);
