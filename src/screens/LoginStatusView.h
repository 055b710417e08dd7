// The "Connecting..." screen shown while a login runs.
#pragma once

#include <atomic>

#include "screens/BaseView.h"

class CLoginStatusView : public CBaseView {
  public:
    CLoginStatusView() : CBaseView(150) {}

    void StartAnimation() { m_bAnimating = true; }
    // Called from the login worker as well.
    void StopAnimation() { m_bAnimating = false; }
    bool IsAnimating() const { return m_bAnimating; }

  private:
    std::atomic<bool> m_bAnimating{false};
};
