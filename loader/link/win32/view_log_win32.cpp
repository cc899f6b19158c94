// The log view. The text lives in a LogBuffer that any thread appends to;
// a 125 ms timer copies it into a read-only edit control when it changed.
#include "link/win32/view_log_win.h"

#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>

#include "link/log_buffer.h"
#include "link/view_log.h"
#include "shell/win32/resource_ids.h"

namespace {

constexpr int kEditId = 100;
constexpr UINT_PTR kTimerId = 0;

// The record attached to a log window. The buffer is shared, so that a
// worker that is appending while the user closes the window keeps it alive
// until its append is done.
struct LogRecord {
    std::shared_ptr<LogBuffer> buffer;
};

struct {
    bool registered = false;
    bool shutDown = false;
    std::mutex lock;                      // guards appLog and appBuffer, read from any thread
    HWND appLog = nullptr;
    std::shared_ptr<LogBuffer> appBuffer;
} g_log;

void ShutDown() { g_log.shutDown = true; }

LogRecord* RecordOf(HWND w) { return reinterpret_cast<LogRecord*>(GetWindowLongPtrA(w, GWLP_USERDATA)); }

bool IsMdiChild(HWND w) { return (GetWindowLongPtrA(w, GWL_EXSTYLE) & WS_EX_MDICHILD) != 0; }

LRESULT Default(HWND w, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return IsMdiChild(w) ? DefMDIChildProcA(w, msg, wParam, lParam) : DefWindowProcA(w, msg, wParam, lParam);
}

void Refresh(HWND w)
{
    LogRecord* r = RecordOf(w);
    if (!r) return;
    std::string text;
    if (!ViewLog_BufferTake(*r->buffer, text)) return;
    HWND edit = GetDlgItem(w, kEditId);
    SetWindowTextA(edit, text.c_str());
    SendMessageA(edit, EM_SETSEL, text.size(), text.size());
    SendMessageA(edit, EM_SCROLLCARET, 0, 0);
}

void KeepMinimum(WPARAM edge, RECT* r)
{
    if (r->right - r->left < 160) {
        if (edge == WMSZ_LEFT || edge == WMSZ_TOPLEFT || edge == WMSZ_BOTTOMLEFT) r->left = r->right - 160;
        else r->right = r->left + 160;
    }
    if (r->bottom - r->top < 72) {
        if (edge == WMSZ_TOP || edge == WMSZ_TOPLEFT || edge == WMSZ_TOPRIGHT) r->top = r->bottom - 72;
        else r->bottom = r->top + 72;
    }
}

LRESULT CALLBACK ViewLogProc(HWND w, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_CREATE: {
        auto* cs = reinterpret_cast<CREATESTRUCTA*>(lParam);
        LPARAM param = reinterpret_cast<LPARAM>(cs->lpCreateParams);
        if (cs->dwExStyle & WS_EX_MDICHILD) param = reinterpret_cast<MDICREATESTRUCTA*>(cs->lpCreateParams)->lParam;
        SetWindowLongPtrA(w, GWLP_USERDATA, param);
        HWND edit = CreateWindowExA((cs->dwExStyle & WS_EX_MDICHILD) ? 0 : WS_EX_CLIENTEDGE, "EDIT", "",
                                    WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_VSCROLL | WS_HSCROLL |
                                        ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_READONLY | ES_WANTRETURN,
                                    0, 0, 100, 100, w, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kEditId)),
                                    GetModuleHandleA(nullptr), nullptr);
        SendMessageA(edit, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
        // The edit control's own limit is far below what the buffer holds.
        SendMessageA(edit, EM_SETLIMITTEXT, LOG_BUFFER_SIZE, 0);
        SetTimer(w, kTimerId, 125, nullptr);
        break;
    }
    case WM_SIZE:
        MoveWindow(GetDlgItem(w, kEditId), 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        break;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(w, &ps);
        EndPaint(w, &ps);
        return 0;
    }
    case WM_TIMER:
        Refresh(w);
        break;
    case WM_SIZING:
        KeepMinimum(wParam, reinterpret_cast<RECT*>(lParam));
        break;
    case WM_CLOSE: {
        KillTimer(w, kTimerId);
        LogRecord* r = RecordOf(w);
        SetWindowLongPtrA(w, GWLP_USERDATA, 0);
        {
            std::lock_guard<std::mutex> hold(g_log.lock);
            if (g_log.appLog == w) {
                g_log.appLog = nullptr;
                g_log.appBuffer.reset();
            }
        }
        delete r;
        break;
    }
    case WM_NCDESTROY: {
        // Destroyed without a close (program end): release the record here.
        LogRecord* r = RecordOf(w);
        if (r) {
            SetWindowLongPtrA(w, GWLP_USERDATA, 0);
            std::lock_guard<std::mutex> hold(g_log.lock);
            if (g_log.appLog == w) {
                g_log.appLog = nullptr;
                g_log.appBuffer.reset();
            }
            delete r;
        }
        break;
    }
    default:
        break;
    }
    return Default(w, msg, wParam, lParam);
}

bool Register()
{
    if (g_log.shutDown) return false;
    if (g_log.registered) return true;
    HINSTANCE inst = GetModuleHandleA(nullptr);
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = ViewLogProc;
    wc.cbWndExtra = 20;
    wc.hInstance = inst;
    wc.hIcon = LoadIconA(inst, MAKEINTRESOURCEA(IDI_TAMRIN));
    wc.hIconSm = static_cast<HICON>(LoadImageA(inst, MAKEINTRESOURCEA(IDI_TAMRIN), IMAGE_ICON, 16, 16, 0));
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
    wc.lpszClassName = "ViewLog_FrameClass";
    if (!RegisterClassExA(&wc)) return false;
    g_log.registered = true;
    std::atexit(ShutDown);
    return true;
}

}  // namespace

HWND ViewLog_Create(HWND parent, const RECT* rect, const char* title, DWORD style, DWORD exStyle)
{
    if (!Register()) return nullptr;
    int x, y, cx, cy;
    if (rect) {
        x = rect->left;
        y = rect->top;
        cx = rect->right - rect->left;
        cy = rect->bottom - rect->top;
    } else {
        RECT c{};
        GetClientRect(parent, &c);
        x = c.right - 350;
        y = c.bottom - 150;
        cx = 350;
        cy = 150;
    }
    auto* record = new LogRecord{std::make_shared<LogBuffer>()};
    HWND w = CreateWindowExA(exStyle, "ViewLog_FrameClass", title ? title : "",
                             style | WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, x, y, cx, cy,
                             parent, nullptr, GetModuleHandleA(nullptr), record);
    if (!w) {
        delete record;
        return nullptr;
    }
    SetFocus(w);
    return w;
}

HWND ViewLog_CreateMdi(HWND mdiClient, const RECT* rect, const char* title)
{
    HWND w = ViewLog_Create(mdiClient, rect, title, WS_OVERLAPPEDWINDOW, WS_EX_MDICHILD);
    if (w) {
        LogRecord* r = RecordOf(w);
        std::lock_guard<std::mutex> hold(g_log.lock);
        g_log.appLog = w;
        g_log.appBuffer = r ? r->buffer : nullptr;
    }
    return w;
}

HWND ViewLog_PrintTo(HWND window, const char* text)
{
    std::shared_ptr<LogBuffer> buffer;
    if (!window) {
        std::lock_guard<std::mutex> hold(g_log.lock);
        window = g_log.appLog;
        buffer = g_log.appBuffer;
    } else if (LogRecord* r = RecordOf(window)) {
        buffer = r->buffer;   // a given window is the GUI thread's own
    }
    if (!window || !text || !buffer) return window;
    ViewLog_BufferAppend(*buffer, text);
    return window;
}

void ViewLog_Print(const char* text) { ViewLog_PrintTo(nullptr, text); }
