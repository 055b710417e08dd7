// The frame's modeless wait dialog.
#pragma once

#include "ui/Wnd.h"

class CPleaseWaitDlg : public CWnd {
  public:
    BOOL Create(CWnd* parent);
    // 1 "Checking For Updates", any other value "Please Wait".
    void SetMode(int mode);
    int GetMode() const { return m_nMode; }

  private:
    int m_nMode = 0;
    class QLabel* m_label = nullptr;
};
