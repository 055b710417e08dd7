// CPleaseWaitDlg: the frame's modeless wait dialog. Its text ends in dots
// that advance every 500 ms while it is shown, on the shared animation clock.
#pragma once

#include <string>

#include "skin/AnimationClock.h"
#include "skin/ScaledImage.h"
#include "ui/Dialog.h"

class CPleaseWaitDlg : public CDialog {
  public:
    static constexpr UINT kTemplateId = 284;
    static constexpr DWORD kStepMs = 500;
    static_assert(kStepMs % CAnimationClock::kStepMs == 0, "the dots move on clock ticks");

    CPleaseWaitDlg();
    ~CPleaseWaitDlg() override;

    BOOL Create(CWnd* parent) { return CDialog::Create(kTemplateId, parent); }
    // 1: the checking-for-updates texts; any other value: please wait.
    void SetMode(int mode) { m_nMode = static_cast<uint16_t>(mode); }
    int GetMode() const { return m_nMode; }
    void Show(BOOL show);

    // The text of the cycle's step for a mode.
    static std::string CycleText(int mode, unsigned step);
    std::string CurrentText() const { return m_strCurrent; }
    bool IsAnimating() const { return m_bAnimating; }

    BOOL PreTranslateMessage(MSG* msg) override;

  protected:
    BOOL OnInitDialog() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    void StopAnimation();
    // On the clock exactly while animating and visible.
    void FollowClock(bool visible);
    void Tick();
    void ShowStep();
    void Paint();

    uint16_t m_nMode = 0;
    std::string m_strCurrent;
    bool m_bFitted[2] = {false, false};
    bool m_bAnimating = false;
    unsigned m_nStep = 0;
    unsigned m_nTicks = 0;  // clock ticks since the step was shown
    CScaledImage m_background;
};
