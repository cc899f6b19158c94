#include <gtest/gtest.h>

#include "fake_target.h"

namespace {

class VerifyJobs : public ::testing::Test {
protected:
    FakeLink link;
    LinkJobState job;
    uint8_t reply[LINK_REPLY_SIZE] = {};

    void Loaded()
    {
        job.result = 0;
        LINK_JobVerifyLoaded(job, link.Ops(), reply);
    }
    void All(uint32_t start, int32_t length)
    {
        job.result = 0;
        job.address = start;
        job.count = length;
        LINK_JobVerifyAll(job, link.Ops(), reply);
    }
    void ReadBack(uint32_t start, int32_t count)
    {
        job.result = 0;
        job.address = start;
        job.count = count;
        LINK_JobReadBack(job, link.Ops(), reply);
    }
    void TargetCopiesImage() { link.target = link.image; }
};

using Reads = std::vector<std::pair<uint32_t, uint32_t>>;

TEST_F(VerifyJobs, LoadedSplitsIntoChunksOfAHundredAndTwenty)
{
    link.Fill(0x100, 128);
    TargetCopiesImage();
    Loaded();
    EXPECT_EQ(job.result, 0);
    EXPECT_EQ(link.reads, (Reads{{0x100, 120}, {0x178, 8}}));
}

TEST_F(VerifyJobs, LoadedSkipsGapsAndReadsEachArea)
{
    link.Fill(0x100, 3);
    link.Fill(0x200, 2);
    TargetCopiesImage();
    Loaded();
    EXPECT_EQ(job.result, 0);
    EXPECT_EQ(link.reads, (Reads{{0x100, 3}, {0x200, 2}}));
    EXPECT_EQ(job.count, 0);
}

TEST_F(VerifyJobs, LoadedDifferenceNamesTheFirstDifferingByte)
{
    link.Fill(0x2000, 16);
    TargetCopiesImage();
    link.target[0x2004] = 0x99;
    link.target[0x2008] = 0x98;
    Loaded();
    EXPECT_EQ(job.result, 1);
    EXPECT_EQ(job.address, 0x2004u);
    EXPECT_EQ(job.value, 0x99);
}

TEST_F(VerifyJobs, LoadedReadFailureIsAnError)
{
    link.Fill(0x2000, 200);
    TargetCopiesImage();
    link.fail_read_at = 1;
    Loaded();
    EXPECT_EQ(job.result, 2);
}

TEST_F(VerifyJobs, LoadedEmptyImageSucceedsWithoutReads)
{
    Loaded();
    EXPECT_EQ(job.result, 0);
    EXPECT_TRUE(link.reads.empty());
}

TEST_F(VerifyJobs, LoadedCancelEndsAfterTheCurrentStep)
{
    link.Fill(0x100, 1000);
    TargetCopiesImage();
    link.cancel_after_reads = 2;
    Loaded();
    EXPECT_EQ(job.result, 3);
    EXPECT_EQ(link.reads.size(), 2u);
}

TEST_F(VerifyJobs, LoadedChunkAtTheTopOfTheAddressSpace)
{
    link.image = {{0xFFFFFFFEu, 1}, {0xFFFFFFFFu, 2}};
    TargetCopiesImage();
    Loaded();
    EXPECT_EQ(job.result, 0);
    EXPECT_EQ(link.reads, (Reads{{0xFFFFFFFEu, 2}}));
}

TEST_F(VerifyJobs, AllExpectsErasedWhereTheImageHasNoData)
{
    All(0x8000, 300);
    EXPECT_EQ(job.result, 0);
    EXPECT_EQ(link.reads, (Reads{{0x8000, 120}, {0x8078, 120}, {0x80F0, 60}}));

    link.reads.clear();
    link.target[0x8100] = 0x00;
    All(0x8000, 300);
    EXPECT_EQ(job.result, 1);
    EXPECT_EQ(job.address, 0x8100u);
    EXPECT_EQ(job.value, 0);
}

TEST_F(VerifyJobs, AllComparesImageBytes)
{
    link.Fill(0x8000, 10);
    All(0x8000, 16);
    EXPECT_EQ(job.result, 1);   // the target is erased, the image is not
    EXPECT_EQ(job.address, 0x8000u);
    EXPECT_EQ(job.value, 0xFF);
    TargetCopiesImage();
    All(0x8000, 16);
    EXPECT_EQ(job.result, 0);
}

TEST_F(VerifyJobs, AllProgressOncePerChunk)
{
    All(0x8000, 300);
    EXPECT_EQ(link.range, std::make_pair(0, 300));
    EXPECT_EQ(link.positions, (std::vector<int32_t>{120, 240}));
}

TEST_F(VerifyJobs, ReadBackSizes)
{
    ReadBack(0x400, 0);
    EXPECT_EQ(job.result, 0);
    EXPECT_TRUE(link.reads.empty());
    EXPECT_TRUE(link.read_back.empty());

    for (uint32_t i = 0; i < 250; ++i)
        link.target[0x400 + i] = static_cast<uint8_t>(i * 7);
    ReadBack(0x400, 250);
    EXPECT_EQ(job.result, 0);
    EXPECT_EQ(link.reads, (Reads{{0x400, 120}, {0x478, 120}, {0x4F0, 10}}));
    ASSERT_EQ(link.read_back.size(), 250u);
    EXPECT_EQ(link.read_back[0x400 + 249], static_cast<uint8_t>(249 * 7));
    EXPECT_EQ(link.positions, (std::vector<int32_t>{0, 120, 240}));
}

TEST_F(VerifyJobs, ReadBackFailureKeepsWhatWasRead)
{
    link.fail_read_at = 1;
    ReadBack(0x400, 250);
    EXPECT_EQ(job.result, 2);
    EXPECT_EQ(link.read_back.size(), 120u);
}

TEST_F(VerifyJobs, ReadBackCancel)
{
    link.cancel_after_reads = 1;
    ReadBack(0x400, 250);
    EXPECT_EQ(job.result, 3);
    EXPECT_EQ(link.read_back.size(), 120u);
}

}  // namespace
