// Native stand-ins of the shell's report boxes: they record instead of
// showing, so that tests of every subsystem can check what the user would see.
#include <atomic>
#include <mutex>

#include "shell/app.h"
#include "shell/cmdline.h"
#include "shell/posix/app_record.h"

namespace {

struct {
    std::mutex lock;   // guards the lists and the answer; reports may come from the worker
    std::vector<std::string> errors;
    std::vector<AppRecordedNotice> notices;
    int notifyResult = 1;
    std::atomic<int> runFailed{0};
} g_record;

}  // namespace

void APP_Error(const char* text)
{
    APP_SetRunFailed();
    {
        std::lock_guard<std::mutex> hold(g_record.lock);
        g_record.errors.emplace_back(text ? text : "");
    }
    if (CMDLINE_IsActive()) CMDLINE_Stop();
}

int APP_Notify(AppWindow, const char* text, const char* caption, unsigned style)
{
    if (CMDLINE_IsActive()) return 0;
    std::lock_guard<std::mutex> hold(g_record.lock);
    g_record.notices.push_back({text ? text : "", caption ? caption : "", style});
    return g_record.notifyResult;
}

int APP_GetRunFailed() { return g_record.runFailed.load(); }

void APP_SetRunFailed() { g_record.runFailed.store(1); }

std::vector<std::string> APP_RecordedErrors()
{
    std::lock_guard<std::mutex> hold(g_record.lock);
    return g_record.errors;
}

std::vector<AppRecordedNotice> APP_RecordedNotices()
{
    std::lock_guard<std::mutex> hold(g_record.lock);
    return g_record.notices;
}

void APP_RecordClear()
{
    std::lock_guard<std::mutex> hold(g_record.lock);
    g_record.errors.clear();
    g_record.notices.clear();
    g_record.notifyResult = 1;
    g_record.runFailed.store(0);
}

void APP_RecordSetNotifyResult(int result)
{
    std::lock_guard<std::mutex> hold(g_record.lock);
    g_record.notifyResult = result;
}
