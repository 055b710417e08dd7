// The "Connecting..." screen shown while a login runs.
#pragma once

#include "screens/BaseView.h"
#include "skin/AniButton.h"
#include "skin/AviCtrl.h"
#include "skin/Panel.h"

class CLoginStatusView : public CBaseView {
  public:
    static constexpr UINT kTemplateId = 150;
    static constexpr UINT kStatusId = 1006;
    static constexpr UINT kCancelId = 1007;
    static constexpr UINT kAnimationId = 1008;
    static constexpr UINT kPanelId = 1031;
    static constexpr const char* kConnecting = "Connecting...";

    CLoginStatusView();
    ~CLoginStatusView() override;

    void OnInitialUpdate() override;
    void ArrangeControls(BOOL rebuild) override;

    // The animation from its first frame, for ever, and the button's pulse.
    void StartAnimation();
    void StopAnimation();
    bool IsAnimating() const { return m_bAnimating; }

    CAviCtrl& Animation() { return m_animation; }
    CAniButton& CancelButton() { return m_btnCancel; }
    CPanel& Panel() { return m_panel; }

  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    void PostCancel();

    CAniButton m_btnCancel;
    CPanel m_panel;
    CAviCtrl m_animation;
    bool m_bAnimating = false;
};
