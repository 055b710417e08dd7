#include "screens/BaseView.h"

#include <QPainter>
#include <QWidget>

#include "image/CxImageQt.h"
#include "res/ResourceTable.h"
#include "screens/FrameInterface.h"
#include "skin/SkinSet.h"

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
    QWidget* widget = GetWidget();
    // Composed off screen and copied once, so nothing flickers.
    QImage buffer(widget->size(), QImage::Format_RGB32);
    QPainter painter(&buffer);
    CSkinSet* skin = GetSkin();
    if (const CPicture* background = skin ? skin->Picture(hv::res::kScreenBackdrop.id) : nullptr) {
        DrawPicture(painter, *background, buffer.rect());
    } else {
        buffer.fill(ToQColor(hv::look::kNightDeep));
    }
    if (const CxImage* logo = skin ? skin->Image(hv::res::kLogo.id) : nullptr) {
        DrawImage(
            painter, *logo,
            QRect(16, 32, static_cast<int>(logo->GetWidth()), static_cast<int>(logo->GetHeight())));
    }
    const IFrame* frame = GetFrame();
    const UINT state = frame ? frame->FrameShowState() : SW_SHOWNORMAL;
    if (state == SW_SHOWNORMAL || state == SW_SHOW || state == SW_RESTORE) {
        if (m_grip.isNull()) {
            m_grip = LoadBitmapResource(hv::res::kResizeGrip.id);
        }
        DrawTransparentBitmap(painter, m_grip, buffer.width() - m_grip.width(),
                              buffer.height() - m_grip.height(), hv::look::kKeyColour);
    }
    painter.end();
    QPainter(widget).drawImage(0, 0, buffer);
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
