#include <gtest/gtest.h>

#include "shell/app.h"
#include "shell/cmdline.h"
#include "shell/cmdline_state.h"
#include "shell/posix/app_record.h"

namespace {

TEST(AppStandIn, ErrorsSetTheRunFailedFlagAndStopTheList)
{
    APP_RecordClear();
    CMDLINE_SetActive(true);
    EXPECT_EQ(APP_GetRunFailed(), 0);
    APP_Error("Could not connect to target");
    EXPECT_EQ(APP_GetRunFailed(), 1);
    EXPECT_FALSE(CMDLINE_IsActive());
    ASSERT_EQ(APP_RecordedErrors().size(), 1u);
    EXPECT_EQ(APP_RecordedErrors()[0], "Could not connect to target");
    APP_RecordClear();
    EXPECT_EQ(APP_GetRunFailed(), 0);
    EXPECT_TRUE(APP_RecordedErrors().empty());
}

TEST(AppStandIn, NoticesAreSilentWhileAListRuns)
{
    APP_RecordClear();
    APP_RecordSetNotifyResult(7);
    EXPECT_EQ(APP_Notify(nullptr, "Password to long", "Password", 0x30), 7);
    CMDLINE_SetActive(true);
    EXPECT_EQ(APP_Notify(nullptr, "Job succeed ", "Info", 0), 0);
    CMDLINE_SetActive(false);
    const auto notices = APP_RecordedNotices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].text, "Password to long");
    EXPECT_EQ(notices[0].caption, "Password");
    EXPECT_EQ(notices[0].style, 0x30u);
    EXPECT_EQ(APP_GetRunFailed(), 0);
    APP_RecordClear();
}

}  // namespace
