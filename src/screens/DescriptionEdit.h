// CDescriptionEdit: the game detail screen's description box. Read-only; the
// mouse never reaches its text, and the scrolling keys go to the screen,
// which scrolls it one line at a time.
#pragma once

#include "ui/Edit.h"

class CDescriptionEdit : public CEdit {
  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
};
