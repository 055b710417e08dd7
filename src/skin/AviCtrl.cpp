#include "skin/AviCtrl.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QWidget>
#include <cstdint>

#include "image/CxImageQt.h"
#include "res/Resources.h"
#include "skin/SkinSet.h"

namespace {

constexpr UINT_PTR kFrameTimer = 110;

}  // namespace

CAviCtrl::~CAviCtrl() {
    // Here, while WM_DESTROY still reaches this class.
    DestroyWindow();
}

BOOL CAviCtrl::OpenResource(UINT id) {
    Close();
    if (!GetSafeHwnd()) {
        return FALSE;
    }
    std::vector<uint8_t> info;
    std::vector<uint8_t> strip;
    if (!hv::LoadResourceData("AVIINFO", id, &info) || !hv::LoadResourceData("AVI", id, &strip)) {
        return FALSE;
    }
    const QJsonObject header =
        QJsonDocument::fromJson(QByteArray(reinterpret_cast<const char*>(info.data()),
                                           static_cast<qsizetype>(info.size())))
            .object();
    const int frames = header.value(QStringLiteral("frames")).toInt();
    const int fps = header.value(QStringLiteral("fps")).toInt();
    const QSize frameSize(header.value(QStringLiteral("width")).toInt(),
                          header.value(QStringLiteral("height")).toInt());
    CxImage image(CXIMAGE_FORMAT_PNG);
    if (frames <= 0 || fps <= 0 || frameSize.isEmpty() ||
        !image.Decode(strip.data(), strip.size(), CXIMAGE_FORMAT_PNG)) {
        return FALSE;
    }
    QImage decoded = ToQImage(image).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (decoded.width() < static_cast<long long>(frames) * frameSize.width() ||
        decoded.height() < frameSize.height()) {
        return FALSE;
    }
    m_strip = std::move(decoded);
    m_frameSize = frameSize;
    m_nFrameCount = frames;
    m_nFramePeriod = 1000 / fps;
    if (GetStyle() & ACS_AUTOPLAY) {
        Play(0, -1, -1);
    }
    return TRUE;
}

BOOL CAviCtrl::Play(int first, int last, int limit) {
    if (!GetSafeHwnd() || m_nFrameCount == 0) {
        return FALSE;
    }
    m_nFirstFrame = first;
    m_nLastFrame = last;
    m_nFrameLimit = limit;
    m_nCurrentFrame = first;
    m_nFramesShown = 0;
    m_bPlaying = true;
    if (IsWindowVisible()) {
        SetTimer(kFrameTimer, static_cast<UINT>(m_nFramePeriod));
    }
    Invalidate(TRUE);
    return TRUE;
}

void CAviCtrl::Stop() {
    if (m_bPlaying) {
        KillTimer(kFrameTimer);
        m_bPlaying = false;
    }
    m_nCurrentFrame = 0;
    m_nFramesShown = 0;
    Invalidate(TRUE);
}

void CAviCtrl::Close() {
    // Nothing left to play from.
    if (m_bPlaying) {
        Stop();
    }
    m_strip = QImage();
    m_sized.clear();
    m_sizedFor = QSize();
    m_nFrameCount = 0;
    m_nFramePeriod = 0;
}

void CAviCtrl::Advance() {
    ++m_nFramesShown;
    if (m_nFrameLimit != -1 && m_nFramesShown >= m_nFrameLimit) {
        Stop();
        return;
    }
    const int end = m_nLastFrame == -1 ? m_nFrameCount : m_nLastFrame;
    if (++m_nCurrentFrame >= end) {
        m_nCurrentFrame = m_nFirstFrame;
    }
    Invalidate(TRUE);
}

const QImage& CAviCtrl::SizedFrame(int index, const QSize& size) {
    static const QImage none;
    if (index < 0 || index >= m_nFrameCount) {
        return none;
    }
    if (m_sizedFor != size || m_crSizedKey != m_crTransparent) {
        m_sized.assign(static_cast<size_t>(m_nFrameCount), QImage());
        m_sizedFor = size;
        m_crSizedKey = m_crTransparent;
    }
    QImage& sized = m_sized[static_cast<size_t>(index)];
    if (sized.isNull()) {
        const QImage frame =
            m_strip.copy(QRect(QPoint(index * m_frameSize.width(), 0), m_frameSize));
        sized = ScaleBitmap(frame, size.width(), size.height());
        if (GetStyle() & ACS_TRANSPARENT) {
            sized = MaskKeyColour(sized, m_crTransparent);
        }
    }
    return sized;
}

void CAviCtrl::Paint() {
    QPainter painter(GetWidget());
    const QRect client = GetWidget()->rect();
    const QRect part = PaintArea(*this).intersected(client);
    // Transparent, the parent is already painted underneath.
    if (!(GetStyle() & ACS_TRANSPARENT)) {
        painter.fillRect(part, GetWidget()->palette().color(QPalette::Base));
    }
    if (m_bPlaying) {
        const QImage& frame = SizedFrame(m_nCurrentFrame, client.size());
        if (!frame.isNull()) {
            painter.drawImage(part.topLeft(), frame, part);
        }
    }
}

LRESULT CAviCtrl::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: Paint(); return 0;
        case WM_ERASEBKGND: return 1;
        case WM_TIMER:
            if (wParam == kFrameTimer && m_bPlaying) {
                Advance();
                return 0;
            }
            break;
        case WM_SHOWWINDOW:
            if (!wParam) {
                KillTimer(kFrameTimer);
            } else if (m_bPlaying) {
                SetTimer(kFrameTimer, static_cast<UINT>(m_nFramePeriod));
            }
            break;
        case WM_DESTROY: Close(); break;
        default: break;
    }
    return CWnd::WindowProc(message, wParam, lParam);
}
