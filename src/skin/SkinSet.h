// The skin images and fonts that the application loads once and every window
// draws from, and the drawing routines the controls share.
#pragma once

#include <QFont>
#include <QImage>
#include <array>
#include <map>
#include <memory>
#include <string>

#include "image/CxImage.h"
#include "skin/Look.h"
#include "skin/ScaledImage.h"
#include "winapi/winapi.h"

class CWnd;
class QPainter;

// A decoded JPG resource, drawn stretched; the stretched copy is kept for
// the size it was last drawn at, which every screen shares.
struct CPicture {
    CScaledImage image;
};

class CSkinSet {
  public:
    CSkinSet();
    ~CSkinSet();

    // TRUE only when every shared image loaded; every one is attempted.
    BOOL LoadSkinImages();
    // The eleven shared fonts; the bundled face stands in for the named one.
    BOOL CreateSharedFonts();

    // Null when not loaded.
    const CPicture* Picture(UINT jpgId) const;
    const CxImage* Image(UINT pngId) const;
    // The shared font of that pixel height and weight (400 or 700); the
    // application's default font when there is none such.
    QFont Font(int height, int weight) const;

  private:
    std::map<UINT, std::unique_ptr<CPicture>> m_pictures;
    std::map<UINT, std::unique_ptr<CxImage>> m_images;
    std::map<std::pair<int, int>, QFont> m_fonts;
};

// The application's skin set; null before start-up has loaded it.
CSkinSet* GetSkin();
void SetSkin(CSkinSet* skin);

// Null when the resource is missing or does not decode.
std::unique_ptr<CPicture> LoadJpgPicture(UINT id);
// Inside a WM_PAINT handler: the part of the window to repaint.
QRect PaintArea(const CWnd& window);

// Stretched over `rect`, upright; only the part of it inside `part` is drawn.
void DrawPicture(QPainter& painter, const CPicture& picture, const QRect& rect, const QRect& part);
// A BITMAP resource as an opaque image; null image when missing.
QImage LoadBitmapResource(UINT id);

// The font, made smaller as far as needed (not below `minimum` pixels) for
// the text to fit the box: the bundled face runs wider than the faces the
// layouts were drawn for.
QFont FitFont(QFont font, const QString& text, const QSize& box, bool wrap, int minimum = 16);

// The bitmap with its pixels of exactly `key` made transparent and the rest
// opaque, so that drawing it leaves the target alone under the key. Made
// once per bitmap and kept by whoever draws it.
QImage MaskKeyColour(const QImage& bitmap, COLORREF key);
// A new bitmap of the given size, stretched without smoothing.
QImage ScaleBitmap(const QImage& source, int width, int height);
