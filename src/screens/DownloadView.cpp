#include "screens/DownloadView.h"

#include "frame/FrameInterface.h"

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
            m_progress = *reinterpret_cast<const TransferProgress*>(lParam);
            Invalidate(FALSE);
            return 0;
        case UWM_ENGINE_STATE:
            m_lSecondsToPlay = static_cast<long>(wParam);
            Invalidate(FALSE);
            return 0;
        default: return CBaseView::WindowProc(message, wParam, lParam);
    }
}
