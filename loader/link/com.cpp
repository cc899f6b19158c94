#include "link/com.h"

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "shell/app.h"
#include "shell/settings.h"

namespace {

enum class Phase { fresh, ready, closed };

// Module state. Written by the GUI thread while the link worker is stopped
// (reconfigure, probe) and by the worker while it runs (read time-outs); the
// stop/start of the worker keeps the two apart.
struct ComModule {
    const ComDeviceOps* ops = nullptr;
    COM_Settings settings{};
    ComHandle handle = COM_NO_HANDLE;
    // Read by COM_GetSettings on both threads; atomic so that the first
    // use on one thread is seen whole by the other.
    std::atomic<Phase> phase{Phase::fresh};
    ComTimeouts timeouts{};
    bool read_timeout_known = false;   // false: the next read applies its own
    uint32_t read_timeout = 0;
    ComHandle probe[COM_PROBE_PORTS];
    bool shutdown_registered = false;
    ComModule() {
        for (auto& p : probe) p = COM_NO_HANDLE;
    }
};

ComModule g_com;

const ComDeviceOps* Ops() {
    if (!g_com.ops) g_com.ops = COM_PlatformDevice();
    return g_com.ops;
}

void DevicePath(const char* name, char (&path)[COM_PORT_NAME_SIZE + 8]) {
    std::snprintf(path, sizeof path, "\\\\.\\%s", name);
}

ComDcb BuildDcb(const COM_Settings& s) {
    ComDcb d{};
    d.baud_rate = s.baud_rate;
    d.f_binary = 1;
    d.f_parity = 1;
    d.f_dtr_control = COM_DTR_CONTROL_ENABLE;
    d.f_rts_control = COM_RTS_CONTROL_TOGGLE;
    d.xon_lim = 2048;
    d.xoff_lim = 512;
    d.byte_size = 8;
    d.parity = s.parity;
    d.stop_bits = s.stop_bits;
    d.xon_char = 0x11;
    d.xoff_char = 0x13;
    return d;
}

int COM_Open() {
    const ComDeviceOps* ops = Ops();
    if (g_com.handle == COM_NO_HANDLE) {
        char path[COM_PORT_NAME_SIZE + 8];
        DevicePath(g_com.settings.port_name, path);
        ComHandle h = COM_NO_HANDLE;
        if (ops->open(path, &h) != 0 || h == COM_NO_HANDLE) {
            APP_Error("Port not available");
            return 1;
        }
        g_com.handle = h;
    }
    if (ops->setup_queues(g_com.handle, COM_QUEUE_SIZE, COM_QUEUE_SIZE) != 0) {
        APP_Error("SetupComm failed");
        return 1;
    }
    ComTimeouts t{COM_MAXDWORD, 0, 0, 0, 0};
    g_com.read_timeout_known = false;
    if (ops->set_timeouts(g_com.handle, t) != 0) {
        APP_Error("SetCommTimeouts failed");
        return 1;
    }
    g_com.timeouts = t;
    ComDcb dcb = BuildDcb(g_com.settings);
    if (ops->set_state(g_com.handle, dcb) != 0) {
        dcb.f_rts_control = COM_RTS_CONTROL_DISABLE;
        if (ops->set_state(g_com.handle, dcb) != 0) {
            APP_Error("SetCommState failed");
            return 1;
        }
    }
    g_com.phase = Phase::ready;
    return 0;
}

void COM_SaveSettings() {
    APP_SetSettingInt("COM", "Baudrate", static_cast<int32_t>(g_com.settings.baud_rate));
    APP_SetSettingString("COM", "VPort", g_com.settings.port_name);
    APP_SetSettingInt("COM", "Parity", g_com.settings.parity);
    APP_SetSettingInt("COM", "StopBits", g_com.settings.stop_bits);
}

void ShutdownAtExit() { COM_Shutdown(); }

void COM_Init() {
    COM_Settings& s = g_com.settings;
    s = COM_Settings{};
    int32_t baud = 9600, parity = 0, stop = 0;
    APP_GetSettingInt("COM", "Baudrate", &baud);
    APP_GetSettingInt("COM", "Parity", &parity);
    APP_GetSettingInt("COM", "StopBits", &stop);
    s.baud_rate = static_cast<uint32_t>(baud);
    s.parity = static_cast<uint8_t>(parity);
    s.stop_bits = static_cast<uint8_t>(stop);
    APP_GetSettingString("COM", "VPort", s.port_name, COM_PORT_NAME_SIZE);
    if (s.port_name[0] == '\0') std::snprintf(s.port_name, sizeof s.port_name, "COM%d", 1);
    s.byte_size = 8;
    COM_Open();
    if (!g_com.shutdown_registered) {
        g_com.shutdown_registered = true;
        std::atexit(ShutdownAtExit);
    }
}

// 0 ready, 1 closed.
int COM_EnsureReady() {
    switch (g_com.phase.load()) {
    case Phase::fresh:
        COM_Init();
        g_com.phase = Phase::ready;
        return 0;
    case Phase::ready:
        return 0;
    case Phase::closed:
        break;
    }
    return 1;
}

void CloseHandle() {
    if (g_com.handle != COM_NO_HANDLE) {
        Ops()->close(g_com.handle);
        g_com.handle = COM_NO_HANDLE;
    }
}

}  // namespace

bool COM_SettingsEqual(const COM_Settings& a, const COM_Settings& b) {
    return a.baud_rate == b.baud_rate &&
           std::strncmp(a.port_name, b.port_name, COM_PORT_NAME_SIZE) == 0 &&
           a.byte_size == b.byte_size && a.parity == b.parity && a.stop_bits == b.stop_bits;
}

int COM_Write(const uint8_t* bytes, uint32_t count) {
    if (COM_EnsureReady() != 0) return 1;
    if (g_com.handle == COM_NO_HANDLE || count == 0) return 0;
    Ops()->write(g_com.handle, bytes, count);
    return 0;
}

uint32_t COM_Read(uint8_t* buffer, uint32_t count, uint32_t timeout_ms) {
    if (COM_EnsureReady() != 0 || g_com.handle == COM_NO_HANDLE) return 0;
    if (!g_com.read_timeout_known || g_com.read_timeout != timeout_ms) {
        ComTimeouts t{0, 0, timeout_ms, 0, 0};
        // A refusal is not reported: the read still runs under what is in force.
        if (Ops()->set_timeouts(g_com.handle, t) == 0) g_com.timeouts = t;
        g_com.read_timeout = timeout_ms;
        g_com.read_timeout_known = true;
    }
    if (count == 0) return 0;
    uint32_t n = Ops()->read(g_com.handle, buffer, count);
    return n > count ? count : n;
}

int COM_GetSettings(COM_Settings* out) {
    if (COM_EnsureReady() != 0) return 1;
    *out = g_com.settings;
    return 0;
}

int COM_Reconfigure(const COM_Settings& wanted) {
    COM_Settings next = wanted;
    next.port_name[COM_PORT_NAME_SIZE - 1] = '\0';
    const COM_Settings kept = g_com.settings;
    if (COM_SettingsEqual(next, kept)) return 0;
    g_com.settings = next;
    if (g_com.handle != COM_NO_HANDLE) {
        CloseHandle();
        g_com.phase = Phase::closed;
        g_com.read_timeout_known = false;
    }
    if (COM_Open() == 0) {
        COM_SaveSettings();
        return 0;
    }
    if (g_com.handle == COM_NO_HANDLE) {
        // The new settings stay current, unsaved; the port stays closed.
        g_com.phase = Phase::closed;
        return 1;
    }
    g_com.settings = kept;
    CloseHandle();
    g_com.phase = Phase::closed;
    COM_Open();
    return 1;
}

int COM_ProbePorts(int indices[COM_PROBE_PORTS]) {
    char current[COM_PORT_NAME_SIZE];
    std::memcpy(current, g_com.settings.port_name, COM_PORT_NAME_SIZE);
    current[COM_PORT_NAME_SIZE - 1] = '\0';
    for (char* p = current; *p; ++p) *p = static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
    int found = 0;
    for (int i = 0; i < COM_PROBE_PORTS; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "COM%d", i + 1);
        if (std::strcmp(name, current) == 0) {
            indices[found++] = i;
            continue;
        }
        if (g_com.probe[i] != COM_NO_HANDLE) {   // left open by an earlier probe
            indices[found++] = i;
            continue;
        }
        char path[COM_PORT_NAME_SIZE + 8];
        DevicePath(name, path);
        ComHandle h = COM_NO_HANDLE;
        if (Ops()->open(path, &h) == 0 && h != COM_NO_HANDLE) {
            g_com.probe[i] = h;
            indices[found++] = i;
        }
    }
    return found;
}

void COM_CloseProbeHandles() {
    for (auto& h : g_com.probe) {
        if (h != COM_NO_HANDLE) {
            Ops()->close(h);
            h = COM_NO_HANDLE;
        }
    }
}

void COM_Shutdown() {
    if (g_com.phase == Phase::fresh) return;
    g_com.phase = Phase::closed;
    CloseHandle();
    COM_SaveSettings();
}

void COM_SetDeviceOps(const ComDeviceOps* ops) {
    g_com.ops = ops ? ops : COM_PlatformDevice();
}

void COM_ResetModule() {
    CloseHandle();
    COM_CloseProbeHandles();
    g_com.settings = COM_Settings{};
    g_com.phase = Phase::fresh;
    g_com.read_timeout_known = false;
    g_com.timeouts = ComTimeouts{};
}
