// The home screen: the menu on the left, a page area on the right.
#pragma once

#include "screens/BaseView.h"

class CHomeScreenView : public CBaseView {
  public:
    CHomeScreenView() : CBaseView(255) {}

    void ShowHome();
    void ShowWhatsNew();
    WORD OnAppCommand(int) override { return 0; }

    int m_nBrowsePending = 0;
    int m_nFlag2 = 0;
    int m_nFlag3 = 0;
};
