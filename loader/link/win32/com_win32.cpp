// Serial backend over a Windows communications device opened overlapped.
// Reads complete through ReadFileEx's completion routine, delivered while the
// reading thread sleeps alertably; writes use their own overlapped record and
// event, so a write never touches the record of a read.
#include <windows.h>

#include "link/com.h"

namespace {

// One open port. The read fields are written by the completion routine,
// which runs on the reading thread (the link worker) inside SleepEx.
struct Win32Port {
    HANDLE device = INVALID_HANDLE_VALUE;
    HANDLE write_event = nullptr;
    OVERLAPPED read_ov{};
    OVERLAPPED write_ov{};
    volatile LONG read_done = 0;
    DWORD read_count = 0;
};

Win32Port* Port(ComHandle h) { return reinterpret_cast<Win32Port*>(h); }

int Open(const char* path, ComHandle* out) {
    HANDLE d = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, nullptr);
    if (d == INVALID_HANDLE_VALUE) return 1;
    HANDLE ev = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!ev) {
        CloseHandle(d);
        return 1;
    }
    auto* p = new Win32Port;
    p->device = d;
    p->write_event = ev;
    *out = reinterpret_cast<ComHandle>(p);
    return 0;
}

int SetupQueues(ComHandle h, uint32_t in_size, uint32_t out_size) {
    return SetupComm(Port(h)->device, in_size, out_size) ? 0 : 1;
}

int SetTimeouts(ComHandle h, const ComTimeouts& t) {
    COMMTIMEOUTS ct{};
    ct.ReadIntervalTimeout = t.read_interval;
    ct.ReadTotalTimeoutMultiplier = t.read_total_multiplier;
    ct.ReadTotalTimeoutConstant = t.read_total_constant;
    ct.WriteTotalTimeoutMultiplier = t.write_total_multiplier;
    ct.WriteTotalTimeoutConstant = t.write_total_constant;
    return SetCommTimeouts(Port(h)->device, &ct) ? 0 : 1;
}

int SetState(ComHandle h, const ComDcb& s) {
    DCB d{};
    d.DCBlength = sizeof d;
    d.BaudRate = s.baud_rate;
    d.fBinary = s.f_binary;
    d.fParity = s.f_parity;
    d.fOutxCtsFlow = s.f_outx_cts_flow;
    d.fOutxDsrFlow = s.f_outx_dsr_flow;
    d.fDtrControl = s.f_dtr_control;
    d.fDsrSensitivity = s.f_dsr_sensitivity;
    d.fTXContinueOnXoff = s.f_tx_continue_on_xoff;
    d.fOutX = s.f_out_x;
    d.fInX = s.f_in_x;
    d.fErrorChar = s.f_error_char;
    d.fNull = s.f_null;
    d.fRtsControl = s.f_rts_control;
    d.fAbortOnError = s.f_abort_on_error;
    d.XonLim = s.xon_lim;
    d.XoffLim = s.xoff_lim;
    d.ByteSize = s.byte_size;
    d.Parity = s.parity;
    d.StopBits = s.stop_bits;
    d.XonChar = s.xon_char;
    d.XoffChar = s.xoff_char;
    d.ErrorChar = s.error_char;
    d.EofChar = s.eof_char;
    d.EvtChar = s.evt_char;
    return SetCommState(Port(h)->device, &d) ? 0 : 1;
}

// Waits until the driver has taken every byte: the callers' buffers live
// only for the call.
int Write(ComHandle h, const uint8_t* bytes, uint32_t count) {
    Win32Port* p = Port(h);
    p->write_ov = OVERLAPPED{};
    p->write_ov.hEvent = p->write_event;
    ResetEvent(p->write_event);
    DWORD n = 0;
    if (!WriteFile(p->device, bytes, count, &n, &p->write_ov)) {
        if (GetLastError() != ERROR_IO_PENDING) return 1;
        if (!GetOverlappedResult(p->device, &p->write_ov, &n, TRUE)) return 1;
    }
    return n == count ? 0 : 1;
}

VOID CALLBACK ReadDone(DWORD /*error*/, DWORD transferred, LPOVERLAPPED ov) {
    // hEvent is free for the caller with ReadFileEx; it carries the port.
    Win32Port* p = static_cast<Win32Port*>(ov->hEvent);
    p->read_count = transferred;
    InterlockedExchange(&p->read_done, 1);
}

uint32_t Read(ComHandle h, uint8_t* buffer, uint32_t count) {
    Win32Port* p = Port(h);
    p->read_ov = OVERLAPPED{};
    p->read_ov.hEvent = p;
    p->read_count = 0;
    InterlockedExchange(&p->read_done, 0);
    // A read that cannot start (the device went away) will never complete:
    // do not wait for it.
    if (!ReadFileEx(p->device, buffer, count, &p->read_ov, ReadDone)) return 0;
    while (InterlockedCompareExchange(&p->read_done, 0, 0) == 0) SleepEx(1, TRUE);
    return p->read_count;
}

void Close(ComHandle h) {
    Win32Port* p = Port(h);
    if (!p) return;
    CloseHandle(p->device);
    if (p->write_event) CloseHandle(p->write_event);
    delete p;
}

const ComDeviceOps kWin32Ops = {Open, SetupQueues, SetTimeouts, SetState, Write, Read, Close};

}  // namespace

const ComDeviceOps* COM_PlatformDevice() { return &kWin32Ops; }
