// CPleaseWaitDlg: the frame's modeless wait dialog. Its text ends in dots
// that a thread of its own advances every 500 ms while it is shown.
#pragma once

#include <memory>
#include <string>

#include "skin/ScaledImage.h"
#include "ui/Dialog.h"
#include "winapi/Thread.h"

class CPleaseWaitDlg : public CDialog {
  public:
    static constexpr UINT kTemplateId = 284;
    static constexpr DWORD kStepMs = 500;
    static constexpr DWORD kStopWaitMs = 600;

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
    bool IsAnimating() const;

    BOOL PreTranslateMessage(MSG* msg) override;

  protected:
    BOOL OnInitDialog() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    struct Animation;  // shared with its thread, which may outlive a stop
    void StopAnimation();
    void ShowStep();
    void Paint();

    uint16_t m_nMode = 0;
    std::string m_strCurrent;
    bool m_bFitted[2] = {false, false};
    unsigned m_nStep = 0;
    CScaledImage m_background;
    std::shared_ptr<Animation> m_pAnimation;
    hv::Thread m_thread;
};
