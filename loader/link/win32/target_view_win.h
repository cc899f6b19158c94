#pragma once
// The target view: a small MDI child showing what the loader knows of the
// connected target, refreshed from LINK_GetTargetInfo every 50 ms.
#include <windows.h>

const char* ViewTarget_GetClassName();
// With `rect` the window takes its place; without, it sits near the parent's
// bottom right corner.
HWND ViewTarget_Create(HWND parent, const RECT* rect, const char* title, DWORD style, DWORD exStyle);
HWND ViewTarget_CreateMdi(HWND mdiClient, const RECT* rect, const char* title);
