#include "link/progress.h"

bool PROGRESS_ApplyRange(ProgressBarState& s, int32_t minimum, int32_t maximum)
{
    if (maximum < minimum)
        return false;
    std::lock_guard<std::mutex> hold(s.lock);
    s.position = minimum;
    s.minimum = minimum;
    s.maximum = maximum;
    return true;
}

int32_t PROGRESS_ApplyPos(ProgressBarState& s, int32_t position, int* percent)
{
    std::lock_guard<std::mutex> hold(s.lock);
    if (position < s.minimum)
        position = s.minimum;
    if (position > s.maximum)
        position = s.maximum;
    int32_t old = s.position;
    s.position = position;
    if (s.maximum == s.minimum)
        *percent = 0;
    else
        *percent = static_cast<int>((static_cast<int64_t>(position) - s.minimum) * 100 /
                                    (static_cast<int64_t>(s.maximum) - s.minimum));
    return old;
}

void PROGRESS_ApplyCancel(ProgressBarState& s)
{
    std::lock_guard<std::mutex> hold(s.lock);
    if (s.cancel)
        s.cancel();
}
