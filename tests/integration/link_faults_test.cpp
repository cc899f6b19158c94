#include "link_fixture.h"

namespace {

class LinkFaults : public LinkFixture {};

TEST_F(LinkFaults, WrongPasswordIsLoggedOncePerStreakAndCorrected)
{
    config.password = "secret";
    password = "wrong";
    StartLink(false);
    ASSERT_TRUE(WaitFor([] { return LogCount("Password comparison failed\r\n") == 1; }, 3000));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(LogCount("Password comparison failed\r\n"), 1);
    EXPECT_EQ(LINK_IsConnected(), 0);
    TargetInfo t;
    EXPECT_EQ(LINK_GetTargetInfo(&t), 1);
    EXPECT_EQ(t.password_refused, 1);
    EXPECT_EQ(t.connected, 0);

    // The options dialog's way: stop, change, start.
    LINK_Stop();
    APP_SetPassword("secret", 6);
    LINK_Start();
    ASSERT_TRUE(WaitFor([] { return LINK_IsConnected() == 1; }, 3000));
    EXPECT_EQ(LogCount("Connected with target\r\n"), 1);
    EXPECT_EQ(LINK_GetTargetInfo(&t), 1);
    EXPECT_EQ(t.password_refused, 0);
}

TEST_F(LinkFaults, TargetLostAndBack)
{
    StartLink();
    ASSERT_EQ(LINK_GetCrc(0), sim->RangesCrc());
    Fault([](BtlSimFaults& f) { f.silent = true; });
    ASSERT_TRUE(WaitFor([] { return LINK_IsConnected() == 0; }, 3000));
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    EXPECT_EQ(LogCount("Connnection to target lost\r\n"), 1);
    TargetInfo t;
    EXPECT_EQ(LINK_GetTargetInfo(&t), 0);
    EXPECT_EQ(t.connected, 0);
    Fault([](BtlSimFaults& f) { f.silent = false; });
    ASSERT_TRUE(WaitFor([] { return LINK_IsConnected() == 1; }, 3000));
    EXPECT_EQ(LogCount("Connected with target\r\n"), 2);
    LINK_GetTargetInfo(&t);
    EXPECT_EQ(t.target_crc, LINK_CRC_UNKNOWN);
}

TEST_F(LinkFaults, SilentLineNeverConnectsAndJobsDoNotRun)
{
    start_faults.silent = true;
    StartLink(false);
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    EXPECT_EQ(LINK_IsConnected(), 0);
    EXPECT_EQ(LogCount("Connected with target\r\n"), 0);
    // No target: the job does not start, and the report says it could not run.
    EXPECT_EQ(LINK_CheckBlank(1), LINK_RESULT_ERROR);
    EXPECT_EQ(LogCount("Check blank started\r\n"), 0);
    EXPECT_EQ(LogCount("Error during job\r\n"), 1);
    EXPECT_TRUE(PROGRESS_RecordedCalls().empty());
}

TEST_F(LinkFaults, FrameInsteadOfTheAcknowledgeFailsTheBlockAtAddressZero)
{
    StartLink();
    Fault([](BtlSimFaults& f) { f.frame_instead_of_ack = 3; });
    TestImage image = {{0x1000, 1}};
    // Three sends fail; the final flush offers the block again and it lands,
    // but the job stays failed.
    EXPECT_EQ(LINK_Program(1, &image), 1);
    ASSERT_EQ(APP_RecordedErrors().size(), 1u);
    EXPECT_EQ(APP_RecordedErrors()[0], "Error occured: 0 on address 0");
    EXPECT_EQ(sim->Peek(0x1000), 1);
}

TEST_F(LinkFaults, CorruptedChecksumAndLateBytesAreAbsorbed)
{
    StartLink();
    TestImage image;
    for (uint32_t i = 0; i < 300; ++i)
        image[0x1000 + i] = static_cast<uint8_t>(i);
    ASSERT_EQ(LINK_Program(0, &image), 0);
    Fault([](BtlSimFaults& f) { f.bad_checksum = 1; });
    EXPECT_EQ(LINK_VerifyLoaded(0, &image), 0);
    Fault([](BtlSimFaults& f) {
        // Later than a poll's first receive (61 ms) and well before its second
        // ends: the next reply, whichever exchange it answers, is taken by
        // that exchange's second receive or within a read's 200 ms.
        f.late_ms = 100;
        f.late_count = 1;
    });
    EXPECT_EQ(LINK_VerifyLoaded(0, &image), 0);
    EXPECT_EQ(LogCount("Verify loaded program succeed\r\n"), 2);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(LogCount("Connnection to target lost\r\n"), 0);
}

TEST_F(LinkFaults, StopWhileConnectedLogsLostOnceAndClearsTheRecord)
{
    StartLink();
    LINK_Stop();
    EXPECT_EQ(LogCount("Connnection to target lost\r\n"), 1);
    TargetInfo t;
    std::memset(&t, 0x55, sizeof t);
    EXPECT_EQ(LINK_GetTargetInfo(&t), 0);
    TargetInfo zero;
    std::memset(&zero, 0, sizeof zero);
    EXPECT_EQ(std::memcmp(&t, &zero, sizeof t), 0);
    LINK_Stop();
    EXPECT_EQ(LogCount("Connnection to target lost\r\n"), 1);
}

}  // namespace
