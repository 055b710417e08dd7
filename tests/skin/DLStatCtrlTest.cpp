#include <gtest/gtest.h>

#include "messages/Messages.h"
#include "skin/DLStatCtrl.h"

// The frame forwards the engine's progress to it: a record is answered with
// 0, a missing one with -1.
TEST(DLStatCtrlTest, AnswersWhetherAProgressRecordCame) {
    CDLStatCtrl status;
    ASSERT_TRUE(status.CreateEx(0, "", WS_POPUP, RECT{0, 0, 100, 20}, nullptr, 7));
    const TransferProgress record{};
    const struct {
        const TransferProgress* record;
        LRESULT answer;
    } rows[] = {{&record, 0}, {nullptr, -1}};
    for (const auto& row : rows) {
        EXPECT_EQ(hv::Send<UWM_ENGINE_PROGRESS>(status.GetSafeHwnd(), {}, row.record), row.answer);
    }
}
