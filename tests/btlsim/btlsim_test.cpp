// The simulator answers raw request frames the way the protocol fixes: the
// acknowledge, the reply frames byte for byte, the CRC sequence, the faults.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "btlsim.h"
#include "link/btl.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

Bytes Request(uint8_t code, const Bytes& data) {
    Bytes f{0x68, static_cast<uint8_t>(data.size()), static_cast<uint8_t>(data.size()), 0x68, 0, 0, code};
    unsigned sum = code;
    for (uint8_t b : data) {
        f.push_back(b);
        sum += b;
    }
    f.push_back(static_cast<uint8_t>(sum));
    f.push_back(0x16);
    return f;
}

Bytes U32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }

class Sim : public ::testing::Test {
protected:
    void SetUp() override { Begin(BtlSimConfig{}); }
    void Begin(const BtlSimConfig& c) {
        if (fd >= 0) close(fd);
        sim = std::make_unique<BtlSim>(c);
        ASSERT_EQ(0, sim->Start());
        fd = open(sim->SlavePath().c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(fd, 0);
        termios t{};
        tcgetattr(fd, &t);
        cfmakeraw(&t);
        tcsetattr(fd, TCSANOW, &t);
    }
    void TearDown() override {
        if (fd >= 0) close(fd);
        sim.reset();
    }
    void Send(const Bytes& b) { ASSERT_EQ(static_cast<ssize_t>(b.size()), write(fd, b.data(), b.size())); }
    // Collects what arrives until `quiet_ms` pass without a byte.
    Bytes Collect(int quiet_ms = 150) {
        Bytes out;
        for (;;) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, quiet_ms) <= 0) return out;
            uint8_t buf[512];
            ssize_t n = read(fd, buf, sizeof buf);
            if (n <= 0) return out;
            out.insert(out.end(), buf, buf + n);
        }
    }
    std::unique_ptr<BtlSim> sim;
    int fd = -1;
};

TEST_F(Sim, AnswersEachCommandInItsShape) {
    const Bytes ack{0x90};
    const Bytes blank{0x68, 0, 0, 0x68, 0x80, 0, 4, 0x84, 0x16};
    struct Case {
        const char* name;
        Bytes request;
        Bytes reply;
    } cases[] = {
        {"check blank", Request(4, {}), {0x90, 0x68, 0, 0, 0x68, 0x80, 0, 4, 0x84, 0x16}},
        {"clear", Request(1, {}), {0x90, 0x68, 0, 0, 0x68, 0x80, 0, 4, 0x84, 0x16}},
        {"make valid", {0x68, 0, 0, 0x68, 0, 0, 3, 3, 0x16}, ack},
        {"start application", Request(7, {}), ack},
        {"unknown command", Request(6, {}), {}},
        {"bad checksum", {0x68, 0, 0, 0x68, 0, 0, 3, 4, 0x16}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Send(c.request);
        EXPECT_EQ(c.reply, Collect());
    }
    EXPECT_TRUE(sim->Stats().valid);
    EXPECT_TRUE(sim->Stats().started);
    EXPECT_EQ(1, sim->Stats().bad_requests);
}

TEST_F(Sim, IdentityAndPassword) {
    BtlSimConfig c;
    c.password = "pw";
    c.cpu = "CPU1";
    c.app = "APP22";
    c.range_start[0] = 0x2000;
    c.range_length[0] = 0x100;
    Begin(c);
    Send(Request(0, {'p', 'w'}));
    Bytes data{0, 112, 0, 0, 0, 4, 'C', 'P', 'U', '1', 5, 'A', 'P', 'P', '2', '2', 0, 0x20, 0, 0, 0, 1, 0, 0};
    unsigned sum = 0x80;
    for (uint8_t b : data) sum += b;
    Bytes expect{0x68, uint8_t(data.size()), uint8_t(data.size()), 0x68, 0x80, 0, 0};
    expect.insert(expect.end(), data.begin(), data.end());
    expect.push_back(uint8_t(sum));
    expect.push_back(0x16);
    EXPECT_EQ(expect, Collect());
    Send(Request(0, {'x'}));
    Bytes refused = Collect();
    ASSERT_GE(refused.size(), 8u);
    EXPECT_NE(0, refused[7]);
    // With range 2 the frame is 8 bytes longer.
    c.range_start[1] = 0x8000;
    c.range_length[1] = 0x40;
    Begin(c);
    Send(Request(0, {'p', 'w'}));
    Bytes two = Collect();
    ASSERT_GE(two.size(), 2u);
    EXPECT_EQ(data.size() + 8, two[1]);
}

TEST_F(Sim, ProgramReadAndCrcSequence) {
    Bytes block = U32(0x1000);
    for (int i = 0; i < 8; ++i) block.push_back(uint8_t(0x10 + i));
    Send(Request(2, block));
    EXPECT_EQ(Bytes{0x90}, Collect());
    // Programming a cell again with bits set that are clear: write error
    // frame [0][address][value found].
    Bytes again = U32(0x1000);
    for (int i = 0; i < 4; ++i) again.push_back(0xFF);
    Send(Request(2, again));
    Bytes err = Collect();
    Bytes err_data{0};
    for (uint8_t b : U32(0x1000)) err_data.push_back(b);
    err_data.push_back(0x10);
    ASSERT_EQ(15u, err.size());
    EXPECT_EQ(Bytes(err.begin() + 7, err.begin() + 13), err_data);
    // A block reaching outside the ranges is refused and changes nothing.
    Bytes outside = U32(0x1FFC);
    for (int i = 0; i < 8; ++i) outside.push_back(0);
    Send(Request(2, outside));
    EXPECT_EQ(15u, Collect().size());
    EXPECT_EQ(0xFF, sim->Peek(0x1FFC));

    // Read 16 at 0x1000: data bytes 0..5 first, memory from frame byte 13.
    Send(Request(8, {0x00, 0x10, 0x00, 0x00, 0x10}));
    Bytes rd = Collect();
    ASSERT_EQ(9u + 6 + 16, rd.size());
    EXPECT_EQ(8, rd[6]);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(0x10 + i, rd[13 + i]);
    for (int i = 8; i < 16; ++i) EXPECT_EQ(0xFF, rd[13 + i]);

    // Get CRC: begin without data, then the range; the CRC of the last frame
    // is the running CRC from 0xFFFF.
    Send(Request(5, {}));
    EXPECT_EQ(0x90, Collect()[0]);
    Bytes range = U32(0x1000);
    for (uint8_t b : U32(0x1000)) range.push_back(b);
    Send(Request(5, range));
    Bytes crc = Collect();
    ASSERT_EQ(1u + 9 + 3, crc.size());
    EXPECT_EQ(5, crc[7]);
    uint16_t expect = 0xFFFF;
    Bytes mem = sim->Dump();
    BTL_Crc16Update(&expect, mem.data(), mem.size());
    EXPECT_EQ(expect, crc[9] | (crc[10] << 8));
    EXPECT_EQ(expect, sim->RangesCrc());
    EXPECT_EQ(2u, sim->Stats().crc_requests.size());
}

TEST_F(Sim, ClearErasesAndNotBlankFault) {
    const uint8_t zeros[4] = {};
    sim->Load(0x1800, zeros, 4);
    Send(Request(4, {}));
    Bytes r = Collect();
    Bytes d = U32(0x1800);
    for (uint8_t b : U32(0)) d.push_back(b);
    ASSERT_EQ(1u + 9 + 8, r.size());
    EXPECT_EQ(d, Bytes(r.begin() + 8, r.begin() + 16));
    Send(Request(1, {}));
    EXPECT_EQ(10u, Collect().size());
    EXPECT_EQ(0xFF, sim->Peek(0x1800));
    BtlSimFaults f;
    f.force_not_blank = true;
    sim->SetFaults(f);
    Send(Request(1, {}));
    EXPECT_EQ(1u + 9 + 8, Collect().size());
}

TEST_F(Sim, FaultsShapeTheReplies) {
    BtlSimFaults f;
    f.frame_instead_of_ack = 1;
    sim->SetFaults(f);
    Send(Request(3, {}));
    Bytes r = Collect();
    ASSERT_FALSE(r.empty());
    EXPECT_EQ(0x68, r[0]) << "a frame where the acknowledge belongs";
    Send(Request(3, {}));
    EXPECT_EQ(Bytes{0x90}, Collect());

    f = BtlSimFaults{};
    f.bad_checksum = 1;
    sim->SetFaults(f);
    Send(Request(4, {}));
    r = Collect();
    ASSERT_EQ(10u, r.size());
    EXPECT_NE(0x84, r[8]);

    f = BtlSimFaults{};
    f.cut_reply = 1;
    sim->SetFaults(f);
    Send(Request(4, {}));
    EXPECT_EQ(9u, Collect().size()) << "acknowledge whole, frame one byte short";

    f = BtlSimFaults{};
    f.drop_reply = 1;
    sim->SetFaults(f);
    Send(Request(7, {}));
    EXPECT_TRUE(Collect().empty());

    f = BtlSimFaults{};
    f.disconnect_after_blocks = 1;
    sim->SetFaults(f);
    Bytes block = U32(0x1100);
    for (int i = 0; i < 4; ++i) block.push_back(0);
    Send(Request(2, block));
    EXPECT_EQ(Bytes{0x90}, Collect());
    Send(Request(7, {}));
    EXPECT_TRUE(Collect().empty()) << "silent after the block";

    f = BtlSimFaults{};
    f.refuse_password = 1;
    sim->SetFaults(f);
    Send(Request(0, {}));
    r = Collect();
    ASSERT_GE(r.size(), 8u);
    EXPECT_NE(0, r[7]);
    Send(Request(0, {}));
    r = Collect();
    ASSERT_GE(r.size(), 8u);
    EXPECT_EQ(0, r[7]);
}

TEST_F(Sim, DumpCoversBothRangesAndTheGap) {
    BtlSimConfig c;
    c.range_start[0] = 0x100;
    c.range_length[0] = 4;
    c.range_start[1] = 0x108;
    c.range_length[1] = 2;
    Begin(c);
    const uint8_t a[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    sim->Load(0x100, a, 10);
    const Bytes expect{1, 2, 3, 4, 0xFF, 0xFF, 0xFF, 0xFF, 9, 10};
    EXPECT_EQ(expect, sim->Dump());
    char path[] = "/tmp/btlsim_dumpXXXXXX";
    int tmp = mkstemp(path);
    ASSERT_GE(tmp, 0);
    close(tmp);
    ASSERT_EQ(0, sim->DumpToFile(path));
    std::ifstream in(path, std::ios::binary);
    Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(expect, file);
    std::remove(path);
}

// Pacing: the reply to a read of 120 bytes (135 bytes on the wire) plus
// the request (14) at 9600 baud takes its wire time.
TEST_F(Sim, PacedRepliesTakeTheirWireTime) {
    BtlSimConfig c;
    c.baud = 9600;
    Begin(c);
    auto t = Clock::now();
    Send(Request(8, {0x00, 0x10, 0x00, 0x00, 120}));
    Bytes r = Collect(400);
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count() - 400;
    ASSERT_EQ(135u, r.size());
    EXPECT_GE(ms, (14 + 135) * 11 * 1000 / 9600 - 5);
}

}  // namespace
