#pragma once
// The few platform services of the link worker: the GUI thread's wait for the
// end of a job (a message loop in the program) and the worker's wake-up of it.
#include <atomic>
#include <cstdint>

#include "shell/app.h"

// GUI thread: serves the thread's messages until `code` reads 0.
void LINK_PlatformWaitJob(const std::atomic<uint8_t>& code);
// Worker: the job code just went to 0.
void LINK_PlatformJobEnded();
// The owner of the progress dialog.
AppWindow LINK_PlatformMainWindow();
