#include "screens/HomeScreenView.h"

#include "screens/FrameInterface.h"

void CHomeScreenView::ShowHome() {
    m_nBrowsePending = 0;
    ShowWhatsNew();
}

void CHomeScreenView::ShowWhatsNew() {
    if (IFrame* frame = GetFrame()) {
        frame->HostBrowser(this, frame->PlayerPagesUrl() + "/whatsnew.htm");
    }
}
