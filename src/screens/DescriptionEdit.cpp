#include "screens/DescriptionEdit.h"

LRESULT CDescriptionEdit::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_NCHITTEST: return HTBORDER;
        case WM_KEYDOWN:
            switch (wParam) {
                case VK_UP:
                case VK_DOWN:
                case VK_PRIOR:
                case VK_NEXT:
                    if (CWnd* parent = GetParent()) {
                        parent->SendMessage(WM_KEYDOWN, wParam, 0);
                    }
                    // The screen has scrolled: the editor's own scrolling would
                    // move a whole page, or a second line.
                    return 0;
                default: break;
            }
            break;
        default: break;
    }
    return CEdit::WindowProc(message, wParam, lParam);
}
