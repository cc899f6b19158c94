// Help > About: the program's picture, title, build time and legal notice.
#include <string>

#include "shell/win32/app_win.h"
#include "shell/win32/resource_ids.h"
#include "shell/win32/util_win.h"

namespace {

struct AboutTexts {
    const char* title;
    const char* second;
    const char* notice;
};

// "Compiled 10:42:07 on Sep 6 2013": the compiler pads one-digit days with a blank.
std::string BuildLine()
{
    std::string date = __DATE__;
    const size_t twice = date.find("  ");
    if (twice != std::string::npos) date.erase(twice, 1);
    return std::string("Compiled ") + __TIME__ + " on " + date;
}

INT_PTR CALLBACK AboutProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG: {
        const auto* t = reinterpret_cast<const AboutTexts*>(lParam);
        UTIL_CenterWindow(GetParent(dlg), dlg, 288, 269);
        SetWindowTextA(dlg, "About");
        HWND pic = UTIL_CreateControl(dlg, "STATIC", "", 11, 11, 100, 100, 100, SS_BITMAP, 0);
        HBITMAP bmp = LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_ABOUT));
        if (bmp) SendMessageA(pic, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bmp));
        UTIL_CreateControl(dlg, "STATIC", t->title, 11, 84, 260, 15, 101, 0, 0);
        UTIL_CreateControl(dlg, "STATIC", BuildLine().c_str(), 11, 97, 260, 15, 104, 0, 0);
        UTIL_CreateControl(dlg, "STATIC", t->second, 11, 110, 260, 15, 102, 0, 0);
        UTIL_CreateControl(dlg, "BUTTON", "", 11, 119, 261, 113, 0, BS_GROUPBOX, 0);
        UTIL_CreateControl(dlg, "EDIT", t->notice, 11, 125, 261, 107, 103,
                           ES_READONLY | ES_MULTILINE | ES_CENTER | WS_VSCROLL, WS_EX_CLIENTEDGE);
        HWND ok = UTIL_CreateControl(dlg, "BUTTON", "OK", 202, 29, 70, 23, IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, 0);
        SetFocus(ok);
        return FALSE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            HWND pic = GetDlgItem(dlg, 100);
            HBITMAP bmp = reinterpret_cast<HBITMAP>(SendMessageA(pic, STM_GETIMAGE, IMAGE_BITMAP, 0));
            EndDialog(dlg, 0);
            if (bmp) DeleteObject(bmp);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

}  // namespace

void APP_ShowAbout(HWND owner, const char* titleLine, const char* secondLine, const char* notice)
{
    AboutTexts t{titleLine ? titleLine : "", secondLine ? secondLine : "", notice ? notice : ""};
    DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_BLANK), owner, AboutProc,
                    reinterpret_cast<LPARAM>(&t));
}
