#pragma once
// The one serial port of the loader. Single instance with module state; the
// device itself is reached through a small table of operations, one backend
// per platform (win32/com_win32.cpp, posix/com_posix.cpp), chosen at link time.
#include <cstddef>
#include <cstdint>

constexpr int COM_PORT_NAME_SIZE = 100;
constexpr int COM_PROBE_PORTS = 256;
constexpr uint32_t COM_QUEUE_SIZE = 10000;

// Port settings. Copied out with COM_GetSettings, changed and handed back as a
// whole to COM_Reconfigure; compared field by field.
struct COM_Settings {
    uint32_t baud_rate;
    char port_name[COM_PORT_NAME_SIZE];   // without path prefix, e.g. COM1 ("VPort")
    uint8_t byte_size;                    // always 8
    uint8_t parity;                       // 0 none, 1 odd, 2 even, 3 mark, 4 space
    uint8_t stop_bits;                    // 0 one, 1 one and a half, 2 two
};

bool COM_SettingsEqual(const COM_Settings& a, const COM_Settings& b);

// 0 sent (handed to the driver), 1 the module could not be made ready.
int COM_Write(const uint8_t* bytes, uint32_t count);
// Bytes that arrived (0..count) before `timeout_ms` ran out; 0 at once when
// the module is closed or no port is open.
uint32_t COM_Read(uint8_t* buffer, uint32_t count, uint32_t timeout_ms);
// 0 copied, 1 the module is closed (out untouched).
int COM_GetSettings(COM_Settings* out);
// 0 applied (or equal to the current record), 1 failed. Only while the link
// worker is stopped.
int COM_Reconfigure(const COM_Settings& settings);
// Number of COM1..COM256 present; their zero-based indices in `indices`.
int COM_ProbePorts(int indices[COM_PROBE_PORTS]);
void COM_CloseProbeHandles();

// Program exit: closes the port and saves the settings. Registered by the
// first use of the port.
void COM_Shutdown();

// -- platform seam -----------------------------------------------------------

using ComHandle = intptr_t;
constexpr ComHandle COM_NO_HANDLE = -1;
constexpr uint32_t COM_MAXDWORD = 0xFFFFFFFFu;

// The five driver time-outs (Windows COMMTIMEOUTS).
struct ComTimeouts {
    uint32_t read_interval;
    uint32_t read_total_multiplier;
    uint32_t read_total_constant;
    uint32_t write_total_multiplier;
    uint32_t write_total_constant;
};

enum : uint8_t {
    COM_DTR_CONTROL_ENABLE = 1,
    COM_RTS_CONTROL_DISABLE = 0,
    COM_RTS_CONTROL_TOGGLE = 3,
};

// Line parameters (the fields of a Windows DCB the module sets).
struct ComDcb {
    uint32_t baud_rate;
    uint8_t f_binary;
    uint8_t f_parity;
    uint8_t f_outx_cts_flow;
    uint8_t f_outx_dsr_flow;
    uint8_t f_dtr_control;
    uint8_t f_dsr_sensitivity;
    uint8_t f_tx_continue_on_xoff;
    uint8_t f_out_x;
    uint8_t f_in_x;
    uint8_t f_error_char;
    uint8_t f_null;
    uint8_t f_rts_control;
    uint8_t f_abort_on_error;
    uint16_t xon_lim;
    uint16_t xoff_lim;
    uint8_t byte_size;
    uint8_t parity;
    uint8_t stop_bits;
    char xon_char;
    char xoff_char;
    char error_char;
    char eof_char;
    char evt_char;
};

// Device operations. Every result is 0 for success unless said otherwise.
struct ComDeviceOps {
    // `path` is "\\.\" + port name; exclusive, existing only, overlapped.
    int (*open)(const char* path, ComHandle* out);
    int (*setup_queues)(ComHandle h, uint32_t in_size, uint32_t out_size);
    int (*set_timeouts)(ComHandle h, const ComTimeouts& t);
    int (*set_state)(ComHandle h, const ComDcb& dcb);
    // Hands all bytes to the driver before it returns (callers' buffers live
    // only for the call).
    int (*write)(ComHandle h, const uint8_t* bytes, uint32_t count);
    // Reads under the time-outs last set; returns the bytes transferred. A
    // read that cannot be started counts as 0 bytes at once.
    uint32_t (*read)(ComHandle h, uint8_t* buffer, uint32_t count);
    void (*close)(ComHandle h);
};

// The backend of this platform.
const ComDeviceOps* COM_PlatformDevice();

// Tests: replace the device table (null restores the platform's) and return
// the module to its fresh state, closing what it holds without saving.
void COM_SetDeviceOps(const ComDeviceOps* ops);
void COM_ResetModule();
