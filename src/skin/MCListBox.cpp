#include "skin/MCListBox.h"

#include <QPainter>
#include <QWidget>
#include <algorithm>
#include <cstdlib>

#include "messages/Messages.h"
#include "res/ResourceTable.h"
#include "skin/AnimationClock.h"
#include "skin/ClickSound.h"
#include "skin/Look.h"
#include "skin/SkinSet.h"
#include "ui/DrawText.h"

namespace {

constexpr int kWheelNotch = 120;
constexpr int kPulseStep = 25;
constexpr int kShineAlpha = 200;
constexpr int kShineStep = 100;
constexpr int kShineStart = 5;
// Text runs from here to kTextRightMargin before the right edge.
constexpr int kTextLeft = 5;
constexpr int kTextRightMargin = 35;

bool IsAutoRepeat(LPARAM data) {
    return (data & (LPARAM(1) << 30)) != 0;
}

}  // namespace

CMCListBox::CMCListBox() = default;

CMCListBox::~CMCListBox() {
    DestroyWindow();
}

int CMCListBox::AddItem(const std::string& text, int kind, int value,
                        const std::vector<std::string>* subTexts, int extra) {
    auto item = std::make_unique<MCListItem>();
    item->text = text;
    item->kind = kind;
    item->value = value;
    if (subTexts) {
        item->subTexts = *subTexts;
    }
    item->extra = extra;
    m_arrItems.push_back(std::move(item));
    return GetCount() - 1;
}

int CMCListBox::GetItemText(int index, std::string* text) const {
    if (!IsIndex(index)) {
        return -1;
    }
    *text = m_arrItems[static_cast<size_t>(index)]->text;
    return static_cast<int>(text->size());
}

const MCListItem* CMCListBox::GetItem(int index) const {
    return IsIndex(index) ? m_arrItems[static_cast<size_t>(index)].get() : nullptr;
}

bool CMCListBox::IsSeparator(int row) const {
    return IsIndex(row) && m_arrItems[static_cast<size_t>(row)]->kind == kSeparator;
}

void CMCListBox::SetCurSel(int index) {
    m_nCurrent = index;
    m_nChosen = index;
    ScrollIntoView(index);
    Invalidate(TRUE);
}

void CMCListBox::RemoveAllItems() {
    m_arrItems.clear();
    m_nTopRow = 0;
    Invalidate(TRUE);
}

void CMCListBox::LoadRowImages() {
    RECT client;
    GetClientRect(&client);
    const QSize size(client.right, kRowHeight);
    const std::pair<CScaledImage*, UINT> images[] = {
        {&m_imgChosen, hv::res::kMenuRowChosen.id},
        {&m_imgRow, hv::res::kMenuRow.id},
        {&m_imgPulseBaseChosen, hv::res::kMenuRowChosenFocus.id},
        {&m_imgPulseLightChosen, hv::res::kMenuRowChosenFocusLight.id},
        {&m_imgPulseBase, hv::res::kMenuRowFocus.id},
        {&m_imgPulseLight, hv::res::kMenuRowFocusLight.id},
        {&m_imgShine, hv::res::kButtonSweep.id},
    };
    for (const auto& [image, id] : images) {
        if (image->IsNull()) {
            *image = CScaledImage(LoadBitmapResource(id));
        }
        image->At(size);
    }
}

int CMCListBox::HitTest(int, int y) const {
    if (y < 0) {
        return -1;
    }
    const int row = y / kRowPitch + m_nTopRow;
    return row >= GetCount() || IsSeparator(row) ? -1 : row;
}

QRect CMCListBox::RowRect(int row) const {
    const int width = GetWidget() ? GetWidget()->width() : 0;
    return QRect(0, (row - m_nTopRow) * kRowPitch, width, kRowHeight);
}

void CMCListBox::ScrollIntoView(int row) {
    // A list taller than its window, the games screen's categories on a
    // small window, keeps its current row in view.
    const int height = GetWidget() ? GetWidget()->height() : 0;
    const int visible = std::max(1, (height + kRowPitch - kRowHeight) / kRowPitch);
    int top = m_nTopRow;
    if (row >= 0 && row < top) {
        top = row;
    } else if (row >= top + visible) {
        top = row - visible + 1;
    }
    if (top != m_nTopRow) {
        m_nTopRow = top;
        Invalidate(TRUE);
    }
}

void CMCListBox::InvalidateRow(int row) {
    if (GetWidget() && IsIndex(row)) {
        GetWidget()->update(RowRect(row));
    }
}

void CMCListBox::MakeCurrent(int row) {
    if (row == m_nCurrent) {
        return;
    }
    InvalidateRow(m_nCurrent);
    m_nCurrent = row;
    ScrollIntoView(row);
    InvalidateRow(row);
}

void CMCListBox::StepUp() {
    if (m_nCurrent <= 0) {
        return;
    }
    int row = m_nCurrent - 1;
    while (row > 0 && IsSeparator(row)) {
        --row;
    }
    MakeCurrent(row);
}

void CMCListBox::StepDown() {
    const int last = GetCount() - 1;
    if (m_nCurrent >= last) {
        if (CWnd* parent = GetParent()) {
            hv::Send<UWM_MENU_EXIT>(parent->GetSafeHwnd(), VK_DOWN);
        }
        return;
    }
    int row = m_nCurrent + 1;
    while (row < last && IsSeparator(row)) {
        ++row;
    }
    MakeCurrent(row);
}

bool CMCListBox::OnKeyDown(UINT key, LPARAM data) {
    if (IsAutoRepeat(data) || key < VK_BACK || key > VK_BROWSER_BACK) {
        return false;
    }
    CWnd* parent = GetParent();
    switch (key) {
        case VK_BACK:
        case VK_BROWSER_BACK:
            if (parent) {
                parent->SendMessage(WM_KEYDOWN, key, data);
            }
            return true;
        case VK_PRIOR:
        case VK_NEXT:
            if (m_bPageKeysToParent && parent) {
                parent->SendMessage(WM_KEYDOWN, key, data);
            }
            return true;
        case VK_UP: StepUp(); return true;
        case VK_DOWN: StepDown(); return true;
        case VK_RIGHT:
            if (parent) {
                hv::Send<UWM_MENU_EXIT>(parent->GetSafeHwnd(), VK_RIGHT);
            }
            return true;
        default: return false;
    }
}

void CMCListBox::Choose(int row) {
    if (row < 0) {
        return;
    }
    if (row != m_nCurrent) {
        InvalidateRow(m_nCurrent);
    }
    InvalidateRow(m_nChosen);
    m_nCurrent = row;
    m_nChosen = row;
    InvalidateRow(row);
    if (!m_bConfirming) {
        m_bConfirming = true;
        PlayClickSound();
        return;
    }
    m_bConfirming = false;
    m_bChoicePosted = false;
    m_nPulseAlpha = 0;
    m_bPulseRising = true;
    m_nShinePosition = kShineStart;
    Show(Shown::Rest, m_nShownRow);
    const MCListItem* item = GetItem(IsIndex(m_nPending) ? m_nPending : row);
    if (CWnd* parent = GetParent(); item && parent) {
        hv::Send<UWM_MENU_CHOOSE>(parent->GetSafeHwnd(), m_nPending, item);
    }
}

void CMCListBox::PostChoice() {
    // Once: the sweep's end and a loss of the focus may both ask.
    if (!m_bChoicePosted) {
        m_bChoicePosted = true;
        hv::Post<UWM_MENU_CHOOSE>(GetSafeHwnd());
    }
}

void CMCListBox::Step() {
    if (m_bConfirming) {
        Sweep();
    } else {
        Pulse();
    }
}

void CMCListBox::Show(Shown shown, int row) {
    if (row != m_nShownRow) {
        InvalidateRow(m_nShownRow);
    }
    m_shown = shown;
    m_nShownRow = row;
    InvalidateRow(row);
}

void CMCListBox::Pulse() {
    if (!IsIndex(m_nCurrent)) {
        return;
    }
    m_nShownAlpha = m_nPulseAlpha;
    Show(Shown::Pulse, m_nCurrent);
    if (m_bPulseRising) {
        m_nPulseAlpha += kPulseStep;
        if (m_nPulseAlpha >= 255) {
            m_nPulseAlpha = 255;
            m_bPulseRising = false;
        }
    } else {
        m_nPulseAlpha -= kPulseStep;
        if (m_nPulseAlpha <= 0) {
            m_nPulseAlpha = 0;
            m_bPulseRising = true;
        }
    }
}

void CMCListBox::Sweep() {
    if (m_bChoicePosted) {
        return;
    }
    const int width = GetWidget() ? GetWidget()->width() : 0;
    const int x = m_nShinePosition - width;
    m_nShownSweepX = x;
    Show(Shown::Sweep, m_nPending);
    m_nShinePosition += kShineStep;
    if (x >= width) {
        PostChoice();
    }
}

void CMCListBox::OnSetFocus() {
    m_nPulseAlpha = 0;
    m_bPulseRising = true;
    m_nShinePosition = kShineStart;
    CAnimationClock::Instance().Subscribe(this, [this] { Step(); });
}

void CMCListBox::OnKillFocus() {
    if (m_bConfirming) {
        PostChoice();
    }
    CAnimationClock::Instance().Unsubscribe(this);
    Show(Shown::Rest, m_nCurrent);
    m_nCurrent = 0;
}

void CMCListBox::Paint() {
    if (m_arrItems.empty()) {
        return;
    }
    QPainter painter(GetWidget());
    const QRect area = PaintArea(*this);
    const int first = m_nTopRow + std::max(0, area.top() / kRowPitch);
    const int last = std::min(GetCount() - 1, m_nTopRow + area.bottom() / kRowPitch);
    for (int row = first; row <= last; ++row) {
        // A separator leaves the screen's background visible.
        if (!IsSeparator(row)) {
            DrawRow(painter, row);
        }
    }
}

void CMCListBox::DrawRow(QPainter& painter, int row) const {
    const QRect rect = RowRect(row);
    const QSize size = rect.size();
    const std::string& text = m_arrItems[static_cast<size_t>(row)]->text;
    const bool chosen = row == m_nChosen;
    const Shown shown = row == m_nShownRow ? m_shown : Shown::Rest;
    if (shown == Shown::Rest) {
        painter.drawImage(rect.topLeft(), (chosen ? m_imgChosen : m_imgRow).At(size));
        DrawRowText(painter, rect, text, DT_END_ELLIPSIS);
        return;
    }
    painter.drawImage(rect.topLeft(), (chosen ? m_imgPulseBaseChosen : m_imgPulseBase).At(size));
    painter.save();
    if (shown == Shown::Pulse) {
        painter.setOpacity(m_nShownAlpha / 255.0);
        painter.drawImage(rect.topLeft(),
                          (chosen ? m_imgPulseLightChosen : m_imgPulseLight).At(size));
    } else {
        painter.setClipRect(QRect(QPoint(rect.left() + 3, rect.top() + 5),
                                  QPoint(rect.right() - 3, rect.top() + 40 - 1)));
        painter.setOpacity(kShineAlpha / 255.0);
        painter.drawImage(QPoint(m_nShownSweepX, rect.top()), m_imgShine.At(size));
    }
    painter.restore();
    DrawRowText(painter, rect, text, DT_WORD_ELLIPSIS);
}

void CMCListBox::DrawRowText(QPainter& painter, const QRect& row, const std::string& text,
                             UINT ellipsis) const {
    const CSkinSet* skin = GetSkin();
    painter.setFont(skin ? skin->Font(23, 400) : QFont());
    painter.setPen(ToQColor(m_crText));
    QRect area(QPoint(row.left() + kTextLeft, row.top()),
               QPoint(row.right() - kTextRightMargin, row.bottom()));
    hv::DrawText(painter, text, &area, DT_LEFT | DT_VCENTER | DT_SINGLELINE | ellipsis);
}

void CMCListBox::PostWheelKeys(HWND hwnd, WPARAM wParam) {
    const int notches = static_cast<short>(HIWORD(wParam)) / kWheelNotch;
    const UINT key = notches > 0 ? VK_UP : VK_DOWN;
    for (int i = 0; i < std::abs(notches); ++i) {
        PostMessageA(hwnd, WM_KEYDOWN, key, 1);
    }
}

LRESULT CMCListBox::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: Paint(); return 0;
        case WM_ERASEBKGND: return 1;
        case WM_KEYDOWN:
            if (OnKeyDown(static_cast<UINT>(wParam), lParam)) {
                return 0;
            }
            break;
        case WM_MOUSEMOVE: {
            if (GetFocus() != this) {
                SetFocus();
            }
            const int row = HitTest(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
            if (row != -1) {
                MakeCurrent(row);
            }
            return 0;
        }
        case WM_LBUTTONDOWN:
            if (!m_bConfirming) {
                m_nPending = HitTest(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
                Choose(m_nPending);
            }
            return 0;
        case WM_LBUTTONDBLCLK:
            Choose(HitTest(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)));
            return 0;
        case WM_MOUSEWHEEL: PostWheelKeys(GetSafeHwnd(), wParam); return 0;
        case UWM_MENU_CHOOSE: Choose(m_nCurrent); return 0;
        case WM_SETFOCUS:
            CWnd::WindowProc(message, wParam, lParam);
            OnSetFocus();
            return 0;
        case WM_KILLFOCUS:
            CWnd::WindowProc(message, wParam, lParam);
            OnKillFocus();
            return 0;
        case WM_DESTROY:
            CWnd::WindowProc(message, wParam, lParam);
            CAnimationClock::Instance().Unsubscribe(this);
            RemoveAllItems();
            for (CScaledImage* image :
                 {&m_imgChosen, &m_imgRow, &m_imgPulseBaseChosen, &m_imgPulseLightChosen,
                  &m_imgPulseBase, &m_imgPulseLight, &m_imgShine}) {
                *image = CScaledImage();
            }
            return 0;
        default: break;
    }
    return CWnd::WindowProc(message, wParam, lParam);
}
