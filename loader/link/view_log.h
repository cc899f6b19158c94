#pragma once
// The application log: a text of lines ending in "\r\n", appended from any
// thread and shown by the log view.

// Appends `text`, normalising its line ends. Safe from any thread; does
// nothing when there is no application log.
void ViewLog_Print(const char* text);
