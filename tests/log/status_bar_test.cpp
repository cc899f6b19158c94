#include <gtest/gtest.h>

#include "link/status_bar.h"

namespace {

TEST(StatusBarText, SendsOnlyChanges)
{
    StatusBarCopies copies;
    copies.text[0] = "Ready";
    EXPECT_FALSE(StatusBar_KeepIfChanged(copies, 0, "Ready"));
    EXPECT_TRUE(StatusBar_KeepIfChanged(copies, 0, "End the application"));
    EXPECT_FALSE(StatusBar_KeepIfChanged(copies, 0, "End the application"));
    EXPECT_TRUE(StatusBar_KeepIfChanged(copies, 0, nullptr));   // null is the empty text
    EXPECT_FALSE(StatusBar_KeepIfChanged(copies, 0, ""));
    EXPECT_TRUE(StatusBar_KeepIfChanged(copies, 9, "x"));
    EXPECT_FALSE(StatusBar_KeepIfChanged(copies, 10, "x"));
    EXPECT_FALSE(StatusBar_KeepIfChanged(copies, -1, "x"));
    // Long texts that share their first 83 characters are still told apart.
    const std::string a(90, 'a');
    std::string b = a;
    b.back() = 'b';
    EXPECT_TRUE(StatusBar_KeepIfChanged(copies, 1, a.c_str()));
    EXPECT_TRUE(StatusBar_KeepIfChanged(copies, 1, b.c_str()));
}

TEST(StatusBarParts, EdgesFromTheClientWidth)
{
    int edges[3] = {};
    const int one[1] = {0};
    StatusBar_PartEdges(684, one, 1, edges);
    EXPECT_EQ(edges[0], 684);
    const int three[3] = {20, 100, 50};
    StatusBar_PartEdges(600, three, 3, edges);
    EXPECT_EQ(edges[0], 430);
    EXPECT_EQ(edges[1], 530);
    EXPECT_EQ(edges[2], 580);   // ends widths[0] before the border
}

}  // namespace
