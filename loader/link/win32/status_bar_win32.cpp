#include "link/win32/status_bar_win.h"

#include <commctrl.h>

#include "link/status_bar.h"
#include "shell/app.h"

namespace {
struct {
    HWND window = nullptr;
    HWND parent = nullptr;
    const int* widths = nullptr;
    int count = 0;
    StatusBarCopies copies;
} g_status;   // GUI thread only
}  // namespace

HWND StatusBar_Create(HWND parent, const int* widths, int count, int id, DWORD style)
{
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    g_status.parent = parent;
    g_status.widths = widths;
    g_status.count = count < 0 ? 0 : (count > STATUSBAR_MAX_PARTS ? STATUSBAR_MAX_PARTS : count);
    g_status.window = CreateWindowExA(0, STATUSCLASSNAMEA, "Ready",
                                      style | WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_BORDER,
                                      0, 0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                      GetModuleHandleA(nullptr), nullptr);
    if (!g_status.window) {
        APP_Error("Failed to created Status bar");
        return nullptr;
    }
    g_status.copies = StatusBarCopies{};
    g_status.copies.text[0] = "Ready";
    StatusBar_SetParts();
    return g_status.window;
}

HWND StatusBar_CreateStd(HWND parent, const int* widths, int count, int id)
{
    return StatusBar_Create(parent, widths, count, id, SBARS_SIZEGRIP);
}

void StatusBar_SetParts()
{
    if (!g_status.window || g_status.count == 0) return;
    RECT r{};
    GetClientRect(g_status.parent, &r);
    int edges[STATUSBAR_MAX_PARTS] = {};
    StatusBar_PartEdges(r.right - r.left, g_status.widths, g_status.count, edges);
    SendMessageA(g_status.window, SB_SETPARTS, static_cast<WPARAM>(g_status.count), reinterpret_cast<LPARAM>(edges));
}

void StatusBar_Resize()
{
    if (!g_status.window) return;
    StatusBar_SetParts();
    RECT r{};
    GetClientRect(g_status.parent, &r);
    SetWindowPos(g_status.window, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                 SWP_NOMOVE | SWP_NOZORDER);
}

void StatusBar_SetText(const char* text, int part, unsigned flags)
{
    if (!g_status.window) return;
    if (!StatusBar_KeepIfChanged(g_status.copies, part, text)) return;
    SendMessageA(g_status.window, SB_SETTEXTA, static_cast<WPARAM>(part) | flags,
                 reinterpret_cast<LPARAM>(g_status.copies.text[static_cast<size_t>(part)].c_str()));
}

HWND StatusBar_Window() { return g_status.window; }
