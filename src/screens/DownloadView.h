// The download and install progress screen. It listens to the engine's
// progress and state, which the frame forwards to it.
#pragma once

#include "halvory/engine.h"
#include "screens/BaseView.h"

struct GameInfo;

class CDownloadView : public CBaseView {
  public:
    CDownloadView() : CBaseView(106) {}

    void SetGame(GameInfo* game) { m_pGame = game; }
    GameInfo* GetGame() const { return m_pGame; }
    // Sets `flag` to 0 when no transfer is in progress.
    void ConfirmCancel(int& flag);
    void MarkReadyToPlay() { m_bReadyToPlay = true; }
    void SetPlayEnded() { m_bReadyToPlay = false; }
    bool IsReadyToPlay() const { return m_bReadyToPlay; }
    const TransferProgress& LastProgress() const { return m_progress; }
    long SecondsToPlay() const { return m_lSecondsToPlay; }

  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    GameInfo* m_pGame = nullptr;
    bool m_bReadyToPlay = false;
    TransferProgress m_progress{};
    long m_lSecondsToPlay = 0;
};
