// The game detail screen: one game with its demo and the actions on them.
// It never starts an action itself: a picked entry goes to the frame as
// UWM_GAME_ACTION.
#pragma once

#include <QFont>
#include <QImage>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "image/CxImage.h"
#include "screens/BaseView.h"
#include "screens/DescriptionEdit.h"
#include "skin/MCListBox.h"
#include "skin/ScaledImage.h"
#include "skin/StaticBtn.h"

struct GameInfo;

class CGameInfoView : public CBaseView {
  public:
    static constexpr UINT kTemplateId = 175;
    static constexpr UINT kActionListId = 1012;
    static constexpr UINT kDescriptionFrameId = 1105;
    static constexpr UINT kDescriptionId = 1019;
    static constexpr UINT kScrollUpId = 1015;
    static constexpr UINT kScrollDownId = 1016;
    static constexpr UINT kPictureId = 1021;
    static constexpr UINT kTitleId = 1020;
    static constexpr UINT kInformationId = 1104;
    static constexpr UINT kPictureFrameId = 1106;
    static constexpr UINT kSpareId = 1022;
    static constexpr const char* kNoDescription = "No Description Available";
    static constexpr const char* kTerminateQuestion = "This will terminate the game. Are you sure?";

    CGameInfoView();
    ~CGameInfoView() override;

    void OnInitialUpdate() override;
    void ArrangeControls(BOOL rebuild) override;
    WORD OnAppCommand(int command) override;
    void PaintOverlay() override;

    // Shows a record (not owned); null empties the title.
    void SetGame(GameInfo* game);
    GameInfo* GetGame() const { return m_pGame; }
    // Back asks first: `ok` becomes 1 when the screen may be left, 0 when not.
    void ConfirmLeave(int& ok);
    // The screen is left: no record, no busy flags, every part shown again.
    void ResetDetail();
    // A package went away: the entries follow.
    void RefreshDetail();
    bool IsBusy() const { return m_bDownloadBusy || m_bPlayBusy || m_bDeleteBusy; }

    CMCListBox& ActionList() { return m_lstActions; }
    CDescriptionEdit& Description() { return m_edtDescription; }
    // The rating badge, faint, as drawn; null without one.
    const QImage& RatingBadge() const { return m_badge; }
    // Non-zero when the description is taller than its box.
    int DescriptionOverflows() const { return m_bOverflow; }

    // Set and cleared by the frame's game actions, from its workers too.
    std::atomic<int> m_bPlayBusy{0};
    std::atomic<int> m_bDownloadBusy{0};
    std::atomic<int> m_bDeleteBusy{0};

  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    void BuildActionList();
    void OnKeyDown(WPARAM key);
    void OnChoose(const MCListItem* item);
    // One line up (negative) or down, and the screen under the box repainted.
    void ScrollDescription(int lines);
    void LoadRatingBadge();
    void PlaceDetails(const RECT& client, int left, int right, int* boxTop);
    void DrawEdgeFrame(QPainter& painter, UINT id, CScaledImage& horizontal,
                       CScaledImage& vertical);
    void DrawPicture(QPainter& painter);
    void DrawInformation(QPainter& painter);
    void ShowItem(UINT id, bool show);

    CDescriptionEdit m_edtDescription;
    CMCListBox m_lstActions;
    CStaticBtn m_btnScrollUp;
    CStaticBtn m_btnScrollDown;
    GameInfo* m_pGame = nullptr;
    int m_nTextHeight = 35;
    int m_bOverflow = 0;

    // Ready to draw: the badge at its drawing strength, the edges at the
    // sizes of the two frames, the picture at its fitted size.
    QImage m_badge;
    CScaledImage m_edgeDescriptionH;
    CScaledImage m_edgeDescriptionV;
    CScaledImage m_edgePictureH;
    CScaledImage m_edgePictureV;
    QImage m_picture;
    const CxImage* m_pPictureSource = nullptr;
    QFont m_infoFont;
    std::vector<std::string> m_arrInfoLines;
    int m_nPublisherLines = 0;
};
