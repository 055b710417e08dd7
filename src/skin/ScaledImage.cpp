#include "skin/ScaledImage.h"

#include "skin/SkinSet.h"

const QImage& CScaledImage::At(const QSize& size) const {
    if (size == m_source.size()) {
        return m_source;
    }
    if (m_scaled.size() != size) {
        m_scaled = ScaleBitmap(m_source, size.width(), size.height());
    }
    return m_scaled;
}
