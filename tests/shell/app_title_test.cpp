#include <gtest/gtest.h>

#include "shell/app_title.h"

// The title is part of the registry path of the recent lists: a changed
// format would silently orphan every user's lists.
TEST(AppTitle, VersionHasTwoDigitMinorAndRevisionLetter)
{
    EXPECT_STREQ(APP_GetVersion(), "3.04j");
    EXPECT_STREQ(APP_GetTitle(), "Tamrin V3.04j");
    EXPECT_STREQ(APP_ProductName, "Tamrin");
}

TEST(AppTitle, BuiltOnceAndStable)
{
    EXPECT_EQ(APP_GetTitle(), APP_GetTitle());
}
