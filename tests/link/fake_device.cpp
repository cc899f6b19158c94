#include "fake_device.h"

namespace {
FakeDevice g_dev;
intptr_t g_next = 100;

int Open(const char* path, ComHandle* out) {
    g_dev.calls.push_back(std::string("open ") + path);
    if (!g_dev.present.count(path)) return 1;
    g_dev.opened.push_back(path);
    g_dev.open_handles++;
    *out = g_next++;
    return 0;
}
int Queues(ComHandle, uint32_t in, uint32_t out) {
    g_dev.calls.push_back("queues " + std::to_string(in) + " " + std::to_string(out));
    return g_dev.fail_queues ? 1 : 0;
}
int Timeouts(ComHandle, const ComTimeouts& t) {
    g_dev.calls.push_back("timeouts");
    if (g_dev.fail_timeouts) return 1;
    g_dev.timeouts.push_back(t);
    g_dev.current = t;
    return 0;
}
int State(ComHandle, const ComDcb& d) {
    g_dev.calls.push_back("state");
    g_dev.states.push_back(d);
    if (g_dev.refuse_states > 0) {
        g_dev.refuse_states--;
        return 1;
    }
    return 0;
}
int Write(ComHandle, const uint8_t* b, uint32_t n) {
    g_dev.calls.push_back("write");
    g_dev.written.insert(g_dev.written.end(), b, b + n);
    g_dev.write_sizes.push_back(n);
    return 0;
}
uint32_t Read(ComHandle, uint8_t* buf, uint32_t n) {
    g_dev.calls.push_back("read");
    g_dev.read_timeouts.push_back(g_dev.current.read_total_constant);
    uint32_t got = 0;
    while (got < n && !g_dev.input.empty()) {
        buf[got++] = g_dev.input.front();
        g_dev.input.pop_front();
    }
    return got;
}
void Close(ComHandle) {
    g_dev.calls.push_back("close");
    g_dev.open_handles--;
}
const ComDeviceOps kOps = {Open, Queues, Timeouts, State, Write, Read, Close};
}  // namespace

FakeDevice& FAKE_Device() { return g_dev; }
const ComDeviceOps* FAKE_DeviceOps() { return &kOps; }
void FAKE_DeviceReset() { g_dev = FakeDevice{}; }
