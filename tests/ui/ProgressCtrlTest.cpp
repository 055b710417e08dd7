#include <gtest/gtest.h>

#include "ui/ProgressCtrl.h"

// One bar through a run of operations: the position stays in the range and
// a step past the end starts over from the beginning; one onto the end stays.
TEST(ProgressCtrlTest, PositionStaysInTheRangeAndStepsWrap) {
    CProgressCtrl bar;
    ASSERT_TRUE(bar.CreateEx(0, "", WS_POPUP, RECT{0, 0, 200, 20}, nullptr, 0));
    enum class Op { Range, Pos, Step, StepIt };
    const struct {
        Op op;
        int argument;  // the upper end of a 0-based range, a position or a step
        int returned;  // previous position or step; unused for a range
        int pos;
    } rows[] = {
        {Op::Pos, 40, 0, 40},     {Op::Pos, 150, 40, 100},  {Op::Pos, -5, 100, 0},
        {Op::Step, 30, 10, 0},    {Op::StepIt, 0, 0, 30},   {Op::StepIt, 0, 30, 60},
        {Op::StepIt, 0, 60, 90},  {Op::StepIt, 0, 90, 20},  {Op::Step, 10, 30, 20},
        {Op::Pos, 90, 20, 90},    {Op::StepIt, 0, 90, 100}, {Op::Range, 10, 0, 10},
        {Op::Range, 1000, 0, 10}, {Op::Pos, 500, 10, 500},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << static_cast<int>(row.op) << " " << row.argument);
        switch (row.op) {
            case Op::Range: bar.SetRange(0, row.argument); break;
            case Op::Pos: EXPECT_EQ(bar.SetPos(row.argument), row.returned); break;
            case Op::Step: EXPECT_EQ(bar.SetStep(row.argument), row.returned); break;
            case Op::StepIt: EXPECT_EQ(bar.StepIt(), row.returned); break;
        }
        EXPECT_EQ(bar.GetPos(), row.pos);
        EXPECT_EQ(bar.SendMessage(PBM_GETPOS), row.pos);
    }
}
