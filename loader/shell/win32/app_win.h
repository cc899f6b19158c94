#pragma once
// The shell's Win32 state and the operations its window code shares.
#include <windows.h>

// The shell's process-wide state. GUI thread only.
struct AppState {
    HINSTANCE instance = nullptr;
    HWND mainWindow = nullptr;
    HWND mdiClient = nullptr;
    HWND statusBar = nullptr;
    char dataFileName[260] = {};
    int dataFileType = 0;          // 1 Intel HEX, 2 Motorola S-record, 3 binary
    char projectFileName[260] = {};
    bool quietOpen = false;
    bool openFailed = false;
    bool exiting = false;
    UINT_PTR commandTimer = 0;
};
extern AppState g_appState;

int APP_Main(HINSTANCE instance, const char* commandLine, int showCommand);
int APP_Startup();
void APP_Shutdown();

HWND APP_CreateMdiClient(HWND frame);
void APP_ShowLogView();
HWND APP_FindHexView();

void APP_OnCommand(HWND frame, int id);
void APP_OnInitMenu(HMENU menu);
void APP_OnMenuSelect(WPARAM itemAndFlags, HMENU menu);

// The About box; missing texts count as empty.
void APP_ShowAbout(HWND owner, const char* titleLine, const char* secondLine, const char* notice);
