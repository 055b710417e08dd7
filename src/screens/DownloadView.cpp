#include "screens/DownloadView.h"

#include "messages/Messages.h"
#include "screens/FrameInterface.h"

void CDownloadView::ConfirmCancel(int& flag) {
    IFrame* frame = GetFrame();
    if (!frame || !frame->IsDownloadActive()) {
        flag = 0;
    }
}

LRESULT CDownloadView::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case UWM_ENGINE_PROGRESS:
            // The record lives only for the call: copy it.
            m_progress = *hv::LParam<UWM_ENGINE_PROGRESS>(lParam);
            Invalidate(FALSE);
            return 0;
        case UWM_ENGINE_STATE:
            m_lSecondsToPlay = hv::WParam<UWM_ENGINE_STATE>(wParam);
            Invalidate(FALSE);
            return 0;
        default: return CBaseView::WindowProc(message, wParam, lParam);
    }
}
