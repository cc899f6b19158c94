#include <cstdio>
#include <vector>

#include "data_test_util.h"

namespace {
// A record line with its checksum, for building inputs.
std::string Rec(uint8_t type, uint16_t address, const std::vector<uint8_t>& data)
{
    char buf[16];
    uint8_t sum = static_cast<uint8_t>(data.size() + (address >> 8) + (address & 0xFF) + type);
    std::string s = ":";
    std::snprintf(buf, sizeof buf, "%02X%04X%02X", static_cast<unsigned>(data.size()), address, type);
    s += buf;
    for (uint8_t b : data) {
        std::snprintf(buf, sizeof buf, "%02X", b);
        s += buf;
        sum = static_cast<uint8_t>(sum + b);
    }
    std::snprintf(buf, sizeof buf, "%02X", static_cast<uint8_t>(0 - sum));
    return s + buf;
}
std::vector<uint8_t> Seq(int n, int first = 0)
{
    std::vector<uint8_t> v;
    for (int i = 0; i < n; ++i) v.push_back(static_cast<uint8_t>(first + i));
    return v;
}
}  // namespace

using HexFileTest = DataFileTest;

TEST_F(HexFileTest, LoadsRecordsAtTheirAddresses)
{
    struct Case { const char* name; std::string file; uint32_t first, last; };
    const std::string d16 = Rec(0, 0x0100, Seq(16));
    const Case cases[] = {
        {"plain data", d16 + "\r\n:00000001FF\r\n", 0x100, 0x10F},
        {"segment base", ":020000021000EC\r\n" + Rec(0, 0x20, Seq(4)) + "\r\n", 0x10020, 0x10023},
        {"linear base", ":020000040800F2\r\n" + Rec(0, 0, Seq(4)) + "\r\n", 0x08000000, 0x08000003},
        {"type FF as linear", Rec(0xFF, 0, {0x08, 0x00}) + "\r\n" + Rec(0, 0, Seq(4)) + "\r\n", 0x08000000, 0x08000003},
        {"both bases add", Rec(2, 0, {0x10, 0x00}) + "\n" + Rec(4, 0, {0x00, 0x01}) + "\n" + Rec(0, 0, Seq(2)) + "\n",
         0x20000, 0x20001},
        {"data after end record", ":00000001FF\r\n" + d16 + "\r\n", 0x100, 0x10F},
        {"blank lines, spaces, tabs", d16.substr(0, 0) + ":00000001FF\r\n\r\n\n \t" + d16 + "\n", 0x100, 0x10F},
        {"lower case digits", ":10010000000102030405060708090a0b0c0d0e0f77\n", 0x100, 0x10F},
        {"no line end at the end", d16, 0x100, 0x10F},
        {"across a 64 KiB boundary", Rec(0, 0xFFFE, Seq(4)) + "\n", 0xFFFE, 0x10001},
        {"start records ignored", Rec(3, 0, Seq(4)) + "\n" + Rec(5, 0, Seq(4)) + "\n" + d16 + "\n", 0x100, 0x10F},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Reset();
        EXPECT_EQ(HEX_LoadFile(image_, Put("in.hex", c.file).c_str(), text_, 255), 0) << text_;
        EXPECT_STREQ(text_, "");
        EXPECT_EQ(MEM_GetLowestAddress(image_), c.first);
        EXPECT_EQ(MEM_GetHighestAddress(image_), c.last);
        EXPECT_EQ(MEM_GetByteCount(image_), c.last - c.first + 1);
        EXPECT_EQ(image_->modified, 0u);
    }
}

TEST_F(HexFileTest, ErrorsWithTheirLines)
{
    struct Case { const char* name; std::string file; int result; const char* text; uint32_t bytesKept; };
    const std::string d = Rec(0, 0x0100, Seq(16));
    const Case cases[] = {
        {"checksum one too high", ":0300300002337A1E\r\n:01000000659B\r\n", -5,
         "Error in line 2: Checksum error !\nExpected: 0x9A, found: 0x9B", 3},
        {"wrong checksum", d + "\r\n:0300300002337A1F\r\n", -5,
         "Error in line 2: Checksum error !\nExpected: 0x1E, found: 0x1F", 16},
        {"space after checksum", d + " \r\n", -5, "Error in line 1: Expected CR or LF", 16},
        {"non-hex", ":10010G00\r\n", -5, "Error in line 1: Expected Hex character : 0..9, A..F", 0},
        {"truncated record", d + "\r\n:1002", -5, "Error in line 2: Expected Hex character : 0..9, A..F", 16},
        {"count beyond the line", d + "\n:FF000000" + "0102\n", -5,
         "Error in line 2: Expected Hex character : 0..9, A..F", 16},
        {"unknown type (a skipped CR LF counts twice)", d + "\r\n\r\n" + Rec(6, 0, {}) + "\r\n", -5, "Error in line 4: Unknown record !", 16},
        {"overlap", d + "\n" + Rec(0, 0x108, Seq(4)) + "\n", -5, "Error in line 2: Areas overlap", 16},
        {"not a hex file", " " + d, -4, "Error in line 1: Not a hex file", 0},
        {"empty file", "", -4, "Error in line 1: Not a hex file", 0},
        {"ctrl-z", d + "\r\n\x1A", -5, "Error in line 2: Unexpected character (Expected: :, Found: \x1A)", 16},
        {"garbage line", d + "\r\nhello\r\n", -5, "Error in line 2: Unexpected character (Expected: :, Found: h)", 16},
        {"short base record", Rec(4, 0, {0x01}) + "\n", -5, "Error in line 1: Unknown record !", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Reset();
        EXPECT_EQ(HEX_LoadFile(image_, Put("in.hex", c.file).c_str(), text_, 255), c.result);
        EXPECT_STREQ(text_, c.text);
        EXPECT_EQ(MEM_GetByteCount(image_), c.bytesKept);
        EXPECT_EQ(image_->modified, 0u);
    }
}

TEST_F(HexFileTest, ZeroCountDataRecordAddsNothing)
{
    const std::string file = Rec(0, 0x200, {}) + "\n" + Rec(0, 0x100, Seq(2)) + "\n";
    EXPECT_EQ(HEX_LoadFile(image_, Put("z.hex", file).c_str(), text_, 255), 0) << text_;
    EXPECT_EQ(image_->areaCount, 1u);
    EXPECT_EQ(MEM_GetByteCount(image_), 2u);
}

TEST_F(HexFileTest, RecordsBeyondTheWindowAndLongBlankRuns)
{
    // Many records and a long run of blanks cross several window refills.
    std::string file;
    for (int i = 0; i < 5000; ++i) file += Rec(0, static_cast<uint16_t>(i * 8), Seq(8, i)) + "\r\n";
    file += std::string(200000, ' ') + std::string(70000, '\n') + Rec(4, 0, {0x00, 0x10}) + "\n" + Rec(0, 0, Seq(1)) + "\n";
    EXPECT_EQ(HEX_LoadFile(image_, Put("big.hex", file).c_str(), text_, 255), 0) << text_;
    EXPECT_EQ(MEM_GetByteCount(image_), 40001u);
    EXPECT_EQ(MEM_GetHighestAddress(image_), 0x100000u);
    // Line numbers count the skipped line ends too.
    file += "x\n";
    Reset();
    EXPECT_EQ(HEX_LoadFile(image_, Put("big.hex", file).c_str(), text_, 255), -5);
    EXPECT_STREQ(text_, "Error in line 75003: Unexpected character (Expected: :, Found: x)");
}

TEST_F(HexFileTest, WritesRecordsByteForByte)
{
    struct Case { const char* name; uint32_t start; uint32_t length; std::string expected; };
    auto data = [](uint32_t start, uint32_t n) {
        std::string s;
        char buf[4];
        for (uint32_t i = 0; i < n; ++i) {
            std::snprintf(buf, sizeof buf, "%02X", static_cast<uint8_t>(start + i));
            s += buf;
        }
        return s;
    };
    auto rec = [](uint8_t type, uint16_t address, const std::vector<uint8_t>& d) { return Rec(type, address, d) + "\r\n"; };
    const Case cases[] = {
        {"three records", 0, 0x45, rec(0, 0, Seq(32)) + rec(0, 0x20, Seq(32, 0x20)) + rec(0, 0x40, Seq(5, 0x40)) + ":00000001FF\r\n"},
        {"segment", 0x10000, 16, ":020000021000EC\r\n:10000000" + data(0, 16) + "78\r\n:00000001FF\r\n"},
        {"linear", 0x08000000, 32, ":020000040800F2\r\n" + rec(0, 0, Seq(32)) + ":00000001FF\r\n"},
        {"empty", 0, 0, ":00000001FF\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Reset();
        if (c.length) {
            std::vector<uint8_t> b = Seq(static_cast<int>(c.length), static_cast<int>(c.start));
            ASSERT_EQ(MEM_AddBytes(image_, c.start, c.length, b.data()), 0);
        }
        EXPECT_EQ(HEX_SaveFile(image_, Path("out.hex").c_str(), text_, 200), 0) << text_;
        EXPECT_EQ(Get(Path("out.hex")), c.expected);
        EXPECT_EQ(image_->modified, 0u);
    }
}

TEST_F(HexFileTest, RepeatsTheLinearRecordAboveOffsetFF00)
{
    std::vector<uint8_t> b(0x200, 0x5A);
    ASSERT_EQ(MEM_AddBytes(image_, 0x200FF00, 0x200, b.data()), 0);
    EXPECT_EQ(HEX_SaveFile(image_, Path("out.hex").c_str(), text_, 200), 0);
    const std::string out = Get(Path("out.hex"));
    // Base 0x02000000 at the first record, then 0x02010000 once past 0x0200FF00 + 0xFF00.
    EXPECT_EQ(out.substr(0, 17), ":020000040200F8\r\n");
    size_t second = out.find(":020000040201F7\r\n");
    EXPECT_NE(second, std::string::npos);
    Reset();
    EXPECT_EQ(HEX_LoadFile(image_, Path("out.hex").c_str(), text_, 255), 0) << text_;
    EXPECT_EQ(MEM_GetLowestAddress(image_), 0x200FF00u);
    EXPECT_EQ(MEM_GetByteCount(image_), 0x200u);
}

TEST_F(HexFileTest, SegmentBaseIsClearedBeforeALinearRecord)
{
    // Data below 0x100000 that runs on above it: the writer clears the segment
    // base before the first type 04 record, so the data reads back in place.
    std::vector<uint8_t> b(0x11000, 0x33);
    ASSERT_EQ(MEM_AddBytes(image_, 0xFF000, static_cast<uint32_t>(b.size()), b.data()), 0);
    ASSERT_EQ(HEX_SaveFile(image_, Path("out.hex").c_str(), text_, 200), 0);
    const std::string out = Get(Path("out.hex"));
    const size_t segment = out.find(":02000002"), cleared = out.find(":020000020000FC\r\n"),
                 linear = out.find(":02000004");
    ASSERT_NE(segment, std::string::npos);
    ASSERT_NE(cleared, std::string::npos);
    ASSERT_NE(linear, std::string::npos);
    EXPECT_LT(segment, cleared);
    EXPECT_LT(cleared, linear);
    Reset();
    EXPECT_EQ(HEX_LoadFile(image_, Path("out.hex").c_str(), text_, 255), 0) << text_;
    EXPECT_EQ(MEM_GetLowestAddress(image_), 0xFF000u);
    EXPECT_EQ(MEM_GetHighestAddress(image_), 0xFF000u + 0x11000u - 1);
    EXPECT_EQ(image_->areaCount, 1u);
}
