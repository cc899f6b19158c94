#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "link/target_view.h"

namespace {

TargetInfo Connected()
{
    TargetInfo t;
    std::memset(&t, 0, sizeof t);
    t.connected = 1;
    t.version = 112;
    std::strcpy(t.cpu_name, "RX62N");
    std::strcpy(t.app_name, "KALUNA M3");
    t.range_start[0] = 0x8000;
    t.range_length[0] = 0x1000;
    t.target_crc = LINK_CRC_UNKNOWN;
    return t;
}

std::string ValueAt(const ViewTargetItem* items, int n, int row)
{
    for (int i = 0; i < n; ++i)
        if (items[i].row == row && items[i].x == VIEWTARGET_VALUE_X)
            return items[i].text;
    return "<none>";
}

TEST(TargetViewLayout, ConnectedShowsLabelsInBlackAndValuesInBlue)
{
    TargetInfo t = Connected();
    ViewTargetItem items[VIEWTARGET_MAX_ITEMS];
    int n = ViewTarget_Layout(t, items);
    ASSERT_EQ(n, 10);
    const char* labels[] = {"Range:", "CRC:", "Application:", "CPU:", "BTL Version"};
    for (int row = 0; row < 5; ++row) {
        SCOPED_TRACE(row);
        EXPECT_STREQ(items[row].text, labels[row]);
        EXPECT_EQ(items[row].x, 0);
        EXPECT_EQ(items[row].row, row);
        EXPECT_EQ(items[row].rgb, VIEWTARGET_BLACK);
        EXPECT_EQ(items[5 + row].rgb, VIEWTARGET_BLUE);
    }
    EXPECT_EQ(ValueAt(items, n, 0), "8000 - 8FFF");
    EXPECT_EQ(ValueAt(items, n, 1), "---");
    EXPECT_EQ(ValueAt(items, n, 2), "KALUNA M3");
    EXPECT_EQ(ValueAt(items, n, 3), "RX62N");
    EXPECT_EQ(ValueAt(items, n, 4), "BTL V1.12");
}

TEST(TargetViewLayout, ValueTexts)
{
    struct Case {
        uint32_t r2_start, r2_len, crc, version;
        const char* range;
        const char* crc_text;
        const char* version_text;
    } cases[] = {
        {0x20000, 0x100, 0x00AB, 112, "8000 - 8FFF, 20000 - 200FF", "00AB", "BTL V1.12"},
        {0x20000, 0, 0xBEEF, 205, "8000 - 8FFF", "BEEF", "BTL V2.05"},
        {0, 0, 0, 7, "8000 - 8FFF", "0000", "BTL V0.07"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.range);
        TargetInfo t = Connected();
        t.range_start[1] = c.r2_start;
        t.range_length[1] = c.r2_len;
        t.target_crc = c.crc;
        t.version = c.version;
        ViewTargetItem items[VIEWTARGET_MAX_ITEMS];
        int n = ViewTarget_Layout(t, items);
        EXPECT_EQ(ValueAt(items, n, 0), c.range);
        EXPECT_EQ(ValueAt(items, n, 1), c.crc_text);
        EXPECT_EQ(ValueAt(items, n, 4), c.version_text);
    }
}

TEST(TargetViewLayout, NotConnectedOrRefusedShowOneLineAndNoValues)
{
    TargetInfo t = Connected();
    t.connected = 0;
    ViewTargetItem items[VIEWTARGET_MAX_ITEMS];
    ASSERT_EQ(ViewTarget_Layout(t, items), 1);
    EXPECT_STREQ(items[0].text, "Not connected");
    EXPECT_EQ(items[0].rgb, VIEWTARGET_RED);
    EXPECT_EQ(items[0].x, 0);
    EXPECT_EQ(items[0].row, 0);

    t.password_refused = 1;
    ASSERT_EQ(ViewTarget_Layout(t, items), 1);
    EXPECT_STREQ(items[0].text, "Password comparison failed");
    EXPECT_EQ(items[0].rgb, VIEWTARGET_GREEN);
}

TEST(TargetViewLayout, UnterminatedNameFieldIsBounded)
{
    TargetInfo t = Connected();
    std::memset(t.app_name, 'A', sizeof t.app_name);
    ViewTargetItem items[VIEWTARGET_MAX_ITEMS];
    int n = ViewTarget_Layout(t, items);
    EXPECT_EQ(ValueAt(items, n, 2), std::string(100, 'A'));
    EXPECT_EQ(ValueAt(items, n, 3), "RX62N");
}

}  // namespace
