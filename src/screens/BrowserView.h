// CBrowserView: the web page screen. The frame's browser control shows a
// service page in its page area; "Continue Halvory" leads back to where the
// user came from.
#pragma once

#include <string>

#include "screens/BaseView.h"
#include "skin/AniButton.h"

class CBrowserView : public CBaseView {
  public:
    static constexpr UINT kTemplateId = 256;
    static constexpr int IDC_CONTINUE = 1114;
    static constexpr int IDC_PAGE_AREA = 1113;

    CBrowserView();

    // Shows the address; `previous` is the screen that was active before.
    void ShowPage(const std::string& address, CBaseView* previous);
    // Back to the purchase question, the screen the page came from, or home.
    void ContinueAction();
    void ArrangeControls(BOOL rebuild) override;
    WORD OnAppCommand(int) override { return 0; }

    CBaseView* GetPreviousScreen() const { return m_pPrevious; }
    CAniButton& ContinueButton() { return m_btnContinue; }
    CWnd* PageArea() const { return GetDlgItem(IDC_PAGE_AREA); }

    // Set by the frame before every ShowPage.
    int m_bContinueButton = 1;
    int m_bReturnToPurchase = 0;
    int m_bLogoutOnBack = 0;

  protected:
    void OnInitialUpdate() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    CAniButton m_btnContinue;
    CBaseView* m_pPrevious = nullptr;
};
