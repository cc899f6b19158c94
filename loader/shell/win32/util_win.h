#pragma once
// Support routines that need windows: controls, centring, the busy cursor,
// the value-entry dialog, the self-closing info box and the file dialogs.
#include <windows.h>

#include <cstdint>

HWND UTIL_CreateControl(HWND parent, const char* cls, const char* text, int x, int y, int width,
                        int height, int id, DWORD style, DWORD exStyle);
// Sizes `window` and centres it over `reference`, inside the screen's work area.
void UTIL_CenterWindow(HWND reference, HWND window, int width, int height);

void UTIL_BeginBusy();
void UTIL_EndBusy();

struct ValueField {
    int32_t radix;     // 16 or 10
    int64_t minimum;
    int64_t maximum;
    const char* label;
    int64_t* value;    // read when the dialog opens, written on OK
};
// 0 OK (all values stored), 1 Cancel.
int UTIL_EnterValues(HWND owner, const char* title, ValueField* fields, int count);

HWND UTIL_ShowInfo(HWND owner, const char* text, const char* title);
void UTIL_WaitInfo(HWND box, uint32_t ms);
void UTIL_CloseInfo(HWND box);

// `path` holds 500 bytes. True when the user confirmed.
bool UTIL_OpenFileDialog(char* path, const char* filters, HWND owner);
bool UTIL_SaveFileDialog(char* path, const char* filters, HWND owner);
