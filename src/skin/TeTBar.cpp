#include "skin/TeTBar.h"

#include <QPainter>
#include <QWidget>
#include <iterator>
#include <utility>

#include "image/CxImageQt.h"
#include "messages/Messages.h"
#include "res/ResourceTable.h"
#include "skin/Look.h"
#include "skin/SkinSet.h"

namespace {

constexpr size_t kBitmapCount = 18;
constexpr size_t kLinkNormalIndex = CTBar::kWindowImages + 2;

// The own buttons run from x = 28 along the top, each taking its width and
// the gap after it; one that is not shown takes no room.
struct OwnButton {
    int width;
    int advance;
};
constexpr int kOwnButtonsLeft = 28;
constexpr int kOwnButtonTop = 1;
constexpr int kOwnButtonBottom = 28;
constexpr OwnButton kLogo{40, 67};
constexpr OwnButton kLink{28, 38};
constexpr OwnButton kBack{28, 46};
constexpr OwnButton kLogout{28, 28};

// Where the skin's images sit, whatever the layout.
constexpr QPoint kMonogramAt(36, 2);
constexpr QPoint kBackAt(100, 3);
constexpr QPoint kLogoutAt(145, 3);

QRect ToQRect(const RECT& rect) {
    return QRect(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
}

QImage SkinPng(const hv::ResourceSpec& resource) {
    const CxImage* image = GetSkin() ? GetSkin()->Image(resource.id) : nullptr;
    return image ? ToQImage(*image).convertToFormat(QImage::Format_ARGB32_Premultiplied) : QImage();
}

void DrawAt(QPainter& painter, const QRect& area, const QPoint& at, const QImage& image) {
    if (!image.isNull() && area.intersects(QRect(at, image.size()))) {
        painter.drawImage(at, image);
    }
}

}  // namespace

CTeTBar::~CTeTBar() {
    DestroyWindow();
}

BOOL CTeTBar::LoadBitmaps(const std::vector<UINT>& resourceIds) {
    if (resourceIds.size() != kBitmapCount) {
        return FALSE;
    }
    for (int image = kCloseNormal; image < kWindowImages; ++image) {
        SetWindowButtonBitmap(static_cast<WindowImage>(image), resourceIds[image]);
    }
    m_linkNormal =
        MaskKeyColour(LoadBitmapResource(resourceIds[kLinkNormalIndex]), hv::look::kKeyColour);
    m_linkPressed =
        MaskKeyColour(LoadBitmapResource(resourceIds[kLinkNormalIndex + 1]), hv::look::kKeyColour);
    return TRUE;
}

void CTeTBar::SetLogoutEnabled(BOOL enabled) {
    m_bLogoutEnabled = enabled;
    if (GetSafeHwnd()) {
        InvalidateRect(LogoutRect());
    }
}

void CTeTBar::SetLinkShown(BOOL shown) {
    m_bLinkShown = shown;
    if (GetSafeHwnd()) {
        Invalidate(FALSE);
    }
}

RECT CTeTBar::OwnButtonRect(Area area) const {
    const std::pair<Area, BOOL> order[] = {{kLogoArea, m_bLogoShown},
                                           {kLinkArea, m_bLinkShown},
                                           {kBackArea, m_bBackShown},
                                           {kLogoutArea, m_bLogoutShown}};
    const OwnButton sizes[] = {kLogo, kLink, kBack, kLogout};
    int x = kOwnButtonsLeft;
    for (size_t i = 0; i < std::size(order); ++i) {
        if (!order[i].second) {
            continue;
        }
        if (order[i].first == area) {
            return RECT{x, kOwnButtonTop, x + sizes[i].width, kOwnButtonBottom};
        }
        x += sizes[i].advance;
    }
    return RECT{0, 0, 0, 0};
}

UINT CTeTBar::HitTest(POINT point) const {
    switch (WindowButtonAt(point)) {
        case kClose: return kCloseArea;
        case kMaximise: return MainWindowState() == SW_SHOWMAXIMIZED ? kRestoreArea : kMaximiseArea;
        case kMinimise: return kMinimiseArea;
        default: break;
    }
    for (Area area : {kLogoArea, kLinkArea, kBackArea, kLogoutArea}) {
        if (Contains(OwnButtonRect(area), point)) {
            return area;
        }
    }
    return kNoArea;
}

int CTeTBar::OnCreate() {
    if (!m_wndToolTip.Create()) {
        return -1;
    }
    const HWND bar = GetSafeHwnd();
    m_wndToolTip.AddTool(bar, kMinimiseArea, "Minimise");
    m_wndToolTip.AddTool(bar, kMaximiseArea, "Maximise");
    m_wndToolTip.AddTool(bar, kRestoreArea, "Restore");
    m_wndToolTip.AddTool(bar, kCloseArea, "Close");
    m_wndToolTip.AddTool(bar, kBackArea, "Back");
    m_wndToolTip.AddTool(bar, kLogoutArea, "Log out");
    return 0;
}

void CTeTBar::LoadSkinImages() {
    if (!m_plate.isNull()) {
        return;
    }
    m_background = CScaledImage(SkinPng(hv::res::kTopBarBackground));
    m_plate = SkinPng(hv::res::kTopBarPlate);
    m_monogram = SkinPng(hv::res::kTopBarMonogram);
    m_back = SkinPng(hv::res::kTopBarBack);
    m_logout = SkinPng(hv::res::kTopBarLogout);
}

void CTeTBar::OnPaintBar(QPainter& painter, const QRect& area) {
    LoadSkinImages();
    painter.fillRect(area, ToQColor(hv::look::kNightDeep));
    if (!m_background.IsNull()) {
        const QImage& stretched =
            m_background.At(QSize(GetWidget()->width(), m_background.Source().height()));
        const QRect part = area.intersected(stretched.rect());
        painter.drawImage(part.topLeft(), stretched, part);
    }
    DrawAt(painter, area, QPoint(0, 0), m_plate);
    CTBar::OnPaintBar(painter, area);
    if (m_bLogoShown) {
        DrawAt(painter, area, kMonogramAt, m_monogram);
    }
    if (m_bLinkShown) {
        const QRect link = ToQRect(LinkRect());
        DrawAt(painter, area, link.topLeft(), m_bLinkPressed ? m_linkPressed : m_linkNormal);
    }
    // Drawn alike whether the buttons are enabled or not.
    if (m_bBackShown) {
        DrawAt(painter, area, kBackAt, m_back);
    }
    if (m_bLogoutShown) {
        DrawAt(painter, area, kLogoutAt, m_logout);
    }
}

void CTeTBar::OnBarLButtonDown(UINT flags, POINT point) {
    SetButtonHeld(TRUE);
    const UINT area = HitTest(point);
    if (area == kLinkArea) {
        m_bLinkPressed = TRUE;
        InvalidateRect(LinkRect());
    } else if (area == kBackArea) {
        m_bBackPressed = TRUE;
    } else if (area == kLogoutArea) {
        // Before login there is nobody to log out: the press does nothing.
        m_bLogoutPressed = m_bLogoutEnabled;
    } else {
        CTBar::OnBarLButtonDown(flags, point);
    }
}

void CTeTBar::OnBarLButtonUp(UINT flags, POINT point) {
    SetButtonHeld(FALSE);
    if (m_bLinkPressed) {
        m_bLinkPressed = FALSE;
        InvalidateRect(LinkRect());
    }
    if (m_bBackPressed) {
        m_bBackPressed = FALSE;
        if (Contains(BackRect(), point) && Owner()) {
            Owner()->GoBack();
        }
    }
    if (m_bLogoutPressed) {
        m_bLogoutPressed = FALSE;
        if (Contains(LogoutRect(), point) && MainWindow()) {
            hv::Send<UWM_LOGOUT>(MainWindow()->GetSafeHwnd(), 1);
        }
    }
    CTBar::OnBarLButtonUp(flags, point);
}

void CTeTBar::OnBarLButtonDblClk(UINT flags, POINT point) {
    const UINT area = HitTest(point);
    if (area == kLinkArea || area == kBackArea || area == kLogoutArea) {
        OnBarLButtonDown(flags, point);
        return;
    }
    CTBar::OnBarLButtonDblClk(flags, point);
}

BOOL CTeTBar::PreTranslateMessage(MSG* msg) {
    if (msg->hwnd == GetSafeHwnd()) {
        const UINT area = HitTest(POINT{GET_X_LPARAM(msg->lParam), GET_Y_LPARAM(msg->lParam)});
        m_wndToolTip.RelayEvent(*msg, area);
    }
    return CTBar::PreTranslateMessage(msg);
}

LRESULT CTeTBar::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            if (CTBar::WindowProc(message, wParam, lParam) == -1) {
                return -1;
            }
            return OnCreate();
        case WM_DESTROY: m_wndToolTip.DestroyWindow(); break;
        case WM_TIMER: {
            const LRESULT result = CTBar::WindowProc(message, wParam, lParam);
            // A tip does not stay behind when the bar slides away.
            if (wParam == kHideTimer && IsHidden()) {
                m_wndToolTip.Hide();
            }
            return result;
        }
        default: break;
    }
    return CTBar::WindowProc(message, wParam, lParam);
}
