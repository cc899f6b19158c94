// The worker's poll, hand-over and stop over a scripted transport, without a
// serial line: what the log, TargetInfo and the flags show on each change.
#include <atomic>
#include <cstring>
#include <mutex>
#include <string>

#include "link_fixture.h"

namespace {

struct Script {
    std::atomic<int> mode{0};          // 0 answer, 1 silent, 2 refuse, 3 short frame, 4 port gone
    std::atomic<int> range2{1};
    std::atomic<int> polls{0};
    std::mutex lock;                   // guards cpu
    std::string cpu = "RX62N";
} g_script;

std::vector<uint8_t> Identity()
{
    std::vector<uint8_t> d = {0, 112, 0, 0, 0};
    std::string cpu;
    {
        std::lock_guard<std::mutex> hold(g_script.lock);
        cpu = g_script.cpu;
    }
    d.push_back(static_cast<uint8_t>(cpu.size()));
    d.insert(d.end(), cpu.begin(), cpu.end());
    const std::string app = "KALUNA";
    d.push_back(static_cast<uint8_t>(app.size()));
    d.insert(d.end(), app.begin(), app.end());
    auto u32 = [&d](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            d.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    u32(0x8000);
    u32(0x1000);
    if (g_script.range2.load()) {
        u32(0x20000);
        u32(0x100);
    }
    return d;
}

int Connect(const char*, uint8_t, uint32_t, uint8_t* reply, uint8_t* length)
{
    ++g_script.polls;
    int mode = g_script.mode.load();
    if (mode == 4)
        return 1;   // a vanished device fails without waiting
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (mode == 1)
        return 1;
    std::vector<uint8_t> d = mode == 2 ? std::vector<uint8_t>{1} : Identity();
    if (mode == 3)
        d.resize(8);   // announces names it does not hold
    reply[6] = 0;
    std::memcpy(reply + 7, d.data(), d.size());
    *length = static_cast<uint8_t>(d.size());
    return 0;
}
int Blank(uint8_t, uint32_t* a, uint32_t* v, uint8_t*)
{
    *a = 0x8010;
    *v = 0x1234;
    return 1;
}
int Simple(uint8_t) { return 0; }
int Crc(const LinkRanges& r, uint16_t* crc, uint8_t*)
{
    *crc = static_cast<uint16_t>(r.length[1] ? 0x00AB : 0x1111);
    return 0;
}
int Send(uint32_t, const uint8_t*, uint32_t, uint8_t*) { return 0; }
int Read(uint32_t, uint32_t, uint8_t*) { return 1; }
uint32_t Baud() { return 57600; }

const LinkTransport kScript = {Connect, Blank, Simple, Crc, Send, Read, Baud};

class LinkWorker : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_script.mode = 0;
        g_script.range2 = 1;
        {
            std::lock_guard<std::mutex> hold(g_script.lock);
            g_script.cpu = "RX62N";
        }
        ViewLog_RecordClear();
        APP_RecordClear();
        PROGRESS_RecordClear();
        LINK_SetTransport(&kScript);
        LINK_SetImageOps(TestImageOps());
    }
    void TearDown() override
    {
        LINK_Stop();
        LINK_SetTransport(nullptr);
    }
    static void Polls(int n)
    {
        int start = g_script.polls.load();
        ASSERT_TRUE(WaitFor([&] { return g_script.polls.load() >= start + n; }, 3000));
    }
};

TEST_F(LinkWorker, EachChangeIsLoggedOnce)
{
    LINK_Start();
    ASSERT_TRUE(WaitFor([] { return LINK_IsConnected() == 1; }, 3000));
    Polls(20);
    g_script.mode = 1;
    ASSERT_TRUE(WaitFor([] { return LINK_IsConnected() == 0; }, 3000));
    Polls(20);
    g_script.mode = 2;
    Polls(20);
    g_script.mode = 0;
    ASSERT_TRUE(WaitFor([] { return LINK_IsConnected() == 1; }, 3000));
    Polls(5);
    EXPECT_EQ(ViewLog_RecordedText(),
              "Connected with target\r\n"
              "Connnection to target lost\r\n"
              "Password comparison failed\r\n"
              "Connected with target\r\n");
}

TEST_F(LinkWorker, RefusalWhileConnectedKeepsConnectedAndSetsTheFlag)
{
    LINK_Start();
    ASSERT_TRUE(WaitFor([] { return LINK_IsConnected() == 1; }, 3000));
    g_script.mode = 2;
    Polls(10);
    EXPECT_EQ(LINK_IsConnected(), 1);
    TargetInfo t;
    EXPECT_EQ(LINK_GetTargetInfo(&t), 1);
    EXPECT_EQ(t.password_refused, 1);
    EXPECT_EQ(t.password_result, 1);
    EXPECT_EQ(LogCount("Password comparison failed\r\n"), 1);
}

TEST_F(LinkWorker, ShorterFrameKeepsRangeTwoAndShorterNameReplacesLonger)
{
    {
        std::lock_guard<std::mutex> hold(g_script.lock);
        g_script.cpu = std::string(120, 'C');   // longer than the field
    }
    LINK_Start();
    ASSERT_TRUE(WaitFor([] { return LINK_IsConnected() == 1; }, 3000));
    TargetInfo t;
    LINK_GetTargetInfo(&t);
    EXPECT_EQ(std::string(t.cpu_name), std::string(99, 'C'));
    EXPECT_EQ(t.range_start[1], 0x20000u);
    g_script.range2 = 0;
    {
        std::lock_guard<std::mutex> hold(g_script.lock);
        g_script.cpu = "Z";
    }
    Polls(5);
    LINK_GetTargetInfo(&t);
    EXPECT_STREQ(t.cpu_name, "Z");
    for (int i = 1; i < LINK_NAME_FIELD; ++i)
        ASSERT_EQ(t.cpu_name[i], 0) << i;
    EXPECT_EQ(t.range_start[1], 0x20000u);
    EXPECT_EQ(t.range_length[1], 0x100u);
}

TEST_F(LinkWorker, FrameShorterThanItsFieldsCountsAsNoAnswer)
{
    g_script.mode = 3;
    LINK_Start();
    Polls(10);
    EXPECT_EQ(LINK_IsConnected(), 0);
    EXPECT_EQ(ViewLog_RecordedText(), "");
}

TEST_F(LinkWorker, FailedJobSetsTheRunFailedFlagAndReportsTheFault)
{
    LINK_Start();
    ASSERT_TRUE(WaitFor([] { return LINK_IsConnected() == 1; }, 3000));
    EXPECT_EQ(LINK_CheckBlank(0), 1);
    EXPECT_EQ(APP_GetRunFailed(), 1);   // set by the worker: no box was shown
    EXPECT_TRUE(APP_RecordedErrors().empty());
    EXPECT_EQ(LINK_Clear(1), 1);
    ASSERT_EQ(APP_RecordedErrors().size(), 1u);
    EXPECT_EQ(APP_RecordedErrors()[0], "Target not blank, 34 at address 8010");
    EXPECT_EQ(LINK_IsIdle(), 1);
}

TEST_F(LinkWorker, GetCrcUsesRangeTwoAndReadErrorsAreReported)
{
    LINK_Start();
    ASSERT_TRUE(WaitFor([] { return LINK_IsConnected() == 1; }, 3000));
    EXPECT_EQ(LINK_GetCrc(0), 0x00ABu);
    EXPECT_EQ(LogCount("Get CRC started\r\nTarget CRC is AB\r\n"), 1);
    TestImage image = {{0x8000, 1}};
    EXPECT_EQ(LINK_VerifyLoaded(1, &image), LINK_RESULT_ERROR);
    EXPECT_EQ(LogCount("Verify loaded program started\r\nError during job\r\n"), 1);
    ASSERT_EQ(APP_RecordedErrors().size(), 1u);
    EXPECT_EQ(APP_RecordedErrors()[0], "Could not execute command");
    // Program, with the progress dialog the user sees.
    EXPECT_EQ(LINK_Program(0, &image), 0);
    auto calls = PROGRESS_RecordedCalls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().op, "close");
    bool opened_with_cancel = false;
    for (const auto& c : calls)
        opened_with_cancel |= c.op == "open" && c.text == "Programming target" && c.a == 0x80;
    EXPECT_TRUE(opened_with_cancel);
}

TEST_F(LinkWorker, PortThatFailsAtOnceDoesNotSpin)
{
    g_script.mode = 4;
    int start = g_script.polls.load();
    LINK_Start();
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    int polls = g_script.polls.load() - start;
    LINK_Stop();
    EXPECT_GE(polls, 2);     // it keeps looking for the target
    EXPECT_LE(polls, 100);   // back to back it would be hundreds of thousands
    g_script.mode = 0;
    LINK_Start();
    EXPECT_TRUE(WaitFor([] { return LINK_IsConnected() == 1; }, 3000));
}

TEST_F(LinkWorker, StopAndStartAgain)
{
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        EXPECT_NE(LINK_Start(), 0u);
        ASSERT_TRUE(WaitFor([] { return LINK_IsConnected() == 1; }, 3000));
        LINK_Stop();
        EXPECT_EQ(LINK_IsConnected(), 0);
    }
    EXPECT_EQ(LogCount("Connected with target\r\n"), 3);
    EXPECT_EQ(LogCount("Connnection to target lost\r\n"), 3);
}

}  // namespace
