#include "skin/TBStatic.h"

#include <QPainter>
#include <QWidget>

#include "skin/SkinSet.h"

void CTBStatic::SetBitmap(UINT bitmapId) {
    m_bitmap = MaskKeyColour(LoadBitmapResource(bitmapId), m_crTransparent);
    Invalidate(TRUE);
}

LRESULT CTBStatic::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            if (!m_bitmap.isNull()) {
                QPainter painter(GetWidget());
                const QRect area = PaintArea(*this).intersected(m_bitmap.rect());
                painter.drawImage(area.topLeft(), m_bitmap, area);
            }
            return 0;
        case WM_ERASEBKGND: return 1;
        default: return CWnd::WindowProc(message, wParam, lParam);
    }
}
