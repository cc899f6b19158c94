#pragma once
// Test access to the native stand-ins of the shell's report boxes: what
// APP_Error and APP_Notify were asked to show, and the answer APP_Notify gives.
#include <string>
#include <vector>

struct AppRecordedNotice {
    std::string text;
    std::string caption;
    unsigned style = 0;
};

// Copies of what was reported since the last APP_RecordClear, oldest first.
std::vector<std::string> APP_RecordedErrors();
std::vector<AppRecordedNotice> APP_RecordedNotices();
// Forgets the reports, clears the run-failed flag and resets the notice
// answer to 1 (IDOK).
void APP_RecordClear();
// The value the next APP_Notify calls return when a box would be shown.
void APP_RecordSetNotifyResult(int result);
