// The games screen: categories, the tile grid and the summary panel.
#pragma once

#include <string>
#include <unordered_set>
#include <vector>

#include "screens/BaseView.h"

class CGamesView : public CBaseView {
  public:
    CGamesView() : CBaseView(104) {}

    // Lists a category once, in order of first appearance; empty names are
    // not categories.
    void AddCategory(const std::string& name);
    const std::vector<std::string>& CategoryNames() const { return m_strlstCategoryNames; }

    void RefreshGames() { ++m_nRefreshCount; }
    void RemoveAllGames() { m_nRefreshCount = 0; }
    int RefreshCount() const { return m_nRefreshCount; }
    // Packages whose icon arrived while this screen existed, oldest first.
    const std::vector<std::string>& IconsReady() const { return m_arrIconsReady; }

  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    int m_nRefreshCount = 0;
    std::vector<std::string> m_strlstCategoryNames;
    std::unordered_set<std::string> m_categorySet;
    std::vector<std::string> m_arrIconsReady;
};
