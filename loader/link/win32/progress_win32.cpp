// The progress dialog: a modeless dialog from the empty template, laid out at
// initialisation. The worker moves its bar through synchronous window calls
// that the GUI thread's job loop serves.
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstring>

#include "link/progress.h"
#include "shell/win32/app_win.h"
#include "shell/win32/resource_ids.h"

namespace {

// Allocated by PROGRESS_Open, attached to the dialog, freed on its destruction.
struct ProgressRecord {
    ProgressBarState bar_state;   // its lock guards the fields below too
    HWND bar = nullptr;
    char* text = nullptr;
    char* title = nullptr;
};

std::atomic<HWND> g_dialog{nullptr};   // GUI thread writes; the worker reads it
int g_open_count = 0;      // GUI thread

ProgressRecord* Record(HWND dlg)
{
    return reinterpret_cast<ProgressRecord*>(GetWindowLongPtrA(dlg, DWLP_USER));
}

char* Copy(const char* text)
{
    size_t n = std::strlen(text ? text : "") + 1;
    char* c = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, n));
    if (c)
        std::memcpy(c, text ? text : "", n);
    return c;
}

void FreeText(char*& t)
{
    if (t)
        HeapFree(GetProcessHeap(), 0, t);
    t = nullptr;
}

DWORD Align(uint32_t flags, uint32_t centre, uint32_t right)
{
    if (flags & centre)
        return SS_CENTER;
    if (flags & right)
        return SS_RIGHT;
    return SS_LEFT;
}

void Init(HWND dlg, ProgressRecord* rec)
{
    SetWindowLongPtrA(dlg, DWLP_USER, reinterpret_cast<LONG_PTR>(rec));
    uint32_t flags = rec->bar_state.flags;
    int width = 393;
    int height = (flags & PROGRESS_WITH_CANCEL) ? 160 : 127;
    RECT parent{};
    HWND owner = GetParent(dlg);
    if (owner)
        GetWindowRect(owner, &parent);
    else
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &parent, 0);
    RECT work{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    int x = parent.left + (parent.right - parent.left - width) / 2;
    int y = parent.top + (parent.bottom - parent.top - height) / 2;
    if (x > work.right - width)
        x = work.right - width;
    if (y > work.bottom - height)
        y = work.bottom - height;
    if (x < 0)
        x = 0;
    if (y < 0)
        y = 0;
    MoveWindow(dlg, x, y, width, height, FALSE);
    SetWindowTextA(dlg, rec->title ? rec->title : "");

    HINSTANCE inst = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(dlg, GWLP_HINSTANCE));
    HFONT font = static_cast<HFONT>(GetStockObject(ANSI_VAR_FONT));
    struct Ctl {
        int id;
        const char* cls;
        const char* text;
        int x, y, w, h;
        DWORD style;
    } ctls[] = {
        {100, "STATIC", rec->text ? rec->text : "", 11, 8, 364, 30,
         Align(flags, PROGRESS_CENTRE_MESSAGE, PROGRESS_RIGHT_MESSAGE)},
        {103, "STATIC", "", 13, 40, 360, 14, Align(flags, PROGRESS_CENTRE_DETAIL, PROGRESS_RIGHT_DETAIL)},
        {102, "STATIC", "0%", 13, 54, 360, 14, Align(flags, PROGRESS_CENTRE_PERCENT, PROGRESS_RIGHT_PERCENT)},
        {101, PROGRESS_CLASSA, nullptr, 11, 68, 364, 20, PBS_SMOOTH},
        {IDCANCEL, "BUTTON", "Cancel", 153, 100, 80, 23, WS_TABSTOP | BS_DEFPUSHBUTTON},
    };
    for (const Ctl& c : ctls) {
        if (c.id == IDCANCEL && !(flags & PROGRESS_WITH_CANCEL))
            continue;
        HWND w = CreateWindowExA(0, c.cls, c.text, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | c.style, c.x, c.y,
                                 c.w, c.h, dlg, reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), inst, nullptr);
        if (w)
            SendMessageA(w, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        if (c.id == 101)
            rec->bar = w;
    }
    int32_t lo, hi, pos;
    {
        std::lock_guard<std::mutex> hold(rec->bar_state.lock);
        lo = rec->bar_state.minimum;
        hi = rec->bar_state.maximum;
        pos = rec->bar_state.position;
    }
    SendMessageA(rec->bar, PBM_SETRANGE32, static_cast<WPARAM>(lo), static_cast<LPARAM>(hi));
    SendMessageA(rec->bar, PBM_SETPOS, static_cast<WPARAM>(pos), 0);
    if (flags & PROGRESS_WITH_CANCEL)
        SetFocus(GetDlgItem(dlg, IDCANCEL));
    RemoveMenu(GetSystemMenu(dlg, FALSE), 1, MF_BYPOSITION);
}

INT_PTR CALLBACK DialogProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG:
        Init(dlg, reinterpret_cast<ProgressRecord*>(lParam));
        return FALSE;   // the focus was set here
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            if (ProgressRecord* rec = Record(dlg))
                PROGRESS_ApplyCancel(rec->bar_state);
            return TRUE;
        }
        break;
    case WM_DESTROY:
        if (ProgressRecord* rec = Record(dlg)) {
            SetWindowLongPtrA(dlg, DWLP_USER, 0);
            FreeText(rec->text);
            FreeText(rec->title);
            delete rec;
        }
        break;
    }
    return FALSE;
}

HWND Open()
{
    HWND dlg = g_dialog;
    if (dlg && !IsWindow(dlg)) {
        g_dialog = nullptr;
        return nullptr;
    }
    return dlg;
}

}  // namespace

int PROGRESS_Open(AppWindow parent, const char* title, const char* text, uint32_t flags)
{
    if (g_open_count++ == 0) {
        auto* rec = new (std::nothrow) ProgressRecord;
        if (rec) {
            rec->bar_state.flags = flags;
            rec->title = Copy(title);
            rec->text = Copy(text);
            HWND dlg = CreateDialogParamA(g_appState.instance, MAKEINTRESOURCEA(IDD_BLANK),
                                          static_cast<HWND>(parent), DialogProc, reinterpret_cast<LPARAM>(rec));
            if (dlg) {
                g_dialog = dlg;
                ShowWindow(dlg, SW_SHOW);
            } else {
                FreeText(rec->title);
                FreeText(rec->text);
                delete rec;
            }
        }
    }
    return Open() ? 1 : 0;
}

void PROGRESS_Close()
{
    if (g_open_count <= 0)
        return;
    if (HWND dlg = Open()) {
        g_dialog = nullptr;
        DestroyWindow(dlg);
    }
    --g_open_count;
}

int PROGRESS_IsOpen() { return Open() ? 1 : 0; }

namespace {
void SetTextOf(const char* text, bool title)
{
    HWND dlg = Open();
    if (!dlg)
        return;
    ProgressRecord* rec = Record(dlg);
    char* copy = Copy(text);
    if (!rec || !copy) {
        FreeText(copy);
        return;
    }
    {
        std::lock_guard<std::mutex> hold(rec->bar_state.lock);
        char*& slot = title ? rec->title : rec->text;
        FreeText(slot);
        slot = copy;
    }
    if (title)
        SetWindowTextA(dlg, text);
    else
        SetDlgItemTextA(dlg, 100, text);
}
}  // namespace

void PROGRESS_SetTitle(const char* text) { SetTextOf(text, true); }
void PROGRESS_SetText(const char* text) { SetTextOf(text, false); }

void PROGRESS_SetRange(int32_t minimum, int32_t maximum)
{
    HWND dlg = Open();
    ProgressRecord* rec = dlg ? Record(dlg) : nullptr;
    if (!rec || !PROGRESS_ApplyRange(rec->bar_state, minimum, maximum))
        return;
    SendMessageA(rec->bar, PBM_SETRANGE32, static_cast<WPARAM>(minimum), static_cast<LPARAM>(maximum));
    SendMessageA(rec->bar, PBM_SETPOS, 0, 0);
}

int32_t PROGRESS_SetPos(int32_t position)
{
    HWND dlg = Open();
    ProgressRecord* rec = dlg ? Record(dlg) : nullptr;
    if (!rec)
        return 0;
    int percent = 0;
    int32_t old = PROGRESS_ApplyPos(rec->bar_state, position, &percent);
    int32_t stored;
    {
        std::lock_guard<std::mutex> hold(rec->bar_state.lock);
        stored = rec->bar_state.position;
    }
    SendMessageA(rec->bar, PBM_SETPOS, static_cast<WPARAM>(stored), 0);
    char text[16];
    wsprintfA(text, "%d%%", percent);
    SetDlgItemTextA(dlg, 102, text);
    return old;
}

void PROGRESS_SetCancelCallback(ProgressCancelFn fn)
{
    HWND dlg = Open();
    ProgressRecord* rec = dlg ? Record(dlg) : nullptr;
    if (!rec)
        return;
    std::lock_guard<std::mutex> hold(rec->bar_state.lock);
    rec->bar_state.cancel = fn;
}
