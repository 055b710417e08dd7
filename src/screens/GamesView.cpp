#include "screens/GamesView.h"

#include <QPainter>
#include <QWidget>
#include <algorithm>
#include <cstdio>

#include "catalogue/Catalogue.h"
#include "catalogue/CategoryListing.h"
#include "image/CxImageQt.h"
#include "messages/Messages.h"
#include "res/ResourceTable.h"
#include "screens/FrameInterface.h"
#include "screens/GameTexts.h"
#include "screens/RatingBadge.h"
#include "skin/Look.h"
#include "skin/SkinSet.h"
#include "text/NoCase.h"
#include "ui/DialogTemplate.h"
#include "ui/DrawText.h"

namespace {

// Dialog units. The categories keep the template's size; the rest is placed
// by the layout. Title, counter and summary are painted by the screen in
// their controls' rectangles.
void RegisterTemplate() {
    static const bool registered = [] {
        using Kind = DialogItemKind;
        RegisterDialogTemplate(DialogTemplate{
            CGamesView::kTemplateId,
            401,
            302,
            WS_CHILD,
            {{CGamesView::kCategoriesId, Kind::Custom, "", RECT{9, 29, 150, 202}, WS_VISIBLE},
             {CGamesView::kTitleId, Kind::Custom, "", RECT{177, 18, 215, 22}, 0},
             {CGamesView::kGamesId, Kind::Custom, "", RECT{177, 43, 215, 220}, WS_VISIBLE},
             {CGamesView::kSummaryFrameId, Kind::Custom, "", RECT{9, 230, 150, 71}, 0},
             {CGamesView::kSummaryId, Kind::Custom, "", RECT{9, 230, 150, 71}, 0},
             {CGamesView::kCounterId, Kind::Custom, "", RECT{177, 275, 150, 17}, 0},
             {CGamesView::kPrevPageId, Kind::Custom, "", RECT{340, 275, 18, 17}, WS_VISIBLE},
             {CGamesView::kNextPageId, Kind::Custom, "", RECT{360, 275, 18, 17}, WS_VISIBLE}}});
        return true;
    }();
    (void)registered;
}

constexpr int kCategoryRow = 2;
constexpr int kMargin = 15;
constexpr int kTextFlags = DT_SINGLELINE | DT_WORD_ELLIPSIS | DT_NOPREFIX;

bool IsAutoRepeat(LPARAM data) {
    return (data & (LPARAM(1) << 30)) != 0;
}

std::string Format(const char* format, int a, int b) {
    char text[48];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

}  // namespace

CGamesView::CGamesView() : CBaseView(kTemplateId) {
    RegisterTemplate();
}

CGamesView::~CGamesView() {
    DestroyWindow();
}

void CGamesView::OnInitialUpdate() {
    if (m_lstCategories.SubclassDlgItem(kCategoriesId, this)) {
        if (const CSkinSet* skin = GetSkin()) {
            m_lstCategories.GetWidget()->setFont(skin->Font(18, 700));
        }
    }
    m_lstGames.LoadImages();
    m_lstGames.SubclassDlgItem(kGamesId, this);
    m_btnPrevPage.SetNormalBitmap(hv::res::kUpArrow.id);
    m_btnPrevPage.SetPressedBitmap(hv::res::kUpArrowPressed.id);
    m_btnPrevPage.SetHighlightBitmap(hv::res::kUpArrowHighlight.id);
    m_btnPrevPage.SetDisabledBitmap(hv::res::kUpArrowDisabled.id);
    m_btnNextPage.SetNormalBitmap(hv::res::kDownArrow.id);
    m_btnNextPage.SetPressedBitmap(hv::res::kDownArrowPressed.id);
    m_btnNextPage.SetHighlightBitmap(hv::res::kDownArrowHighlight.id);
    m_btnNextPage.SetDisabledBitmap(hv::res::kDownArrowDisabled.id);
    for (CStaticBtn* button : {&m_btnPrevPage, &m_btnNextPage}) {
        button->SetTextFlag(FALSE);
    }
    m_btnPrevPage.SubclassDlgItem(kPrevPageId, this);
    m_btnNextPage.SubclassDlgItem(kNextPageId, this);
    m_lstCategories.AddItem("All", kCategoryRow, 0);
    UpdatePageInfo(nullptr, 0);
}

void CGamesView::AddCategory(std::string_view name) {
    // Every record names its categories again: look them up, not along the list.
    if (name.empty() || m_categorySet.contains(name)) {
        return;
    }
    m_categorySet.emplace(name);
    m_strlstCategoryNames.emplace_back(name);
    if (m_lstCategories.GetSafeHwnd()) {
        m_lstCategories.AddItem(m_strlstCategoryNames.back(), kCategoryRow, 0);
    }
}

int CGamesView::RefreshGames() {
    m_strCategory.clear();
    SelectCategory(0);
    m_lstCategories.Invalidate(TRUE);
    m_lstGames.SetSelection(0, TRUE);
    return 1;
}

void CGamesView::RemoveAllGames() {
    {
        std::lock_guard lock(m_csSummary);
        m_pSelGame = nullptr;
    }
    m_lstGames.RemoveAllGames();
    m_lstGames.RedrawAll();
}

GameInfo* CGamesView::SelectedGame() {
    std::lock_guard lock(m_csSummary);
    return m_pSelGame;
}

void CGamesView::SelectCategory(int index) {
    if (index == -1) {
        return;
    }
    m_lstCategories.SetCurSel(index);
    std::string text;
    m_lstCategories.GetItemText(index, &text);
    if (hv::EqualsNoCase(text, m_strCategory)) {
        return;
    }
    {
        std::lock_guard lock(m_csSummary);
        m_pSelGame = nullptr;
    }
    m_strCategory = text;
    m_lstGames.RemoveAllGames();
    BuildGameList();
    m_lstGames.RedrawAll();
    if (m_lstGames.GetGameCount() > 0) {
        m_lstGames.SetSelection(0, FALSE);
        m_lstGames.InvalidateTile(0);
        UpdatePageInfo(m_lstGames.GetSelectedGame(), 1);
    }
    InvalidateControl(kSummaryId);
}

void CGamesView::BuildGameList() {
    // Linear in the catalogue, pairing and all: a large one stays instant.
    for (GameInfo* game : ListCategory(g_arrGameInfo, m_strCategory)) {
        m_lstGames.AddGame(game);
    }
}

void CGamesView::UpdatePageInfo(GameInfo* game, int position) {
    const int count = m_lstGames.GetGameCount();
    if (!game || position == -1) {
        SetControlText(kTitleId, "");
        SetControlText(kCounterId, Format("%d", count, 0));
        m_btnPrevPage.EnableWindow(FALSE);
        m_btnNextPage.EnableWindow(FALSE);
        return;
    }
    SetControlText(kTitleId, std::string(game->m_strTitle));
    SetControlText(kCounterId, Format("%d Of %d", position, count));
    if (count <= kTilesInView) {
        m_btnPrevPage.EnableWindow(FALSE);
        m_btnNextPage.EnableWindow(FALSE);
        return;
    }
    const bool previous = position > 2;
    const bool next = (position - 1) / kTileColumns < (count - 1) / kTileColumns;
    // A button about to be disabled hands the focus on first.
    CWnd* focus = GetFocus();
    if (focus == &m_btnPrevPage && !previous) {
        m_btnNextPage.SetFocus();
    } else if (focus == &m_btnNextPage && !next) {
        m_lstGames.SetFocus();
    }
    m_btnPrevPage.EnableWindow(previous);
    m_btnNextPage.EnableWindow(next);
}

std::vector<std::string> CGamesView::SummaryLines() {
    std::lock_guard lock(m_csSummary);
    return m_pSelGame ? SummaryLinesOf(*m_pSelGame) : std::vector<std::string>{};
}

std::vector<std::string> SummaryLinesOf(const GameInfo& game) {
    std::vector<std::string> lines{PriceLine(game)};
    const GameInfo* partner = game.m_pPartner;
    const double price = PriceOf(game) != 0 ? PriceOf(game) : (partner ? PriceOf(*partner) : 0);
    if (partner && price > 0 && !(game.IsDemo() && partner->IsDemo())) {
        lines.emplace_back("Free Demo Available");
    }
    lines.push_back("Rating: " + std::string(game.m_strRating));
    return lines;
}

void CGamesView::SetControlText(UINT id, const std::string& text) {
    CWnd* control = GetDlgItem(static_cast<int>(id));
    if (control && control->GetWindowText() != text) {
        control->SetWindowText(text);
        InvalidateControl(id);
    }
}

QRect CGamesView::ControlRect(UINT id) const {
    CWnd* control = GetDlgItem(static_cast<int>(id));
    return control && control->GetWidget() ? control->GetWidget()->geometry() : QRect();
}

void CGamesView::InvalidateControl(UINT id) {
    const QRect area = ControlRect(id);
    if (!area.isEmpty()) {
        InvalidateRect(RECT{area.left(), area.top(), area.right() + 1, area.bottom() + 1});
    }
}

void CGamesView::ArrangeControls(BOOL) {
    if (!m_lstCategories.GetSafeHwnd() || !m_lstGames.GetSafeHwnd()) {
        return;
    }
    RECT client;
    GetClientRect(&client);
    const int l = client.left;
    const int t = client.top;
    const int r = client.right;
    const int b = client.bottom;
    RECT list;
    m_lstCategories.GetClientRect(&list);
    const int w = list.right;
    const int h = list.bottom;
    m_lstCategories.MoveWindow(l + kMargin, t + 112, w, h);
    // Built when the screen is first shown, not before the first frame.
    if (IsWindowVisible()) {
        m_lstCategories.LoadRowImages();
    }
    for (UINT id : {kSummaryId, kSummaryFrameId}) {
        if (CWnd* control = GetDlgItem(static_cast<int>(id))) {
            control->MoveWindow(l + kMargin, t + h + 142, w, 116);
        }
    }
    const int x3 = l + w + 30;
    if (CWnd* title = GetDlgItem(kTitleId)) {
        title->MoveWindow(RECT{x3, t + 30, r - kMargin, t + 65});
    }
    m_btnNextPage.MoveWindow(r - 42, b - 42, 27, 27);
    m_btnPrevPage.MoveWindow(r - 72, b - 42, 27, 27);
    if (CWnd* counter = GetDlgItem(kCounterId)) {
        counter->MoveWindow(RECT{x3, b - 42, r - 75, b - kMargin});
    }
    m_lstGames.MoveWindow(RECT{x3, t + 70, r - kMargin, b - 45});
    TileGeometry geometry = m_lstGames.Geometry();
    if (FitTiles(r - kMargin - x3, b - 45 - (t + 70), geometry)) {
        m_lstGames.SetGeometry(geometry);
    }
}

WORD CGamesView::OnAppCommand(int command) {
    switch (command) {
        case APPCOMMAND_MEDIA_CHANNEL_UP: m_lstGames.PageUp(); return 1;
        case APPCOMMAND_MEDIA_CHANNEL_DOWN: m_lstGames.PageDown(); return 1;
        default: return 0;
    }
}

void CGamesView::PaintOverlay() {
    QPainter painter(GetWidget());
    painter.setClipRect(PaintArea(*this));
    painter.setPen(ToQColor(hv::look::kStaticText));
    if (const CSkinSet* skin = GetSkin()) {
        painter.setFont(skin->Font(30, 400));
    }
    for (UINT id : {kTitleId, kCounterId}) {
        QRect area = ControlRect(id);
        if (painter.clipBoundingRect().intersects(area)) {
            hv::DrawText(painter, GetDlgItem(static_cast<int>(id))->GetWindowText(), &area,
                         kTextFlags | (id == kCounterId ? DT_RIGHT : 0));
        }
    }
    DrawFrame(painter);
    if (painter.clipBoundingRect().intersects(ControlRect(kSummaryId))) {
        DrawSummary(painter);
    }
}

void CGamesView::DrawFrame(QPainter& painter) {
    const CSkinSet* skin = GetSkin();
    const CxImage* across = skin ? skin->Image(hv::res::kSummaryDividerH.id) : nullptr;
    const CxImage* down = skin ? skin->Image(hv::res::kSummaryDividerV.id) : nullptr;
    const QRect area = ControlRect(kSummaryFrameId);
    if (!across || !down || area.isEmpty()) {
        return;
    }
    if (m_imgAcross.IsNull()) {
        m_imgAcross =
            CScaledImage(ToQImage(*across).convertToFormat(QImage::Format_ARGB32_Premultiplied));
        m_imgDown =
            CScaledImage(ToQImage(*down).convertToFormat(QImage::Format_ARGB32_Premultiplied));
    }
    const int hh = m_imgAcross.Source().height();
    const int vw = m_imgDown.Source().width();
    const QImage& horizontal = m_imgAcross.At(QSize(area.width(), hh));
    const QImage& vertical = m_imgDown.At(QSize(vw, area.height() - 2 * hh));
    painter.drawImage(area.left(), area.top(), horizontal);
    painter.drawImage(area.left(), area.bottom() + 1 - hh, horizontal);
    painter.drawImage(area.left(), area.top() + hh, vertical);
    painter.drawImage(area.right() + 1 - vw, area.top() + hh, vertical);
}

void CGamesView::DrawSummary(QPainter& painter) {
    std::lock_guard lock(m_csSummary);
    if (!m_pSelGame) {
        return;
    }
    const QRect area = ControlRect(kSummaryId);
    const UINT badge = RatingBadgeId(m_pSelGame->m_strRating, true);
    if (badge != m_nRatingId) {
        m_nRatingId = badge;
        m_imgRating = badge ? LoadFaintBadge(badge) : QImage();
    }
    if (!m_imgRating.isNull()) {
        painter.drawImage(area.right() + 1 - m_imgRating.width() - 10, area.top() + 10,
                          m_imgRating);
    }
    const CSkinSet* skin = GetSkin();
    const QFont font = skin ? skin->Font(23, 400) : painter.font();
    QRect band(QPoint(area.left() + 12, area.top() + 8), QPoint(area.right(), area.top() + 31));
    for (const std::string& line : SummaryLinesOf(*m_pSelGame)) {
        // The bundled face runs wider than the one the panel was drawn for:
        // a line that would wrap into the next one is set smaller instead.
        painter.setFont(FitFont(font, QString::fromStdString(line), band.size(), false));
        QRect text = band;
        hv::DrawText(painter, line, &text,
                     DT_WORDBREAK | DT_NOCLIP | DT_WORD_ELLIPSIS | DT_NOPREFIX);
        band = QRect(band.left(), band.bottom() + 2, band.width(), 24);
    }
}

void CGamesView::OnKeyDown(UINT key, LPARAM data) {
    if (IsAutoRepeat(data) || key < VK_BACK || key > VK_BROWSER_BACK) {
        return;
    }
    switch (key) {
        case VK_BACK:
        case VK_BROWSER_BACK:
            if (IFrame* frame = GetFrame()) {
                frame->GoBack();
            }
            return;
        case VK_RETURN: {
            CWnd* focus = GetFocus();
            if (focus == &m_lstGames) {
                if (IFrame* frame = GetFrame()) {
                    hv::Post<UWM_SHOW_GAME>(frame->FrameHwnd(), hv::NoParam{},
                                            m_lstGames.GetSelectedGame());
                }
            } else if (focus == &m_lstCategories) {
                m_lstCategories.SetPendingRow(std::max(m_lstCategories.GetCurrentRow(), 0));
                m_lstCategories.SendMessage(UWM_MENU_CHOOSE);
            } else if (focus == &m_btnPrevPage) {
                m_lstGames.PageUp();
            } else if (focus == &m_btnNextPage) {
                m_lstGames.PageDown();
            } else if (focus && focus != this) {
                focus->SendMessage(WM_KEYDOWN, key, data);
            }
            return;
        }
        case VK_PRIOR: m_lstGames.PageUp(); return;
        case VK_NEXT: m_lstGames.PageDown(); return;
        default: return;
    }
}

LRESULT CGamesView::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_KEYDOWN: OnKeyDown(static_cast<UINT>(wParam), lParam); return 0;
        case WM_MOUSEMOVE:
            m_btnPrevPage.ClearHover();
            m_btnNextPage.ClearHover();
            break;
        case WM_COMMAND:
            if (LOWORD(wParam) == kPrevPageId) {
                m_lstGames.PageUp();
            } else if (LOWORD(wParam) == kNextPageId) {
                m_lstGames.PageDown();
            }
            return 0;
        case WM_DESTROY:
            CBaseView::WindowProc(message, wParam, lParam);
            RemoveAllGames();
            return 0;
        case UWM_LIST_SELCHANGE:
            if (GameInfo* game = hv::LParam<UWM_LIST_SELCHANGE>(lParam)) {
                UpdatePageInfo(game, hv::WParam<UWM_LIST_SELCHANGE>(wParam) + 1);
                {
                    std::lock_guard lock(m_csSummary);
                    m_pSelGame = game;
                }
                InvalidateControl(kSummaryId);
            }
            return 0;
        case UWM_LIST_ACTIVATE: {
            GameInfo* game = hv::LParam<UWM_LIST_ACTIVATE>(lParam);
            UpdatePageInfo(game, hv::WParam<UWM_LIST_ACTIVATE>(wParam) + 1);
            if (IFrame* frame = GetFrame()) {
                hv::Post<UWM_SHOW_GAME>(frame->FrameHwnd(), hv::NoParam{}, game);
            }
            return 0;
        }
        case UWM_FOCUS_GAMES: m_lstGames.SetFocus(); return 0;
        case UWM_LIST_EXIT:
            if (hv::WParam<UWM_LIST_EXIT>(wParam) == VK_LEFT) {
                m_lstCategories.SetFocus();
            }
            return 0;
        case UWM_LIST_PAGEDOWN: m_lstGames.PageDown(); return 0;
        case UWM_LIST_PAGEUP: m_lstGames.PageUp(); return 0;
        case UWM_MENU_EXIT:
            if (hv::WParam<UWM_MENU_EXIT>(wParam) == VK_RIGHT) {
                m_lstGames.SetFocus();
            }
            return 0;
        case UWM_MENU_CHOOSE: SelectCategory(hv::WParam<UWM_MENU_CHOOSE>(wParam)); return 0;
        case UWM_ICON_READY:
            // The package text lives only for the duration of the send.
            ++m_nIconsReady;
            m_lstGames.RepaintPackage(hv::LParam<UWM_ICON_READY>(lParam));
            return 0;
        default: break;
    }
    return CBaseView::WindowProc(message, wParam, lParam);
}
