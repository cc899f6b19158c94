// Serial backend over termios. The port name may be a device path
// (/dev/ttyUSB0) or a pty; the "\\.\" prefix the module adds is dropped.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "link/com.h"

namespace {

// One open port; the time-outs are kept here because termios has no total
// read time-out of its own. Used by one thread at a time.
struct PosixPort {
    int fd = -1;
    ComTimeouts timeouts{};
};

PosixPort* Port(ComHandle h) { return reinterpret_cast<PosixPort*>(h); }

int Open(const char* path, ComHandle* out) {
    if (std::strncmp(path, "\\\\.\\", 4) == 0) path += 4;
    if (path[0] == '\0') return 1;
    int fd = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return 1;
    // Exclusive like a Windows COM port. TIOCEXCL does not hold against root,
    // so an advisory lock keeps two of our own processes apart as well.
    if (!isatty(fd) || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return 1;
    }
    ::ioctl(fd, TIOCEXCL);
    auto* p = new PosixPort;
    p->fd = fd;
    *out = reinterpret_cast<ComHandle>(p);
    return 0;
}

// The kernel's tty queues are fixed; nothing to set.
int SetupQueues(ComHandle, uint32_t, uint32_t) { return 0; }

int SetTimeouts(ComHandle h, const ComTimeouts& t) {
    Port(h)->timeouts = t;
    return 0;
}

bool BaudConstant(uint32_t baud, speed_t* out) {
    static const struct { uint32_t rate; speed_t code; } table[] = {
        {1200, B1200}, {2400, B2400}, {4800, B4800}, {9600, B9600}, {19200, B19200},
        {38400, B38400}, {57600, B57600}, {115200, B115200}, {230400, B230400},
    };
    for (const auto& e : table) {
        if (e.rate == baud) {
            *out = e.code;
            return true;
        }
    }
    return false;
}

int SetState(ComHandle h, const ComDcb& d) {
    int fd = Port(h)->fd;
    // termios cannot raise RTS only while sending; refuse it so that the
    // module falls back to RTS off, as a driver without the feature does.
    if (d.f_rts_control == COM_RTS_CONTROL_TOGGLE) return 1;
    speed_t speed;
    if (!BaudConstant(d.baud_rate, &speed) || d.byte_size != 8 || d.parity > 4 || d.stop_bits > 2)
        return 1;
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return 1;
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
#ifdef CMSPAR
    tio.c_cflag &= ~CMSPAR;
#endif
    tio.c_cflag |= CS8;
    switch (d.parity) {
    case 1: tio.c_cflag |= PARENB | PARODD; break;
    case 2: tio.c_cflag |= PARENB; break;
#ifdef CMSPAR
    case 3: tio.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case 4: tio.c_cflag |= PARENB | CMSPAR; break;
#else
    case 3: case 4: return 1;
#endif
    default: break;
    }
    if (d.stop_bits != 0) tio.c_cflag |= CSTOPB;   // one and a half is sent as two
    tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | ISTRIP);
    if (d.f_parity && d.parity != 0) tio.c_iflag |= INPCK;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    if (tcsetattr(fd, TCSANOW, &tio) != 0) return 1;
    // Modem lines: a pty has none, so their refusal does not count.
    int dtr = TIOCM_DTR, rts = TIOCM_RTS;
    ::ioctl(fd, d.f_dtr_control ? TIOCMBIS : TIOCMBIC, &dtr);
    ::ioctl(fd, TIOCMBIC, &rts);
    return 0;
}

int Write(ComHandle h, const uint8_t* bytes, uint32_t count) {
    int fd = Port(h)->fd;
    uint32_t done = 0;
    while (done < count) {
        ssize_t n = ::write(fd, bytes + done, count - done);
        if (n > 0) {
            done += static_cast<uint32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, 1000) <= 0) return 1;   // the line stays blocked: give up
            continue;
        }
        return 1;
    }
    return 0;
}

uint32_t Read(ComHandle h, uint8_t* buffer, uint32_t count) {
    PosixPort* p = Port(h);
    const ComTimeouts& t = p->timeouts;
    using Clock = std::chrono::steady_clock;
    // Interval MAXDWORD with no totals: return at once with what is there.
    const bool at_once = t.read_interval == COM_MAXDWORD && t.read_total_multiplier == 0 &&
                         t.read_total_constant == 0;
    const uint64_t total = static_cast<uint64_t>(t.read_total_multiplier) * count + t.read_total_constant;
    const bool forever = !at_once && total == 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(total);
    uint32_t got = 0;
    while (got < count) {
        ssize_t n = ::read(p->fd, buffer + got, count - got);
        if (n > 0) {
            got += static_cast<uint32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        // Raw mode with VMIN = VTIME = 0 gives 0 for "nothing yet"; an error
        // (EIO after a hang-up) means the device is gone: end at once.
        if (n < 0 && errno != EAGAIN) break;
        if (at_once) break;
        int wait_ms = -1;
        if (!forever) {
            auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) break;
            wait_ms = static_cast<int>(left > 1000 ? 1000 : left);
        }
        pollfd pf{p->fd, POLLIN, 0};
        int r = ::poll(&pf, 1, wait_ms);
        if (r < 0 && errno != EINTR) break;
        if (r > 0 && (pf.revents & (POLLERR | POLLNVAL))) break;
        // The far end went away (a pulled adapter, a pty whose master closed).
        if (r > 0 && (pf.revents & POLLHUP) && !(pf.revents & POLLIN)) break;
    }
    return got;
}

void Close(ComHandle h) {
    PosixPort* p = Port(h);
    if (!p) return;
    ::flock(p->fd, LOCK_UN);
    ::close(p->fd);
    delete p;
}

const ComDeviceOps kPosixOps = {Open, SetupQueues, SetTimeouts, SetState, Write, Read, Close};

}  // namespace

const ComDeviceOps* COM_PlatformDevice() { return &kPosixOps; }
