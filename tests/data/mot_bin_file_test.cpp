#include <cstdio>
#include <sys/stat.h>
#include <vector>

#include "data_test_util.h"

namespace {
std::string SRec(char type, uint32_t address, int addressBytes, const std::vector<uint8_t>& data, int adjust = 0)
{
    std::vector<uint8_t> bytes;
    bytes.push_back(static_cast<uint8_t>(addressBytes + data.size() + 1));
    for (int i = addressBytes - 1; i >= 0; --i) bytes.push_back(static_cast<uint8_t>(address >> (8 * i)));
    bytes.insert(bytes.end(), data.begin(), data.end());
    uint8_t sum = 0;
    for (uint8_t b : bytes) sum = static_cast<uint8_t>(sum + b);
    bytes.push_back(static_cast<uint8_t>(0xFF - sum + adjust));
    std::string s = "S";
    s += type;
    char buf[4];
    for (uint8_t b : bytes) {
        std::snprintf(buf, sizeof buf, "%02X", b);
        s += buf;
    }
    return s;
}
std::vector<uint8_t> Seq(int n, int first = 0)
{
    std::vector<uint8_t> v;
    for (int i = 0; i < n; ++i) v.push_back(static_cast<uint8_t>(first + i));
    return v;
}
}  // namespace

using MotFileTest = DataFileTest;
using BinFileTest = DataFileTest;
using FileErrorTest = DataFileTest;

TEST_F(MotFileTest, Loads)
{
    struct Case { const char* name; std::string file; uint32_t first, last; };
    const std::string r = SRec('1', 0, 2, Seq(16));
    const Case cases[] = {
        {"one S1", r + "\r\n", 0, 15},
        {"header, data, end", "S00600004844521B\r\n" + r + "\r\nS9030000FC\r\n", 0, 15},
        {"S2 and S3", SRec('2', 0x123456, 3, Seq(4)) + "\n" + SRec('3', 0x80000000u, 4, Seq(4)) + "\n", 0x123456,
         0x80000003u},
        {"LF only", r + "\n" + SRec('1', 0x10, 2, Seq(4)) + "\n", 0, 0x13},
        {"LF CR", r + "\n\r" + SRec('1', 0x10, 2, Seq(4)) + "\n\r", 0, 0x13},
        {"no final line end", r, 0, 15},
        {"ctrl-z after the last line", r + "\r\n\x1A", 0, 15},
        {"one empty line in an LF file", r + "\n\n" + SRec('1', 0x10, 2, Seq(4)) + "\n", 0, 0x13},
        {"lower case digits", "S1130000000102030405060708090a0b0c0d0e0f74\n", 0, 15},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Reset();
        EXPECT_EQ(MOT_LoadFile(image_, Put("in.mot", c.file).c_str(), text_, 255), 0) << text_;
        EXPECT_EQ(MEM_GetLowestAddress(image_), c.first);
        EXPECT_EQ(MEM_GetHighestAddress(image_), c.last);
        EXPECT_EQ(image_->modified, 0u);
    }
}

TEST_F(MotFileTest, Errors)
{
    struct Case { const char* name; std::string file; int result; const char* text; uint32_t bytesKept; };
    const std::string r = SRec('1', 0, 2, Seq(16));
    const Case cases[] = {
        {"checksum one too high", SRec('1', 0, 2, Seq(16), 1) + "\r\n", -5, "Error in line 1: Checksum error !", 0},
        {"empty line in a CR LF file", r + "\r\n\r\n" + SRec('1', 0x10, 2, Seq(4)) + "\r\n", -5,
         "Error in line 2: Unexpected character", 16},
        {"lower-case s", r + "\n" + "s" + SRec('1', 0x10, 2, Seq(4)).substr(1) + "\n", -5,
         "Error in line 2: Unexpected character", 16},
        {"same address twice", r + "\n" + r + "\n", -5, "Error in line 2: Areas overlap", 16},
        {"start inside earlier data", r + "\n" + SRec('1', 8, 2, Seq(16)) + "\n", -5, "Error in line 2: Areas overlap", 16},
        {"not a mot file", ":" + r, -4, "Error in line 1: Not a mot file", 0},
        {"empty file", "", -4, "Error in line 1: Not a mot file", 0},
        {"space after checksum", r + " \n", -5, "Error in line 1: Expected CR or LF", 16},
        {"non-hex", "S1130G", -5, "Error in line 1: Expected Hex character : 0..9, A..F", 0},
        {"control type", "S\x01" "0300", -5, "Error in line 1: Unexpected character", 0},
        {"count too small for the address", "S2"  "0201FC" "\n", -5, "Error in line 1: Unexpected character", 0},
        {"count beyond the line", r + "\nS1FF0000\n", -5, "Error in line 2: Expected Hex character : 0..9, A..F", 16},
        {"NUL inside the file", r + "\n" + std::string(1, '\0') + r + "\n", -5, "Error in line 2: Unexpected character", 16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Reset();
        EXPECT_EQ(MOT_LoadFile(image_, Put("in.mot", c.file).c_str(), text_, 255), c.result);
        EXPECT_STREQ(text_, c.text);
        EXPECT_EQ(MEM_GetByteCount(image_), c.bytesKept);
    }
}

TEST_F(MotFileTest, RecordWithoutDataAddsNothing)
{
    EXPECT_EQ(MOT_LoadFile(image_, Put("e.mot", SRec('1', 0x40, 2, {}) + "\n").c_str(), text_, 255), 0) << text_;
    EXPECT_EQ(image_->first, nullptr);
}

TEST_F(MotFileTest, WritesByteForByte)
{
    struct Case { const char* name; uint32_t start, length; std::string expected; };
    const Case cases[] = {
        {"three S1 records", 0, 0x45,
         SRec('1', 0, 2, Seq(32)) + "\r\n" + SRec('1', 0x20, 2, Seq(32, 0x20)) + "\r\n" + SRec('1', 0x40, 2, Seq(5, 0x40)) +
             "\r\nS9030000FC\r\n"},
        {"S2 when the record ends above 0xFFFF", 0xFFF0, 0x20,
         SRec('2', 0xFFF0, 3, Seq(32, 0xF0)) + "\r\nS9030000FC\r\n"},
        {"S3 above 0xFFFFFF", 0xFFFFFFE0u, 0x20, SRec('3', 0xFFFFFFE0u, 4, Seq(32, 0xE0)) + "\r\nS9030000FC\r\n"},
        {"empty", 0, 0, "S9030000FC\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Reset();
        if (c.length) {
            std::vector<uint8_t> b = Seq(static_cast<int>(c.length), static_cast<int>(c.start));
            ASSERT_EQ(MEM_AddBytes(image_, c.start, c.length, b.data()), 0);
        }
        EXPECT_EQ(MOT_SaveFile(image_, Path("out.mot").c_str(), text_, 200), 0) << text_;
        EXPECT_EQ(Get(Path("out.mot")), c.expected);
    }
}

TEST_F(BinFileTest, LoadsAtTheBase)
{
    std::string content(100000, '\0');
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
    EXPECT_EQ(BIN_LoadFile(image_, Put("a.bin", content).c_str(), text_, 255, 0), 0) << text_;
    EXPECT_EQ(image_->areaCount, 1u);
    EXPECT_EQ(MEM_GetLowestAddress(image_), 0u);
    EXPECT_EQ(MEM_GetHighestAddress(image_), 99999u);
    EXPECT_EQ(MEM_GetByte(image_, 77777), static_cast<uint8_t>(77777 * 7));
    Reset();
    EXPECT_EQ(BIN_LoadFile(image_, Put("a.bin", content).c_str(), text_, 255, 0x1000), 0);
    EXPECT_EQ(MEM_GetHighestAddress(image_), 0x1000u + 99999u);
    Reset();
    EXPECT_EQ(BIN_LoadFile(image_, Put("e.bin", "").c_str(), text_, 255, 0), 0);
    EXPECT_EQ(image_->first, nullptr);
    EXPECT_EQ(image_->modified, 0u);
}

TEST_F(BinFileTest, FileRunningPastTheTopIsRefused)
{
    EXPECT_EQ(BIN_LoadFile(image_, Put("a.bin", std::string(64, 'x')).c_str(), text_, 255, 0xFFFFFFF0u), -1);
    EXPECT_STREQ(text_, "Areas overlap");
}

TEST_F(BinFileTest, SavesWithFill)
{
    std::vector<uint8_t> b(16, 0x11), c(16, 0x22);
    MEM_AddBytes(image_, 0x10, 16, b.data());
    MEM_AddBytes(image_, 0x30, 16, c.data());
    struct Case { uint32_t from, to; std::string expected; };
    const std::string ff(16, '\xFF'), ones(16, '\x11'), twos(16, '\x22');
    const Case cases[] = {
        {0x10, 0x3F, ones + ff + twos},
        {0x00, 0x3F, ff + ones + ff + twos},
        {0x10, 0x35, ones + ff + twos.substr(0, 6)},
        {0x00, 0xFFFFFFFFu, ff + ones + ff + twos},
        {0x40, 0x50, ""},
        {0x18, 0x18, "\x11"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << k.from << "-" << k.to);
        EXPECT_EQ(BIN_SaveFile(image_, Path("o.bin").c_str(), text_, 200, k.from, k.to), 0) << text_;
        EXPECT_EQ(Get(Path("o.bin")), k.expected);
    }
}

TEST_F(BinFileTest, SavesAcrossLargeGapsAndBlocks)
{
    std::vector<uint8_t> b(200000, 0x5A);
    MEM_AddBytes(image_, 0, 200000, b.data());
    MEM_AddBytes(image_, 0x2000000, 3, b.data());   // 32 MiB above: more than the largest gap
    EXPECT_EQ(BIN_SaveFile(image_, Path("o.bin").c_str(), text_, 200, 0, 0xFFFFFFFFu), 0) << text_;
    const std::string out = Get(Path("o.bin"));
    ASSERT_EQ(out.size(), 0x2000003u);
    EXPECT_EQ(out[199999], '\x5A');
    EXPECT_EQ(out[200000], '\xFF');
    EXPECT_EQ(out[0x2000002], '\x5A');
}

TEST_F(FileErrorTest, OpenAndWriteFailures)
{
    const std::string missing = Path("missing.hex");
    EXPECT_EQ(HEX_LoadFile(image_, missing.c_str(), text_, 255), -1);
    EXPECT_EQ(std::string(text_), "Could not open file [" + missing + "]\nFile not found!");
    EXPECT_EQ(MOT_LoadFile(image_, (Path("x") + "/none/f.mot").c_str(), text_, 255), -1);
    EXPECT_EQ(BIN_LoadFile(image_, Path("").c_str(), text_, 255, 0), -1);

    Put("file", "x");
    const std::string underFile = Path("file") + "/f.mot";
    EXPECT_EQ(MOT_LoadFile(image_, underFile.c_str(), text_, 255), -1);
    EXPECT_EQ(std::string(text_), "Could not open file [" + underFile + "]\nPath not found!");

    // Saving to a read-only file keeps the image's modified flag.
    const std::string ro = Put("ro.hex", "old");
    ::chmod(ro.c_str(), 0444);
    MEM_AddBytes(image_, 0, 1, reinterpret_cast<const uint8_t*>("A"));
    const uint32_t before = image_->modified;
    ASSERT_NE(before, 0u);
    const int r = HEX_SaveFile(image_, ro.c_str(), text_, 200);
    if (::geteuid() != 0) {
        EXPECT_EQ(r, -1);
        EXPECT_EQ(std::string(text_), "Could not write file. File has read only attribute.\n" + ro);
        EXPECT_EQ(image_->modified, before);
    }
    // (As root the read-only file was written; make the image modified again.)
    MEM_AddBytes(image_, 8, 1, reinterpret_cast<const uint8_t*>("B"));
    const uint32_t modified = image_->modified;
    EXPECT_EQ(HEX_SaveFile(image_, "", text_, 200), -1);
    EXPECT_STREQ(text_, "Could not write file. Invalid filename.");
    EXPECT_EQ(image_->modified, modified);
    const std::string noDir = Path("nodir") + "/o.hex";
    EXPECT_EQ(HEX_SaveFile(image_, noDir.c_str(), text_, 200), -1);
    EXPECT_EQ(std::string(text_), "Could not write file.\n" + noDir);
    EXPECT_EQ(HEX_SaveFile(nullptr, noDir.c_str(), text_, 200), -1);
    EXPECT_EQ(HEX_SaveFile(image_, noDir.c_str(), nullptr, 200), -1);
}

TEST_F(FileErrorTest, OpenErrorTexts)
{
    struct Case { UtilOpenError reason; const char* text; };
    const Case cases[] = {
        {UTIL_OPEN_ERR_FILE_NOT_FOUND, "Could not open file [p]\nFile not found!"},
        {UTIL_OPEN_ERR_PATH_NOT_FOUND, "Could not open file [p]\nPath not found!"},
        {UTIL_OPEN_ERR_ACCESS_DENIED, "Could not open file [p]\nAccess is denied!"},
        {UTIL_OPEN_ERR_INVALID_DRIVE, "Could not open file [p]\nInvalid drive!"},
        {UTIL_OPEN_ERR_BAD_NAME, "Could not open file [p]\nThe filename syntax is incorrect!"},
        {UTIL_OPEN_ERR_OTHER, "Could not open file [p]\nInvalid file handle!"},
    };
    for (const Case& c : cases) {
        char t[100];
        FILE_OpenErrorText(t, sizeof t, "p", c.reason);
        EXPECT_STREQ(t, c.text);
    }
}

TEST_F(FileErrorTest, ShortErrorBufferGetsTheHead)
{
    char small[10];
    EXPECT_EQ(HEX_LoadFile(image_, Path("missing").c_str(), small, sizeof small), -1);
    EXPECT_STREQ(small, "Could not");
    EXPECT_EQ(HEX_LoadFile(image_, Put("s.hex", " x").c_str(), small, sizeof small), -4);
    EXPECT_STREQ(small, "Error in ");
    char keep[10] = "";
    FILE_KeepError(keep, sizeof keep, "first error text");
    FILE_KeepError(keep, sizeof keep, "second");
    EXPECT_STREQ(keep, "first err");
}

TEST_F(FileErrorTest, SaveAppliesPendingWrites)
{
    MEM_AddBytes(image_, 0, 4, reinterpret_cast<const uint8_t*>("abcd"));
    MEM_WriteU8(image_, 1, 'X');
    MEM_WriteU8(image_, 4, 'Y');
    EXPECT_EQ(BIN_SaveFile(image_, Path("o.bin").c_str(), text_, 200, 0, 0xFFFFFFFFu), 0);
    EXPECT_EQ(Get(Path("o.bin")), "aXcdY");
    EXPECT_EQ(image_->pendingCount, 0u);
    EXPECT_EQ(image_->modified, 0u);
}
