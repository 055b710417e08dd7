// CProgressCtrl: a progress bar drawn by this program, keeping range,
// position and step as the platform's progress control does. The operations
// go through the control's messages, so a derived window sees them.
#pragma once

#include "ui/Wnd.h"

class CProgressCtrl : public CWnd {
  public:
    void SetRange(int lower, int upper);
    // Returns the previous position; the new one is kept within the range.
    int SetPos(int pos);
    int GetPos() const { return m_nPos; }
    // Returns the previous step.
    int SetStep(int step);
    // Advances by the step, starting over from the range's other end once it
    // runs past it; returns the previous position.
    int StepIt();

  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    void Paint();
    // Changes the position and repaints; returns the previous one.
    int MoveTo(int pos);

    int m_nLower = 0;
    int m_nUpper = 100;
    int m_nPos = 0;
    int m_nStep = 10;
};
