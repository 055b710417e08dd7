// CTeTBar: the client's top bar. The window caption of CTBar on the skin's
// bar background, with the logo and the client's own back and logout
// buttons, and a tooltip for every button.
#pragma once

#include <QImage>
#include <vector>

#include "skin/ScaledImage.h"
#include "skin/TBar.h"
#include "skin/TeToolTip.h"

class CTeTBar : public CTBar {
  public:
    // What lies under a point of the bar: the tooltip's areas.
    enum Area : UINT {
        kNoArea = CTeToolTip::kWholeWindow,
        kCloseArea,
        kMaximiseArea,
        kRestoreArea,
        kMinimiseArea,
        kLogoArea,
        kLinkArea,
        kBackArea,
        kLogoutArea
    };

    ~CTeTBar() override;

    // The 18 button images: the eight window button images in CTBar's
    // order, then logo normal and pressed, link normal and pressed, and six
    // spares. Only the window buttons and the link are drawn.
    BOOL LoadBitmaps(const std::vector<UINT>& resourceIds);
    void SetLogoutEnabled(BOOL enabled);
    BOOL IsLogoutEnabled() const { return m_bLogoutEnabled; }
    void SetLinkShown(BOOL shown);

    UINT HitTest(POINT point) const;
    // Client coordinates; empty when the button is not shown.
    RECT LogoRect() const { return OwnButtonRect(kLogoArea); }
    RECT LinkRect() const { return OwnButtonRect(kLinkArea); }
    RECT BackRect() const { return OwnButtonRect(kBackArea); }
    RECT LogoutRect() const { return OwnButtonRect(kLogoutArea); }
    const CTeToolTip& ToolTip() const { return m_wndToolTip; }

  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    BOOL PreTranslateMessage(MSG* msg) override;

    void OnPaintBar(QPainter& painter, const QRect& area) override;
    void OnBarLButtonDown(UINT flags, POINT point) override;
    void OnBarLButtonUp(UINT flags, POINT point) override;
    void OnBarLButtonDblClk(UINT flags, POINT point) override;

  private:
    int OnCreate();
    RECT OwnButtonRect(Area area) const;
    void LoadSkinImages();

    BOOL m_bLogoShown = TRUE;
    BOOL m_bLinkShown = FALSE;
    BOOL m_bBackShown = TRUE;
    BOOL m_bLogoutShown = TRUE;
    QImage m_linkNormal;  // keyed once
    QImage m_linkPressed;
    BOOL m_bLinkPressed = FALSE;
    BOOL m_bBackPressed = FALSE;
    BOOL m_bLogoutPressed = FALSE;
    BOOL m_bLogoutEnabled = FALSE;
    CTeToolTip m_wndToolTip;
    // The skin's images, converted once; the background scaled once per width.
    CScaledImage m_background;
    QImage m_plate;
    QImage m_monogram;
    QImage m_back;
    QImage m_logout;
};
