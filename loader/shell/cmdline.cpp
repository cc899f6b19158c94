// The command-line module. So far it holds the command list's active flag;
// the option tables, the queue and the exit command are added with the
// command-line options.
#include <atomic>

#include "shell/cmdline.h"
#include "shell/cmdline_state.h"

namespace {

struct {
    // Written by the GUI thread; read by APP_Error and APP_Notify, which the
    // link worker's reports reach as well.
    std::atomic<bool> active{false};
} g_cmdline;

}  // namespace

bool CMDLINE_IsActive() { return g_cmdline.active.load(); }

void CMDLINE_SetActive(bool active) { g_cmdline.active.store(active); }

void CMDLINE_Stop()
{
    g_cmdline.active.store(false);
    // The queued exit command runs here once the queue exists.
}
