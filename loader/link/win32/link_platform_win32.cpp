// The GUI thread's wait for the end of a job: a message loop that also serves
// the worker's synchronous calls into the progress dialog. The worker posts a
// thread message when the job ends, so the loop notices at once.
#include <windows.h>

#include "link/link_platform.h"
#include "shell/win32/app_win.h"

namespace {
std::atomic<DWORD> g_waiting_thread{0};
}

void LINK_PlatformWaitJob(const std::atomic<uint8_t>& code)
{
    g_waiting_thread.store(GetCurrentThreadId());
    bool quit = false;
    WPARAM quit_code = 0;
    while (code.load(std::memory_order_acquire) != 0) {
        MSG msg;
        if (quit) {
            // After WM_QUIT keep serving sent messages until the worker is done.
            PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
            Sleep(1);
            continue;
        }
        BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            quit = true;
            quit_code = got == 0 ? msg.wParam : 0;
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    g_waiting_thread.store(0);
    if (quit)
        PostQuitMessage(static_cast<int>(quit_code));
}

void LINK_PlatformJobEnded()
{
    DWORD tid = g_waiting_thread.load();
    if (tid != 0)
        PostThreadMessageA(tid, WM_NULL, 0, 0);
}

AppWindow LINK_PlatformMainWindow() { return g_appState.mainWindow; }
