#pragma once
// Test access to the native application log, which ViewLog_Print fills.
#include <string>

// The whole log text.
std::string ViewLog_RecordedText();
// Empties the log.
void ViewLog_RecordClear();
