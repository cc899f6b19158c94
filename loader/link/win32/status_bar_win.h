#pragma once
// The frame's status bar control.
#include <windows.h>

// `widths` is kept by the caller and read again on every resize.
HWND StatusBar_Create(HWND parent, const int* widths, int count, int id, DWORD style);
HWND StatusBar_CreateStd(HWND parent, const int* widths, int count, int id);
void StatusBar_SetParts();
void StatusBar_Resize();
void StatusBar_SetText(const char* text, int part, unsigned flags);
HWND StatusBar_Window();
