#pragma once
// The progress dialog shown while a target job runs. The GUI thread opens,
// titles and closes it; the link worker moves the bar (SetRange, SetPos).
// One implementation per platform: a modeless dialog in the program, a
// recorder in the native tests (posix/progress_record.h).
#include <cstdint>
#include <mutex>

#include "shell/app.h"

enum : uint32_t {
    PROGRESS_RIGHT_PERCENT = 0x01,
    PROGRESS_CENTRE_PERCENT = 0x02,
    PROGRESS_RIGHT_MESSAGE = 0x04,
    PROGRESS_CENTRE_MESSAGE = 0x08,
    PROGRESS_RIGHT_DETAIL = 0x20,
    PROGRESS_CENTRE_DETAIL = 0x40,
    PROGRESS_WITH_CANCEL = 0x80,
};

using ProgressCancelFn = void (*)();

int PROGRESS_Open(AppWindow parent, const char* title, const char* text, uint32_t flags);
void PROGRESS_Close();
int PROGRESS_IsOpen();
void PROGRESS_SetTitle(const char* text);
void PROGRESS_SetText(const char* text);
void PROGRESS_SetRange(int32_t minimum, int32_t maximum);
int32_t PROGRESS_SetPos(int32_t position);
void PROGRESS_SetCancelCallback(ProgressCancelFn fn);

// The bar's numbers, shared by both implementations. `lock` guards the
// fields: the worker moves the bar while the GUI thread may cancel.
struct ProgressBarState {
    std::mutex lock;
    ProgressCancelFn cancel = nullptr;   // GUI thread
    int32_t minimum = 0;                 // worker (SetRange)
    int32_t maximum = 100;
    int32_t position = 0;                // worker (SetPos)
    uint32_t flags = 0;                  // fixed at opening
};

// Range change; false (nothing changed) when maximum is below minimum.
bool PROGRESS_ApplyRange(ProgressBarState& s, int32_t minimum, int32_t maximum);
// Clamps and stores the position; returns the previous one and the
// percentage to show (64-bit arithmetic, truncated; 0 for an empty range).
int32_t PROGRESS_ApplyPos(ProgressBarState& s, int32_t position, int* percent);
// Calls the cancel callback, if any, with the lock held.
void PROGRESS_ApplyCancel(ProgressBarState& s);
