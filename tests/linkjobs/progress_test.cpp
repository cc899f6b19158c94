#include <gtest/gtest.h>

#include <atomic>

#include "link/posix/progress_record.h"
#include "link/progress.h"

namespace {

TEST(ProgressBar, Percentages)
{
    struct Case {
        int32_t lo, hi, pos;
        int32_t stored;
        int percent;
    } cases[] = {
        {0, 2, 1, 1, 50},
        {0, 2, 7, 2, 100},
        {0, 2, -3, 0, 0},
        {5, 5, 9, 5, 0},
        {0, 3, 1, 1, 33},
        {-2147483647 - 1, 2147483647, 2147483647, 2147483647, 100},   // no overflow
        {10, 20, 15, 15, 50},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.lo << ".." << c.hi << " @" << c.pos);
        ProgressBarState s;
        ASSERT_TRUE(PROGRESS_ApplyRange(s, c.lo, c.hi));
        EXPECT_EQ(s.position, c.lo);
        int percent = -1;
        EXPECT_EQ(PROGRESS_ApplyPos(s, c.pos, &percent), c.lo);
        EXPECT_EQ(s.position, c.stored);
        EXPECT_EQ(percent, c.percent);
    }
}

TEST(ProgressBar, InvertedRangeIsIgnored)
{
    ProgressBarState s;
    EXPECT_FALSE(PROGRESS_ApplyRange(s, 5, 4));
    EXPECT_EQ(s.minimum, 0);
    EXPECT_EQ(s.maximum, 100);
}

std::atomic<int> g_cancels{0};
void OnCancel() { ++g_cancels; }

class ProgressStandIn : public ::testing::Test {
protected:
    void SetUp() override
    {
        PROGRESS_RecordClear();
        g_cancels = 0;
    }
    void TearDown() override { PROGRESS_RecordClear(); }
};

TEST_F(ProgressStandIn, OpensCountAndTheFirstCloseRemovesTheDialog)
{
    EXPECT_EQ(PROGRESS_Open(nullptr, "T", "Status", 0), 1);
    EXPECT_EQ(PROGRESS_Open(nullptr, "T2", "Status", 0), 1);
    PROGRESS_Close();
    EXPECT_EQ(PROGRESS_IsOpen(), 0);
    PROGRESS_Close();
    EXPECT_EQ(PROGRESS_IsOpen(), 0);
    // Only the first open created a dialog.
    int opens = 0;
    for (const auto& c : PROGRESS_RecordedCalls())
        opens += c.op == "open";
    EXPECT_EQ(opens, 1);
    // The count is back to 0: the next open creates a dialog again.
    EXPECT_EQ(PROGRESS_Open(nullptr, "T3", "Status", 0), 1);
}

TEST_F(ProgressStandIn, ClosedDialogIgnoresBarCalls)
{
    EXPECT_EQ(PROGRESS_SetPos(5), 0);
    PROGRESS_SetRange(0, 10);
    EXPECT_TRUE(PROGRESS_RecordedCalls().empty());
}

TEST_F(ProgressStandIn, CancelCallbackWithoutACancelButton)
{
    PROGRESS_Open(nullptr, "Check blank", "Status", 0);
    PROGRESS_SetCancelCallback(OnCancel);
    PROGRESS_RecordPressCancel();
    EXPECT_EQ(g_cancels, 1);
    EXPECT_EQ(PROGRESS_IsOpen(), 1);   // the dialog waits for the job's end
}

TEST_F(ProgressStandIn, InjectedCancelAtTheChosenPosition)
{
    PROGRESS_Open(nullptr, "Programming target", "Status", PROGRESS_WITH_CANCEL);
    PROGRESS_SetCancelCallback(OnCancel);
    PROGRESS_RecordCancelAtPos(2);
    PROGRESS_SetRange(0, 4);
    PROGRESS_SetPos(1);
    EXPECT_EQ(g_cancels, 0);
    EXPECT_EQ(PROGRESS_SetPos(2), 1);
    EXPECT_EQ(g_cancels, 1);
    auto calls = PROGRESS_RecordedCalls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().op, "pos");
    EXPECT_EQ(calls.back().b, 50);
}

}  // namespace
