#include "skin/TeTBar.h"

BOOL CTeTBar::LoadBitmaps(const std::vector<UINT>& resourceIds) {
    m_bitmapIds = resourceIds;
    return TRUE;
}

BOOL CTeTBar::Create(CWnd* frame, UINT id) {
    RECT client{0, 0, 0, 0};
    frame->GetClientRect(&client);
    return CreateEx(0, "", WS_CHILD, RECT{0, 0, client.right, 0}, frame, id);
}

void CTeTBar::SetLogoutEnabled(BOOL enabled) {
    m_bLogoutEnabled = enabled;
    if (GetSafeHwnd()) {
        Invalidate(FALSE);
    }
}
