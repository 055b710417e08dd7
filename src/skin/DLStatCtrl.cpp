#include "skin/DLStatCtrl.h"

#include "messages/Messages.h"

LRESULT CDLStatCtrl::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == UWM_ENGINE_PROGRESS) {
        return hv::LParam<UWM_ENGINE_PROGRESS>(lParam) ? 0 : -1;
    }
    return CWnd::WindowProc(message, wParam, lParam);
}
