#include <cstring>

#include "data/mem_image.h"

#include "link_fixture.h"

namespace {

using Notices = std::vector<AppRecordedNotice>;

class LinkJobs : public LinkFixture {};

TEST_F(LinkJobs, ConnectFillsTargetInfoAndLogsOnce)
{
    config.range_start[1] = 0x20000;
    config.range_length[1] = 0x100;
    StartLink();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));   // many polls
    EXPECT_EQ(LogCount("Connected with target\r\n"), 1);
    TargetInfo t;
    ASSERT_EQ(LINK_GetTargetInfo(&t), 1);
    EXPECT_EQ(t.version, 112u);
    EXPECT_STREQ(t.cpu_name, "RX62N");
    EXPECT_STREQ(t.app_name, "KALUNA");
    EXPECT_EQ(t.range_start[0], 0x1000u);
    EXPECT_EQ(t.range_length[0], 0x1000u);
    EXPECT_EQ(t.range_start[1], 0x20000u);
    EXPECT_EQ(t.range_length[1], 0x100u);
    EXPECT_EQ(t.target_crc, LINK_CRC_UNKNOWN);
    EXPECT_EQ(t.password_refused, 0);
}

TEST_F(LinkJobs, CheckBlankClearMakeValidStartSucceed)
{
    StartLink();
    EXPECT_EQ(LINK_CheckBlank(1), 0);
    EXPECT_EQ(LINK_Clear(1), 0);
    EXPECT_EQ(LINK_MakeValid(1), 0);
    EXPECT_EQ(LINK_StartApplication(1), 0);
    EXPECT_EQ(LogCount("Check blank started\r\nCheck blank succeed\r\n"), 1);
    EXPECT_EQ(LogCount("Clear target started\r\nClear target succeed\r\n"), 1);
    EXPECT_EQ(LogCount("Make valid started\r\nMake valid succeed\r\n"), 1);
    EXPECT_EQ(LogCount("Start application started\r\nStart application succeed\r\n"), 1);
    Notices n = APP_RecordedNotices();
    ASSERT_EQ(n.size(), 4u);
    EXPECT_EQ(n[0].text, "Target is blank");
    EXPECT_EQ(n[0].caption, "Check blank");
    EXPECT_EQ(n[2].text, "Target has been made valid");
    EXPECT_EQ(n[3].text, "Application has been started");
    EXPECT_TRUE(sim->Stats().valid);
    EXPECT_TRUE(sim->Stats().started);
    EXPECT_EQ(APP_GetRunFailed(), 0) << ViewLog_RecordedText();
    EXPECT_TRUE(APP_RecordedErrors().empty());
}

TEST_F(LinkJobs, NotBlankFailsWithAddressAndValue)
{
    StartLink();
    uint8_t b = 0x3C;
    sim->Load(0x1000, &b, 1);
    Fault([](BtlSimFaults& f) { f.force_not_blank = true; });
    EXPECT_EQ(LINK_CheckBlank(1), 1);
    EXPECT_EQ(LINK_Clear(0), 1);
    EXPECT_EQ(LogCount("Check blank failed\r\n"), 1);
    EXPECT_EQ(LogCount("Clear target failed\r\n"), 1);
    ASSERT_EQ(APP_RecordedErrors().size(), 1u);   // the second was not interactive
    EXPECT_EQ(APP_RecordedErrors()[0], "Target not blank, 3C at address 1000");
    EXPECT_EQ(APP_GetRunFailed(), 1);
}

TEST_F(LinkJobs, ProgramVerifyAndCrcMatchTheTarget)
{
    config.range_start[1] = 0x8000;
    config.range_length[1] = 0x200;
    StartLink();
    TestImage image;
    for (uint32_t i = 0; i < 700; ++i)
        image[0x1100 + i] = static_cast<uint8_t>(i * 13 + 1);
    for (uint32_t i = 0; i < 10; ++i)
        image[0x8010 + i] = static_cast<uint8_t>(0xA0 + i);
    EXPECT_EQ(LINK_Program(0, &image), 0);
    for (const auto& [a, v] : image)
        ASSERT_EQ(sim->Peek(a), v) << std::hex << a;
    EXPECT_EQ(LINK_VerifyLoaded(0, &image), 0);
    EXPECT_EQ(LINK_VerifyAll(0, &image), 0);
    uint32_t crc = LINK_GetCrc(1);
    EXPECT_EQ(crc, sim->RangesCrc());
    char line[64];
    std::snprintf(line, sizeof line, "Target CRC is %X\r\n", crc);
    EXPECT_EQ(LogCount(line), 1);
    EXPECT_EQ(LogCount("Programming target started\r\nProgramming target succeed\r\n"), 1);
    EXPECT_EQ(LogCount("Verify loaded program started\r\nVerify loaded program succeed\r\n"), 1);
    EXPECT_EQ(LogCount("Verify all bytes started\r\nVerify all bytes succeed\r\n"), 1);
    ASSERT_EQ(sim->Stats().crc_requests.size(), 3u);   // plain, range 1, range 2
    TargetInfo t;
    LINK_GetTargetInfo(&t);
    EXPECT_EQ(t.target_crc, crc);
}

TEST_F(LinkJobs, CrcWithoutRangeTwoAsksForRangeOneOnly)
{
    StartLink();
    EXPECT_EQ(LINK_GetCrc(0), sim->RangesCrc());
    auto req = sim->Stats().crc_requests;
    ASSERT_EQ(req.size(), 2u);
    EXPECT_TRUE(req[0].empty());
    EXPECT_EQ(req[1], (std::vector<uint8_t>{0x00, 0x10, 0, 0, 0x00, 0x10, 0, 0}));
}

TEST_F(LinkJobs, BlockExamples)
{
    StartLink();
    TestImage two = {{0x1001, 0xB1}, {0x1003, 0xB3}};
    EXPECT_EQ(LINK_Program(0, &two), 0);
    EXPECT_EQ(sim->Stats().blocks, 1);
    EXPECT_EQ(sim->Peek(0x1001), 0xB1);
    EXPECT_EQ(sim->Peek(0x1003), 0xB3);

    sim->ResetStats();
    TestImage full;
    for (uint32_t i = 0; i < 237; ++i)
        full[0x1100 + i] = static_cast<uint8_t>(i);
    EXPECT_EQ(LINK_Program(0, &full), 0);
    EXPECT_EQ(sim->Stats().blocks, 2);
    EXPECT_EQ(sim->Peek(0x1100 + 236), 236);
}

TEST_F(LinkJobs, ProgramWriteErrorReportsTheTargetsAddressAndValue)
{
    StartLink();
    Fault([](BtlSimFaults& f) {
        f.write_error_at_block = 1;
        f.write_error_value = 0x5A;
    });
    TestImage image;
    for (uint32_t i = 0; i < 600; ++i)
        image[0x1000 + i] = 1;
    EXPECT_EQ(LINK_Program(1, &image), 1);
    EXPECT_EQ(LogCount("Programming target failed\r\n"), 1);
    ASSERT_EQ(APP_RecordedErrors().size(), 1u);
    // The error frame comes in place of the acknowledge and is consumed while
    // waiting for it, so the zeroed reply buffer gives address 0 and value 0.
    EXPECT_EQ(APP_RecordedErrors()[0], "Error occured: 0 on address 0");
    EXPECT_EQ(APP_GetRunFailed(), 1);
}

TEST_F(LinkJobs, VerifyFindsTheFirstDifferingByte)
{
    StartLink();
    TestImage image;
    for (uint32_t i = 0; i < 16; ++i)
        image[0x1800 + i] = static_cast<uint8_t>(i);
    ASSERT_EQ(LINK_Program(0, &image), 0);
    uint8_t wrong[] = {0x77, 0x78};
    sim->Load(0x1804, wrong, 2);
    EXPECT_EQ(LINK_VerifyLoaded(1, &image), 1);
    EXPECT_EQ(LINK_VerifyAll(0, &image), 1);
    EXPECT_EQ(LogCount("Verify loaded program failed\r\n"), 1);
    EXPECT_EQ(LogCount("Verify all bytes failed\r\n"), 1);
    ASSERT_EQ(APP_RecordedErrors().size(), 1u);
    EXPECT_EQ(APP_RecordedErrors()[0], "Verify error, 77 at 1804");
}

TEST_F(LinkJobs, ReadBackOfNothingAndOfTwoHundredFiftyBytes)
{
    StartLink();
    std::vector<uint8_t> bytes(250);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(i ^ 0x5A);
    sim->Load(0x1200, bytes.data(), 250);

    auto* none = static_cast<TestImage*>(LINK_ReadBack(0, 0x1200, 0));
    ASSERT_NE(none, nullptr);
    EXPECT_TRUE(none->empty());
    EXPECT_EQ(sim->Stats().requests[8], 0);
    delete none;

    auto* got = static_cast<TestImage*>(LINK_ReadBack(1, 0x1200, 250));
    ASSERT_NE(got, nullptr);
    ASSERT_EQ(got->size(), 250u);
    for (uint32_t i = 0; i < 250; ++i)
        ASSERT_EQ((*got)[0x1200 + i], bytes[i]);
    EXPECT_EQ(sim->Stats().requests[8], 3);
    EXPECT_EQ(LogCount("Read back from 0x1200 to 0x12F9 started\r\nRead back succeed\r\n"), 1);
    Notices n = APP_RecordedNotices();
    ASSERT_FALSE(n.empty());
    EXPECT_EQ(n.back().text, "Success");
    delete got;
}

struct CancelCase {
    const char* name;
    int which;   // 0 program, 1 verify loaded, 2 read back
};

class LinkCancel : public LinkFixture, public ::testing::WithParamInterface<CancelCase> {};

TEST_P(LinkCancel, EndsCancelledWithTheCancelReport)
{
    StartLink();
    TestImage image;
    for (uint32_t i = 0; i < 2000; ++i)
        image[0x1000 + i] = static_cast<uint8_t>(i);
    if (GetParam().which == 1) {
        for (const auto& [a, v] : image)
            sim->Load(a, &v, 1);   // verify finds no difference before the cancel
    }
    PROGRESS_RecordCancelAtPos(2);
    int result = -1;
    switch (GetParam().which) {
    case 0:
        result = LINK_Program(1, &image);
        break;
    case 1:
        result = LINK_VerifyLoaded(1, &image);
        break;
    case 2: {
        auto* got = static_cast<TestImage*>(LINK_ReadBack(1, 0x1000, 2000));
        result = LINK_GetJobResult();
        ASSERT_NE(got, nullptr);
        EXPECT_LT(got->size(), 2000u);
        delete got;
        break;
    }
    }
    EXPECT_EQ(result, 3);
    EXPECT_EQ(LogCount("Job has been cancelled\r\n"), 1);
    ASSERT_EQ(APP_RecordedErrors().size(), 1u);
    EXPECT_EQ(APP_RecordedErrors()[0], "Job has been cancelled\r\n");
    // The worker clears the flag: the next job runs to its end.
    EXPECT_EQ(LINK_MakeValid(0), 0);
}

INSTANTIATE_TEST_SUITE_P(Jobs, LinkCancel,
                         ::testing::Values(CancelCase{"program", 0}, CancelCase{"verify", 1},
                                           CancelCase{"readback", 2}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

TEST_F(LinkJobs, MemoryImagesProgramVerifyAndReadBack)
{
    StartLink();
    LINK_SetImageOps(nullptr);   // the loader's own memory image
    MemImage* image = MEM_Create();
    ASSERT_NE(image, nullptr);
    std::vector<uint8_t> bytes(500);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(i * 3);
    ASSERT_EQ(MEM_AddBytes(image, 0x1400, 300, bytes.data()), 0);
    ASSERT_EQ(MEM_AddBytes(image, 0x1800, 200, bytes.data() + 300), 0);
    EXPECT_EQ(LINK_Program(0, image), 0);
    EXPECT_EQ(LINK_VerifyLoaded(0, image), 0);
    EXPECT_EQ(LINK_VerifyAll(0, image), 0);
    auto* back = static_cast<MemImage*>(LINK_ReadBack(0, 0x1400, 300));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(MEM_GetByteCount(back), 300u);
    for (uint32_t i = 0; i < 300; ++i)
        ASSERT_EQ(MEM_GetByte(back, 0x1400 + i), bytes[i]);
    MEM_Free(back);
    MEM_Free(image);
}

}  // namespace
