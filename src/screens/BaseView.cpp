#include "screens/BaseView.h"

#include <QPainter>
#include <QWidget>

#include "frame/FrameInterface.h"

BOOL CBaseView::Create(CWnd* frame, UINT id) {
    RECT client{0, 0, 0, 0};
    if (frame) {
        frame->GetClientRect(&client);
    }
    if (!CreateEx(WS_EX_CLIENTEDGE, "", WS_CHILD, client, frame, id)) {
        return FALSE;
    }
    GetWidget()->setAttribute(Qt::WA_OpaquePaintEvent);
    OnInitialUpdate();
    return TRUE;
}

void CBaseView::ArrangeControls(BOOL) {}

WORD CBaseView::OnAppCommand(int command) {
    if (command == APPCOMMAND_BROWSER_BACKWARD) {
        if (IFrame* frame = GetFrame()) {
            frame->GoBack();
        }
        return 1;
    }
    // Media keys mean nothing to a screen that does not claim them: swallow.
    if ((command >= APPCOMMAND_VOLUME_MUTE && command <= APPCOMMAND_MEDIA_STOP) ||
        (command >= APPCOMMAND_MEDIA_PLAY && command <= APPCOMMAND_MEDIA_CHANNEL_DOWN)) {
        return 1;
    }
    return 0;
}

void CBaseView::DrawBackground() {
    QPainter painter(GetWidget());
    QLinearGradient light(0, 0, GetWidget()->width(), GetWidget()->height());
    light.setColorAt(0.0, QColor(0x16, 0x28, 0x4A));
    light.setColorAt(1.0, QColor(0x0A, 0x14, 0x24));
    painter.fillRect(GetWidget()->rect(), light);
}

LRESULT CBaseView::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            DrawBackground();
            PaintOverlay();
            return 0;
        case WM_ERASEBKGND: return 1;
        case WM_SIZE:
            CWnd::WindowProc(message, wParam, lParam);
            ArrangeControls(TRUE);
            Invalidate(TRUE);
            return 0;
        default: return CWnd::WindowProc(message, wParam, lParam);
    }
}
