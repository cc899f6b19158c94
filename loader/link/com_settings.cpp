// Start-up: the stored port settings, checked against the ports present.
#include <cstdio>

#include "link/com.h"
#include "shell/app.h"
#include "shell/settings.h"

namespace {
bool KnownBaud(int32_t baud) {
    static const int32_t rates[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400};
    for (int32_t r : rates)
        if (r == baud) return true;
    return false;
}
}  // namespace

void APP_LoadComSettings() {
    int present[COM_PROBE_PORTS];
    const int count = COM_ProbePorts(present);
    COM_CloseProbeHandles();
    if (count == 0) {
        APP_Error("No COM ports found in system!");
        return;
    }
    COM_Settings defaults{};
    defaults.baud_rate = 9600;
    std::snprintf(defaults.port_name, sizeof defaults.port_name, "COM%d", present[0] + 1);
    defaults.byte_size = 8;
    defaults.parity = 1;
    defaults.stop_bits = 0;

    COM_Settings w{};
    w.baud_rate = 9600;
    w.byte_size = 8;
    w.parity = 1;
    w.stop_bits = 0;
    int32_t port = present[0];

    int32_t baud = 0;
    if (APP_GetSettingInt("COM", "Baudrate", &baud) == 0) {
        if (!KnownBaud(baud)) {
            APP_Error("Illegal baudrate! Baudrate has been reset to 9600");
            baud = 9600;
        }
        w.baud_rate = static_cast<uint32_t>(baud);
    } else {
        APP_SetSettingInt("COM", "Parity", 1);
        APP_SetSettingInt("COM", "StopBits", 0);
    }
    APP_GetSettingInt("COM", "Port", &port);
    int32_t value = 0;
    if (APP_GetSettingInt("COM", "Parity", &value) == 0) w.parity = static_cast<uint8_t>(value);
    if (APP_GetSettingInt("COM", "StopBits", &value) == 0) w.stop_bits = static_cast<uint8_t>(value);
    APP_GetSettingString("COM", "VPort", w.port_name, COM_PORT_NAME_SIZE);
    if (w.port_name[0] == '\0') {
        // Port numbers outside 0..255 are not COM ports; they fall back to the first present.
        if (port < 0 || port >= COM_PROBE_PORTS) port = present[0];
        std::snprintf(w.port_name, sizeof w.port_name, "COM%d", static_cast<int>(port) + 1);
    }
    if (COM_Reconfigure(w) != 0) {
        COM_Reconfigure(defaults);
        APP_Error("Illegal COM settings! Reset to defaults.");
    }
}
