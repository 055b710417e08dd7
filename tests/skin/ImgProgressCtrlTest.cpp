#include <gtest/gtest.h>

#include <QFont>
#include <algorithm>
#include <memory>
#include <vector>

#include "Backdrop.h"
#include "res/ResourceTable.h"
#include "skin/ImgProgressCtrl.h"
#include "ui/DialogTemplate.h"

namespace {

constexpr int kProgressId = 1025;

// The bar as the download screen has it: a custom item of its template,
// subclassed, with the trough and fill of the skin.
struct ImgProgressTest : ::testing::Test {
    Backdrop parent{500, 100};
    std::vector<std::unique_ptr<CWnd>> items;
    CImgProgressCtrl progress;

    void SetUp() override {
        const DialogItem bar{
            kProgressId, DialogItemKind::Custom, "", {10, 10, 285, 35}, WS_VISIBLE};
        items = CreateDialogItems(DialogTemplate{0, 330, 60, 0, {bar}}, &parent, {});
        ASSERT_TRUE(progress.SubclassDlgItem(kProgressId, &parent));
        progress.m_nBackgroundId = hv::res::kProgressTroughBitmap.id;
        progress.m_nBarId = hv::res::kProgressFill.id;
        progress.SetRange(0, 100);
    }
    QImage Shot() { return parent.Shot(progress); }
};

// The smallest rectangle holding every pixel where two shots differ.
QRect Differing(const QImage& a, const QImage& b) {
    QRect run;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            run |= a.pixel(x, y) != b.pixel(x, y) ? QRect(x, y, 1, 1) : QRect();
        }
    }
    return run;
}

}  // namespace

// The fill starts 13 pixels in, spans (width - 23) x percent / 100 and runs
// from 8 pixels below the top to 7 above the bottom; the range is ignored.
TEST_F(ImgProgressTest, FillCoversThePercentageOfTheTrack) {
    const QImage empty = Shot();
    const int width = empty.width();
    const int height = empty.height();
    ASSERT_EQ(width, DialogUnitsToPixelsX(285));
    const struct {
        int upper;
        int pos;
        int percent;  // what is drawn
    } rows[] = {{100, 0, 0},     {100, 1, 1},    {100, 50, 50},
                {100, 100, 100}, {1000, 50, 50}, {1000, 500, 100}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "range 0.." << row.upper << ", position " << row.pos);
        progress.SetRange(0, row.upper);
        progress.SetPos(row.pos);
        const QImage shot = Shot();
        const int fill = (width - 23) * row.percent / 100;
        EXPECT_EQ(Differing(shot, empty), fill ? QRect(13, 8, fill, height - 15) : QRect());
    }
}

TEST_F(ImgProgressTest, NothingIsPaintedWithoutBothImages) {
    progress.SetPos(60);
    const struct {
        UINT background, bar;
        bool painted;
    } rows[] = {{0, hv::res::kProgressFill.id, false},
                {hv::res::kProgressTroughBitmap.id, 0, false},
                {hv::res::kProgressTroughBitmap.id, hv::res::kProgressFill.id, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.background << " " << row.bar);
        progress.m_nBackgroundId = row.background;
        progress.m_nBarId = row.bar;
        const QImage shot = Shot();
        const int pixels = shot.width() * shot.height();
        EXPECT_EQ(CountColour(shot, Backdrop::kColour) == pixels, !row.painted);
    }
}

// With the flag the keyed background bitmap replaces the shared trough, and
// its key colour shows the parent.
TEST_F(ImgProgressTest, BitmapBackgroundIsKeyed) {
    const QImage trough = Shot();
    progress.m_bBitmapBackground = 1;
    const QImage keyed = Shot();
    EXPECT_NE(keyed, trough);
    EXPECT_EQ(keyed.pixel(0, 0), Backdrop::kColour) << "the rounded corner is keyed";
    EXPECT_EQ(CountColour(keyed, 0xFFFF00FF), 0);
}

// One line, centred both ways, in the caption colour (near white unless set).
TEST_F(ImgProgressTest, CaptionIsCentredInItsColour) {
    QFont font = progress.GetWidget()->font();
    font.setPixelSize(20);
    progress.GetWidget()->setFont(font);
    progress.SetPos(30);
    const QImage plain = Shot();
    const QRgb nearWhite = qRgb(0xEE, 0xEE, 0xEE);
    ASSERT_EQ(CountColour(plain, nearWhite), 0);
    const struct {
        const char* caption;
        COLORREF set;  // 0: left as it starts
        QRgb expected;
    } rows[] = {{"Paused", 0, nearWhite}, {"42% of 1.2 GB", 0x54FFFF, qRgb(0xFF, 0xFF, 0x54)}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.caption);
        progress.m_strCaption = row.caption;
        if (row.set != 0) {
            progress.m_crText = row.set;
        }
        const QImage shot = Shot();
        const QRect drawn = Differing(shot, plain);
        ASSERT_FALSE(drawn.isEmpty());
        EXPECT_NEAR(drawn.center().x(), shot.width() / 2, 3);
        EXPECT_NEAR(drawn.center().y(), shot.height() / 2, 4);
        EXPECT_LT(drawn.height(), 2 * 20) << "one line";
        EXPECT_GT(CountColour(shot, row.expected), 0);
    }
}
