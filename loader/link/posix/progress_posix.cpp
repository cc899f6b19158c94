// Native stand-in of the progress dialog: keeps the bar numbers exactly as the
// dialog does and records every call, so tests see what a user would see.
#include <memory>
#include <mutex>

#include "link/posix/progress_record.h"
#include "link/progress.h"

namespace {

struct Recorder {
    std::mutex lock;                          // guards everything below
    std::vector<ProgressRecordedCall> calls;
    int open_count = 0;
    bool open = false;
    int cancel_at = 0;
    int pos_calls = 0;
};

Recorder& Rec()
{
    static Recorder r;
    return r;
}

// Lives while the stand-in dialog is open, like the dialog's record.
ProgressBarState& Bar()
{
    static ProgressBarState s;
    return s;
}

void Add(const char* op, const char* text, int32_t a, int32_t b)
{
    ProgressRecordedCall c;
    c.op = op;
    if (text)
        c.text = text;
    c.a = a;
    c.b = b;
    Rec().calls.push_back(c);
}

}  // namespace

int PROGRESS_Open(AppWindow, const char* title, const char* text, uint32_t flags)
{
    Recorder& r = Rec();
    std::lock_guard<std::mutex> hold(r.lock);
    if (r.open_count++ == 0) {
        ProgressBarState& s = Bar();
        {
            std::lock_guard<std::mutex> bar(s.lock);
            s.minimum = 0;
            s.maximum = 100;
            s.position = 0;
            s.flags = flags;
            s.cancel = nullptr;
        }
        r.open = true;
        r.pos_calls = 0;
        Add("open", title, static_cast<int32_t>(flags), 0);
        Add("text", text, 0, 0);
    }
    return r.open ? 1 : 0;
}

void PROGRESS_Close()
{
    Recorder& r = Rec();
    std::lock_guard<std::mutex> hold(r.lock);
    if (r.open_count <= 0)
        return;
    if (r.open) {
        r.open = false;
        Add("close", nullptr, 0, 0);
    }
    --r.open_count;
}

int PROGRESS_IsOpen()
{
    Recorder& r = Rec();
    std::lock_guard<std::mutex> hold(r.lock);
    return r.open ? 1 : 0;
}

void PROGRESS_SetTitle(const char* text)
{
    Recorder& r = Rec();
    std::lock_guard<std::mutex> hold(r.lock);
    if (r.open)
        Add("title", text, 0, 0);
}

void PROGRESS_SetText(const char* text)
{
    Recorder& r = Rec();
    std::lock_guard<std::mutex> hold(r.lock);
    if (r.open)
        Add("text", text, 0, 0);
}

void PROGRESS_SetRange(int32_t minimum, int32_t maximum)
{
    Recorder& r = Rec();
    std::lock_guard<std::mutex> hold(r.lock);
    if (r.open && PROGRESS_ApplyRange(Bar(), minimum, maximum))
        Add("range", nullptr, minimum, maximum);
}

int32_t PROGRESS_SetPos(int32_t position)
{
    Recorder& r = Rec();
    bool press = false;
    int32_t old = 0;
    {
        std::lock_guard<std::mutex> hold(r.lock);
        if (!r.open)
            return 0;
        int percent = 0;
        old = PROGRESS_ApplyPos(Bar(), position, &percent);
        Add("pos", nullptr, position, percent);
        press = r.cancel_at > 0 && ++r.pos_calls == r.cancel_at;
    }
    if (press)
        PROGRESS_ApplyCancel(Bar());
    return old;
}

void PROGRESS_SetCancelCallback(ProgressCancelFn fn)
{
    Recorder& r = Rec();
    std::lock_guard<std::mutex> hold(r.lock);
    if (!r.open)
        return;
    std::lock_guard<std::mutex> bar(Bar().lock);
    Bar().cancel = fn;
    Add("cancelfn", nullptr, fn != nullptr, 0);
}

std::vector<ProgressRecordedCall> PROGRESS_RecordedCalls()
{
    Recorder& r = Rec();
    std::lock_guard<std::mutex> hold(r.lock);
    return r.calls;
}

void PROGRESS_RecordClear()
{
    Recorder& r = Rec();
    std::lock_guard<std::mutex> hold(r.lock);
    r.calls.clear();
    r.open_count = 0;
    r.open = false;
    r.cancel_at = 0;
    r.pos_calls = 0;
}

void PROGRESS_RecordCancelAtPos(int n)
{
    Recorder& r = Rec();
    std::lock_guard<std::mutex> hold(r.lock);
    r.cancel_at = n;
}

void PROGRESS_RecordPressCancel()
{
    PROGRESS_ApplyCancel(Bar());
}
