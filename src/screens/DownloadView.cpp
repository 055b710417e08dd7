#include "screens/DownloadView.h"

#include <QPainter>
#include <QWidget>
#include <cstdio>
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

using Self = CDownloadView;

void RegisterTemplate() {
    static const bool registered = [] {
        using Kind = DialogItemKind;
        RegisterDialogTemplate(DialogTemplate{
            Self::kTemplateId,
            441,
            313,
            WS_CHILD,
            {{Self::kCancelId, Kind::Button, "Cancel", RECT{141, 250, 167, 31}, WS_VISIBLE},
             {Self::kProgressId, Kind::Custom, "", RECT{81, 204, 285, 35}, WS_VISIBLE},
             {Self::kPanelId, Kind::Static, "", RECT{77, 121, 294, 171}, 0},
             {Self::kTitleId, Kind::Static, "", RECT{117, 4, 190, 23},
              WS_VISIBLE | SS_CENTER | SS_CENTERIMAGE},
             {Self::kSpareId, Kind::Static, "", RECT{85, 137, 274, 33}, 0},
             {Self::kStatusId, Kind::Custom, "", RECT{100, 33, 274, 33}, WS_VISIBLE}}});
        return true;
    }();
    (void)registered;
}

constexpr int kMargin = 15;
constexpr int kPictureAlpha = 90;
constexpr UINT kStatusFlags = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_WORD_ELLIPSIS;

// Each trailing-dot animation counts 1, 2, 3 dots and again, once per use.
// They belong to the texts, not to one screen: every instance shares them.
enum DotCounter {
    kRetryingDots,
    kToPlayDots,
    kDownloadingDots,
    kStreamingDots,
    kInstallingDots,
    kDotCounters
};
int g_nDots[kDotCounters] = {};

int NextDots(DotCounter counter) {
    int& dots = g_nDots[counter];
    const int shown = dots + 1;
    dots = shown % 3;
    return shown;
}

std::string Blanks(int count) {
    return std::string(static_cast<size_t>(count), ' ');
}

std::string Dotted(const char* word, DotCounter counter) {
    return word + std::string(static_cast<size_t>(NextDots(counter)), '.');
}

std::string ConnectingText() {
    return Blanks(33) + "Connecting...";
}
std::string DownloadingText() {
    return Blanks(33) + Dotted("Downloading", kDownloadingDots);
}
std::string StreamingText() {
    return Blanks(33) + Dotted("Streaming", kStreamingDots);
}
std::string RetryingText() {
    return Blanks(30) + Dotted("Retrying Connection", kRetryingDots);
}
std::string RestoredText() {
    return Blanks(29) + "Connection Restored.";
}
// "Start playing in:" keeps its column: the blanks give back what the dots take.
std::string ToPlayText(const char* word, int column, DotCounter counter) {
    const int dots = NextDots(counter);
    return Blanks(3) + word + std::string(static_cast<size_t>(dots), '.') + Blanks(column - dots) +
           "Start playing in:";
}
std::string DownloadingToPlayText() {
    return ToPlayText("Downloading", 41, kToPlayDots);
}
std::string InstallingToPlayText() {
    return ToPlayText("Installing", 48, kInstallingDots);
}
std::string ExtractingText() {
    return Blanks(3) + "Installing" + Blanks(48) + Dotted("Extracting Files", kInstallingDots);
}
std::string PhaseText(int phase, int percent) {
    char text[64];
    std::snprintf(text, sizeof text, "Preparing Game [Phase %d] %d%%", phase, percent);
    return Blanks(3) + "Installing" + Blanks(39) + text;
}

// The longest line the screen shows: installing to play, with its time.
const std::string kWidestStatus =
    Blanks(3) + "Installing..." + Blanks(45) + "Start playing in:" + "00:00:00";

std::string PercentText(int percent) {
    return std::to_string(percent) + "%";
}

}  // namespace

namespace hv::download {

std::string TimeText(long seconds) {
    char text[48];
    std::snprintf(text, sizeof text, "%02ld:%02ld:%02ld", seconds / 3600, (seconds % 3600) / 60,
                  seconds % 60);
    return text;
}

QRect FitArt(int w, int h, const QRect& art) {
    const detail::FittedSize fitted =
        detail::FitPicture(w, h, art.width(), art.height(), detail::FitTie::DownloadScreen);
    return QRect(art.left() + (art.width() - fitted.width) / 2,
                 art.top() + (art.height() - fitted.height) / 2, fitted.width, fitted.height);
}

}  // namespace hv::download

void CStatusLine::ShowPlate(bool show) {
    m_bShowPlate = show;
    Invalidate(FALSE);
}

LRESULT CStatusLine::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_PAINT) {
        return CWnd::WindowProc(message, wParam, lParam);
    }
    if (!m_bShowPlate) {
        return 0;
    }
    QWidget* widget = GetWidget();
    if (m_plate.IsNull()) {
        const CSkinSet* skin = GetSkin();
        const CxImage* plate = skin ? skin->Image(hv::res::kStatusPlate.id) : nullptr;
        m_plate = CScaledImage(plate ? ToQImage(*plate) : QImage());
    }
    QPainter painter(widget);
    painter.setClipRect(PaintArea(*this));
    if (!m_plate.IsNull()) {
        painter.drawImage(QPoint(0, 0), m_plate.At(widget->size()));
    }
    const std::string text = GetWindowText();
    if (!text.empty()) {
        painter.setFont(widget->font());
        painter.setPen(ToQColor(hv::look::kStaticText));
        QRect rect = widget->rect();
        hv::DrawText(painter, text, &rect, kStatusFlags);
    }
    return 0;
}

CDownloadView::CDownloadView() : CBaseView(kTemplateId) {
    RegisterTemplate();
}

CDownloadView::~CDownloadView() {
    DestroyWindow();
}

void CDownloadView::OnInitialUpdate() {
    const CSkinSet* skin = GetSkin();
    const QFont font = skin ? skin->Font(30, 400) : QFont();
    for (const UINT id : {kTitleId, kSpareId}) {
        if (CWnd* item = GetDlgItem(static_cast<int>(id))) {
            item->GetWidget()->setFont(font);
        }
    }
    m_statusFont = font;
    if (m_status.SubclassDlgItem(kStatusId, this)) {
        m_status.GetWidget()->setFont(font);
    }
    if (m_progress.SubclassDlgItem(kProgressId, this)) {
        m_progress.SetRange(0, 100);
        m_progress.SetStep(1);
        m_progress.GetWidget()->setFont(font);
        m_progress.m_nBackgroundId = hv::res::kProgressTroughBitmap.id;
        m_progress.m_nBarId = hv::res::kProgressFill.id;
    }
    if (m_btnCancel.SubclassDlgItem(kCancelId, this)) {
        m_btnCancel.SetSkinImages();
        m_btnCancel.SetFont(font);
    }
    if (m_panel.Attach(kPanelId, this)) {
        m_panel.AddControl(kProgressId);
        m_panel.AddControl(kCancelId);
    }
    m_btnCancel.StartAnimation();
    m_btnCancel.SetFocus();
}

void CDownloadView::SetGame(GameInfo* game) {
    m_bPlayEnded = 0;
    m_bReadyToPlay = 0;
    m_nCountdown = 0;
    SetStatus("");
    ShowProgress("", "", 0, false, 0, true);
    m_pGame = game;
    m_status.ShowPlate(game != nullptr);
    CWnd* title = GetDlgItem(kTitleId);
    if (game) {
        if (title) {
            title->SetWindowText(std::string(game->m_strTitle));
        }
        m_badge = LoadFaintBadge(RatingBadgeId(game->m_strRating, false));
    } else {
        if (title) {
            title->SetWindowText("");
        }
        Invalidate(TRUE);
    }
}

void CDownloadView::MarkReadyToPlay() {
    m_nCountdown = 0;
    m_bReadyToPlay = 1;
}

std::string CDownloadView::StatusText() const {
    return m_status.GetWindowText();
}

void CDownloadView::SetStatus(const std::string& text) {
    m_status.SetWindowText(text);
}

void CDownloadView::SetBar(int percent) {
    m_progress.m_strCaption = PercentText(percent);
    m_progress.SetPos(percent);
    m_progress.Invalidate(FALSE);
}

void CDownloadView::ShowProgress(const std::string& tag, const std::string& timeText, int percent,
                                 bool countdownMode, int state, bool connecting) {
    for (CWnd* control : {static_cast<CWnd*>(&m_progress), static_cast<CWnd*>(&m_btnCancel)}) {
        if (control->GetSafeHwnd() && !control->IsWindowVisible()) {
            control->ShowWindow(SW_SHOW);
        }
    }
    if (connecting) {
        SetStatus(ConnectingText());
        SetBar(0);
        return;
    }
    const bool hasTime = !timeText.empty() && timeText != "0";
    if (countdownMode) {
        if (hasTime) {
            SetStatus(InstallingToPlayText() + timeText);
        } else if (percent == 100) {
            SetBar(100);
        }
        return;
    }
    if (state == HV_STATE_RETRYING) {
        SetStatus(RetryingText() + timeText);
        return;
    }
    if (state == HV_STATE_RESTORED) {
        SetStatus(RestoredText());
        g_nDots[kRetryingDots] = 0;
        return;
    }
    if (hasTime) {
        SetStatus(DownloadingToPlayText() + timeText);
    } else if (m_nCountdown == 0 && percent >= 0) {
        if (m_bPlayEnded) {
            SetStatus(DownloadingText());
        } else if (tag == kCancelTag) {
            SetStatus("");
        } else if (m_bReadyToPlay) {
            SetStatus(StreamingText());
        } else if (state == HV_STATE_INSTALLING_2) {
            SetStatus(PhaseText(2, percent));
        } else if (state == HV_STATE_INSTALLING_1) {
            SetStatus(PhaseText(1, percent));
        } else if (state == HV_STATE_EXTRACTING) {
            SetStatus(ExtractingText());
        }
    }
    if (hasTime) {
        SetBar(percent);
    } else if (m_nCountdown == 0 && m_bReadyToPlay) {
        SetBar(percent <= 0 ? 1 : percent);
    }
}

void CDownloadView::OnEngineProgress(const TransferProgress& progress) {
    const std::string timeText =
        progress.lSecondsToPlay > 0 ? hv::download::TimeText(progress.lSecondsToPlay) : "";
    // Percentages of a record whose counts make no sense are not shown.
    const bool counted = progress.lTotal > 0 && progress.lDone <= progress.lTotal;
    const int share =
        counted ? static_cast<int>(static_cast<long long>(progress.lDone) * 100 / progress.lTotal)
                : 0;
    switch (progress.lState) {
        case HV_STATE_RETRYING:
        case HV_STATE_RESTORED: ShowProgress("", "", 0, false, progress.lState, false); return;
        case HV_STATE_INSTALLING_2:
        case HV_STATE_INSTALLING_1:
            if (counted) {
                ShowProgress("", "", share, false, progress.lState, false);
            }
            return;
        case HV_STATE_EXTRACTING:
            // With its share, so that a game being streamed keeps its full bar.
            ShowProgress("", "", share, false, progress.lState, false);
            return;
        default: {
            const std::string tag = std::to_string(progress.lExtra);
            if (timeText.empty() && m_nCountdown == 0) {
                if (counted) {
                    ShowProgress(tag, "", share, false, progress.lState, false);
                }
            } else {
                ShowProgress(tag, timeText, progress.lPercent, false, progress.lState, false);
            }
            return;
        }
    }
}

void CDownloadView::OnEngineState(long seconds) {
    m_nCountdown = static_cast<int>(seconds);
    ShowProgress("", "", 100, true, 0, false);
    if (m_nTimerId) {
        KillTimer(m_nTimerId);
    }
    m_nTimerId = SetTimer(kCountdownTimer, 1000);
}

void CDownloadView::OnCountdownTick() {
    if (m_nCountdown > 0) {
        const std::string timeText = hv::download::TimeText(m_nCountdown);
        --m_nCountdown;
        ShowProgress("", timeText, 0, true, 0, false);
    }
    if (m_nCountdown <= 0 && m_nTimerId) {
        StopCountdown();
    }
}

void CDownloadView::StopCountdown() {
    if (m_nTimerId) {
        KillTimer(m_nTimerId);
        m_nTimerId = 0;
    }
}

void CDownloadView::OnCancel() {
    if (IFrame* frame = GetFrame()) {
        hv::Send<UWM_CANCEL_DOWNLOAD>(frame->FrameHwnd());
    }
    m_nCountdown = 0;
    StopCountdown();
    ShowProgress(kCancelTag, "", 0, false, 0, false);
    m_bEnterPosted = 0;
    m_bReadyToPlay = 0;
}

void CDownloadView::ConfirmCancel(int& flag) {
    if (m_bEnterPosted) {
        return;
    }
    IFrame* frame = GetFrame();
    if (!frame || !frame->IsDownloadActive()) {
        flag = 0;
        return;
    }
    CWnd* owner = CWnd::FromHandle(frame->FrameHwnd());
    CMessageDlg dialog(owner ? owner : this);
    dialog.m_bTwoButtons = 1;
    dialog.m_bFirstDefault = 1;
    dialog.SetMessage(kCancelQuestion);
    dialog.SetTitle("Halvory");
    if (dialog.DoModal() == IDYES) {
        OnCancel();
        flag = 1;
    }
}

void CDownloadView::OnKeyDown(WPARAM key) {
    switch (key) {
        case VK_BACK:
        case VK_BROWSER_BACK: {
            int flag = 0;
            ConfirmCancel(flag);
            return;
        }
        case VK_RETURN:
            if (!m_bEnterPosted && m_btnCancel.GetSafeHwnd()) {
                m_bEnterPosted = 1;
                // As a click on the button: its sweep runs, then Cancel.
                hv::Post<WM_COMMAND>(GetSafeHwnd(), MAKEWPARAM(kCancelId, BN_CLICKED),
                                     m_btnCancel.GetSafeHwnd());
            }
            return;
        default: return;
    }
}

void CDownloadView::ArrangeControls(BOOL) {
    RECT client;
    GetClientRect(&client);
    const int x0 = client.left + kMargin;
    const int x1 = client.right - kMargin;
    CWnd* title = GetDlgItem(kTitleId);
    if (!title) {
        return;
    }
    title->MoveWindow(x0, client.top + 30, x1 - x0, 35);
    if (!m_status.GetSafeHwnd()) {
        return;
    }
    m_status.MoveWindow(x0, client.bottom - 80, x1 - x0, 50);
    // The bundled face runs wider than the one the texts were spaced for: the
    // line takes a smaller size rather than lose the time to its ellipsis.
    // One size for every text, so that "Start playing in:" keeps its place.
    m_status.GetWidget()->setFont(
        FitFont(m_statusFont, QString::fromStdString(kWidestStatus), QSize(x1 - x0, 50), false));
    if (m_panel.GetSafeHwnd()) {
        RECT panel;
        m_panel.GetClientRect(&panel);
        const int x = (x0 + x1) / 2 - panel.right / 2;
        const int y = ((client.bottom - 85) + (client.top + 70)) / 2 - panel.bottom / 2;
        m_panel.MoveWindow(x, y, panel.right, panel.bottom);
    }
    m_art = QRect(QPoint(client.left + 50, client.top + 105),
                  QPoint(client.right - 50 - 1, client.bottom - 120 - 1));
}

void CDownloadView::PaintOverlay() {
    m_pictureRect = m_badgeRect = QRect();
    if (!m_pGame) {
        return;
    }
    QPainter painter(GetWidget());
    painter.setClipRect(PaintArea(*this));
    {
        std::lock_guard lock(m_pGame->m_csIcon);
        const CxImage* icon = m_pGame->m_pIconImage.get();
        if (!icon || !icon->IsValid()) {
            return;
        }
        m_pictureRect = hv::download::FitArt(static_cast<int>(icon->GetWidth()),
                                             static_cast<int>(icon->GetHeight()), m_art);
        // Made again only when the art thread replaced the picture or the size changed.
        if (icon != m_pPictureSource || m_picture.size() != m_pictureRect.size()) {
            m_pPictureSource = icon;
            const QImage scaled = ToQImage(*icon).scaled(
                m_pictureRect.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            m_picture = QImage(scaled.size(), QImage::Format_ARGB32_Premultiplied);
            m_picture.fill(Qt::transparent);
            QPainter faint(&m_picture);
            // A picture with its own alpha keeps it; one without is drawn faint.
            faint.setOpacity(icon->AlphaIsValid() ? 1.0 : kPictureAlpha / 255.0);
            faint.drawImage(0, 0, scaled);
        }
    }
    painter.drawImage(m_pictureRect.topLeft(), m_picture);
    if (!m_badge.isNull()) {
        m_badgeRect =
            QRect(QPoint(m_pictureRect.right() + 2, m_pictureRect.bottom() + 1 - m_badge.height()),
                  m_badge.size());
        painter.drawImage(m_badgeRect.topLeft(), m_badge);
    }
}

LRESULT CDownloadView::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case UWM_ENGINE_PROGRESS: {
            const TransferProgress* progress = hv::LParam<UWM_ENGINE_PROGRESS>(lParam);
            if (!progress) {
                return -1;
            }
            OnEngineProgress(*progress);
            return 0;
        }
        case UWM_ENGINE_STATE: OnEngineState(hv::WParam<UWM_ENGINE_STATE>(wParam)); return 0;
        case WM_TIMER:
            if (wParam == kCountdownTimer) {
                OnCountdownTick();
            }
            break;
        case WM_KEYDOWN:
            if (!(lParam & (LPARAM(1) << 30))) {
                OnKeyDown(wParam);
            }
            return 0;
        case WM_COMMAND:
            if (LOWORD(wParam) == kCancelId && HIWORD(wParam) == BN_CLICKED) {
                OnCancel();
            }
            return 0;
        case WM_DESTROY:
            StopCountdown();
            m_badge = QImage();
            break;
        default: break;
    }
    return CBaseView::WindowProc(message, wParam, lParam);
}
