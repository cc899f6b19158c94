#include "shell/win32/util_win.h"

#include <commdlg.h>

#include <cstring>

#include <string>
#include <vector>

#include "shell/util.h"
#include "shell/win32/resource_ids.h"

namespace {
HINSTANCE Instance() { return GetModuleHandleA(nullptr); }
}  // namespace

HWND UTIL_CreateControl(HWND parent, const char* cls, const char* text, int x, int y, int width,
                        int height, int id, DWORD style, DWORD exStyle)
{
    HWND w = CreateWindowExA(exStyle, cls, text, style | WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, x, y,
                             width, height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                             Instance(), nullptr);
    if (w) SendMessageA(w, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(ANSI_VAR_FONT)), FALSE);
    return w;
}

void UTIL_CenterWindow(HWND reference, HWND window, int width, int height)
{
    RECT ref{};
    if (!reference || !GetWindowRect(reference, &ref)) SystemParametersInfoA(SPI_GETWORKAREA, 0, &ref, 0);
    RECT work{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    int32_t x = 0, y = 0;
    UTIL_CenterPosition({ref.left, ref.top, ref.right, ref.bottom},
                        {work.left, work.top, work.right, work.bottom}, width, height, &x, &y);
    SetWindowPos(window, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

// -- busy cursor -------------------------------------------------------------
namespace {
struct {
    int depth = 0;
    HCURSOR previous = nullptr;
} g_busy;   // GUI thread only
}  // namespace

void UTIL_BeginBusy()
{
    if (g_busy.depth++ == 0) g_busy.previous = SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32514)));
}

void UTIL_EndBusy()
{
    if (g_busy.depth == 0) return;
    if (--g_busy.depth == 0) SetCursor(g_busy.previous);
}

// -- value entry -------------------------------------------------------------
namespace {

constexpr int kFirstFieldId = 180;

struct EntryDialog {
    const char* title;
    ValueField* fields;
    int count;
    std::vector<WNDPROC> oldProcs;
};

LRESULT CALLBACK ValueEditProc(HWND edit, UINT msg, WPARAM wParam, LPARAM lParam)
{
    HWND dlg = GetParent(edit);
    auto* d = reinterpret_cast<EntryDialog*>(GetWindowLongPtrA(dlg, DWLP_USER));
    const int index = GetDlgCtrlID(edit) - kFirstFieldId;
    WNDPROC old = d->oldProcs[static_cast<size_t>(index)];
    if (msg == WM_CHAR) {
        const ValueField& f = d->fields[index];
        DWORD selStart = 0;
        SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&selStart), 0);
        char first[2] = {};
        GetWindowTextA(edit, first, sizeof first);
        if (!UTIL_ValueCharAllowed(static_cast<char>(wParam), f.radix, f.minimum, static_cast<int>(selStart),
                                   first[0] == '-')) {
            Beep(440, 100);
            return 0;
        }
    }
    return CallWindowProcA(old, edit, msg, wParam, lParam);
}

INT_PTR CALLBACK EntryProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG: {
        auto* d = reinterpret_cast<EntryDialog*>(lParam);
        SetWindowLongPtrA(dlg, DWLP_USER, reinterpret_cast<LONG_PTR>(d));
        const int height = 26 * d->count + 68 > 125 ? 26 * d->count + 68 : 125;
        UTIL_CenterWindow(GetParent(dlg), dlg, 305, height);
        SetWindowTextA(dlg, d->title ? d->title : "");
        UTIL_CreateControl(dlg, "BUTTON", "OK", 210, 24, 75, 23, IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, 0);
        UTIL_CreateControl(dlg, "BUTTON", "Cancel", 210, 53, 75, 23, IDCANCEL, WS_TABSTOP, 0);
        d->oldProcs.assign(static_cast<size_t>(d->count), nullptr);
        for (int i = 0; i < d->count; ++i) {
            const ValueField& f = d->fields[i];
            UTIL_CreateControl(dlg, "STATIC", f.label ? f.label : "", 10, 27 + 26 * i, 70, 30, -1, 0, 0);
            char text[68];
            UTIL_FormatNumber(text, f.value ? *f.value : 0, f.radix);
            HWND edit = UTIL_CreateControl(dlg, "EDIT", text, 85, 24 + 26 * i, 100, 21, kFirstFieldId + i,
                                           WS_TABSTOP | ES_UPPERCASE | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE);
            SendMessageA(edit, EM_LIMITTEXT, 79, 0);
            d->oldProcs[static_cast<size_t>(i)] = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ValueEditProc)));
        }
        if (d->count > 0) {
            HWND first = GetDlgItem(dlg, kFirstFieldId);
            SetFocus(first);
            SendMessageA(first, EM_SETSEL, 0, -1);
            return FALSE;   // the focus is set
        }
        return TRUE;
    }
    case WM_COMMAND: {
        auto* d = reinterpret_cast<EntryDialog*>(GetWindowLongPtrA(dlg, DWLP_USER));
        if (LOWORD(wParam) == IDOK) {
            std::vector<int64_t> values(static_cast<size_t>(d->count));
            for (int i = 0; i < d->count; ++i) {
                const ValueField& f = d->fields[i];
                char text[80] = {};
                GetDlgItemTextA(dlg, kFirstFieldId + i, text, sizeof text);
                values[static_cast<size_t>(i)] = UTIL_ParseValue(text, f.radix);
                const std::string message = UTIL_RangeMessage(f.label ? f.label : "", values[static_cast<size_t>(i)],
                                                              f.minimum, f.maximum, f.radix);
                if (!message.empty()) {
                    MessageBoxA(dlg, message.c_str(), "Value out of range", MB_OK | MB_ICONWARNING);
                    HWND edit = GetDlgItem(dlg, kFirstFieldId + i);
                    SetFocus(edit);
                    SendMessageA(edit, EM_SETSEL, 0, -1);
                    return TRUE;
                }
            }
            for (int i = 0; i < d->count; ++i)
                if (d->fields[i].value) *d->fields[i].value = values[static_cast<size_t>(i)];
            EndDialog(dlg, 0);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dlg, 1);
            return TRUE;
        }
        return FALSE;
    }
    default:
        return FALSE;
    }
}

}  // namespace

int UTIL_EnterValues(HWND owner, const char* title, ValueField* fields, int count)
{
    EntryDialog d{title, fields, count < 0 ? 0 : count, {}};
    const INT_PTR r = DialogBoxParamA(Instance(), MAKEINTRESOURCEA(IDD_BLANK), owner, EntryProc,
                                      reinterpret_cast<LPARAM>(&d));
    return r == 0 ? 0 : 1;
}

// -- info box ------------------------------------------------------------------
namespace {
INT_PTR CALLBACK InfoProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM)
{
    if (msg == WM_INITDIALOG) return TRUE;
    if (msg == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        DestroyWindow(dlg);
        return TRUE;
    }
    return FALSE;
}
}  // namespace

HWND UTIL_ShowInfo(HWND owner, const char* text, const char* title)
{
    if (!text) text = "";
    HWND box = CreateDialogParamA(Instance(), MAKEINTRESOURCEA(IDD_INFO), owner, InfoProc, 0);
    if (!box) return nullptr;
    // Measure the lines with the font the text is shown in.
    HDC dc = GetDC(box);
    HGDIOBJ oldFont = SelectObject(dc, GetStockObject(ANSI_VAR_FONT));
    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    int width = 0, lines = 0;
    for (const char* p = text;;) {
        const char* end = p;
        while (*end && *end != '\n') ++end;
        SIZE s{};
        GetTextExtentPoint32A(dc, p, static_cast<int>(end - p), &s);
        if (s.cx > width) width = s.cx;
        ++lines;
        if (!*end) break;
        p = end + 1;
    }
    SelectObject(dc, oldFont);
    ReleaseDC(box, dc);
    const int height = lines * tm.tmHeight;
    const int frameX = GetSystemMetrics(SM_CXDLGFRAME), frameY = GetSystemMetrics(SM_CYDLGFRAME);
    const int boxW = (width <= 100 ? 128 : width + 28) + 2 * frameX;
    const int boxH = height + 28 + GetSystemMetrics(SM_CYCAPTION) + 2 * frameY;
    HWND main = FindWindowA("MainWindow", nullptr);
    UTIL_CenterWindow(main ? main : owner, box, boxW, boxH);
    UTIL_CreateControl(box, "STATIC", text, 14, 14, width + 14, height, 100, 0, 0);
    SetWindowTextA(box, title ? title : "");
    return box;
}

void UTIL_WaitInfo(HWND box, uint32_t ms)
{
    if (!box || !IsWindow(box)) return;
    ShowWindow(box, SW_SHOW);
    if (ms == 0) return;
    const DWORD start = GetTickCount();
    while (IsWindow(box) && IsWindowVisible(box) && GetTickCount() - start < ms) {
        MSG msg;
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(msg.wParam));   // keep it for the main loop
                break;
            }
            if (!IsDialogMessageA(box, &msg)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        } else {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
    }
    if (IsWindow(box)) DestroyWindow(box);
}

void UTIL_CloseInfo(HWND box)
{
    if (box && IsWindow(box)) DestroyWindow(box);
}

// -- file dialogs -----------------------------------------------------------------
namespace {
struct {
    OPENFILENAMEA record{};
    DWORD filterIndex = 1;
    std::string defaultExt;
    char title[260] = {};
    char initialFolder[500] = {};
} g_files;   // GUI thread only; shared by every file dialog

void FillRecord(char* path, const char* filters, HWND owner)
{
    OPENFILENAMEA& r = g_files.record;
    r = OPENFILENAMEA{};
    r.lStructSize = sizeof r;
    r.hwndOwner = owner;
    r.lpstrFilter = filters;
    r.nFilterIndex = g_files.filterIndex;
    r.lpstrFile = path;
    r.nMaxFile = 500;
    r.lpstrFileTitle = g_files.title;
    r.nMaxFileTitle = sizeof g_files.title;
    r.lpstrInitialDir = g_files.initialFolder[0] ? g_files.initialFolder : nullptr;
    r.Flags = OFN_EXPLORER | OFN_ENABLESIZING | OFN_HIDEREADONLY;
}

void FollowFilter(HWND dialog, const char* filters, DWORD index)
{
    g_files.defaultExt = UTIL_FilterExtension(filters, static_cast<int>(index));
    char name[500] = {};
    // The explorer dialog's file-name field (edt1 or the combo cmb13).
    HWND parent = GetParent(dialog);
    if (SendMessageA(parent, CDM_GETSPEC, sizeof name, reinterpret_cast<LPARAM>(name)) < 0) return;
    const std::string next = UTIL_ApplyExtension(name, g_files.defaultExt);
    SendMessageA(parent, CDM_SETCONTROLTEXT, 0x047c /* cmb13 */, reinterpret_cast<LPARAM>(next.c_str()));
    SendMessageA(parent, CDM_SETCONTROLTEXT, 0x0480 /* edt1 */, reinterpret_cast<LPARAM>(next.c_str()));
    SendMessageA(parent, CDM_SETDEFEXT, 0, reinterpret_cast<LPARAM>(g_files.defaultExt.c_str()));
}

UINT_PTR CALLBACK SaveHook(HWND dialog, UINT msg, WPARAM, LPARAM lParam)
{
    if (msg == WM_NOTIFY) {
        auto* n = reinterpret_cast<OFNOTIFYA*>(lParam);
        if (n->hdr.code == CDN_INITDONE || n->hdr.code == CDN_TYPECHANGE)
            FollowFilter(dialog, n->lpOFN->lpstrFilter, n->lpOFN->nFilterIndex);
    }
    return 0;
}
}  // namespace

bool UTIL_OpenFileDialog(char* path, const char* filters, HWND owner)
{
    FillRecord(path, filters, owner);
    const bool ok = GetOpenFileNameA(&g_files.record) != 0;
    if (g_files.record.nFilterIndex != 0) g_files.filterIndex = g_files.record.nFilterIndex;
    return ok;
}

bool UTIL_SaveFileDialog(char* path, const char* filters, HWND owner)
{
    FillRecord(path, filters, owner);
    g_files.defaultExt = UTIL_FilterExtension(filters, static_cast<int>(g_files.filterIndex));
    const UtilPathParts parts = UTIL_SplitPath(path);
    if (!g_files.defaultExt.empty() && !parts.name.empty()) {
        const std::string renamed = parts.drive + parts.folder + parts.name + "." + g_files.defaultExt;
        if (renamed.size() < 500) std::memcpy(path, renamed.c_str(), renamed.size() + 1);
    }
    g_files.record.lpstrDefExt = g_files.defaultExt.c_str();
    g_files.record.Flags |= OFN_ENABLEHOOK;
    g_files.record.lpfnHook = SaveHook;
    const bool ok = GetSaveFileNameA(&g_files.record) != 0;
    if (g_files.record.nFilterIndex != 0) g_files.filterIndex = g_files.record.nFilterIndex;
    if (ok) {
        const UtilPathParts chosen = UTIL_SplitPath(path);
        const std::string folder = chosen.drive + chosen.folder;
        if (folder.size() < sizeof g_files.initialFolder)
            std::memcpy(g_files.initialFolder, folder.c_str(), folder.size() + 1);
    }
    return ok;
}
