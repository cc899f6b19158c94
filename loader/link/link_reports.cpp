// The report operations of the target jobs: start the job, wait for it, and
// tell the user how it ended. GUI thread only.
#include <cstdio>

#include "link/link_platform.h"
#include "link/link_state.h"
#include "link/progress.h"
#include "link/view_log.h"
#include "shell/app.h"
#include "shell/cmdline.h"

namespace {

constexpr unsigned kPlainOkBox = 0;   // MB_OK

// Whether the last LINK_RunJob really ran a job.
bool g_ran = false;

// The result of the job just waited for. A job that could not start (no
// target) is reported as an error rather than with a stale earlier result.
int Result()
{
    return g_ran ? static_cast<int>(LINK_State().job_result) : static_cast<int>(LINK_RESULT_ERROR);
}

struct ReportTexts {
    const char* success_log;
    const char* success_box;
    const char* failure_log;
    const char* failure_fmt;   // null: the job has no failure report
};

int Finish(int interactive, const char* title, const ReportTexts& t, uint32_t a, uint32_t b)
{
    int result = Result();
    if (result == LINK_RESULT_OK) {
        ViewLog_Print(t.success_log);
        if (interactive)
            APP_Notify(LINK_PlatformMainWindow(), t.success_box, title, kPlainOkBox);
    } else if (result == LINK_RESULT_FAILED && t.failure_log) {
        ViewLog_Print(t.failure_log);
        if (interactive) {
            char text[200];
            std::snprintf(text, sizeof text, t.failure_fmt, a, b);
            APP_Error(text);
        }
    }
    LINK_ReportEnd(interactive);
    return result;
}

int SimpleJob(int interactive, uint8_t code, const char* title, const char* text, uint32_t flags,
              const ReportTexts& t, bool value_first_masked)
{
    LINK_RunJob(code, title, text, flags);
    const LinkJobState& job = LINK_State().job;
    uint32_t value = static_cast<uint32_t>(job.value);
    if (value_first_masked)
        value &= 0xFF;
    return Finish(interactive, title, t, value, job.address);
}

}  // namespace

void LINK_CancelCallback() { LINK_State().cancel.store(1); }

int LINK_GetJobResult() { return LINK_State().job_result; }

void LINK_RunJob(uint8_t code, const char* title, const char* text, uint32_t flags)
{
    g_ran = false;
    if (!LINK_IsConnected())
        return;
    char line[300];
    std::snprintf(line, sizeof line, "%s started\r\n", title);
    ViewLog_Print(line);
    PROGRESS_Open(LINK_PlatformMainWindow(), title, text, flags);
    PROGRESS_SetCancelCallback(LINK_CancelCallback);
    LinkState& s = LINK_State();
    s.job_code.store(code, std::memory_order_release);
    LINK_PlatformWaitJob(s.job_code);
    PROGRESS_Close();
    g_ran = true;
}

int LINK_ReportEnd(int interactive)
{
    int result = Result();
    if (result == LINK_RESULT_ERROR) {
        ViewLog_Print("Error during job\r\n");
        if (interactive)
            APP_Error("Could not execute command");
    } else if (result == LINK_RESULT_CANCELLED) {
        ViewLog_Print("Job has been cancelled\r\n");
        if (interactive)
            APP_Error("Job has been cancelled\r\n");
        CMDLINE_Stop();
    }
    return result;
}

int LINK_CheckBlank(int interactive)
{
    static const ReportTexts t = {"Check blank succeed\r\n", "Target is blank", "Check blank failed\r\n",
                                  "Target not blank, %X at address %X"};
    return SimpleJob(interactive, LINK_JOB_CHECK_BLANK, "Check blank", "Status", 0, t, true);
}

int LINK_Clear(int interactive)
{
    static const ReportTexts t = {"Clear target succeed\r\n", "Target is blank", "Clear target failed\r\n",
                                  "Target not blank, %X at address %X"};
    return SimpleJob(interactive, LINK_JOB_CLEAR, "Clear target", "Status", 0, t, true);
}

uint32_t LINK_GetCrc(int interactive)
{
    LINK_RunJob(LINK_JOB_GET_CRC, "Get CRC", "Status", 0);
    TargetInfo info;
    LINK_GetTargetInfo(&info);
    uint32_t crc = info.connected ? info.target_crc : LINK_CRC_UNKNOWN;
    if (Result() == LINK_RESULT_OK) {
        char text[64];
        std::snprintf(text, sizeof text, "Target CRC is %X\r\n", crc);
        ViewLog_Print(text);
        if (interactive)
            APP_Notify(LINK_PlatformMainWindow(), text, "Get CRC", kPlainOkBox);
    }
    LINK_ReportEnd(interactive);
    return crc;
}

int LINK_Program(int interactive, void* image)
{
    static const ReportTexts t = {"Programming target succeed\r\n", "Target programmed",
                                  "Programming target failed\r\n", "Error occured: %X on address %X"};
    LINK_State().job_image = image;
    return SimpleJob(interactive, LINK_JOB_PROGRAM, "Programming target", "Status", PROGRESS_WITH_CANCEL, t,
                     false);
}

int LINK_VerifyLoaded(int interactive, void* image)
{
    static const ReportTexts t = {"Verify loaded program succeed\r\n", "All program bytes verified",
                                  "Verify loaded program failed\r\n", "Verify error, %X at %X"};
    LINK_State().job_image = image;
    return SimpleJob(interactive, LINK_JOB_VERIFY_LOADED, "Verify loaded program", "Status:",
                     PROGRESS_WITH_CANCEL, t, false);
}

int LINK_VerifyAll(int interactive, void* image)
{
    static const ReportTexts t = {"Verify all bytes succeed\r\n", "All bytes verified",
                                  "Verify all bytes failed\r\n", "Verify error, %X at %X"};
    LINK_State().job_image = image;
    return SimpleJob(interactive, LINK_JOB_VERIFY_ALL, "Verify all bytes", "Status:", PROGRESS_WITH_CANCEL,
                     t, false);
}

void* LINK_ReadBack(int interactive, uint32_t start, uint32_t count)
{
    static const ReportTexts t = {"Read back succeed\r\n", "Success", nullptr, nullptr};
    char title[80];
    std::snprintf(title, sizeof title, "Read back from 0x%X to 0x%X", start, start + count - 1);
    LinkState& s = LINK_State();
    s.job.address = start;
    s.job.count = static_cast<int32_t>(count);
    s.job_image = nullptr;
    LINK_RunJob(LINK_JOB_READ_BACK, title, "Status:", PROGRESS_WITH_CANCEL);
    Finish(interactive, title, t, 0, 0);
    return g_ran ? s.job_image : nullptr;
}

int LINK_StartApplication(int interactive)
{
    static const ReportTexts t = {"Start application succeed\r\n", "Application has been started", nullptr,
                                  nullptr};
    return SimpleJob(interactive, LINK_JOB_START_APP, "Start application", "Status:", 0, t, false);
}

int LINK_MakeValid(int interactive)
{
    static const ReportTexts t = {"Make valid succeed\r\n", "Target has been made valid", nullptr, nullptr};
    return SimpleJob(interactive, LINK_JOB_MAKE_VALID, "Make valid", "Status:", 0, t, false);
}
