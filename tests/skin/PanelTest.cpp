#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>
#include <memory>
#include <vector>

#include "skin/Panel.h"
#include "ui/DialogTemplate.h"

namespace {

constexpr int kPanel = 100;
// A button, an edit box and a static beside the panel.
constexpr int kSiblings[] = {101, 102, 103};
constexpr UINT kMissing = 999;

class Screen : public CWnd {
  public:
    Screen() { CreateEx(0, "", WS_POPUP | WS_VISIBLE, RECT{0, 0, 600, 400}, nullptr, 0); }
};

QRect Geometry(const CWnd& parent, int id) {
    return parent.GetDlgItem(id)->GetWidget()->geometry();
}

}  // namespace

// Every move of the panel carries its controls by the same offset, so two
// moves add up, also when they happen while the screen is hidden.
TEST(PanelTest, MovingTwiceMovesTheControlsByTheSum) {
    const std::vector<DialogItem> controls = {
        {kPanel, DialogItemKind::Static, "", {20, 20, 100, 80}, WS_VISIBLE},
        {101, DialogItemKind::Button, "OK", {30, 30, 40, 14}, WS_VISIBLE},
        {102, DialogItemKind::Edit, "", {30, 50, 60, 12}, WS_VISIBLE},
        {103, DialogItemKind::Static, "Hi", {30, 70, 60, 10}, WS_VISIBLE}};
    const DialogTemplate layout{0, 300, 200, 0, controls};
    const struct {
        bool collect;  // all siblings, else 101 and a missing id
        bool hiddenWhileMoved;
    } rows[] = {{false, false}, {true, false}, {true, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message()
                     << "collect " << row.collect << ", hidden " << row.hiddenWhileMoved);
        Screen screen;
        const auto items = CreateDialogItems(layout, &screen, {});
        CPanel panel;
        ASSERT_TRUE(panel.Attach(kPanel, &screen));
        if (row.collect) {
            panel.CollectSiblings();
        } else {
            EXPECT_EQ(panel.AddControl(101), 0);
            EXPECT_EQ(panel.AddControl(kMissing), 1);
        }
        std::vector<QRect> before;
        for (const int id : kSiblings) {
            before.push_back(Geometry(screen, id));
        }
        const QRect start = Geometry(screen, kPanel);
        const QPoint offset(37, 15);
        if (row.hiddenWhileMoved) {
            screen.ShowWindow(SW_HIDE);
        }
        panel.MoveWindow(start.x() + 30, start.y() - 5, start.width(), start.height());
        panel.MoveWindow(start.x() + offset.x(), start.y() + offset.y(), start.width(),
                         start.height());
        screen.ShowWindow(SW_SHOW);
        EXPECT_EQ(Geometry(screen, kPanel), start.translated(offset));
        for (size_t i = 0; i < before.size(); ++i) {
            const bool carried = row.collect || kSiblings[i] == 101;
            EXPECT_EQ(Geometry(screen, kSiblings[i]),
                      carried ? before[i].translated(offset) : before[i])
                << kSiblings[i];
        }
    }
}
