// A window painted in one colour, so that a test sees exactly which pixels a
// control covers and which it leaves to its parent.
#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QWidget>

#include "ui/Wnd.h"

class Backdrop : public CWnd {
  public:
    static constexpr QRgb kColour = 0xFF204060;

    Backdrop(int width, int height) {
        CreateEx(0, "", WS_POPUP | WS_VISIBLE, RECT{0, 0, width, height}, nullptr, 0);
    }

    // What the screen shows over one child's rectangle.
    QImage Shot(const CWnd& child) const {
        return GetWidget()
            ->grab(child.GetWidget()->geometry())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    }

  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_PAINT) {
            QPainter(GetWidget()).fillRect(GetWidget()->rect(), QColor::fromRgb(kColour));
            return 0;
        }
        return CWnd::WindowProc(message, wParam, lParam);
    }
};

// How many pixels of the image are exactly that colour.
inline int CountColour(const QImage& image, QRgb colour) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += image.pixel(x, y) == colour;
        }
    }
    return count;
}
