#include <gtest/gtest.h>

#include "fake_target.h"

namespace {

class ProgramJob : public ::testing::Test {
protected:
    FakeLink link;
    LinkJobState job;
    LinkBlock block;
    LinkRanges ranges;
    uint8_t reply[LINK_REPLY_SIZE] = {};

    void Run()
    {
        job.result = 0;
        LINK_JobProgram(job, block, ranges, link.Ops(), reply);
    }
};

TEST_F(ProgramJob, TwoSparseBytesGoInOneWordPaddedWithErased)
{
    link.image = {{0x1001, 0xB1}, {0x1003, 0xB3}};
    Run();
    EXPECT_EQ(job.result, 0);
    ASSERT_EQ(link.sent.size(), 1u);
    EXPECT_EQ(link.sent[0].base, 0x1000u);
    EXPECT_EQ(link.sent[0].data, (std::vector<uint8_t>{0xFF, 0xB1, 0xFF, 0xB3}));
}

TEST_F(ProgramJob, FullBlockThenOneByteRoundedToAWord)
{
    link.Fill(0x1000, 237);
    Run();
    EXPECT_EQ(job.result, 0);
    ASSERT_EQ(link.sent.size(), 2u);
    EXPECT_EQ(link.sent[0].base, 0x1000u);
    ASSERT_EQ(link.sent[0].data.size(), 236u);
    EXPECT_EQ(link.sent[0].data[235], 235);
    EXPECT_EQ(link.sent[1].base, 0x10ECu);
    EXPECT_EQ(link.sent[1].data, (std::vector<uint8_t>{236, 0xFF, 0xFF, 0xFF}));
}

TEST_F(ProgramJob, BytesFurtherApartThanABlockStartANewOne)
{
    link.image = {{0x1002, 1}, {0x10ED, 2}};   // 0x10ED - 0x1000 = 237
    Run();
    ASSERT_EQ(link.sent.size(), 2u);
    EXPECT_EQ(link.sent[0].data, (std::vector<uint8_t>{0xFF, 0xFF, 1, 0xFF}));
    EXPECT_EQ(link.sent[1].base, 0x10ECu);
    EXPECT_EQ(link.sent[1].data, (std::vector<uint8_t>{0xFF, 2, 0xFF, 0xFF}));
}

TEST_F(ProgramJob, EmptyImageFailsAndSendsNothing)
{
    Run();
    EXPECT_EQ(job.result, 1);
    EXPECT_TRUE(link.sent.empty());
}

TEST_F(ProgramJob, SkipsBytesBetweenTheRangesAndEndsPastTheHighestAddress)
{
    ranges.start[0] = 0x100;
    ranges.length[0] = 0x10;
    ranges.start[1] = 0x1000;
    ranges.length[1] = 0x100;
    link.Fill(0x100, 0x10);
    link.image[0x200] = 0x55;      // between the ranges: never programmed
    Run();
    EXPECT_EQ(job.result, 0);
    ASSERT_EQ(link.sent.size(), 1u);
    EXPECT_EQ(link.sent[0].base, 0x100u);
    EXPECT_EQ(link.sent[0].data.size(), 0x10u);
    EXPECT_EQ(job.count, 1);       // the skipped byte
}

TEST_F(ProgramJob, SkipLandsOnRangeTwoData)
{
    ranges.start[0] = 0x100;
    ranges.length[0] = 0x4;
    ranges.start[1] = 0x800;
    ranges.length[1] = 0x10;
    link.Fill(0x100, 4);
    link.image[0x300] = 0x77;      // skipped
    link.Fill(0x800, 4, 0x40);
    Run();
    EXPECT_EQ(job.result, 0);
    ASSERT_EQ(link.sent.size(), 2u);
    EXPECT_EQ(link.sent[1].base, 0x800u);
    EXPECT_EQ(link.sent[1].data, (std::vector<uint8_t>{0x40, 0x41, 0x42, 0x43}));
}

TEST_F(ProgramJob, WalkEndsAtTheTopOfTheAddressSpace)
{
    link.image = {{0xFFFFFFFEu, 1}, {0xFFFFFFFFu, 2}};
    Run();
    EXPECT_EQ(job.result, 0);
    ASSERT_EQ(link.sent.size(), 1u);
    EXPECT_EQ(link.sent[0].base, 0xFFFFFFFCu);
    EXPECT_EQ(link.sent[0].data, (std::vector<uint8_t>{0xFF, 0xFF, 1, 2}));
}

TEST_F(ProgramJob, RefusedBlockIsOfferedAgainByTheFinalFlushAndStaysFailed)
{
    link.Fill(0x2000, 300);
    link.refuse_sends = 1;
    link.refuse_address = 0x2010;
    link.refuse_value = 0x5A;
    Run();
    EXPECT_EQ(job.result, 1);
    EXPECT_EQ(job.address, 0x2010u);
    EXPECT_EQ(job.value, 0x5A);
    // The walk stopped at the refused first block; the final flush sent it.
    ASSERT_EQ(link.sent.size(), 1u);
    EXPECT_EQ(link.sent[0].base, 0x2000u);
}

TEST_F(ProgramJob, BlockLeftOpenByAFailedJobIsNotSentLater)
{
    link.image = {{0x3000, 0xAA}};
    link.refuse_sends = 100;
    Run();
    EXPECT_EQ(job.result, 1);
    link.refuse_sends = 0;
    link.image = {{0x5001, 0xBB}};
    Run();
    EXPECT_EQ(job.result, 0);
    ASSERT_EQ(link.sent.size(), 1u);
    EXPECT_EQ(link.sent[0].base, 0x5000u);
    EXPECT_EQ(link.sent[0].data, (std::vector<uint8_t>{0xFF, 0xBB, 0xFF, 0xFF}));
}

TEST_F(ProgramJob, CancelSendsTheOpenBlockAndEndsCancelled)
{
    link.Fill(0x1000, 600);
    link.cancel_after_sends = 1;
    Run();
    EXPECT_EQ(job.result, 3);
    ASSERT_EQ(link.sent.size(), 2u);   // the first full block, then the open one
    EXPECT_EQ(link.sent[1].base, 0x10ECu);
    EXPECT_EQ(link.sent[1].data.size(), 4u);   // cancelled right after its first byte
}

TEST_F(ProgramJob, CancelWhoseLastBlockFailsEndsFailed)
{
    link.Fill(0x1000, 8);
    link.cancel = 1;
    link.refuse_sends = 1;
    Run();
    EXPECT_EQ(job.result, 1);
}

TEST_F(ProgramJob, ProgressEveryHundredAndTwentyNineBytes)
{
    link.Fill(0x1000, 300);
    Run();
    EXPECT_EQ(link.range, std::make_pair(0, 300));
    EXPECT_EQ(link.positions, (std::vector<int32_t>{1, 130, 259}));
}

}  // namespace
