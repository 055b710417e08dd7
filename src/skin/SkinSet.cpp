#include "skin/SkinSet.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>

#include "image/CxImageQt.h"
#include "res/ResourceTable.h"
#include "res/Resources.h"
#include "ui/Wnd.h"

namespace {

CSkinSet* g_pSkin = nullptr;

// The order the shared images load in.
constexpr const hv::ResourceSpec* kSharedPngs[] = {&hv::res::kLogo,
                                                   &hv::res::kSelectedTileGlow,
                                                   &hv::res::kDetailTile,
                                                   &hv::res::kGlowRule,
                                                   &hv::res::kDetailEdgeH,
                                                   &hv::res::kDetailEdgeV,
                                                   &hv::res::kWaitBackground,
                                                   &hv::res::kProgressTrough,
                                                   &hv::res::kSummaryDividerH,
                                                   &hv::res::kSummaryDividerV,
                                                   &hv::res::kTopBarBackground,
                                                   &hv::res::kTopBarPlate,
                                                   &hv::res::kTopBarMonogram,
                                                   &hv::res::kTopBarMonogramLight,
                                                   &hv::res::kTopBarBack,
                                                   &hv::res::kTopBarLogout};
constexpr const hv::ResourceSpec* kMessagePictures[] = {
    &hv::res::kMessageOneButton, &hv::res::kMessageTwoButtons, &hv::res::kMessageHelpLink};

// Heights and weights of the shared fonts, in creation order.
constexpr std::pair<int, int> kFonts[] = {{54, 400}, {30, 400}, {23, 400}, {18, 400},
                                          {15, 400}, {13, 400}, {54, 700}, {30, 700},
                                          {18, 700}, {15, 700}, {13, 700}};

QString BundledFamily() {
    static const QString family = [] {
        QString name;
        for (const hv::ResourceSpec* font : {&hv::res::kFontRegular, &hv::res::kFontBold}) {
            std::vector<uint8_t> data;
            if (hv::LoadResourceData(font->type, font->id, &data)) {
                const int index = QFontDatabase::addApplicationFontFromData(
                    QByteArray(reinterpret_cast<const char*>(data.data()),
                               static_cast<qsizetype>(data.size())));
                const QStringList families = QFontDatabase::applicationFontFamilies(index);
                if (name.isEmpty() && !families.isEmpty()) {
                    name = families.front();
                }
            }
        }
        return name;
    }();
    return family;
}

}  // namespace

CSkinSet* GetSkin() {
    return g_pSkin;
}
void SetSkin(CSkinSet* skin) {
    g_pSkin = skin;
}

CSkinSet::CSkinSet() = default;
CSkinSet::~CSkinSet() {
    if (g_pSkin == this) {
        g_pSkin = nullptr;
    }
}

BOOL CSkinSet::LoadSkinImages() {
    bool failed = false;
    auto picture = [&](UINT id) {
        m_pictures[id] = LoadJpgPicture(id);
        failed |= !m_pictures[id];
    };
    picture(hv::res::kScreenBackdrop.id);
    for (const hv::ResourceSpec* png : kSharedPngs) {
        auto image = std::make_unique<CxImage>(CXIMAGE_FORMAT_PNG);
        if (image->LoadResource(png->type, png->id, CXIMAGE_FORMAT_PNG)) {
            m_images[png->id] = std::move(image);
        } else {
            failed = true;
        }
    }
    for (const hv::ResourceSpec* jpg : kMessagePictures) {
        picture(jpg->id);
    }
    return failed ? FALSE : TRUE;
}

BOOL CSkinSet::CreateSharedFonts() {
    const QString family = BundledFamily();
    for (const auto& [height, weight] : kFonts) {
        QFont font(family.isEmpty() ? QStringLiteral("Sans Serif") : family);
        font.setStyleHint(QFont::SansSerif);
        font.setPixelSize(height);
        font.setWeight(weight >= 700 ? QFont::Bold : QFont::Normal);
        m_fonts[{height, weight}] = font;
    }
    return TRUE;
}

const CPicture* CSkinSet::Picture(UINT jpgId) const {
    auto it = m_pictures.find(jpgId);
    return it == m_pictures.end() ? nullptr : it->second.get();
}

const CxImage* CSkinSet::Image(UINT pngId) const {
    auto it = m_images.find(pngId);
    return it == m_images.end() ? nullptr : it->second.get();
}

QFont CSkinSet::Font(int height, int weight) const {
    auto it = m_fonts.find({height, weight});
    return it == m_fonts.end() ? QFont() : it->second;
}

std::unique_ptr<CPicture> LoadJpgPicture(UINT id) {
    CxImage image(CXIMAGE_FORMAT_JPG);
    if (!image.LoadResource("JPG", id, CXIMAGE_FORMAT_JPG)) {
        return nullptr;
    }
    auto picture = std::make_unique<CPicture>();
    // The screen's own format, so that drawing it is a plain copy.
    picture->image = CScaledImage(ToQImage(image).convertToFormat(QImage::Format_RGB32));
    return picture;
}

QRect PaintArea(const CWnd& window) {
    RECT update{};
    window.GetUpdateRect(&update);
    return QRect(update.left, update.top, update.right - update.left, update.bottom - update.top);
}

void DrawPicture(QPainter& painter, const CPicture& picture, const QRect& rect, const QRect& part) {
    const QRect area = part.intersected(rect);
    if (area.isEmpty()) {
        return;
    }
    painter.drawImage(area.topLeft(), picture.image.At(rect.size()),
                      area.translated(-rect.topLeft()));
}

QImage LoadBitmapResource(UINT id) {
    std::vector<uint8_t> data;
    if (!hv::LoadResourceData("BITMAP", id, &data)) {
        return QImage();
    }
    CxImage image(CXIMAGE_FORMAT_PNG);
    if (!image.Decode(data.data(), data.size(), CXIMAGE_FORMAT_PNG)) {
        return QImage();
    }
    image.AlphaDelete();
    return ToQImage(image).convertToFormat(QImage::Format_RGB32);
}

QFont FitFont(QFont font, const QString& text, const QSize& box, bool wrap, int minimum) {
    while (font.pixelSize() > minimum) {
        const QFontMetrics metrics(font);
        const QRect needed =
            wrap ? metrics.boundingRect(QRect(0, 0, box.width(), 1 << 20), Qt::TextWordWrap, text)
                 : QRect(0, 0, metrics.horizontalAdvance(text), metrics.height());
        if (needed.width() <= box.width() && needed.height() <= box.height()) {
            break;
        }
        font.setPixelSize(font.pixelSize() - 1);
    }
    return font;
}

QImage MaskKeyColour(const QImage& bitmap, COLORREF key) {
    if (bitmap.isNull()) {
        return QImage();
    }
    // Only fully clear or fully opaque pixels, so premultiplied is the same
    // as straight and drawing needs no conversion.
    QImage masked = bitmap.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QRgb keyRgb = ToQColor(key).rgb() & 0xFFFFFF;
    for (int row = 0; row < masked.height(); ++row) {
        auto* line = reinterpret_cast<QRgb*>(masked.scanLine(row));
        for (int column = 0; column < masked.width(); ++column) {
            if ((line[column] & 0xFFFFFF) == keyRgb) {
                line[column] = 0;
            } else {
                line[column] |= 0xFF000000;
            }
        }
    }
    return masked;
}

QImage ScaleBitmap(const QImage& source, int width, int height) {
    if (source.isNull() || width <= 0 || height <= 0) {
        return QImage();
    }
    return source.scaled(width, height, Qt::IgnoreAspectRatio, Qt::FastTransformation)
        .convertToFormat(source.format());
}
