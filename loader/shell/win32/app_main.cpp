// Process entry and the frame window of the loader.
#include <windows.h>
#include <commctrl.h>

#include "shell/app_title.h"
#include "shell/win32/resource_ids.h"

namespace {

struct {
    HINSTANCE instance = nullptr;
    HWND mainWindow = nullptr;
    int runFailed = 0;   // becomes the exit status
} g_app;

LRESULT CALLBACK APP_FrameProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_DESTROY:
        g_app.mainWindow = nullptr;
        PostQuitMessage(0);
        return 0;
    case WM_SIZING: {
        // Keep the frame usable: never smaller than 240 x 180.
        RECT* r = reinterpret_cast<RECT*>(lParam);
        if (r->right - r->left + 1 < 240) r->right = r->left + 240 - 1;
        if (r->bottom - r->top + 1 < 180) r->bottom = r->top + 180 - 1;
        return TRUE;
    }
    default:
        return DefFrameProcA(hwnd, nullptr, msg, wParam, lParam);
    }
}

}  // namespace

int APP_Main(HINSTANCE instance, const char* /*commandLine*/, int showCommand)
{
    g_app.instance = instance;

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

    g_app.mainWindow = CreateWindowExA(0, "MainWindow", APP_GetTitle(),
                                       WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                                       0, 0, 700, 640, nullptr, nullptr, instance, nullptr);
    if (!g_app.mainWindow) return 1;
    ShowWindow(g_app.mainWindow, showCommand);
    HACCEL accel = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDA_MAINACCEL));

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (!g_app.mainWindow || !TranslateAcceleratorA(g_app.mainWindow, accel, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return g_app.runFailed;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int showCommand)
{
    return APP_Main(instance, commandLine, showCommand);
}
