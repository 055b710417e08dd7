// CTBStatic: a static picture whose pixels of the key colour let the window
// behind it show through.
#pragma once

#include <QImage>

#include "skin/Palette.h"
#include "ui/Wnd.h"

class CTBStatic : public CWnd {
  public:
    // A BITMAP resource, drawn at the static's top-left corner.
    void SetBitmap(UINT bitmapId);
    const QImage& GetBitmap() const { return m_bitmap; }

  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    COLORREF m_crTransparent = hv::look::kKeyColour;
    QImage m_bitmap;  // keyed once
};
