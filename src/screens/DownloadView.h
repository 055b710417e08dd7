// The download and install progress screen. It never talks to the engine:
// the frame forwards the engine's progress and state to it, and Cancel goes
// back to the frame.
#pragma once

#include <QFont>
#include <QImage>
#include <QRect>
#include <string>

#include "halvory/engine.h"
#include "screens/BaseView.h"
#include "skin/AniButton.h"
#include "skin/ImgProgressCtrl.h"
#include "skin/Panel.h"
#include "skin/ScaledImage.h"

struct GameInfo;

// The status line: the plate stretched under one centred line of text.
class CStatusLine : public CWnd {
  public:
    // The plate and the text show only while there is a game.
    void ShowPlate(bool show);

  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    CScaledImage m_plate;
    bool m_bShowPlate = false;
};

class CDownloadView : public CBaseView {
  public:
    static constexpr UINT kTemplateId = 106;
    static constexpr UINT kCancelId = 1022;
    static constexpr UINT kProgressId = 1025;
    static constexpr UINT kPanelId = 1032;
    static constexpr UINT kTitleId = 1020;
    static constexpr UINT kSpareId = 1039;
    static constexpr UINT kStatusId = 1040;
    static constexpr UINT_PTR kCountdownTimer = 1000;
    static constexpr const char* kCancelTag = "CANCELDOWNLOAD";
    static constexpr const char* kCancelQuestion = "This will cancel your download. Are you sure?";

    CDownloadView();
    ~CDownloadView() override;

    void OnInitialUpdate() override;
    void ArrangeControls(BOOL rebuild) override;
    void PaintOverlay() override;

    // Ready for a transfer of `game` (not owned; may be null).
    void SetGame(GameInfo* game);
    GameInfo* GetGame() const { return m_pGame; }
    // The engine offers the game while the transfer goes on.
    void MarkReadyToPlay();
    // A started game has closed.
    void SetPlayEnded() { m_bPlayEnded = 1; }
    // `flag` becomes 1 when the user confirmed and the transfer is cancelled,
    // 0 when no transfer is in progress; otherwise it is left as it was.
    void ConfirmCancel(int& flag);

    std::string StatusText() const;
    CImgProgressCtrl& Progress() { return m_progress; }
    CAniButton& CancelButton() { return m_btnCancel; }
    int CountdownSeconds() const { return m_nCountdown; }
    bool CountdownRunning() const { return m_nTimerId != 0; }
    bool IsReadyToPlay() const { return m_bReadyToPlay != 0; }
    bool IsPlayEnded() const { return m_bPlayEnded != 0; }
    // Where the picture was last drawn, faint, and the badge beside it.
    QRect PictureRect() const { return m_pictureRect; }
    QRect BadgeRect() const { return m_badgeRect; }

  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    void ShowProgress(const std::string& tag, const std::string& timeText, int percent,
                      bool countdownMode, int state, bool connecting);
    void OnEngineProgress(const TransferProgress& progress);
    void OnEngineState(long seconds);
    void OnCountdownTick();
    void OnCancel();
    void StopCountdown();
    void SetStatus(const std::string& text);
    void SetBar(int percent);
    void OnKeyDown(WPARAM key);

    CAniButton m_btnCancel;
    CImgProgressCtrl m_progress;
    CPanel m_panel;
    CStatusLine m_status;
    QFont m_statusFont;
    GameInfo* m_pGame = nullptr;
    QRect m_art;
    int m_nCountdown = 0;
    UINT_PTR m_nTimerId = 0;
    int m_bPlayEnded = 0;
    int m_bEnterPosted = 0;
    QImage m_badge;
    int m_bReadyToPlay = 0;

    // The picture as drawn, faint, made again only for a new picture or size.
    QImage m_picture;
    const void* m_pPictureSource = nullptr;
    QRect m_pictureRect;
    QRect m_badgeRect;
};

namespace hv::download {

// "%02d:%02d:%02d" of hours, minutes and seconds; hours may run past two digits.
std::string TimeText(long seconds);
// The picture of w x h fitted into `art`, keeping its proportions, centred on
// the side it does not fill (off the rectangle when it is larger).
QRect FitArt(int w, int h, const QRect& art);

}  // namespace hv::download
