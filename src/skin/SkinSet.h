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
#include "winapi/winapi.h"

class QPainter;

// A decoded JPG resource, drawn stretched.
struct CPicture {
    QImage image;
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
// Stretched over the rectangle, upright.
void DrawPicture(QPainter& painter, const CPicture& picture, const QRect& rect);
// A BITMAP resource as an opaque image; null image when missing.
QImage LoadBitmapResource(UINT id);

// The font, made smaller as far as needed (not below `minimum` pixels) for
// the text to fit the box: the bundled face runs wider than the faces the
// layouts were drawn for.
QFont FitFont(QFont font, const QString& text, const QSize& box, bool wrap, int minimum = 16);

// Draws the whole bitmap at (x, y); pixels of exactly `key` leave the target
// as it was.
void DrawTransparentBitmap(QPainter& target, const QImage& bitmap, int x, int y, COLORREF key);
// A new bitmap of the given size, stretched without smoothing.
QImage ScaleBitmap(const QImage& source, int width, int height);
