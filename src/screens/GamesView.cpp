#include "screens/GamesView.h"

#include "catalogue/GameInfoThread.h"
#include "messages/Messages.h"

void CGamesView::AddCategory(const std::string& name) {
    // Every record names its categories again: look them up, not along the list.
    if (!name.empty() && m_categorySet.insert(name).second) {
        m_strlstCategoryNames.push_back(name);
    }
}

LRESULT CGamesView::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == UWM_ICON_READY) {
        // The package text lives only for the duration of the send.
        m_arrIconsReady.emplace_back(hv::LParam<UWM_ICON_READY>(lParam));
        Invalidate(FALSE);
        return 0;
    }
    return CBaseView::WindowProc(message, wParam, lParam);
}
