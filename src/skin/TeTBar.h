// The top bar that stands in for the missing window caption.
#pragma once

#include <vector>

#include "ui/Wnd.h"

class CTeTBar : public CWnd {
  public:
    // The button images, in the order the bar assigns them.
    BOOL LoadBitmaps(const std::vector<UINT>& resourceIds);
    BOOL Create(CWnd* frame, UINT id);
    void SetLogoutEnabled(BOOL enabled);
    BOOL IsLogoutEnabled() const { return m_bLogoutEnabled; }

  private:
    std::vector<UINT> m_bitmapIds;
    BOOL m_bLogoutEnabled = FALSE;
};
