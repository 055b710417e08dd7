#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <QWidget>

#include "ui/Dialog.h"
#include "ui/DialogTemplate.h"

TEST(DialogUnits, OneMappingForTheWholeProgram) {
    // An 8-point dialog font: 6 x 13 pixel cells, 4 x 8 units to a cell,
    // rounded half away from zero.
    const struct {
        int units, x, y;
    } cases[] = {{0, 0, 0}, {4, 6, 7}, {8, 12, 13}, {302, 453, 491}, {401, 602, 652}, {-3, -5, -5}};
    for (const auto& c : cases) {
        EXPECT_EQ(DialogUnitsToPixelsX(c.units), c.x) << c.units << " units";
        EXPECT_EQ(DialogUnitsToPixelsY(c.units), c.y) << c.units << " units";
    }
    RECT rect{10, 20, 30, 40};
    MapDialogRect(&rect);
    EXPECT_EQ(QRect(QPoint(rect.left, rect.top), QPoint(rect.right, rect.bottom)),
              QRect(QPoint(15, 33), QPoint(45, 65)));
}

TEST(Dialog, ModalRunUntilEndDialogWithItemsFromTheTemplate) {
    const std::vector<DialogItem> items = {
        {1117, DialogItemKind::Static, "Hello", RECT{4, 4, 40, 10}, WS_VISIBLE},
        {IDOK, DialogItemKind::Button, "OK", RECT{50, 20, 40, 14}, WS_VISIBLE}};
    RegisterDialogTemplate(DialogTemplate{9001, 100, 40, WS_POPUP, items});
    class Probe : public CDialog {
      public:
        Probe() : CDialog(9001, nullptr) {}
        QWidget* label = nullptr;
        BOOL OnInitDialog() override {
            label = GetDlgItem(1117)->GetWidget();
            return TRUE;
        }
    } dialog;
    QTimer::singleShot(0, [&] {
        ASSERT_NE(dialog.GetSafeHwnd(), nullptr);
        EXPECT_EQ(dialog.GetWidget()->width(), DialogUnitsToPixelsX(100));
        EXPECT_EQ(qobject_cast<QLabel*>(dialog.label)->text(), "Hello");
        EXPECT_EQ(dialog.label->geometry(), QRect(6, 7, 60, 16));
        // The OK button reaches the dialog as WM_COMMAND.
        dialog.SendMessage(WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialog.GetSafeHwnd(), nullptr);

    EXPECT_EQ(CDialog(424242, nullptr).DoModal(), -1) << "unknown template";
}
