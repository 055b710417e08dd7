// The web page screen: a service page in the hosted browser.
#pragma once

#include <string>

#include "screens/BaseView.h"

class CBrowserView : public CBaseView {
  public:
    CBrowserView() : CBaseView(256) {}

    // Shows the address; `previous` is the screen that was active before.
    void ShowPage(const std::string& address, CBaseView* previous);
    // Back to the screen the page was opened from.
    void ContinueAction();
    WORD OnAppCommand(int) override { return 0; }

    CBaseView* GetPreviousScreen() const { return m_pPrevious; }
    const std::string& GetAddress() const { return m_strAddress; }

    int m_bContinueButton = 0;
    int m_bLogoutOnBack = 0;
    int m_bReturnToPurchase = 0;

  private:
    CBaseView* m_pPrevious = nullptr;
    std::string m_strAddress;
};
