// Frames, receives, the exchanges' retries and the CRC over the scripted
// device: every byte the loader sends and what it accepts back.
#include <gtest/gtest.h>

#include <cstring>

#include "fake_device.h"
#include "temp_settings.h"
#include "link/btl.h"
#include "link/com.h"
#include "shell/posix/app_record.h"

namespace {

using Bytes = std::vector<uint8_t>;

class Protocol : public FakeDeviceTest {
protected:
    void SetUp() override {
        FakeDeviceTest::SetUp();
        COM_Settings s{};
        s.baud_rate = 57600;
        std::strcpy(s.port_name, "COM1");
        s.byte_size = 8;
        ASSERT_EQ(0, COM_Reconfigure(s));
    }
    void Feed(const Bytes& b) { dev.input.insert(dev.input.end(), b.begin(), b.end()); }
};

Bytes Reply(uint8_t code, const Bytes& data) {
    Bytes f{0x68, static_cast<uint8_t>(data.size()), static_cast<uint8_t>(data.size()), 0x68, 0x80, 0x00, code};
    unsigned sum = 0x80u + code;
    for (uint8_t b : data) {
        f.push_back(b);
        sum += b;
    }
    f.push_back(static_cast<uint8_t>(sum));
    f.push_back(0x16);
    return f;
}

TEST_F(Protocol, RequestFrameExamples) {
    struct Case {
        const char* name;
        uint8_t command;
        Bytes data;
        Bytes wire;
    } cases[] = {
        {"make valid", BTL_CMD_MAKE_VALID, {}, {0x68, 0, 0, 0x68, 0, 0, 3, 3, 0x16}},
        {"read 16 at 0x1000", BTL_CMD_READ, {0x00, 0x10, 0x00, 0x00, 0x10},
         {0x68, 5, 5, 0x68, 0, 0, 8, 0x00, 0x10, 0x00, 0x00, 0x10, 0x28, 0x16}},
        {"empty password", BTL_CMD_CONNECT, {}, {0x68, 0, 0, 0x68, 0, 0, 0, 0, 0x16}},
        {"checksum wraps", BTL_CMD_PROGRAM, {0xFF, 0xFF, 0x04}, {0x68, 3, 3, 0x68, 0, 0, 2, 0xFF, 0xFF, 0x04, 0x04, 0x16}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dev.written.clear();
        dev.write_sizes.clear();
        EXPECT_EQ(0, BTL_SendFrame(c.command, c.data.data(), static_cast<int>(c.data.size())));
        EXPECT_EQ(c.wire, dev.written);
        EXPECT_EQ(1u, dev.write_sizes.size()) << "one write per frame";
    }
}

TEST_F(Protocol, FieldHelpersAreLittleEndian) {
    uint8_t buf[16] = {};
    uint8_t* w = buf;
    BTL_PutU32(&w, 0x12345678);
    BTL_PutU8(&w, 0xAB);
    EXPECT_EQ(5, w - buf);
    EXPECT_EQ(Bytes({0x78, 0x56, 0x34, 0x12, 0xAB}), Bytes(buf, buf + 5));
    const uint8_t* r = buf;
    EXPECT_EQ(0x5678, BTL_GetU16(&r));
    r = buf;
    EXPECT_EQ(0x12345678u, BTL_GetU32(&r));
    EXPECT_EQ(0xAB, BTL_GetU8(&r));
    uint8_t two[2];
    r = buf;
    BTL_GetBytes(&r, two, 2);
    EXPECT_EQ(2, r - buf);
    EXPECT_EQ(0x78, two[0]);
}

TEST_F(Protocol, ReceiveChecksEachFieldAndConsumesBadFrames) {
    const Bytes blank{0x68, 0, 0, 0x68, 0x80, 0, 4, 0x84, 0x16};
    struct Case {
        const char* name;
        Bytes wire;
        int result;
        size_t left;   // bytes still in the driver afterwards
    } cases[] = {
        {"blank reply", blank, 0, 0},
        {"bytes 3 and 5 free", {0x68, 0, 0, 0x00, 0x80, 0x77, 4, 0x84, 0x16}, 0, 0},
        {"length bytes differ", {0x68, 1, 0, 0x68, 0x80, 0, 4, 9, 0x8D, 0x16}, 1, 0},
        {"no reply marker", {0x68, 0, 0, 0x68, 0x00, 0, 4, 0x04, 0x16}, 1, 0},
        {"bad checksum", {0x68, 0, 0, 0x68, 0x80, 0, 4, 0x85, 0x16}, 1, 0},
        {"bad end", {0x68, 0, 0, 0x68, 0x80, 0, 4, 0x84, 0x17}, 1, 0},
        {"wrong start", {0x55, 0, 0, 0x68, 0x80, 0, 4, 0x84, 0x16}, 1, 2},
        {"short header", {0x68, 0, 0}, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dev.input.clear();
        Feed(c.wire);
        uint8_t buf[BTL_REPLY_BUFFER];
        int len = -1;
        EXPECT_EQ(c.result, BTL_ReceiveFrame(buf, 100, &len));
        EXPECT_EQ(c.left, dev.input.size());
    }
    // After a wrong start byte the next receive goes on behind the 7 bytes.
    dev.input.clear();
    Bytes wire{1, 2, 3, 4, 5, 6, 7};
    wire.insert(wire.end(), blank.begin(), blank.end());
    Feed(wire);
    uint8_t buf[BTL_REPLY_BUFFER];
    EXPECT_NE(0, BTL_ReceiveFrame(buf, 100));
    EXPECT_EQ(0, BTL_ReceiveFrame(buf, 100));
}

TEST_F(Protocol, ReceiveRestPlacesDataAtOffsetSix) {
    Bytes f = Reply(2, {0, 0x10, 0x20, 0, 0, 0x5A});
    f.erase(f.begin());
    Feed(f);
    uint8_t buf[BTL_REPLY_BUFFER] = {};
    int len = 0;
    ASSERT_EQ(0, BTL_ReceiveFrameRest(buf, 100, &len));
    EXPECT_EQ(6, len);
    const uint8_t* c = buf + 6 + 1;
    EXPECT_EQ(0x2010u, BTL_GetU32(&c));
    EXPECT_EQ(0x5A, BTL_GetU8(&c));
}

TEST_F(Protocol, WaitAckSkipsOneFrame) {
    uint8_t last = 0;
    Feed({BTL_ACK});
    EXPECT_EQ(0, BTL_WaitAck(&last));
    EXPECT_EQ(BTL_ACK, last);
    // A frame, then the acknowledge: the frame is read and skipped.
    Feed(Reply(5, {1, 2, 3}));
    Feed({BTL_ACK});
    EXPECT_EQ(0, BTL_WaitAck(&last));
    EXPECT_TRUE(dev.input.empty());
    // Two frames: no third round.
    Feed(Reply(5, {}));
    Feed(Reply(5, {}));
    Feed({BTL_ACK});
    EXPECT_NE(0, BTL_WaitAck(&last));
    EXPECT_EQ(0x68, last);
    EXPECT_EQ(1u, dev.input.size());
    dev.input.clear();
    last = 0x42;
    EXPECT_NE(0, BTL_WaitAck(&last));
    EXPECT_EQ(0x42, last) << "silence keeps the last byte";
    EXPECT_EQ(BTL_ACK_TIMEOUT, dev.read_timeouts.back());
}

TEST_F(Protocol, SendWithAckTriesThreeTimes) {
    EXPECT_NE(0, BTL_SendWithAck(BTL_CMD_START_APP, nullptr, 0));
    EXPECT_EQ(3u, dev.write_sizes.size());
    dev.write_sizes.clear();
    Feed({0x00});   // a stray byte: not a frame, not an ack
    EXPECT_NE(0, BTL_SendWithAck(BTL_CMD_MAKE_VALID, nullptr, 0));
    dev.write_sizes.clear();
    Feed({BTL_ACK});
    EXPECT_EQ(0, BTL_SendWithAck(BTL_CMD_MAKE_VALID, nullptr, 0));
    EXPECT_EQ(1u, dev.write_sizes.size());
}

TEST_F(Protocol, TransactReceivesTwicePerSend) {
    uint8_t buf[BTL_REPLY_BUFFER];
    EXPECT_NE(0, BTL_Transact(BTL_CMD_CONNECT, nullptr, 0, buf, 61));
    EXPECT_EQ(2u, dev.write_sizes.size());
    // A late reply to an earlier request, then the right one: the second
    // receive of the first send takes it.
    dev.write_sizes.clear();
    Bytes wire = Reply(8, {9, 9});
    wire[7] ^= 1;   // spoilt
    Feed(wire);
    Feed(Reply(0, {0, 112, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    int len = 0;
    EXPECT_EQ(0, BTL_Transact(BTL_CMD_CONNECT, nullptr, 0, buf, 61, &len));
    EXPECT_EQ(1u, dev.write_sizes.size());
    EXPECT_EQ(15, len);
    EXPECT_EQ(61u, dev.read_timeouts.back());
}

TEST_F(Protocol, SendWithAckOrFrame) {
    uint8_t buf[BTL_REPLY_BUFFER] = {};
    const uint8_t block[8] = {0, 0x10, 0, 0, 1, 2, 3, 4};
    Feed({BTL_ACK});
    EXPECT_EQ(0, BTL_SendWithAckOrFrame(BTL_CMD_PROGRAM, block, 8, buf, 1000));
    // An error frame after a byte that is not the acknowledge... the frame's
    // start is taken by the ack wait, which skips that frame; silence after
    // it, so the block is sent three times and the buffer holds nothing new.
    dev.write_sizes.clear();
    Feed(Reply(2, {0, 0x34, 0x12, 0, 0, 0x77}));
    EXPECT_NE(0, BTL_SendWithAckOrFrame(BTL_CMD_PROGRAM, block, 8, buf, 1000));
    EXPECT_EQ(3u, dev.write_sizes.size());
    EXPECT_EQ(Bytes(16, 0), Bytes(buf, buf + 16));
    // Two frames in a row: the second is the error frame that is kept.
    dev.write_sizes.clear();
    Feed(Reply(2, {0, 0, 0, 0, 0, 0}));
    Feed({0x55});   // the second round of the ack wait meets this
    Bytes err = Reply(2, {0, 0x34, 0x12, 0, 0, 0x77});
    // The byte 0x55 makes the ack wait read a frame rest from the next bytes;
    // give it a spoilt 6 + 2 then the real error frame's rest.
    Feed({0, 0, 0x68, 0x80, 0, 2, 0, 0x16});
    err.erase(err.begin());
    Feed(err);
    EXPECT_NE(0, BTL_SendWithAckOrFrame(BTL_CMD_PROGRAM, block, 8, buf, 1000));
    EXPECT_EQ(1u, dev.write_sizes.size());
    const uint8_t* c = buf + 6 + 1;
    EXPECT_EQ(0x1234u, BTL_GetU32(&c));
    EXPECT_EQ(0x77, BTL_GetU8(&c));
}

TEST(Crc16, KnownValues) {
    uint16_t crc = 0xFFFF;
    BTL_Crc16Update(&crc, reinterpret_cast<const uint8_t*>("abc"), 3);
    EXPECT_EQ(0xD278, crc);
    BTL_Crc16Update(&crc, nullptr, 0);
    EXPECT_EQ(0xD278, crc);
    // One running CRC over pieces equals the CRC over the whole.
    uint16_t a = 0xFFFF, b = 0xFFFF;
    const uint8_t bytes[] = {'a', 'b', 'c'};
    BTL_Crc16Update(&a, bytes, 1);
    BTL_Crc16Update(&a, bytes + 1, 2);
    BTL_Crc16Update(&b, bytes, 3);
    EXPECT_EQ(b, a);
    // A single zero from 0: the table's first step leaves the byte itself.
    uint16_t z = 0;
    const uint8_t one = 1;
    BTL_Crc16Update(&z, &one, 1);
    EXPECT_EQ(1, z);
    uint16_t t = 0x0100;   // high byte 1 goes through T[1]
    const uint8_t zero = 0;
    BTL_Crc16Update(&t, &zero, 1);
    EXPECT_EQ(0x1021, t);
}

TEST(ConnectTimeout, ByBaud) {
    EXPECT_EQ(61u, BTL_ConnectTimeout(57600));
    EXPECT_EQ(166u, BTL_ConnectTimeout(9600));
    EXPECT_EQ(1048u, BTL_ConnectTimeout(1200));
    EXPECT_EQ(1048u, BTL_ConnectTimeout(0));
}

Bytes Identity(const std::string& cpu, const std::string& app, bool range2, uint8_t pw = 0) {
    Bytes d{pw, 112, 0, 0, 0, static_cast<uint8_t>(cpu.size())};
    d.insert(d.end(), cpu.begin(), cpu.end());
    d.push_back(static_cast<uint8_t>(app.size()));
    d.insert(d.end(), app.begin(), app.end());
    const uint32_t v[] = {0x1000, 0x800, 0x8000, 0x400};
    for (int i = 0; i < (range2 ? 4 : 2); ++i)
        for (int k = 0; k < 4; ++k) d.push_back(static_cast<uint8_t>(v[i] >> (8 * k)));
    return Reply(0, d);
}

TEST(Identity, ParsesBothShapesAndCutsLongNames) {
    BtlIdentity id{};
    Bytes f = Identity("RX62N", "KALUNA", false);
    ASSERT_EQ(0, BTL_ParseIdentity(f.data(), f[1], &id));
    EXPECT_EQ(112u, id.version);
    EXPECT_STREQ("RX62N", id.cpu_name);
    EXPECT_STREQ("KALUNA", id.app_name);
    EXPECT_EQ(0x1000u, id.range_start[0]);
    EXPECT_EQ(0x800u, id.range_length[0]);
    EXPECT_FALSE(id.has_range2);

    f = Identity("C", "A", true);
    ASSERT_EQ(0, BTL_ParseIdentity(f.data(), f[1], &id));
    EXPECT_TRUE(id.has_range2);
    EXPECT_EQ(0x8000u, id.range_start[1]);
    EXPECT_EQ(0x400u, id.range_length[1]);

    // 4 bytes more than the fixed part: not a second range.
    f = Identity("C", "A", false);
    Bytes d(f.begin() + 7, f.end() - 2);
    d.insert(d.end(), {1, 2, 3, 4});
    f = Reply(0, d);
    ASSERT_EQ(0, BTL_ParseIdentity(f.data(), f[1], &id));
    EXPECT_FALSE(id.has_range2);

    const std::string long_cpu(120, 'c'), long_app(100, 'a');
    f = Identity(long_cpu, long_app, false);
    ASSERT_EQ(0, BTL_ParseIdentity(f.data(), f[1], &id));
    EXPECT_EQ(std::string(99, 'c'), id.cpu_name);
    EXPECT_EQ(std::string(99, 'a'), id.app_name);
    EXPECT_EQ(120, id.cpu_name_length);
    EXPECT_EQ(0x1000u, id.range_start[0]) << "fields behind a long name stay in place";

    f = Identity("RX", "APP", true, 3);
    EXPECT_EQ(1, BTL_ParseIdentity(f.data(), f[1], &id));
    EXPECT_EQ(3, id.password_result);
    EXPECT_EQ(0u, id.version);
}

TEST(Identity, FrameShorterThanItsNamesIsRejected) {
    // Name lengths that point past the data must not be followed.
    Bytes d{0, 112, 0, 0, 0, 200, 'x'};
    Bytes f = Reply(0, d);
    f.resize(BTL_REPLY_BUFFER, 0xEE);
    BtlIdentity id{};
    EXPECT_EQ(-1, BTL_ParseIdentity(f.data(), 7, &id));
    d = {0, 112, 0, 0, 0, 1, 'x', 1, 'y', 0, 0};   // ranges cut short
    f = Reply(0, d);
    EXPECT_EQ(-1, BTL_ParseIdentity(f.data(), static_cast<int>(d.size()), &id));
}

}  // namespace
