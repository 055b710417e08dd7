// CDLStatCtrl: a plain static among the windows the frame forwards the
// engine's progress to; it only tells the sender whether a record came.
#pragma once

#include "ui/Wnd.h"

class CDLStatCtrl : public CWnd {
  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
};
