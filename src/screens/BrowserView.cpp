#include "screens/BrowserView.h"

#include "screens/FrameInterface.h"

void CBrowserView::ShowPage(const std::string& address, CBaseView* previous) {
    m_strAddress = address;
    m_pPrevious = previous;
    if (IFrame* frame = GetFrame()) {
        frame->HostBrowser(this, address);
    }
}

void CBrowserView::ContinueAction() {
    if (IFrame* frame = GetFrame(); frame && m_pPrevious) {
        frame->SwitchToScreen(m_pPrevious);
    }
}
