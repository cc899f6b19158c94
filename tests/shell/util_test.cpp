#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "shell/util.h"

namespace {

TEST(UtilFormatNumber, Table)
{
    const struct {
        int64_t value;
        int radix;
        const char* text;
    } cases[] = {
        {0, 16, "0"},
        {0, 10, "0"},
        {255, 16, "FF"},
        {4294967295LL, 16, "FFFFFFFF"},
        {4294967296LL, 16, "100000000"},
        {-2147483647LL, 16, "-7FFFFFFF"},
        {-2147483647LL, 10, "-2147483647"},
        {1234567890, 10, "1234567890"},
        {INT64_MAX, 16, "7FFFFFFFFFFFFFFF"},
        {INT64_MIN, 16, "-8000000000000000"},
        {INT64_MIN, 10, "-9223372036854775808"},
        {5, 2, "101"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        char out[68];
        UTIL_FormatNumber(out, c.value, c.radix);
        EXPECT_STREQ(out, c.text);
    }
}

TEST(UtilValueEntry, ParsesFieldTexts)
{
    const struct {
        const char* text;
        int radix;
        int64_t value;
    } cases[] = {
        {"", 16, 0},
        {"FF", 16, 255},
        {"ff", 16, 255},
        {"-10", 16, -16},
        {"100000000", 16, 0x100000000LL},
        {"123", 10, 123},
        {"1A", 10, 10 - 1},          // a pasted non-digit counts as -1
        {"FFFFFFFFFFFFFFFFFFFFFFFF", 16, INT64_MAX / 32},   // saturates, never wraps
        {"-FFFFFFFFFFFFFFFFFFFFFFFF", 16, -(INT64_MAX / 32)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(UTIL_ParseValue(c.text, c.radix), c.value);
    }
}

TEST(UtilValueEntry, RangeMessages)
{
    const int64_t min = -2147483647LL, max = 4294967295LL;
    EXPECT_EQ(UTIL_RangeMessage("Offset (hex)", UTIL_ParseValue("100000000", 16), min, max, 16),
              "\"Offset (hex)\" exceeds maximum value.\nMaximum value is: FFFFFFFF");
    EXPECT_EQ(UTIL_RangeMessage("Offset (hex)", UTIL_ParseValue("-80000000", 16), min, max, 16),
              "\"Offset (hex)\" exceeds minimum value.\nMinimum value is: -7FFFFFFF");
    EXPECT_EQ(UTIL_RangeMessage("Count", 11, 0, 10, 10),
              "\"Count\" exceeds maximum value.\nMaximum value is: 10");
    EXPECT_EQ(UTIL_RangeMessage("Offset (hex)", max, min, max, 16), "");
    EXPECT_EQ(UTIL_RangeMessage("Offset (hex)", min, min, max, 16), "");
}

TEST(UtilValueEntry, DigitFilter)
{
    const struct {
        char c;
        int radix;
        int64_t minimum;
        int caret;
        bool minusThere;
        bool allowed;
    } cases[] = {
        {'a', 16, 0, 0, false, true},
        {'F', 16, 0, 3, false, true},
        {'G', 16, 0, 0, false, false},
        {'9', 10, 0, 0, false, true},
        {'a', 10, 0, 0, false, false},
        {'-', 16, -1, 0, false, true},
        {'-', 16, -1, 1, false, false},   // only at the first position
        {'-', 16, -1, 0, true, false},    // only once
        {'-', 16, 0, 0, false, false},    // only with a negative minimum
        {'\b', 16, 0, 2, false, true},    // control characters pass
        {' ', 16, 0, 0, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "'" << c.c << "' radix " << c.radix << " caret " << c.caret);
        EXPECT_EQ(UTIL_ValueCharAllowed(c.c, c.radix, c.minimum, c.caret, c.minusThere), c.allowed);
    }
}

TEST(UtilCenter, KeepsTheWindowInsideTheWorkArea)
{
    const UtilRect work{0, 0, 1024, 768};
    const struct {
        UtilRect ref;
        int32_t w, h, x, y;
    } cases[] = {
        {{0, 0, 700, 640}, 305, 125, 197, 257},
        {{-200, -100, 100, 100}, 300, 100, 0, 0},        // left of / above 0
        {{900, 700, 1100, 800}, 300, 100, 724, 668},     // would end beyond the work area
        {{0, 0, 100, 100}, 2000, 1000, 0, 0},            // larger than the work area
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.ref.left << "," << c.ref.top);
        int32_t x = -1, y = -1;
        UTIL_CenterPosition(c.ref, work, c.w, c.h, &x, &y);
        EXPECT_EQ(x, c.x);
        EXPECT_EQ(y, c.y);
    }
}

const char kFilters[] =
    "Intel Hex file (*.hex)\0*.hex\0Motorola S file (*.mot)\0*.mot\0All files (*.*)\0*.*\0";

TEST(UtilSaveDialog, ExtensionFollowsTheFilter)
{
    EXPECT_EQ(UTIL_FilterExtension(kFilters, 1), "hex");
    EXPECT_EQ(UTIL_FilterExtension(kFilters, 2), "mot");
    EXPECT_EQ(UTIL_FilterExtension(kFilters, 3), "");   // "*.*" keeps the name
    EXPECT_EQ(UTIL_FilterExtension(kFilters, 4), "");
    EXPECT_EQ(UTIL_FilterExtension(kFilters, 0), "");
    EXPECT_EQ(UTIL_ApplyExtension("fw.hex", UTIL_FilterExtension(kFilters, 2)), "fw.mot");
    EXPECT_EQ(UTIL_ApplyExtension("fw.mot", "hex"), "fw.hex");
    EXPECT_EQ(UTIL_ApplyExtension("fw.v2.hex", "mot"), "fw.mot");   // cut at the first "."
    EXPECT_EQ(UTIL_ApplyExtension("fw", "mot"), "fw.mot");
    EXPECT_EQ(UTIL_ApplyExtension("fw.hex", ""), "fw.hex");
}

TEST(UtilPaths, SplitAndJoin)
{
    const struct {
        const char* path;
        const char* drive;
        const char* folder;
        const char* name;
        const char* ext;
    } cases[] = {
        {"C:\\fw\\fw.mot", "C:", "\\fw\\", "fw", ".mot"},
        {"fw.hex", "", "", "fw", ".hex"},
        {"C:\\a.b\\noext", "C:", "\\a.b\\", "noext", ""},
        {"/tmp/x/Tamrin.exe", "", "/tmp/x/", "Tamrin", ".exe"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const UtilPathParts p = UTIL_SplitPath(c.path);
        EXPECT_EQ(p.drive, c.drive);
        EXPECT_EQ(p.folder, c.folder);
        EXPECT_EQ(p.name, c.name);
        EXPECT_EQ(p.ext, c.ext);
        EXPECT_EQ(UTIL_MakePath(p), c.path);
    }
    char out[8];
    UTIL_GetFileTitle("C:\\fw\\Tamrin.exe", out, sizeof out);
    EXPECT_STREQ(out, "Tamrin");
    UTIL_GetFileTitle("C:\\fw\\Tamrin12.exe", out, sizeof out);   // 8 characters do not fit 8 bytes
    EXPECT_STREQ(out, "");
    UTIL_GetFileExt("C:\\fw\\Tamrin.exe", out, sizeof out);
    EXPECT_STREQ(out, ".exe");
}

}  // namespace
