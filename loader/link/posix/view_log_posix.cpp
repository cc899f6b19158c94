// The native application log: the same buffer the log view shows, without a
// window, so that native tests and tools can read what would be logged.
#include "link/log_buffer.h"
#include "link/posix/view_log_record.h"
#include "link/view_log.h"

namespace {
LogBuffer g_log;
}

void ViewLog_Print(const char* text) { ViewLog_BufferAppend(g_log, text); }

std::string ViewLog_RecordedText()
{
    std::lock_guard<std::mutex> hold(g_log.lock);
    return std::string(g_log.text.data(), g_log.length);
}

void ViewLog_RecordClear() { ViewLog_BufferClear(g_log); }
