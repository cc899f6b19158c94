// Window of the target view. The texts and their places come from
// ViewTarget_Layout; this file only paints them.
#include <windows.h>

#include <cstring>

#include "link/link.h"
#include "link/target_view.h"
#include "link/win32/target_view_win.h"
#include "shell/win32/resource_ids.h"

namespace {

const char kClassName[] = "ViewTarget_FrameClass";
bool g_registered = false;
// The snapshot last shown; one for the module (the frame opens one view).
TargetInfo g_cache;
bool g_cache_ready = false;

void EnsureCache()
{
    if (!g_cache_ready) {
        std::memset(&g_cache, 0, sizeof g_cache);
        g_cache_ready = true;
    }
}

void Refresh(HWND w)
{
    TargetInfo now;
    LINK_GetTargetInfo(&now);
    EnsureCache();
    if (std::memcmp(&now, &g_cache, sizeof now) != 0) {
        std::memcpy(&g_cache, &now, sizeof now);
        InvalidateRect(w, nullptr, TRUE);
    }
}

void Draw(HWND w)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(w, &ps);
    EnsureCache();
    SIZE ext{};
    GetTextExtentPoint32A(dc, "X", 1, &ext);
    ViewTargetItem items[VIEWTARGET_MAX_ITEMS];
    int n = ViewTarget_Layout(g_cache, items);
    for (int i = 0; i < n; ++i) {
        uint32_t c = items[i].rgb;
        SetTextColor(dc, RGB((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF));
        TextOutA(dc, items[i].x, items[i].row * ext.cy, items[i].text,
                 static_cast<int>(std::strlen(items[i].text)));
    }
    EndPaint(w, &ps);
}

LRESULT CALLBACK ViewTargetProc(HWND w, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_CREATE:
        SetTimer(w, 0, 50, nullptr);
        break;
    case WM_TIMER:
        Refresh(w);
        break;
    case WM_PAINT:
        Draw(w);
        return 0;
    case WM_DESTROY:
        KillTimer(w, 0);
        break;
    }
    if (GetWindowLongPtrA(w, GWL_EXSTYLE) & WS_EX_MDICHILD)
        return DefMDIChildProcA(w, msg, wParam, lParam);
    return DefWindowProcA(w, msg, wParam, lParam);
}

}  // namespace

const char* ViewTarget_GetClassName() { return kClassName; }

HWND ViewTarget_Create(HWND parent, const RECT* rect, const char* title, DWORD style, DWORD exStyle)
{
    HINSTANCE inst = GetModuleHandleA(nullptr);
    if (!g_registered) {
        WNDCLASSA wc{};
        wc.style = CS_HREDRAW | CS_VREDRAW;
        wc.lpfnWndProc = ViewTargetProc;
        wc.cbWndExtra = 20;
        wc.hInstance = inst;
        wc.hIcon = LoadIconA(inst, MAKEINTRESOURCEA(IDI_TAMRIN));
        wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.lpszClassName = kClassName;
        if (!RegisterClassA(&wc))
            return nullptr;
        g_registered = true;
    }
    int x, y, width, height;
    if (rect) {
        x = rect->left;
        y = rect->top;
        width = rect->right - rect->left;
        height = rect->bottom - rect->top;
    } else {
        RECT client{};
        GetClientRect(parent, &client);
        x = client.right - 750;
        y = client.bottom - 100;
        width = 450;
        height = 100;
    }
    return CreateWindowExA(exStyle, kClassName, title,
                           style | WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, x, y, width, height,
                           parent, nullptr, inst, nullptr);
}

HWND ViewTarget_CreateMdi(HWND mdiClient, const RECT* rect, const char* title)
{
    return ViewTarget_Create(mdiClient, rect, title, WS_OVERLAPPEDWINDOW, WS_EX_MDICHILD);
}
