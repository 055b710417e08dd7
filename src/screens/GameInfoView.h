// The game detail screen: one game with its demo and the actions on them.
#pragma once

#include <atomic>

#include "screens/BaseView.h"

struct GameInfo;

class CGameInfoView : public CBaseView {
  public:
    CGameInfoView() : CBaseView(175) {}

    void SetGame(GameInfo* game) { m_pGame = game; }
    GameInfo* GetGame() const { return m_pGame; }
    // Clears the busy flags.
    void ResetDetail();
    // Leaves `flag` non-zero when the screen may be left.
    void ConfirmLeave(int& flag) { (void)flag; }
    void RefreshDetail() { ++m_nRefreshCount; }
    int RefreshCount() const { return m_nRefreshCount; }
    bool IsBusy() const { return m_bDownloadBusy || m_bPlayBusy || m_bDeleteBusy; }

    // Written by the frame's workers too.
    std::atomic<int> m_bDownloadBusy{0};
    std::atomic<int> m_bPlayBusy{0};
    std::atomic<int> m_bDeleteBusy{0};

  private:
    GameInfo* m_pGame = nullptr;
    int m_nRefreshCount = 0;
};
