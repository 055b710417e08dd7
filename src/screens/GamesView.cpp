#include "screens/GamesView.h"

#include <algorithm>

#include "catalogue/GameInfoThread.h"

void CGamesView::AddCategory(const std::string& name) {
    if (name.empty() || std::find(m_strlstCategoryNames.begin(), m_strlstCategoryNames.end(),
                                  name) != m_strlstCategoryNames.end()) {
        return;
    }
    m_strlstCategoryNames.push_back(name);
}

LRESULT CGamesView::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == UWM_ICON_READY) {
        // The package text lives only for the duration of the send.
        m_arrIconsReady.emplace_back(reinterpret_cast<const char*>(lParam));
        Invalidate(FALSE);
        return 0;
    }
    return CBaseView::WindowProc(message, wParam, lParam);
}
