// CScaledImage: an image and its copy stretched to the size it was last asked
// for. Painting at one size scales once; only a new size scales again.
#pragma once

#include <QImage>
#include <QSize>
#include <utility>

class CScaledImage {
  public:
    CScaledImage() = default;
    explicit CScaledImage(QImage source) : m_source(std::move(source)) {}

    const QImage& Source() const { return m_source; }
    bool IsNull() const { return m_source.isNull(); }

    // The source stretched to `size` without smoothing: the same image for as
    // long as the size stays; null without a source or for an empty size.
    const QImage& At(const QSize& size) const;

  private:
    QImage m_source;
    mutable QImage m_scaled;  // a cache: asking for a size does not change the image
};
