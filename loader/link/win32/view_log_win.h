#pragma once
// The log view: an MDI child (or plain child) that shows a log buffer.
#include <windows.h>

HWND ViewLog_Create(HWND parent, const RECT* rect, const char* title, DWORD style, DWORD exStyle);
// Creates the view as an MDI child; it becomes the application log.
HWND ViewLog_CreateMdi(HWND mdiClient, const RECT* rect, const char* title);
// Appends to `window`'s log, or to the application log when window is null.
// Returns the window written to (null when there is none).
HWND ViewLog_PrintTo(HWND window, const char* text);
