// Process entry, the frame window, start-up and shutdown of the loader, and
// the shell's report boxes.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "link/link.h"
#include "link/view_log.h"
#include "link/win32/status_bar_win.h"
#include "link/win32/target_view_win.h"
#include "link/win32/view_log_win.h"
#include "shell/app.h"
#include "shell/app_title.h"
#include "shell/cmdline.h"
#include "shell/settings.h"
#include "shell/win32/app_win.h"
#include "shell/win32/resource_ids.h"
#include "shell/win32/util_win.h"

AppState g_appState;

namespace {

// Written by APP_Error on the GUI thread and by the link worker for a job
// that ended with a fault the target reported; read at exit.
std::atomic<int> g_runFailed{0};
// Reports showing at the moment (GUI thread only).
int g_errorNesting = 0;

// One part of width 0: part 0 spans the whole bar.
const int kStatusWidths[1] = {0};

constexpr int kIdExit = 526;
constexpr int kIdAbout = 620;

const char kLegalNotice[] =
    "\r\n\r\n"
    "Copyright (C) 2009-2026\r\n"
    "DRAVIK measuring instruments\r\n"
    "www.dravik.example\r\n";

struct HelpRow {
    int id;
    const char* text;
};
const HelpRow kMenuHelp[] = {
    {526, "End the application"},
    {520, "Open file select dialog"},
    {620, "Show the about box"},
};

void FitChildren(HWND frame)
{
    StatusBar_Resize();
    if (!g_appState.mdiClient) return;
    RECT client{};
    GetClientRect(frame, &client);
    int bottom = client.bottom;
    if (HWND bar = StatusBar_Window()) {
        RECT r{};
        GetWindowRect(bar, &r);
        POINT top{r.left, r.top};
        ScreenToClient(frame, &top);
        bottom = top.y;
    }
    MoveWindow(g_appState.mdiClient, 0, 0, client.right, bottom > 0 ? bottom : 0, TRUE);
}

// -- MDI client with its background picture ---------------------------------------

struct {
    WNDPROC oldProc = nullptr;
    HBITMAP picture = nullptr;
    bool triedLoad = false;
} g_mdi;

void FreePicture()
{
    if (g_mdi.picture) DeleteObject(g_mdi.picture);
    g_mdi.picture = nullptr;
}

LRESULT CALLBACK MdiClientProc(HWND w, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_SIZE) {
        InvalidateRect(w, nullptr, TRUE);
    } else if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(w, &ps);
        if (!g_mdi.triedLoad) {
            g_mdi.triedLoad = true;
            g_mdi.picture = LoadBitmapA(g_appState.instance, MAKEINTRESOURCEA(IDB_BACKGROUND));
            if (g_mdi.picture) std::atexit(FreePicture);
        }
        if (g_mdi.picture) {
            RECT r{};
            GetClientRect(w, &r);
            HDC mem = CreateCompatibleDC(dc);
            HGDIOBJ old = SelectObject(mem, g_mdi.picture);
            BitBlt(dc, (r.right - 209) / 2, (r.bottom - 98) / 2, 209, 98, mem, 0, 0, SRCCOPY);
            SelectObject(mem, old);
            DeleteDC(mem);
        }
        EndPaint(w, &ps);
        return 0;
    }
    return CallWindowProcA(g_mdi.oldProc, w, msg, wParam, lParam);
}

HWND FindView(const char* cls)
{
    if (!g_appState.mdiClient) return nullptr;
    return FindWindowExA(g_appState.mdiClient, nullptr, cls, nullptr);
}

// -- frame ----------------------------------------------------------------------------

LRESULT CALLBACK APP_FrameProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_CREATE:
        g_appState.mainWindow = hwnd;
        g_appState.statusBar = StatusBar_CreateStd(hwnd, kStatusWidths, 1, 0);
        g_appState.mdiClient = APP_CreateMdiClient(hwnd);
        return 0;
    case WM_DESTROY:
        APP_Shutdown();
        g_appState.mainWindow = nullptr;
        PostQuitMessage(0);
        return 0;
    case WM_SIZE:
        FitChildren(hwnd);
        return 0;
    case WM_PARENTNOTIFY:
        if (LOWORD(wParam) == WM_CREATE || LOWORD(wParam) == WM_DESTROY) {
            FitChildren(hwnd);
            return 0;
        }
        break;
    case WM_SIZING: {
        // Keep the frame usable: never smaller than 240 x 180.
        RECT* r = reinterpret_cast<RECT*>(lParam);
        if (r->right - r->left + 1 < 240) r->right = r->left + 240 - 1;
        if (r->bottom - r->top + 1 < 180) r->bottom = r->top + 180 - 1;
        return TRUE;
    }
    case WM_COMMAND:
        APP_OnCommand(hwnd, LOWORD(wParam));
        break;   // the default frame procedure activates views picked from the window menu
    case WM_INITMENU:
        APP_OnInitMenu(reinterpret_cast<HMENU>(wParam));
        break;
    case WM_MENUSELECT:
        APP_OnMenuSelect(wParam, reinterpret_cast<HMENU>(lParam));
        break;
    case WM_DROPFILES:
        // Opening the dropped file as data file comes with the data commands.
        DragFinish(reinterpret_cast<HDROP>(wParam));
        return 0;
    default:
        break;
    }
    return DefFrameProcA(hwnd, g_appState.mdiClient, msg, wParam, lParam);
}

}  // namespace

// -- reports ----------------------------------------------------------------------------

void APP_Error(const char* text)
{
    APP_SetRunFailed();
    if (g_errorNesting > 0) return;
    ++g_errorNesting;
    if (!text) text = "";
    if (CMDLINE_IsActive()) {
        CMDLINE_Stop();   // may run the queued exit command, which destroys the frame
        if (g_appState.mainWindow && IsWindow(g_appState.mainWindow)) {
            HWND box = UTIL_ShowInfo(g_appState.mainWindow, text, "Error");
            UTIL_WaitInfo(box, 2000);
        }
    } else {
        MessageBoxA(g_appState.mainWindow, text, "Error", MB_OK | MB_ICONSTOP | MB_TASKMODAL);
    }
    --g_errorNesting;
}

int APP_Notify(AppWindow owner, const char* text, const char* caption, unsigned style)
{
    if (CMDLINE_IsActive()) return 0;
    return MessageBoxA(static_cast<HWND>(owner), text ? text : "", caption ? caption : "", style);
}

int APP_GetRunFailed() { return g_runFailed.load(); }

void APP_SetRunFailed() { g_runFailed.store(1); }

// -- views ------------------------------------------------------------------------------

HWND APP_CreateMdiClient(HWND frame)
{
    CLIENTCREATESTRUCT ccs{};
    HMENU bar = GetMenu(frame);
    const int n = bar ? GetMenuItemCount(bar) : 0;
    ccs.hWindowMenu = n >= 2 ? GetSubMenu(bar, n - 2) : nullptr;   // "&Window"
    ccs.idFirstChild = 53;
    HWND client = CreateWindowExA(WS_EX_CLIENTEDGE, "MDICLIENT", nullptr,
                                  WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0, 0, 0, frame,
                                  nullptr, g_appState.instance, &ccs);
    if (client)
        g_mdi.oldProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(client, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(MdiClientProc)));
    return client;
}

void APP_ShowLogView()
{
    if (FindView("ViewLog_FrameClass")) return;
    const RECT r{0, 460, 688, 570};
    if (ViewLog_CreateMdi(g_appState.mdiClient, &r, "Log")) ViewLog_Print("Application Log started\r\n");
}

HWND APP_FindHexView() { return FindView("ViewMem_FrameClass"); }

// -- commands ---------------------------------------------------------------------------

void APP_OnCommand(HWND frame, int id)
{
    switch (id) {
    case 50:
        SendMessageA(g_appState.mdiClient, WM_MDICASCADE, 0, 0);
        return;
    case 51:
        SendMessageA(g_appState.mdiClient, WM_MDITILE, MDITILE_HORIZONTAL, 0);
        return;
    case 52:
        SendMessageA(g_appState.mdiClient, WM_MDITILE, MDITILE_VERTICAL, 0);
        return;
    case kIdExit:
        DestroyWindow(frame);
        return;
    case kIdAbout:
        APP_ShowAbout(frame, APP_GetTitle(), "", kLegalNotice);
        return;
    default:
        // File, edit, view, target and options commands join here with the
        // subsystems that carry them out.
        return;
    }
}

void APP_OnInitMenu(HMENU)
{
    // The enabling rules come with the commands they guard.
}

void APP_OnMenuSelect(WPARAM itemAndFlags, HMENU menu)
{
    const UINT id = LOWORD(itemAndFlags);
    const UINT flags = HIWORD(itemAndFlags);
    const char* text = "Ready";
    const bool closing = flags == 0xFFFF && !menu;
    if (!closing && !(flags & MF_SYSMENU) && !(flags & MF_POPUP) && id != 0) {
        for (const HelpRow& row : kMenuHelp)
            if (static_cast<UINT>(row.id) == id) text = row.text;
    }
    StatusBar_SetText(text, 0, 0);
}

// -- life of the process -------------------------------------------------------------------

int APP_Startup()
{
    // 1. The last project's name.
    APP_GetSettingString("PrjFile", "Filename", g_appState.projectFileName, sizeof g_appState.projectFileName);

    // 2. The log view. The project view joins here with the frame's views.
    APP_ShowLogView();

    // 3. Opening the last project quietly comes with the project module; until
    //    then start-up loads what that opening loads from the settings store
    //    besides the port settings: the time-outs and the password.
    g_appState.quietOpen = true;
    APP_LoadTimeouts();
    char password[100] = {};
    APP_GetSettingString("Password", "Contents", password, sizeof password);
    APP_SetPassword(password, static_cast<int>(std::strlen(password)));
    g_appState.quietOpen = false;

    // 4. The recent lists (registry prefix "Software\DRAVIK\<title>\") come here.
    // 5. The target view.
    RECT targetRect = {344, 0, 688, 110};
    ViewTarget_CreateMdi(g_appState.mdiClient, &targetRect, "Target");
    // 6. and 7. The command-line module and the arguments come here; without
    //    them the loader is interactive, and the link worker is started there.
    LINK_Start();

    // 8. Dropped files.
    DragAcceptFiles(g_appState.mainWindow, TRUE);
    return 0;
}

void APP_Shutdown()
{
    // The link worker ends before the settings are written.
    LINK_Stop();
    APP_SetSettingString("HexFile", "Filename", APP_FindHexView() ? g_appState.dataFileName : "");
    APP_SetSettingString("PrjFile", "Filename", g_appState.projectFileName);
    char password[100] = {};
    APP_GetPassword(password);
    APP_SetSettingString("Password", "Contents", password);
    g_appState.exiting = true;
}

int APP_Main(HINSTANCE instance, const char* /*commandLine*/, int showCommand)
{
    g_appState.instance = instance;

    WNDCLASSA wc{};
    wc.lpfnWndProc = APP_FrameProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_TAMRIN));
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
    wc.lpszMenuName = MAKEINTRESOURCEA(IDM_MAINMENU);
    wc.lpszClassName = "MainWindow";
    RegisterClassA(&wc);

    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);

    HWND main = CreateWindowExA(0, "MainWindow", APP_GetTitle(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0,
                                700, 640, nullptr, nullptr, instance, nullptr);
    if (!main) return 1;
    g_appState.mainWindow = main;
    ShowWindow(main, showCommand);
    HACCEL accel = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDA_MAINACCEL));

    APP_Startup();

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (g_appState.mdiClient && TranslateMDISysAccel(g_appState.mdiClient, &msg)) continue;
        if (g_appState.mainWindow && accel && TranslateAcceleratorA(g_appState.mainWindow, accel, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return APP_GetRunFailed();
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int showCommand)
{
    return APP_Main(instance, commandLine, showCommand);
}
