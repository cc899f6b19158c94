// Native wait for the end of a job: a condition variable the worker signals,
// with a short re-check so a missed signal costs at most a millisecond.
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "link/link_platform.h"

namespace {
std::mutex g_lock;
std::condition_variable g_ended;
}  // namespace

void LINK_PlatformWaitJob(const std::atomic<uint8_t>& code)
{
    std::unique_lock<std::mutex> hold(g_lock);
    while (code.load(std::memory_order_acquire) != 0)
        g_ended.wait_for(hold, std::chrono::milliseconds(1));
}

void LINK_PlatformJobEnded()
{
    std::lock_guard<std::mutex> hold(g_lock);
    g_ended.notify_all();
}

AppWindow LINK_PlatformMainWindow() { return nullptr; }
