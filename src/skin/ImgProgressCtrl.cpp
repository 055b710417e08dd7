#include "skin/ImgProgressCtrl.h"

#include <QPainter>
#include <QWidget>
#include <algorithm>

#include "image/CxImageQt.h"
#include "res/ResourceTable.h"
#include "skin/Look.h"
#include "skin/SkinSet.h"
#include "ui/DrawText.h"

namespace {

// Where the trough's well starts and how much of the client it leaves out.
constexpr int kFillLeft = 13;
constexpr int kFillMarginX = 23;
constexpr int kFillTop = 8;
constexpr int kFillBottom = 7;

QImage SharedTrough() {
    const CSkinSet* skin = GetSkin();
    const CxImage* trough = skin ? skin->Image(hv::res::kProgressTrough.id) : nullptr;
    return trough ? ToQImage(*trough).convertToFormat(QImage::Format_ARGB32_Premultiplied)
                  : QImage();
}

}  // namespace

void CImgProgressCtrl::LoadImages() {
    // Without the flag the background is the shared trough, whatever the id.
    const BackgroundSource background = m_bBitmapBackground
                                            ? BackgroundSource{m_nBackgroundId, m_crTransparent}
                                            : BackgroundSource{};
    if (m_loadedBackground != background) {
        m_background =
            CScaledImage(background.id != 0 ? MaskKeyColour(LoadBitmapResource(background.id),
                                                            background.transparent)
                                            : SharedTrough());
        m_loadedBackground = background;
    }
    if (m_loadedBarId != m_nBarId) {
        m_bar = CScaledImage(LoadBitmapResource(m_nBarId));
        m_loadedBarId = m_nBarId;
    }
}

void CImgProgressCtrl::Paint() {
    if (m_nBackgroundId == 0 || m_nBarId == 0) {
        return;
    }
    LoadImages();
    QPainter painter(GetWidget());
    const QRect client = GetWidget()->rect();
    const QRect part = PaintArea(*this).intersected(client);
    const QImage& background = m_background.At(client.size());
    if (!background.isNull()) {
        painter.drawImage(part.topLeft(), background, part);
    }
    const int percent = std::clamp(GetPos(), 0, 100);
    if (percent > 0) {
        const QRect fill(client.left() + kFillLeft, client.top() + kFillTop,
                         (client.width() - kFillMarginX) * percent / 100,
                         client.height() - kFillTop - kFillBottom);
        const QRect shown = fill.intersected(part);
        const QImage& bar = m_bar.At(fill.size());
        if (!shown.isEmpty() && !bar.isNull()) {
            painter.drawImage(shown.topLeft(), bar, shown.translated(-fill.topLeft()));
        }
    }
    if (!m_strCaption.empty()) {
        painter.setFont(GetWidget()->font());
        painter.setPen(ToQColor(m_crText));
        QRect text = client;
        hv::DrawText(painter, m_strCaption, &text,
                     DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_WORD_ELLIPSIS);
    }
}

LRESULT CImgProgressCtrl::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        Paint();
        return 0;
    }
    return CProgressCtrl::WindowProc(message, wParam, lParam);
}
