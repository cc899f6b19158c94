// The termios backend on real ptys: total read time-outs, and the protocol's
// exchanges against the bootloader simulator with the real time-outs.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "btlsim.h"
#include "temp_settings.h"
#include "link/btl.h"
#include "link/com.h"
#include "shell/posix/app_record.h"

namespace {

using Clock = std::chrono::steady_clock;
long long MsSince(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

int OpenPort(const std::string& path, uint32_t baud = 57600) {
    COM_Settings s{};
    s.baud_rate = baud;
    std::snprintf(s.port_name, sizeof s.port_name, "%s", path.c_str());
    s.byte_size = 8;
    return COM_Reconfigure(s);
}

class PtyPort : public ::testing::Test {
protected:
    void SetUp() override {
        COM_SetDeviceOps(nullptr);
        COM_ResetModule();
        TEMP_SettingsClear();
        APP_RecordClear();
        master = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(0, grantpt(master));
        ASSERT_EQ(0, unlockpt(master));
        slave = ptsname(master);
        ASSERT_EQ(0, OpenPort(slave));
    }
    void TearDown() override {
        COM_ResetModule();
        if (master >= 0) close(master);
    }
    int master = -1;
    std::string slave;
};

TEST_F(PtyPort, SilentLineEndsAfterTheTotalTimeout) {
    uint8_t buf[8];
    auto t = Clock::now();
    EXPECT_EQ(0u, COM_Read(buf, 7, 300));
    const long long ms = MsSince(t);
    EXPECT_GE(ms, 295);
    EXPECT_LT(ms, 1000);
}

TEST_F(PtyPort, PartOfTheBytesComesBackAfterTheTimeout) {
    const uint8_t three[] = {0x11, 0x22, 0x33};
    ASSERT_EQ(3, write(master, three, 3));
    uint8_t buf[8] = {};
    auto t = Clock::now();
    EXPECT_EQ(3u, COM_Read(buf, 7, 300));
    EXPECT_GE(MsSince(t), 295);
    EXPECT_EQ(0x33, buf[2]);
    // Bytes that come during the wait are collected too.
    std::thread late([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const uint8_t b[] = {1, 2, 3, 4};
        ASSERT_EQ(4, write(master, b, 4));
    });
    t = Clock::now();
    EXPECT_EQ(4u, COM_Read(buf, 4, 1000));
    EXPECT_LT(MsSince(t), 900) << "a read ends as soon as it has all its bytes";
    late.join();
}

TEST_F(PtyPort, WriteReachesTheFarEnd) {
    const uint8_t frame[] = {0x68, 0, 0, 0x68, 0, 0, 3, 3, 0x16};
    EXPECT_EQ(0, COM_Write(frame, sizeof frame));
    uint8_t got[16];
    ssize_t n = read(master, got, sizeof got);
    ASSERT_EQ(9, n);
    EXPECT_EQ(0, std::memcmp(frame, got, 9));
}

TEST_F(PtyPort, VanishedDeviceEndsTheReadAtOnce) {
    close(master);
    master = -1;
    uint8_t buf[8];
    auto t = Clock::now();
    EXPECT_EQ(0u, COM_Read(buf, 7, 2000));
    EXPECT_LT(MsSince(t), 1000);
}

TEST_F(PtyPort, LineParametersReachTheTerminal) {
    struct Case {
        uint8_t parity, stop;
        tcflag_t set, clear;
    } cases[] = {
        {0, 0, CS8, PARENB | CSTOPB},
        {1, 0, CS8 | PARENB | PARODD, CSTOPB},
        {2, 2, CS8 | PARENB | CSTOPB, PARODD},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.parity));
        COM_Settings s{};
        s.baud_rate = 19200;
        std::snprintf(s.port_name, sizeof s.port_name, "%s", slave.c_str());
        s.byte_size = 8;
        s.parity = c.parity;
        s.stop_bits = c.stop;
        ASSERT_EQ(0, COM_Reconfigure(s));
        int fd = open(slave.c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(fd, 0);
        termios t{};
        ASSERT_EQ(0, tcgetattr(fd, &t));
        close(fd);
        // The pty driver drops PARENB whatever is asked; the other bits stay.
        const tcflag_t seen = ~static_cast<tcflag_t>(PARENB);
        EXPECT_EQ(c.set & seen, t.c_cflag & (c.set | CSIZE) & seen);
        EXPECT_EQ(0u, t.c_cflag & c.clear & seen);
        EXPECT_EQ(0u, t.c_lflag & (ICANON | ECHO)) << "raw";
        EXPECT_EQ(B19200, cfgetospeed(&t));
    }
    EXPECT_TRUE(APP_RecordedErrors().empty());
}

TEST(PtyOpen, SecondOpenOfTheSamePortFails) {
    COM_SetDeviceOps(nullptr);
    const ComDeviceOps* ops = COM_PlatformDevice();
    int m = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(m, 0);
    grantpt(m);
    unlockpt(m);
    const std::string path = std::string("\\\\.\\") + ptsname(m);
    ComHandle a = COM_NO_HANDLE, b = COM_NO_HANDLE;
    ASSERT_EQ(0, ops->open(path.c_str(), &a));
    EXPECT_NE(0, ops->open(path.c_str(), &b));
    ops->close(a);
    EXPECT_EQ(0, ops->open(path.c_str(), &b)) << "free again once closed";
    ops->close(b);
    EXPECT_NE(0, ops->open("\\\\.\\/nonexistent/tty", &b));
    EXPECT_NE(0, ops->open("\\\\.\\/dev/null", &b)) << "not a terminal";
    close(m);
}

// Exchanges against the simulator.
class SimLink : public ::testing::Test {
protected:
    void SetUp() override {
        COM_SetDeviceOps(nullptr);
        COM_ResetModule();
        TEMP_SettingsClear();
        APP_RecordClear();
        BtlSimConfig c;
        c.password = "secret";
        c.cpu = "RX62N";
        c.app = "METER";
        c.range_start[0] = 0x1000;
        c.range_length[0] = 0x200;
        c.range_start[1] = 0x4000;
        c.range_length[1] = 0x100;
        sim = std::make_unique<BtlSim>(c);
        ASSERT_EQ(0, sim->Start());
        ASSERT_EQ(0, OpenPort(sim->SlavePath()));
    }
    void TearDown() override {
        COM_ResetModule();
        sim.reset();
    }
    int Connect(const char* pw, uint8_t* buf) {
        return BTL_Transact(BTL_CMD_CONNECT, reinterpret_cast<const uint8_t*>(pw),
                            static_cast<int>(std::strlen(pw)), buf, BTL_ConnectTimeout(57600));
    }
    std::unique_ptr<BtlSim> sim;
};

TEST_F(SimLink, ConnectGivesTheIdentity) {
    uint8_t buf[BTL_REPLY_BUFFER];
    ASSERT_EQ(0, Connect("secret", buf));
    BtlIdentity id{};
    ASSERT_EQ(0, BTL_ParseIdentity(buf, buf[1], &id));
    EXPECT_EQ(112u, id.version);
    EXPECT_STREQ("RX62N", id.cpu_name);
    EXPECT_STREQ("METER", id.app_name);
    EXPECT_TRUE(id.has_range2);
    EXPECT_EQ(0x4000u, id.range_start[1]);
    ASSERT_EQ(0, Connect("wrong", buf));
    EXPECT_EQ(1, BTL_ParseIdentity(buf, buf[1], &id));
    EXPECT_EQ(2, sim->Stats().requests[0]);
}

TEST_F(SimLink, ProgramReadBackAndCrcAgree) {
    uint8_t req[4 + 236];
    uint8_t* w = req;
    BTL_PutU32(&w, 0x1004);
    for (int i = 0; i < 236; ++i) BTL_PutU8(&w, static_cast<uint8_t>(i * 7));
    uint8_t buf[BTL_REPLY_BUFFER] = {};
    ASSERT_EQ(0, BTL_SendWithAckOrFrame(BTL_CMD_PROGRAM, req, 240, buf, BTL_PROGRAM_TIMEOUT));
    // Read back 120 bytes from 0x1000.
    uint8_t rd[5];
    w = rd;
    BTL_PutU32(&w, 0x1000);
    BTL_PutU8(&w, 120);
    ASSERT_EQ(0, BTL_Transact(BTL_CMD_READ, rd, 5, buf, BTL_READ_TIMEOUT));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(0xFF, buf[BTL_READ_DATA_OFFSET + i]);
    for (int i = 4; i < 120; ++i) ASSERT_EQ(static_cast<uint8_t>((i - 4) * 7), buf[BTL_READ_DATA_OFFSET + i]) << i;
    // Get CRC: a request without data, then the two ranges; the last frame
    // carries one running CRC from 0xFFFF over both.
    ASSERT_EQ(0, BTL_SendWithAck(BTL_CMD_GET_CRC, nullptr, 0));
    ASSERT_EQ(0, BTL_ReceiveFrame(buf, 10000));
    uint16_t expect = 0xFFFF;
    for (int r = 0; r < 2; ++r) {
        const uint32_t start = r ? 0x4000 : 0x1000, len = r ? 0x100 : 0x200;
        uint8_t q[8];
        w = q;
        BTL_PutU32(&w, start);
        BTL_PutU32(&w, len);
        ASSERT_EQ(0, BTL_SendWithAck(BTL_CMD_GET_CRC, q, 8));
        ASSERT_EQ(0, BTL_ReceiveFrame(buf, 10000));
        for (uint32_t a = start; a < start + len; ++a) {
            const uint8_t b = sim->Peek(a);
            BTL_Crc16Update(&expect, &b, 1);
        }
    }
    EXPECT_EQ(5, buf[6]);
    const uint8_t* c = buf + BTL_DATA_OFFSET + 1;
    EXPECT_EQ(expect, BTL_GetU16(&c));
    EXPECT_EQ(sim->RangesCrc(), expect);
}

TEST_F(SimLink, LateReplyIsAbsorbedBySecondReceive) {
    BtlSimFaults f;
    f.late_ms = 100;   // past one 61 ms read, inside the second receive
    f.late_count = 1;
    sim->SetFaults(f);
    uint8_t buf[BTL_REPLY_BUFFER];
    ASSERT_EQ(0, Connect("secret", buf));
    EXPECT_EQ(1, sim->Stats().requests[0]) << "no second send";
}

TEST_F(SimLink, CorruptChecksumIsRetried) {
    BtlSimFaults f;
    f.bad_checksum = 1;
    sim->SetFaults(f);
    uint8_t buf[BTL_REPLY_BUFFER];
    ASSERT_EQ(0, Connect("secret", buf));
    EXPECT_EQ(2, sim->Stats().requests[0]);
    // The next exchange starts at a frame boundary.
    ASSERT_EQ(0, Connect("secret", buf));
    EXPECT_EQ(3, sim->Stats().requests[0]);
}

TEST_F(SimLink, FrameCutShortIsSentAgain) {
    BtlSimFaults f;
    f.cut_reply = 1;
    sim->SetFaults(f);
    uint8_t buf[BTL_REPLY_BUFFER];
    ASSERT_EQ(0, Connect("secret", buf));
    EXPECT_EQ(2, sim->Stats().requests[0]);
}

TEST_F(SimLink, SilentTargetFailsEachExchange) {
    BtlSimFaults f;
    f.silent = true;
    sim->SetFaults(f);
    uint8_t buf[BTL_REPLY_BUFFER];
    auto t = Clock::now();
    EXPECT_NE(0, Connect("secret", buf));
    EXPECT_GE(MsSince(t), 4 * 61 - 5);
    t = Clock::now();
    EXPECT_NE(0, BTL_SendWithAck(BTL_CMD_MAKE_VALID, nullptr, 0));
    EXPECT_GE(MsSince(t), 3000 - 10);
}

TEST_F(SimLink, FrameInPlaceOfTheAcknowledge) {
    BtlSimFaults f;
    f.frame_instead_of_ack = 3;
    sim->SetFaults(f);
    uint8_t req[12];
    uint8_t* w = req;
    BTL_PutU32(&w, 0x1000);
    for (int i = 0; i < 8; ++i) BTL_PutU8(&w, 0);
    uint8_t buf[BTL_REPLY_BUFFER] = {};
    EXPECT_NE(0, BTL_SendWithAckOrFrame(BTL_CMD_PROGRAM, req, 12, buf, BTL_PROGRAM_TIMEOUT));
    EXPECT_EQ(3, sim->Stats().requests[2]);
    const uint8_t* c = buf + 6 + 1;
    EXPECT_EQ(0u, BTL_GetU32(&c));
    EXPECT_EQ(0, BTL_GetU8(&c));
}

// The error frame comes in place of the acknowledge, so the acknowledge wait
// takes it as the frame it skips; the block is sent three times and the
// buffer keeps what it held.
TEST_F(SimLink, WriteErrorFailsTheBlockAfterThreeSends) {
    BtlSimFaults f;
    f.write_error_at_block = 0;
    f.write_error_value = 0x3C;
    sim->SetFaults(f);
    uint8_t req[8];
    uint8_t* w = req;
    BTL_PutU32(&w, 0x1010);
    BTL_PutU32(&w, 0);
    uint8_t buf[BTL_REPLY_BUFFER] = {};
    EXPECT_NE(0, BTL_SendWithAckOrFrame(BTL_CMD_PROGRAM, req, 8, buf, BTL_PROGRAM_TIMEOUT));
    EXPECT_EQ(3, sim->Stats().requests[2]);
    EXPECT_EQ(0, sim->Stats().blocks);
    const uint8_t* c = buf + 6 + 1;
    EXPECT_EQ(0u, BTL_GetU32(&c));
    EXPECT_EQ(0xFF, sim->Peek(0x1010)) << "nothing written";
    // The next block is taken.
    w = req;
    BTL_PutU32(&w, 0x1014);
    EXPECT_EQ(0, BTL_SendWithAckOrFrame(BTL_CMD_PROGRAM, req, 8, buf, BTL_PROGRAM_TIMEOUT));
    EXPECT_EQ(0, sim->Peek(0x1014));
}

}  // namespace
