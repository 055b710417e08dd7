// The games screen: categories, the tile grid and the summary panel.
#pragma once

#include "screens/BaseView.h"

class CGamesView : public CBaseView {
  public:
    CGamesView() : CBaseView(104) {}

    void RefreshGames() { ++m_nRefreshCount; }
    void RemoveAllGames() { m_nRefreshCount = 0; }
    int RefreshCount() const { return m_nRefreshCount; }

  private:
    int m_nRefreshCount = 0;
};
