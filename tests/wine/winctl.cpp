// winctl: looks into and pokes at the windows of another program under Wine.
//
//   winctl wait TITLE [MS]        wait until a top-level window TITLE exists
//   winctl gone TITLE [MS]        wait until no top-level window TITLE exists
//   winctl close TITLE            post WM_CLOSE to it
//   winctl command TITLE ID       post WM_COMMAND ID (as a menu command)
//   winctl key TITLE VK [alt|ctrl] post a key press (accelerators see it)
//   winctl tree TITLE             print its child windows, one per line:
//                                 depth<TAB>class<TAB>text<TAB>visible<TAB>x,y,w,h
//   winctl menu TITLE             print its menu bar: depth<TAB>id<TAB>flags<TAB>text
//   winctl client TITLE           print the size of its client area: W,H
//   winctl rect TITLE             print its window rectangle: X,Y,W,H
//   winctl titles                 print the titles of all visible top-level windows
//   winctl resmenu EXE ID         print menu resource ID of EXE as `menu` does
//   winctl hasmenu TITLE          exit status 0 when the window has a menu bar
//   winctl comwrite PORT TEXT     open PORT (e.g. COM5) and write TEXT to it
//
// Exit status 0 on success, 1 when the window is not found, 2 on bad usage.
// Texts are printed with CR and LF escaped as \r and \n so one line stays one line.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string Escape(const std::string& s)
{
    std::string out;
    for (char c : s) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '\t') out += "\\t";
        else out += c;
    }
    return out;
}

std::string WindowText(HWND w)
{
    // WM_GETTEXT is marshalled across processes; GetWindowText is not for controls.
    DWORD_PTR len = 0;
    if (!SendMessageTimeoutA(w, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &len)) return {};
    std::string text(len + 1, '\0');
    DWORD_PTR got = 0;
    SendMessageTimeoutA(w, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]),
                        SMTO_ABORTIFHUNG, 2000, &got);
    text.resize(got);
    return text;
}

HWND FindTop(const char* title, DWORD ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        HWND w = FindWindowA(nullptr, title);
        if (w || GetTickCount() - start >= ms) return w;
        Sleep(50);
    }
}

void PrintTree(HWND parent, int depth)
{
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        char cls[128] = "";
        GetClassNameA(c, cls, sizeof cls);
        RECT r{};
        GetWindowRect(c, &r);
        MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
        std::string text = WindowText(c);
        // A status bar answers WM_GETTEXT with the text of its part 0. Its
        // SB_GETTEXT is not marshalled between processes: the foreign
        // buffer address would be written inside the program under test.
        std::printf("%d\t%s\t%s\t%d\t%ld,%ld,%ld,%ld\n", depth, cls, Escape(text).c_str(),
                    IsWindowVisible(c) ? 1 : 0, r.left, r.top, r.right - r.left, r.bottom - r.top);
        PrintTree(c, depth + 1);
    }
}

void PrintMenu(HMENU menu, int depth)
{
    int n = GetMenuItemCount(menu);
    for (int i = 0; i < n; ++i) {
        char text[256] = "";
        MENUITEMINFOA mi{};
        mi.cbSize = sizeof mi;
        mi.fMask = MIIM_ID | MIIM_STATE | MIIM_SUBMENU | MIIM_FTYPE | MIIM_STRING;
        mi.dwTypeData = text;
        mi.cch = sizeof text;
        if (!GetMenuItemInfoA(menu, i, TRUE, &mi)) continue;
        const char* kind = (mi.fType & MFT_SEPARATOR) ? "separator" : mi.hSubMenu ? "popup" : "item";
        std::printf("%d\t%u\t%s%s\t%s\n", depth, mi.wID, kind,
                    (mi.fState & MFS_GRAYED) ? ",grayed" : "", Escape(text).c_str());
        if (mi.hSubMenu) PrintMenu(mi.hSubMenu, depth + 1);
    }
}

BOOL CALLBACK PrintTitle(HWND w, LPARAM)
{
    if (IsWindowVisible(w)) {
        std::string t = WindowText(w);
        if (!t.empty()) std::printf("%s\n", Escape(t).c_str());
    }
    return TRUE;
}

int Usage()
{
    std::fprintf(stderr, "usage: winctl wait|gone|close|command|key|tree|menu TITLE [ARG], or winctl titles\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "titles") == 0) {
        EnumWindows(PrintTitle, 0);
        return 0;
    }
    if (argc == 4 && std::strcmp(argv[1], "comwrite") == 0) {
        std::string path = std::string("\\\\.\\") + argv[2];
        HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            std::fprintf(stderr, "winctl: cannot open %s (error %lu)\n", path.c_str(), GetLastError());
            return 1;
        }
        DWORD done = 0;
        BOOL ok = WriteFile(h, argv[3], static_cast<DWORD>(std::strlen(argv[3])), &done, nullptr);
        CloseHandle(h);
        return ok && done == std::strlen(argv[3]) ? 0 : 1;
    }
    if (argc == 4 && std::strcmp(argv[1], "resmenu") == 0) {
        // Wine keeps menus inside their process, so the menu bar of another
        // program cannot be walked; its resource can.
        HMODULE m = LoadLibraryExA(argv[2], nullptr, LOAD_LIBRARY_AS_DATAFILE);
        if (!m) return 1;
        HMENU menu = LoadMenuA(m, MAKEINTRESOURCEA(std::atoi(argv[3])));
        if (!menu) return 1;
        PrintMenu(menu, 0);
        return 0;
    }
    if (argc < 3) return Usage();
    const std::string cmd = argv[1];
    const char* title = argv[2];

    if (cmd == "gone") {
        DWORD ms = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 10000;
        DWORD start = GetTickCount();
        while (FindWindowA(nullptr, title)) {
            if (GetTickCount() - start >= ms) return 1;
            Sleep(50);
        }
        return 0;
    }

    DWORD wait = (cmd == "wait" && argc > 3) ? std::strtoul(argv[3], nullptr, 10) : 0;
    HWND w = FindTop(title, cmd == "wait" ? (argc > 3 ? wait : 10000) : 2000);
    if (!w) {
        std::fprintf(stderr, "winctl: no window titled \"%s\"\n", title);
        return 1;
    }
    if (cmd == "wait") return 0;
    if (cmd == "close") return PostMessageA(w, WM_CLOSE, 0, 0) ? 0 : 1;
    if (cmd == "command" && argc > 3)
        return PostMessageA(w, WM_COMMAND, MAKEWPARAM(std::atoi(argv[3]), 0), 0) ? 0 : 1;
    if (cmd == "key" && argc > 3) {
        WPARAM vk = std::strtoul(argv[3], nullptr, 0);
        bool alt = argc > 4 && std::strcmp(argv[4], "alt") == 0;
        if (alt) {
            PostMessageA(w, WM_SYSKEYDOWN, vk, 1 | (1u << 29));
            PostMessageA(w, WM_SYSKEYUP, vk, 1 | (1u << 29) | (3u << 30));
        } else {
            PostMessageA(w, WM_KEYDOWN, vk, 1);
            PostMessageA(w, WM_KEYUP, vk, 1 | (3u << 30));
        }
        return 0;
    }
    if (cmd == "client") {
        RECT r{};
        GetClientRect(w, &r);
        std::printf("%ld,%ld\n", r.right - r.left, r.bottom - r.top);
        return 0;
    }
    if (cmd == "rect") {
        RECT r{};
        GetWindowRect(w, &r);
        std::printf("%ld,%ld,%ld,%ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
        return 0;
    }
    if (cmd == "tree") {
        PrintTree(w, 0);
        return 0;
    }
    if (cmd == "hasmenu") return GetMenu(w) ? 0 : 1;
    if (cmd == "menu") {
        HMENU m = GetMenu(w);
        if (!m) return 1;
        PrintMenu(m, 0);
        return 0;
    }
    return Usage();
}
