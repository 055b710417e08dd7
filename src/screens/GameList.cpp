#include "screens/GameList.h"

#include <QPainter>
#include <QWidget>
#include <cstdlib>

#include "catalogue/GameInfo.h"
#include "image/CxImageQt.h"
#include "messages/Messages.h"
#include "res/ResourceTable.h"
#include "screens/FrameInterface.h"
#include "skin/Look.h"
#include "skin/MCListBox.h"
#include "skin/SkinSet.h"
#include "text/NoCase.h"
#include "ui/DrawText.h"

namespace {

bool IsAutoRepeat(LPARAM data) {
    return (data & (LPARAM(1) << 30)) != 0;
}

QImage Premultiplied(const CxImage* image) {
    return image ? ToQImage(*image).convertToFormat(QImage::Format_ARGB32_Premultiplied) : QImage();
}

QImage PngResource(UINT id) {
    CxImage image;
    image.LoadResource("PNG", id, CXIMAGE_FORMAT_PNG);
    return image.IsValid() ? Premultiplied(&image) : QImage();
}

// Icons kept for this many tiles before the entries out of view are dropped.
constexpr size_t kIconCacheLimit = 2 * kTilesInView;

}  // namespace

void CGameList::RemoveAllGames() {
    {
        std::lock_guard lock(m_lock);
        m_games.clear();
    }
    m_icons.clear();
    // The page counter starts again too: a counter left from a longer list
    // would refuse to turn the pages of the next one.
    m_cursor = TileCursor{};
}

void CGameList::AddGame(GameInfo* game) {
    std::lock_guard lock(m_lock);
    m_games.push_back(game);
}

int CGameList::GetGameCount() const {
    std::lock_guard lock(m_lock);
    return static_cast<int>(m_games.size());
}

GameInfo* CGameList::GetGame(int index) const {
    std::lock_guard lock(m_lock);
    return index >= 0 && index < static_cast<int>(m_games.size()) ? m_games[index] : nullptr;
}

GameInfo* CGameList::GetSelectedGame() const {
    return GetGame(m_cursor.selection);
}

void CGameList::SetSelection(int index, BOOL notify) {
    m_cursor.selection = index;
    if (notify && GetGameCount() > 0) {
        Notify();
    }
    RedrawAll();
}

void CGameList::RedrawAll() {
    // The grid is see-through: repainting it repaints the screen beneath.
    Invalidate(TRUE);
}

void CGameList::InvalidateTile(int index) {
    RECT rect;
    if (GetSafeHwnd() && TileRect(m_geometry, m_cursor, index, &rect)) {
        InvalidateRect(rect);
    }
}

void CGameList::RepaintPackage(const std::string& package) {
    std::unique_lock lock(m_lock);
    for (size_t i = 0; i < m_games.size(); ++i) {
        if (m_games[i] && hv::EqualsNoCase(m_games[i]->m_strPackage, package)) {
            lock.unlock();
            m_icons.erase(GetGame(static_cast<int>(i)));
            InvalidateTile(static_cast<int>(i));
            return;
        }
    }
}

void CGameList::PageUp() {
    if (::PageUp(m_cursor, GetGameCount())) {
        Notify();
        RedrawAll();
    }
}

void CGameList::PageDown() {
    if (::PageDown(m_cursor, GetGameCount())) {
        Notify();
        RedrawAll();
    }
}

void CGameList::SetGeometry(const TileGeometry& geometry) {
    m_geometry = geometry;
    if (const CSkinSet* skin = GetSkin()) {
        m_captionFont = skin->Font(18, 400);
    }
    m_captionFont.setPixelSize(std::max(1, geometry.captionHeight));
    RedrawAll();
}

void CGameList::LoadImages() {
    m_imgPlaceholder = CScaledImage(PngResource(hv::res::kIconPlaceholder.id));
    m_imgFrame = CScaledImage(PngResource(hv::res::kTileFrame.id));
    if (const CSkinSet* skin = GetSkin()) {
        m_imgGlow = CScaledImage(Premultiplied(skin->Image(hv::res::kSelectedTileGlow.id)));
    }
}

void CGameList::Notify() {
    if (CWnd* parent = GetParent()) {
        hv::Send<UWM_LIST_SELCHANGE>(parent->GetSafeHwnd(), m_cursor.selection,
                                     GetGame(m_cursor.selection));
    }
}

const QImage& CGameList::IconAt(GameInfo& game, const QSize& size) {
    auto it = m_icons.find(&game);
    if (it == m_icons.end()) {
        QImage icon;
        {
            // The art thread replaces the icon under this lock.
            std::lock_guard iconLock(game.m_csIcon);
            icon = Premultiplied(game.m_pIconImage.get());
        }
        if (icon.isNull()) {
            return m_imgPlaceholder.At(size);
        }
        it = m_icons.emplace(&game, CScaledImage(std::move(icon))).first;
    }
    return it->second.At(size);
}

void CGameList::Paint() {
    std::vector<GameInfo*> shown;
    {
        std::lock_guard lock(m_lock);
        const int first = m_cursor.FirstVisible();
        const int last = std::min(first + kTilesInView, static_cast<int>(m_games.size()));
        for (int i = first; i < last; ++i) {
            shown.push_back(m_games[i]);
        }
    }
    if (shown.empty()) {
        return;
    }
    if (m_icons.size() > kIconCacheLimit) {
        std::erase_if(m_icons, [&](const auto& entry) {
            return std::find(shown.begin(), shown.end(), entry.first) == shown.end();
        });
    }
    QPainter painter(GetWidget());
    painter.setClipRect(PaintArea(*this));
    painter.setFont(m_captionFont);
    painter.setPen(ToQColor(m_crCaption));
    CWnd* focus = GetFocus();
    const bool gridFocused = focus == this || focus == nullptr;
    int x = 0;
    int y = 0;
    for (size_t k = 0; k < shown.size(); ++k) {
        const int index = m_cursor.FirstVisible() + static_cast<int>(k);
        if (shown[k]) {
            DrawTile(painter, index, *shown[k], x, y, gridFocused && index == m_cursor.selection);
        }
        if ((k + 1) % kTileColumns == 0) {
            y += m_geometry.cellHeight;
            x = 0;
        } else {
            x += m_geometry.cellWidth;
        }
    }
}

void CGameList::DrawTile(QPainter& painter, int index, GameInfo& game, int x, int y, bool focused) {
    const TileGeometry& g = m_geometry;
    RECT tile;
    if (TileRect(g, m_cursor, index, &tile) &&
        !painter.clipBoundingRect().intersects(
            QRect(tile.left, tile.top, tile.right - tile.left, tile.bottom - tile.top))) {
        return;
    }
    if (!focused) {
        painter.drawImage(x, y, m_imgFrame.At(QSize(g.frameWidth, g.frameHeight)));
    }
    QRect caption(x, y + g.frameHeight + 3, g.frameWidth, g.cellHeight - g.frameHeight - 6);
    hv::DrawText(painter, std::string(game.m_strTitle), &caption,
                 DT_SINGLELINE | DT_CENTER | DT_END_ELLIPSIS | DT_NOPREFIX);
    const int ix = x + (g.frameWidth - g.iconWidth) / 2;
    const int iy = y + (g.frameHeight - g.iconHeight) / 2;
    if (focused) {
        const int d = g.cellWidth - g.iconWidth;
        painter.drawImage(ix - d / 4, iy - 12,
                          m_imgGlow.At(QSize(g.iconWidth + d / 2, g.cellHeight)));
        painter.drawImage(ix - d / 4 + 5, iy - 7,
                          IconAt(game, QSize(g.iconWidth + d / 2 - 10, g.cellHeight - 10)));
    } else {
        painter.drawImage(ix, iy, IconAt(game, QSize(g.iconWidth, g.iconHeight)));
    }
}

bool CGameList::OnKeyDown(UINT key, LPARAM data) {
    if (IsAutoRepeat(data)) {
        return true;
    }
    if (key == VK_BROWSER_BACK) {
        if (IFrame* frame = GetFrame()) {
            frame->GoBack();
        }
        return true;
    }
    const int count = GetGameCount();
    if (m_cursor.selection < 0) {
        m_cursor.selection = 0;
        InvalidateTile(0);
        return true;
    }
    const int old = m_cursor.selection;
    CWnd* parent = GetParent();
    switch (MoveByKey(m_cursor, count, key)) {
        // Other keys are the screen's.
        case TileMove::None: return key >= VK_PRIOR && key <= VK_DOWN;
        case TileMove::Moved:
            Notify();
            InvalidateTile(old);
            InvalidateTile(m_cursor.selection);
            return true;
        case TileMove::Scrolled:
            Notify();
            RedrawAll();
            return true;
        case TileMove::ExitLeft:
            if (parent) {
                hv::Send<UWM_LIST_EXIT>(parent->GetSafeHwnd(), VK_LEFT);
            }
            InvalidateTile(old);
            return true;
        case TileMove::ExitDown:
            if (parent) {
                hv::Send<UWM_LIST_EXIT>(parent->GetSafeHwnd(), VK_DOWN);
            }
            return true;
        case TileMove::NextControl: MoveFocusToNextControl(); return true;
        case TileMove::PageUp:
            if (parent) {
                hv::Send<UWM_LIST_PAGEUP>(parent->GetSafeHwnd());
            }
            return true;
        case TileMove::PageDown:
            if (parent) {
                hv::Send<UWM_LIST_PAGEDOWN>(parent->GetSafeHwnd());
            }
            return true;
    }
    return true;
}

void CGameList::MoveFocusToNextControl() {
    QWidget* widget = GetWidget();
    for (QWidget* next = widget->nextInFocusChain(); next && next != widget;
         next = next->nextInFocusChain()) {
        if ((next->focusPolicy() & Qt::TabFocus) && next->isVisible() && next->isEnabled()) {
            next->setFocus(Qt::TabFocusReason);
            return;
        }
    }
}

void CGameList::OnMouseMove(int x, int y) {
    if (GetFocus() != this) {
        SetFocus();
    }
    const int index = HitTestTile(m_geometry, m_cursor, GetGameCount(), x, y);
    if (index != -1 && index != m_cursor.selection) {
        const int old = m_cursor.selection;
        m_cursor.selection = index;
        Notify();
        InvalidateTile(old);
        InvalidateTile(index);
    }
}

void CGameList::OnClick(int x, int y) {
    const int index = HitTestTile(m_geometry, m_cursor, GetGameCount(), x, y);
    if (index == -1) {
        return;
    }
    const int old = m_cursor.selection;
    m_cursor.selection = index;
    Notify();
    if (old != -1) {
        InvalidateTile(old);
    }
    InvalidateTile(index);
    if (CWnd* parent = GetParent()) {
        hv::Send<UWM_LIST_ACTIVATE>(parent->GetSafeHwnd(), index, GetGame(index));
    }
}

LRESULT CGameList::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: Paint(); return 0;
        case WM_ERASEBKGND: return 1;
        case WM_KEYDOWN:
            if (OnKeyDown(static_cast<UINT>(wParam), lParam)) {
                return 0;
            }
            break;
        case WM_MOUSEMOVE: OnMouseMove(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)); return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK: OnClick(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)); return 0;
        case WM_MOUSEWHEEL: CMCListBox::PostWheelKeys(GetSafeHwnd(), wParam); return 0;
        case WM_SETFOCUS:
            CWnd::WindowProc(message, wParam, lParam);
            if (m_cursor.selection < 0) {
                m_cursor.selection = 0;
            }
            InvalidateTile(m_cursor.selection);
            return 0;
        case WM_KILLFOCUS:
            CWnd::WindowProc(message, wParam, lParam);
            InvalidateTile(m_cursor.selection);
            return 0;
        default: break;
    }
    return CWnd::WindowProc(message, wParam, lParam);
}
