#include "screens/GameInfoView.h"

#include <QFontMetrics>
#include <QPainter>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>

#include "catalogue/GameInfo.h"
#include "image/CxImageQt.h"
#include "messages/Messages.h"
#include "res/ResourceTable.h"
#include "screens/FrameInterface.h"
#include "screens/GameDetail.h"
#include "screens/RatingBadge.h"
#include "skin/MessageDlg.h"
#include "skin/SkinSet.h"
#include "ui/DialogTemplate.h"
#include "ui/DrawText.h"

namespace {

using Self = CGameInfoView;

// Dialog units. The arrows are drawn windows so that they can take the focus.
void RegisterTemplate() {
    static const bool registered = [] {
        using Kind = DialogItemKind;
        RegisterDialogTemplate(DialogTemplate{
            Self::kTemplateId,
            476,
            340,
            WS_CHILD,
            {{Self::kActionListId, Kind::Custom, "", RECT{9, 47, 150, 229}, WS_VISIBLE},
             {Self::kDescriptionFrameId, Kind::Static, "", RECT{196, 111, 173, 104}, WS_VISIBLE},
             {Self::kDescriptionId, Kind::Edit, "", RECT{168, 245, 265, 46},
              WS_VISIBLE | ES_MULTILINE | ES_READONLY},
             {Self::kScrollUpId, Kind::Custom, "", RECT{342, 256, 24, 19}, 0},
             {Self::kScrollDownId, Kind::Custom, "", RECT{371, 256, 24, 19}, 0},
             {Self::kPictureId, Kind::Static, "", RECT{181, 114, 168, 81}, WS_VISIBLE},
             {Self::kTitleId, Kind::Static, "", RECT{179, 9, 190, 23}, WS_VISIBLE | SS_CENTER},
             {Self::kInformationId, Kind::Static, "", RECT{374, 46, 62, 16}, WS_VISIBLE},
             {Self::kPictureFrameId, Kind::Static, "", RECT{383, 79, 62, 16}, WS_VISIBLE},
             {Self::kSpareId, Kind::Static, "", RECT{175, 300, 168, 33}, 0}}});
        return true;
    }();
    (void)registered;
}

constexpr int kMargin = 15;
constexpr int kListTop = 112;
constexpr int kTitleTop = 35;
constexpr int kTitleHeight = 35;
constexpr int kDetailsTop = 81;
constexpr int kArrowSize = 27;
constexpr int kInfoLinePitch = 25;
constexpr int kInfoBaseHeight = 132;
constexpr int kInfoExtraLineHeight = 24;
constexpr int kBadgeIndent = 6;
constexpr UINT kInfoFlags = DT_LEFT | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX;

QRect Geometry(const CWnd* control) {
    return control && control->GetWidget() ? control->GetWidget()->geometry() : QRect();
}

std::string ReadDescription(const std::string& path) {
    std::error_code error;
    std::ifstream in(path, std::ios::binary);
    if (!in || !std::filesystem::is_regular_file(path, error)) {
        return Self::kNoDescription;
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

CGameInfoView::CGameInfoView() : CBaseView(kTemplateId) {
    RegisterTemplate();
}

CGameInfoView::~CGameInfoView() {
    DestroyWindow();
}

void CGameInfoView::OnInitialUpdate() {
    const CSkinSet* skin = GetSkin();
    const auto font = [skin](int height, int weight) {
        return skin ? skin->Font(height, weight) : QFont();
    };
    if (CWnd* title = GetDlgItem(kTitleId)) {
        title->GetWidget()->setFont(font(30, 400));
    }
    m_infoFont = font(23, 400);
    for (const UINT id : {kInformationId, kSpareId}) {
        if (CWnd* item = GetDlgItem(static_cast<int>(id))) {
            item->GetWidget()->setFont(m_infoFont);
        }
    }
    if (m_edtDescription.SubclassDlgItem(kDescriptionId, this)) {
        m_edtDescription.GetWidget()->setFont(font(30, 400));
    }
    if (m_lstActions.SubclassDlgItem(kActionListId, this)) {
        m_lstActions.GetWidget()->setFont(font(18, 700));
        m_lstActions.SetPageKeysToParent(true);
        m_lstActions.SetCurSel(0);
    }
    const struct {
        CStaticBtn& button;
        UINT id;
        const hv::ResourceSpec& normal;
        const hv::ResourceSpec& pressed;
        const hv::ResourceSpec& highlight;
        const hv::ResourceSpec& disabled;
    } arrows[] = {
        {m_btnScrollUp, kScrollUpId, hv::res::kUpArrow, hv::res::kUpArrowPressed,
         hv::res::kUpArrowHighlight, hv::res::kUpArrowDisabled},
        {m_btnScrollDown, kScrollDownId, hv::res::kDownArrow, hv::res::kDownArrowPressed,
         hv::res::kDownArrowHighlight, hv::res::kDownArrowDisabled},
    };
    for (const auto& arrow : arrows) {
        if (arrow.button.SubclassDlgItem(arrow.id, this)) {
            arrow.button.SetTextFlag(FALSE);
            arrow.button.SetNormalBitmap(arrow.normal.id);
            arrow.button.SetPressedBitmap(arrow.pressed.id);
            arrow.button.SetHighlightBitmap(arrow.highlight.id);
            arrow.button.SetDisabledBitmap(arrow.disabled.id);
        }
    }
    if (skin) {
        const auto edge = [skin](const hv::ResourceSpec& resource) {
            const CxImage* image = skin->Image(resource.id);
            return image ? ToQImage(*image).convertToFormat(QImage::Format_ARGB32_Premultiplied)
                         : QImage();
        };
        m_edgeDescriptionH = m_edgePictureH = CScaledImage(edge(hv::res::kDetailEdgeH));
        m_edgeDescriptionV = m_edgePictureV = CScaledImage(edge(hv::res::kDetailEdgeV));
    }
    m_lstActions.SetFocus();
}

void CGameInfoView::SetGame(GameInfo* game) {
    m_pGame = game;
    CWnd* title = GetDlgItem(kTitleId);
    if (!game) {
        if (title) {
            title->SetWindowText("");
        }
        Invalidate(TRUE);
        return;
    }
    if (title) {
        title->SetWindowText(std::string(game->m_strTitle));
    }
    LoadRatingBadge();
    m_edtDescription.SetWindowText(ReadDescription(game->DescFile()));
    if (QWidget* box = m_edtDescription.GetWidget()) {
        const int lineHeight = QFontMetrics(box->font()).size(Qt::TextSingleLine, "W").height();
        m_nTextHeight = lineHeight * m_edtDescription.GetLineCount();
    }
    ArrangeControls(TRUE);
}

void CGameInfoView::LoadRatingBadge() {
    m_badge = LoadFaintBadge(RatingBadgeId(m_pGame->m_strRating, false));
}

void CGameInfoView::BuildActionList() {
    const IFrame* frame = GetFrame();
    const auto state = [frame](const std::string& package) {
        return frame ? frame->GetTitleState(package) : 1;
    };
    m_lstActions.RemoveAllItems();
    for (const hv::detail::ActionEntry& entry : hv::detail::BuildActionEntries(*m_pGame, state)) {
        m_lstActions.AddItem(entry.text, entry.kind, entry.action);
    }
    m_lstActions.SetCurSel(0);
}

void CGameInfoView::RefreshDetail() {
    if (m_pGame && m_lstActions.GetSafeHwnd()) {
        BuildActionList();
    } else {
        m_lstActions.RemoveAllItems();
    }
    Invalidate(TRUE);
}

void CGameInfoView::ConfirmLeave(int& ok) {
    if (m_bPlayBusy) {
        IFrame* frame = GetFrame();
        CWnd* owner = frame ? CWnd::FromHandle(frame->FrameHwnd()) : nullptr;
        CMessageDlg dialog(owner ? owner : this);
        dialog.m_bTwoButtons = 1;
        dialog.m_bFirstDefault = 1;
        dialog.SetMessage(kTerminateQuestion);
        dialog.SetTitle("Halvory");
        if (dialog.DoModal() == IDYES) {
            if (frame) {
                hv::Send<UWM_CANCEL_DOWNLOAD>(frame->FrameHwnd());
            }
            ok = 1;
        } else {
            ok = 0;
        }
    } else if (m_bDownloadBusy) {
        ok = 0;
    } else {
        ok = m_bDeleteBusy ? 0 : 1;
    }
}

void CGameInfoView::ShowItem(UINT id, bool show) {
    if (CWnd* item = GetDlgItem(static_cast<int>(id))) {
        item->ShowWindow(show ? SW_SHOW : SW_HIDE);
    }
}

void CGameInfoView::ResetDetail() {
    m_pGame = nullptr;
    m_bPlayBusy = 0;
    m_bDownloadBusy = 0;
    m_bDeleteBusy = 0;
    for (const UINT id :
         {kPictureId, kInformationId, kDescriptionId, kPictureFrameId, kDescriptionFrameId}) {
        ShowItem(id, true);
    }
    ShowItem(kScrollUpId, m_bOverflow != 0);
    ShowItem(kScrollDownId, m_bOverflow != 0);
    ShowItem(kSpareId, false);
}

void CGameInfoView::ArrangeControls(BOOL rebuild) {
    if (!m_lstActions.GetSafeHwnd() || !m_edtDescription.GetSafeHwnd()) {
        return;
    }
    if (rebuild && m_pGame) {
        BuildActionList();
    }
    RECT client;
    GetClientRect(&client);
    RECT list;
    m_lstActions.GetClientRect(&list);
    const int listLeft = client.left + kMargin;
    m_lstActions.MoveWindow(listLeft, client.top + kListTop, list.right, list.bottom);
    // Built when the screen is first shown, not before the first frame.
    if (IsWindowVisible()) {
        m_lstActions.LoadRowImages();
    }
    const int left = listLeft + list.right + kMargin;
    const int right = client.right - kMargin;
    if (CWnd* title = GetDlgItem(kTitleId)) {
        title->MoveWindow(left, client.top + kTitleTop, std::max(0, right - left), kTitleHeight);
    }

    const int available = (client.bottom - kMargin) - (client.top + kDetailsTop);
    const int cap = 2 * (available / 3) - 64;
    m_bOverflow = m_nTextHeight > cap;
    const int boxBottom = client.bottom - kMargin;
    int boxTop = boxBottom - (m_bOverflow ? cap : m_nTextHeight);
    if (m_bOverflow) {
        const int arrowLeft = client.right - 42;
        m_btnScrollDown.MoveWindow(arrowLeft, client.bottom - 42, kArrowSize, kArrowSize);
        m_btnScrollUp.MoveWindow(arrowLeft, client.bottom - 42 - 30, kArrowSize, kArrowSize);
    }
    m_btnScrollUp.ShowWindow(m_bOverflow ? SW_SHOW : SW_HIDE);
    m_btnScrollDown.ShowWindow(m_bOverflow ? SW_SHOW : SW_HIDE);

    if (m_pGame) {
        PlaceDetails(client, left, right, &boxTop);
    }
    const int boxRight = m_bOverflow ? client.right - 45 : right;
    m_edtDescription.MoveWindow(left, boxTop, std::max(0, boxRight - left), boxBottom - boxTop);
    if (CWnd* frame = GetDlgItem(kDescriptionFrameId)) {
        frame->MoveWindow(RECT{left - 5, boxTop - 5, client.right - 10, client.bottom - 10});
    }
}

// Picture and information side by side, centred above the description,
// with the frame around both; the description moves down clear of it.
void CGameInfoView::PlaceDetails(const RECT& client, int left, int right, int* boxTop) {
    const int top = client.top + kDetailsTop;
    QRect picture(left, top, (left + right) / 2 - left, (*boxTop - kMargin) - top);
    {
        std::lock_guard lock(m_pGame->m_csIcon);
        const CxImage* icon = m_pGame->m_pIconImage.get();
        if (icon && icon->IsValid()) {
            const hv::detail::FittedSize fitted = hv::detail::FitPicture(
                static_cast<int>(icon->GetWidth()), static_cast<int>(icon->GetHeight()),
                picture.width(), picture.height());
            picture.setSize(QSize(fitted.width, fitted.height));
        }
    }
    m_arrInfoLines = hv::detail::InformationLines(*m_pGame);
    m_nPublisherLines =
        (m_pGame->m_strPublisher.empty() ? 0 : 1) + (m_pGame->m_strDeveloper.empty() ? 0 : 1);
    const auto widest = [this](const QFont& font, QString* text) {
        // Whole pixels up: the lines' ellipsis goes by the exact width.
        const QFontMetricsF metrics(font);
        int width = 0;
        for (const std::string& line : m_arrInfoLines) {
            const QString shown = QString::fromStdString(line);
            const int advance = static_cast<int>(std::ceil(metrics.horizontalAdvance(shown)));
            if (advance > width) {
                width = advance;
                *text = shown;
            }
        }
        return width;
    };
    // The bundled face runs wider than the one the layout was drawn for: the
    // lines get a smaller size rather than run past the screen's edge.
    QString longest;
    QFont infoFont = m_infoFont;
    int infoWidth = widest(infoFont, &longest);
    const int room = (right - left) - picture.width() - 20;
    if (infoWidth > room) {
        infoFont = FitFont(infoFont, longest, QSize(std::max(room, 0), 1 << 20), false);
        infoWidth = widest(infoFont, &longest);
    }
    CWnd* information = GetDlgItem(kInformationId);
    if (information) {
        information->GetWidget()->setFont(infoFont);
    }
    QRect info(0, top, infoWidth, kInfoBaseHeight + kInfoExtraLineHeight * m_nPublisherLines);

    const int groupWidth = picture.width() + 20 + infoWidth;
    const int groupLeft = left + ((right - left) - groupWidth) / 2;
    picture.moveLeft(groupLeft);
    info.moveLeft(groupLeft + picture.width() + 10);
    const int tallest = std::max(picture.height(), info.height());
    picture.moveTop(top + (tallest - picture.height()) / 2);
    info.moveTop(top + (tallest - info.height()) / 2);
    if (CWnd* item = GetDlgItem(kPictureId)) {
        item->MoveWindow(picture.x(), picture.y(), picture.width(), picture.height());
    }
    if (information) {
        information->MoveWindow(info.x(), info.y(), info.width(), info.height());
    }
    const int frameBottom = top + tallest + 5;
    if (CWnd* frame = GetDlgItem(kPictureFrameId)) {
        frame->MoveWindow(
            RECT{std::max(groupLeft - 5, left - 5), top - 5,
                 std::min(groupLeft + groupWidth + 5, static_cast<int>(client.right) - 10),
                 frameBottom});
    }
    if (*boxTop < frameBottom + 32 && frameBottom + 64 < client.bottom - kMargin) {
        *boxTop = frameBottom + 32;
    }
}

void CGameInfoView::ScrollDescription(int lines) {
    m_edtDescription.LineScroll(lines);
    const QRect box = Geometry(&m_edtDescription);
    InvalidateRect(RECT{box.left(), box.top(), box.left() + box.width(), box.top() + box.height()});
}

WORD CGameInfoView::OnAppCommand(int command) {
    switch (command) {
        case APPCOMMAND_MEDIA_CHANNEL_UP: ScrollDescription(-1); return 1;
        case APPCOMMAND_MEDIA_CHANNEL_DOWN: ScrollDescription(1); return 1;
        default: return 0;
    }
}

void CGameInfoView::OnKeyDown(WPARAM key) {
    switch (key) {
        case VK_UP:
        case VK_PRIOR: ScrollDescription(-1); return;
        case VK_DOWN:
        case VK_NEXT: ScrollDescription(1); return;
        case VK_BACK:
        case VK_BROWSER_BACK:
            if (IFrame* frame = GetFrame()) {
                frame->GoBack();
            }
            return;
        case VK_RETURN: {
            const CWnd* focus = GetFocus();
            if (focus == &m_lstActions) {
                const int row = std::max(m_lstActions.GetCurrentRow(), 0);
                // The first two rows start or remove something: not while
                // something is under way.
                if (row >= 2 || !IsBusy()) {
                    m_lstActions.SetPendingRow(row);
                    m_lstActions.SendMessage(UWM_MENU_CHOOSE);
                }
            } else if (focus == &m_btnScrollUp) {
                ScrollDescription(-1);
            } else if (focus == &m_btnScrollDown) {
                ScrollDescription(1);
            }
            return;
        }
        default: return;
    }
}

void CGameInfoView::OnChoose(const MCListItem* item) {
    IFrame* frame = GetFrame();
    if (m_pGame && item && frame) {
        hv::Post<UWM_GAME_ACTION>(frame->FrameHwnd(), static_cast<GameAction>(item->value),
                                  m_pGame);
    }
}

LRESULT CGameInfoView::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_KEYDOWN:
            if (!(lParam & (LPARAM(1) << 30))) {
                OnKeyDown(wParam);
            }
            break;
        case WM_COMMAND:
            if (LOWORD(wParam) == kScrollUpId) {
                ScrollDescription(-1);
            } else if (LOWORD(wParam) == kScrollDownId) {
                ScrollDescription(1);
            }
            return 0;
        case WM_MOUSEMOVE:
            m_btnScrollUp.ClearHover();
            m_btnScrollDown.ClearHover();
            break;
        case UWM_MENU_CHOOSE: OnChoose(hv::LParam<UWM_MENU_CHOOSE>(lParam)); return 0;
        case UWM_MENU_EXIT: {
            const UINT key = hv::WParam<UWM_MENU_EXIT>(wParam);
            if (key == VK_DOWN || key == VK_RIGHT) {
                m_btnScrollUp.SetFocus();
            }
            return 0;
        }
        case WM_DESTROY: m_badge = QImage(); break;
        default: break;
    }
    return CBaseView::WindowProc(message, wParam, lParam);
}

void CGameInfoView::PaintOverlay() {
    QPainter painter(GetWidget());
    painter.setClipRect(PaintArea(*this));
    DrawEdgeFrame(painter, kDescriptionFrameId, m_edgeDescriptionH, m_edgeDescriptionV);
    DrawEdgeFrame(painter, kPictureFrameId, m_edgePictureH, m_edgePictureV);
    if (m_pGame) {
        DrawPicture(painter);
        DrawInformation(painter);
    }
}

void CGameInfoView::DrawEdgeFrame(QPainter& painter, UINT id, CScaledImage& horizontal,
                                  CScaledImage& vertical) {
    const CWnd* frame = GetDlgItem(static_cast<int>(id));
    if (!frame || !frame->IsWindowVisible() || horizontal.IsNull() || vertical.IsNull()) {
        return;
    }
    const QRect rect = Geometry(frame);
    if (!painter.clipBoundingRect().intersects(rect)) {
        return;
    }
    const int edge = horizontal.Source().height();
    const int side = vertical.Source().width();
    const QImage& across = horizontal.At(QSize(rect.width(), edge));
    painter.drawImage(rect.topLeft(), across);
    painter.drawImage(QPoint(rect.left(), rect.bottom() + 1 - edge), across);
    const QImage& down = vertical.At(QSize(side, rect.height() - 2 * edge));
    painter.drawImage(QPoint(rect.left(), rect.top() + edge), down);
    painter.drawImage(QPoint(rect.right() + 1 - side, rect.top() + edge), down);
}

void CGameInfoView::DrawPicture(QPainter& painter) {
    const CWnd* item = GetDlgItem(kPictureId);
    if (!item || !item->IsWindowVisible()) {
        return;
    }
    const QRect rect = Geometry(item);
    std::lock_guard lock(m_pGame->m_csIcon);
    const CxImage* icon = m_pGame->m_pIconImage.get();
    if (!icon || !icon->IsValid()) {
        return;
    }
    const hv::detail::FittedSize fitted =
        hv::detail::FitPicture(static_cast<int>(icon->GetWidth()),
                               static_cast<int>(icon->GetHeight()), rect.width(), rect.height());
    const QSize size(fitted.width, fitted.height);
    // Scaled again only when the art thread has replaced the picture or the size changed.
    if (icon != m_pPictureSource || m_picture.size() != size) {
        m_pPictureSource = icon;
        m_picture = ToQImage(*icon).scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    painter.save();
    painter.setClipRect(rect, Qt::IntersectClip);
    painter.drawImage(rect.topLeft(), m_picture);
    painter.restore();
}

void CGameInfoView::DrawInformation(QPainter& painter) {
    const CWnd* item = GetDlgItem(kInformationId);
    if (!item || !item->IsWindowVisible()) {
        return;
    }
    const QRect rect = Geometry(item);
    painter.save();
    painter.setClipRect(rect, Qt::IntersectClip);
    if (!m_badge.isNull()) {
        painter.drawImage(QPoint(rect.left() + kBadgeIndent,
                                 rect.top() + kInfoLinePitch * (2 + m_nPublisherLines)),
                          m_badge);
    }
    painter.setFont(item->GetWidget()->font());
    painter.setPen(ToQColor(hv::look::kStaticText));
    int y = rect.top();
    for (const std::string& line : m_arrInfoLines) {
        QRect lineRect(rect.left(), y, rect.width(), rect.bottom() + 1 - y);
        hv::DrawText(painter, line, &lineRect, kInfoFlags);
        y += kInfoLinePitch;
    }
    painter.restore();
}
