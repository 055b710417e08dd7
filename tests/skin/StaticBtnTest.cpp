#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include "res/ResourceTable.h"
#include "skin/SkinSet.h"
#include "skin/StaticBtn.h"

namespace {

using Got = std::vector<std::pair<UINT, WPARAM>>;

class Parent : public CWnd {
  public:
    Parent() { CreateEx(0, "", WS_POPUP | WS_VISIBLE, RECT{0, 0, 200, 100}, nullptr, 0); }
    Got got;

  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_COMMAND || message == WM_KEYDOWN) {
            got.emplace_back(message, wParam);
            return 0;
        }
        return CWnd::WindowProc(message, wParam, lParam);
    }
};

// Two buttons side by side in an active window.
struct StaticBtnTest : ::testing::Test {
    Parent parent;
    CStaticBtn first;
    CStaticBtn second;
    void SetUp() override {
        ASSERT_TRUE(
            first.CreateEx(0, "", WS_CHILD | WS_VISIBLE, RECT{10, 10, 37, 37}, &parent, 1001));
        ASSERT_TRUE(
            second.CreateEx(0, "", WS_CHILD | WS_VISIBLE, RECT{50, 10, 77, 37}, &parent, 1002));
        QApplication::setActiveWindow(parent.GetWidget());
        QApplication::processEvents();
    }
};

}  // namespace

TEST_F(StaticBtnTest, StatesAndTheClickOnRelease) {
    first.SetNormalBitmap(hv::res::kUpArrow.id);
    first.SetPressedBitmap(hv::res::kUpArrowPressed.id);
    first.SetHighlightBitmap(hv::res::kUpArrowHighlight.id);
    first.SetDisabledBitmap(hv::res::kUpArrowDisabled.id);
    auto keyed = [](const hv::ResourceSpec& resource) {
        return MaskKeyColour(LoadBitmapResource(resource.id), hv::look::kKeyColour);
    };
    const QImage normal = keyed(hv::res::kUpArrow);
    const QImage pressed = keyed(hv::res::kUpArrowPressed);
    ASSERT_FALSE(normal.isNull());
    second.SetFocus();
    EXPECT_EQ(first.CurrentImage(), normal);

    QTest::mousePress(first.GetWidget(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_EQ(first.CurrentImage(), pressed);
    EXPECT_TRUE(parent.got.empty()) << "nothing until the button is released";
    // Dragged outside while held: no longer the pressed look.
    QTest::mouseMove(first.GetWidget(), QPoint(100, 50));
    EXPECT_NE(first.CurrentImage(), pressed);
    QTest::mouseRelease(first.GetWidget(), Qt::LeftButton, Qt::NoModifier, QPoint(100, 50));
    EXPECT_EQ(parent.got, (Got{{WM_COMMAND, MAKEWPARAM(1001, BN_CLICKED)}}));

    first.EnableWindow(FALSE);
    EXPECT_EQ(first.CurrentImage(), keyed(hv::res::kUpArrowDisabled));
    first.EnableWindow(TRUE);
    first.SetFocus();
    EXPECT_EQ(first.CurrentImage(), keyed(hv::res::kUpArrowHighlight));
}

TEST_F(StaticBtnTest, ArrowsMoveTheFocusAndOtherKeysGoToTheParent) {
    first.SetFocus();
    ASSERT_EQ(CWnd::GetFocus(), &first);
    QTest::keyClick(first.GetWidget(), Qt::Key_Right);
    EXPECT_EQ(CWnd::GetFocus(), &second);
    QTest::keyClick(second.GetWidget(), Qt::Key_Up);
    EXPECT_EQ(CWnd::GetFocus(), &first);
    QTest::keyClick(first.GetWidget(), Qt::Key_Return);
    EXPECT_EQ(parent.got, (Got{{WM_KEYDOWN, VK_RETURN}}));
}
