#include "screens/GameInfoView.h"

void CGameInfoView::ResetDetail() {
    m_bDownloadBusy = 0;
    m_bPlayBusy = 0;
    m_bDeleteBusy = 0;
}
