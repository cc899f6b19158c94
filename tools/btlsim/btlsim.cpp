#include "btlsim.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "link/btl.h"

namespace {
using Clock = std::chrono::steady_clock;

// Largest range the simulator holds in memory.
constexpr uint32_t kMaxRange = 16u << 20;

void PutU32(std::vector<uint8_t>& v, uint32_t x) {
    for (int i = 0; i < 4; ++i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
}
uint32_t GetU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
}  // namespace

std::vector<uint8_t> BTLSIM_Frame(uint8_t code, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> f;
    const size_t n = data.size() > 255 ? 255 : data.size();
    f.reserve(n + 9);
    f.push_back(0x68);
    f.push_back(static_cast<uint8_t>(n));
    f.push_back(static_cast<uint8_t>(n));
    f.push_back(0x68);
    f.push_back(0x80);
    f.push_back(0x00);
    f.push_back(code);
    unsigned sum = 0x80u + code;
    for (size_t i = 0; i < n; ++i) {
        f.push_back(data[i]);
        sum += data[i];
    }
    f.push_back(static_cast<uint8_t>(sum));
    f.push_back(0x16);
    return f;
}

struct BtlSim::State {
    BtlSimConfig config;
    mutable std::mutex lock;           // guards everything below except the fds and thread
    BtlSimFaults faults;
    BtlSimStats stats;
    std::vector<uint8_t> flash[2];
    uint16_t running_crc = 0xFFFF;
    int program_blocks = -1;           // block number of the last program request
    uint32_t last_program_address = 0;

    int master = -1;
    int slave_hold = -1;               // keeps the pty alive while the loader closes its end
    int wake[2] = {-1, -1};
    std::string slave_path;
    std::string link;
    std::thread thread;
    std::atomic<bool> stop{false};
    Clock::time_point line_free{};     // pacing of the outgoing direction (server thread)

    // Address to byte inside the ranges; null outside.
    uint8_t* Cell(uint32_t address) {
        for (int r = 0; r < 2; ++r) {
            const uint32_t start = config.range_start[r], len = config.range_length[r];
            if (len != 0 && address - start < len) return &flash[r][address - start];
        }
        return nullptr;
    }
    uint8_t PeekLocked(uint32_t address) const {
        for (int r = 0; r < 2; ++r) {
            const uint32_t start = config.range_start[r], len = config.range_length[r];
            if (len != 0 && address - start < len) return flash[r][address - start];
        }
        return 0xFF;
    }

    std::chrono::microseconds Wire(size_t bytes) const {
        if (config.baud == 0) return std::chrono::microseconds(0);
        return std::chrono::microseconds(static_cast<int64_t>(bytes) * 11 * 1000000 / config.baud);
    }

    BtlSimReply Handle(const uint8_t* frame, size_t size);
    void Serve();
    void Send(std::vector<uint8_t> bytes);
};

BtlSimReply BtlSim::State::Handle(const uint8_t* frame, size_t size) {
    BtlSimReply reply;
    const uint8_t code = frame[6];
    const uint8_t* data = frame + 7;
    const int len = static_cast<int>(size) - 9;
    std::lock_guard<std::mutex> g(lock);
    stats.requests[code & 15]++;
    const std::vector<uint8_t> ack{BTL_ACK};
    switch (code) {
    case BTL_CMD_CONNECT: {
        const std::string given(reinterpret_cast<const char*>(data), static_cast<size_t>(len));
        uint8_t result = given == config.password ? 0 : 1;
        if (faults.refuse_password > 0) {
            faults.refuse_password--;
            result = 1;
        }
        std::vector<uint8_t> d{result};
        if (result == 0) {
            PutU32(d, config.version);
            d.push_back(static_cast<uint8_t>(config.cpu.size()));
            d.insert(d.end(), config.cpu.begin(), config.cpu.end());
            d.push_back(static_cast<uint8_t>(config.app.size()));
            d.insert(d.end(), config.app.begin(), config.app.end());
            PutU32(d, config.range_start[0]);
            PutU32(d, config.range_length[0]);
            if (config.range_length[1] != 0) {
                PutU32(d, config.range_start[1]);
                PutU32(d, config.range_length[1]);
            }
        }
        reply.frame = BTLSIM_Frame(0, d);
        break;
    }
    case BTL_CMD_CLEAR:
    case BTL_CMD_CHECK_BLANK: {
        reply.ack = ack;
        if (code == BTL_CMD_CLEAR) {
            for (auto& f : flash) std::fill(f.begin(), f.end(), 0xFF);
            stats.valid = false;
            reply.work_ms = config.clear_ms;
        } else {
            reply.work_ms = config.blank_ms;
        }
        std::vector<uint8_t> d;
        bool found = false;
        for (int r = 0; r < 2 && !found; ++r) {
            for (uint32_t i = 0; i < flash[r].size(); ++i) {
                if (flash[r][i] != 0xFF || (faults.force_not_blank && r == 0 && i == 0)) {
                    PutU32(d, config.range_start[r] + i);
                    PutU32(d, faults.force_not_blank && r == 0 && i == 0 && flash[r][i] == 0xFF ? 0x00 : flash[r][i]);
                    found = true;
                    break;
                }
            }
        }
        reply.frame = BTLSIM_Frame(4, d);
        break;
    }
    case BTL_CMD_PROGRAM: {
        bool ok = len >= 8 && (len - 4) % 4 == 0 && len - 4 <= BTL_MAX_PROGRAM_DATA;
        uint32_t address = len >= 4 ? GetU32(data) : 0;
        // A resend of the same block keeps its number.
        if (program_blocks < 0 || address != last_program_address) ++program_blocks;
        last_program_address = address;
        const int index = program_blocks;
        uint32_t bad_address = address;
        uint8_t bad_value = 0;
        if (ok && index == faults.write_error_at_block) {
            ok = false;
            bad_value = static_cast<uint8_t>(faults.write_error_value);
        }
        if (ok) {
            // All cells first, so that a block reaching outside the ranges
            // changes nothing.
            for (int i = 0; i < len - 4 && ok; ++i) {
                if (!Cell(address + static_cast<uint32_t>(i))) {
                    ok = false;
                    bad_address = address + static_cast<uint32_t>(i);
                    bad_value = 0xFF;
                }
            }
        }
        if (ok) {
            // Flash programming only clears bits: a byte that does not take
            // its value is a write error.
            for (int i = 0; i < len - 4; ++i) {
                uint8_t* c = Cell(address + static_cast<uint32_t>(i));
                *c = static_cast<uint8_t>(*c & data[4 + i]);
                if (*c != data[4 + i] && ok) {
                    ok = false;
                    bad_address = address + static_cast<uint32_t>(i);
                    bad_value = *c;
                }
            }
        }
        if (ok) {
            stats.blocks++;
            reply.ack = ack;
            if (faults.disconnect_after_blocks >= 0 && stats.blocks >= faults.disconnect_after_blocks)
                faults.silent = true;
        } else {
            std::vector<uint8_t> d{0};
            PutU32(d, bad_address);
            d.push_back(bad_value);
            reply.frame = BTLSIM_Frame(2, d);
        }
        break;
    }
    case BTL_CMD_MAKE_VALID:
        reply.ack = ack;
        stats.valid = true;
        break;
    case BTL_CMD_GET_CRC: {
        reply.ack = ack;
        reply.work_ms = config.crc_ms;
        stats.crc_requests.emplace_back(data, data + len);
        if (len >= 8) {
            const uint32_t start = GetU32(data), count = GetU32(data + 4);
            for (uint32_t i = 0; i < count; ++i) {
                const uint8_t b = PeekLocked(start + i);
                BTL_Crc16Update(&running_crc, &b, 1);
            }
        } else {
            running_crc = 0xFFFF;   // a request without a range begins a new sequence
        }
        std::vector<uint8_t> d{0, static_cast<uint8_t>(running_crc), static_cast<uint8_t>(running_crc >> 8)};
        reply.frame = BTLSIM_Frame(5, d);
        break;
    }
    case BTL_CMD_START_APP:
        reply.ack = ack;
        stats.started = true;
        break;
    case BTL_CMD_READ: {
        if (len < 5) break;
        const uint32_t address = GetU32(data);
        uint32_t count = data[4];
        if (count > BTL_MAX_READ_COUNT) count = BTL_MAX_READ_COUNT;
        std::vector<uint8_t> d(data, data + 5);
        d.push_back(0);
        for (uint32_t i = 0; i < count; ++i) d.push_back(PeekLocked(address + i));
        reply.frame = BTLSIM_Frame(8, d);
        break;
    }
    default:
        break;   // unknown commands get no answer
    }
    // A frame in place of the acknowledge.
    if (!reply.ack.empty() && faults.frame_instead_of_ack > 0) {
        faults.frame_instead_of_ack--;
        if (reply.frame.empty() || code != BTL_CMD_PROGRAM) {
            std::vector<uint8_t> d{0};
            PutU32(d, 0);
            d.push_back(0);
            reply.frame = BTLSIM_Frame(code, d);
        }
        reply.ack.clear();
        reply.work_ms = 0;
    }
    return reply;
}

void BtlSim::State::Send(std::vector<uint8_t> bytes) {
    if (bytes.empty()) return;
    {
        std::lock_guard<std::mutex> g(lock);
        if (faults.drop_reply > 0) {
            faults.drop_reply--;
            return;
        }
        if (bytes.size() > 1 && faults.cut_reply > 0) {
            faults.cut_reply--;
            bytes.pop_back();
        }
        if (bytes.size() > 1 && faults.bad_checksum > 0) {
            faults.bad_checksum--;
            bytes[bytes.size() - 2] ^= 0x5A;
        }
    }
    // The bytes reach the far end when the wire would have carried them.
    auto now = Clock::now();
    if (line_free < now) line_free = now;
    line_free += Wire(bytes.size());
    std::this_thread::sleep_until(line_free);
    size_t done = 0;
    while (done < bytes.size() && !stop.load()) {
        ssize_t n = ::write(master, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{master, POLLOUT, 0};
            ::poll(&p, 1, 10);
        } else {
            return;
        }
    }
}

void BtlSim::State::Serve() {
    std::vector<uint8_t> in;
    Clock::time_point first_byte{};
    while (!stop.load()) {
        pollfd p[2] = {{master, POLLIN, 0}, {wake[0], POLLIN, 0}};
        int r = ::poll(p, 2, 100);
        if (r < 0 && errno != EINTR) break;
        if (p[1].revents) break;
        if (!(p[0].revents & POLLIN)) continue;
        uint8_t buf[1024];
        ssize_t n = ::read(master, buf, sizeof buf);
        if (n <= 0) continue;
        if (in.empty()) first_byte = Clock::now();
        bool silent;
        {
            std::lock_guard<std::mutex> g(lock);
            silent = faults.silent;
        }
        if (silent) {
            in.clear();
            continue;
        }
        in.insert(in.end(), buf, buf + n);
        // Take every complete frame; resynchronise on the start byte.
        for (;;) {
            size_t skip = 0;
            while (skip < in.size() && in[skip] != 0x68) ++skip;
            in.erase(in.begin(), in.begin() + static_cast<long>(skip));
            if (in.size() < 7) break;
            const size_t len = in[1], size = len + 9;
            if (in.size() < size) break;
            unsigned sum = in[6];
            for (size_t i = 0; i < len; ++i) sum += in[7 + i];
            const bool good = in[2] == len && in[3] == 0x68 && in[7 + len] == static_cast<uint8_t>(sum) &&
                              in[8 + len] == 0x16;
            if (!good) {
                std::lock_guard<std::mutex> g(lock);
                stats.bad_requests++;
                // A sound header spans the whole frame: drop it all, so that
                // its inner bytes are not taken for a new start.
                const bool header = in[2] == len && in[3] == 0x68;
                in.erase(in.begin(), in.begin() + static_cast<long>(header ? size : 1));
                continue;
            }
            // The request has arrived when its last byte would have.
            std::this_thread::sleep_until(first_byte + Wire(size));
            first_byte = Clock::now();
            BtlSimReply reply = Handle(in.data(), size);
            in.erase(in.begin(), in.begin() + static_cast<long>(size));
            uint32_t late = 0;
            {
                std::lock_guard<std::mutex> g(lock);
                if (faults.late_count > 0) {
                    faults.late_count--;
                    late = faults.late_ms;
                }
            }
            if (late) std::this_thread::sleep_for(std::chrono::milliseconds(late));
            Send(reply.ack);
            if (!reply.frame.empty()) {
                if (reply.work_ms) std::this_thread::sleep_for(std::chrono::milliseconds(reply.work_ms));
                Send(reply.frame);
            }
        }
    }
}

BtlSim::BtlSim(const BtlSimConfig& config) : state_(new State) {
    state_->config = config;
    for (int r = 0; r < 2; ++r) {
        uint32_t len = config.range_length[r];
        if (len > kMaxRange) len = kMaxRange;
        state_->config.range_length[r] = len;
        state_->flash[r].assign(len, 0xFF);
    }
    // Names must leave room for the rest of the identity frame (255 data bytes).
    auto& c = state_->config;
    if (c.cpu.size() > 255) c.cpu.resize(255);
    if (c.app.size() > 255) c.app.resize(255);
    while (c.cpu.size() + c.app.size() > 255 - 23) {
        if (c.app.size() >= c.cpu.size()) c.app.pop_back(); else c.cpu.pop_back();
    }
}

BtlSim::~BtlSim() { Stop(); }

int BtlSim::Start(const std::string& link) {
    State& s = *state_;
    if (s.master >= 0) return 1;
    s.master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (s.master < 0) return 1;
    char name[128];
    if (::grantpt(s.master) != 0 || ::unlockpt(s.master) != 0 || ::ptsname_r(s.master, name, sizeof name) != 0) {
        ::close(s.master);
        s.master = -1;
        return 1;
    }
    s.slave_path = name;
    s.slave_hold = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (s.slave_hold >= 0) {
        termios t{};
        if (::tcgetattr(s.slave_hold, &t) == 0) {
            ::cfmakeraw(&t);
            ::tcsetattr(s.slave_hold, TCSANOW, &t);
        }
    }
    if (::pipe2(s.wake, O_CLOEXEC) != 0) {
        Stop();
        return 1;
    }
    if (!link.empty()) {
        ::unlink(link.c_str());
        if (::symlink(name, link.c_str()) != 0) {
            Stop();
            return 1;
        }
        s.link = link;
    }
    s.stop = false;
    s.thread = std::thread([&s] { s.Serve(); });
    return 0;
}

void BtlSim::Stop() {
    State& s = *state_;
    s.stop = true;
    if (s.wake[1] >= 0) {
        char c = 1;
        ssize_t ignored = ::write(s.wake[1], &c, 1);
        (void)ignored;
    }
    if (s.thread.joinable()) s.thread.join();
    for (int* fd : {&s.master, &s.slave_hold, &s.wake[0], &s.wake[1]}) {
        if (*fd >= 0) ::close(*fd);
        *fd = -1;
    }
    if (!s.link.empty()) {
        ::unlink(s.link.c_str());
        s.link.clear();
    }
}

const std::string& BtlSim::SlavePath() const { return state_->slave_path; }

void BtlSim::SetFaults(const BtlSimFaults& faults) {
    std::lock_guard<std::mutex> g(state_->lock);
    state_->faults = faults;
}
BtlSimFaults BtlSim::Faults() const {
    std::lock_guard<std::mutex> g(state_->lock);
    return state_->faults;
}
BtlSimStats BtlSim::Stats() const {
    std::lock_guard<std::mutex> g(state_->lock);
    return state_->stats;
}
void BtlSim::ResetStats() {
    std::lock_guard<std::mutex> g(state_->lock);
    state_->stats = BtlSimStats{};
    state_->program_blocks = -1;
}

void BtlSim::Load(uint32_t address, const uint8_t* bytes, uint32_t count) {
    std::lock_guard<std::mutex> g(state_->lock);
    for (uint32_t i = 0; i < count; ++i)
        if (uint8_t* c = state_->Cell(address + i)) *c = bytes[i];
}
uint8_t BtlSim::Peek(uint32_t address) const {
    std::lock_guard<std::mutex> g(state_->lock);
    return state_->PeekLocked(address);
}
uint16_t BtlSim::RangesCrc() const {
    std::lock_guard<std::mutex> g(state_->lock);
    uint16_t crc = 0xFFFF;
    for (int r = 0; r < 2; ++r) BTL_Crc16Update(&crc, state_->flash[r].data(), state_->flash[r].size());
    return crc;
}

namespace {
uint64_t DumpEnd(const BtlSimConfig& c) {
    uint64_t end = static_cast<uint64_t>(c.range_start[0]) + c.range_length[0];
    if (c.range_length[1] != 0) {
        uint64_t e2 = static_cast<uint64_t>(c.range_start[1]) + c.range_length[1];
        if (e2 > end) end = e2;
    }
    return end;
}
}  // namespace

std::vector<uint8_t> BtlSim::Dump() const {
    std::lock_guard<std::mutex> g(state_->lock);
    const auto& c = state_->config;
    std::vector<uint8_t> out;
    for (uint64_t a = c.range_start[0]; a < DumpEnd(c); ++a) out.push_back(state_->PeekLocked(static_cast<uint32_t>(a)));
    return out;
}

int BtlSim::DumpToFile(const std::string& path) const {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 1;
    std::lock_guard<std::mutex> g(state_->lock);
    const auto& c = state_->config;
    int rc = 0;
    for (uint64_t a = c.range_start[0]; a < DumpEnd(c) && rc == 0; ++a)
        if (std::fputc(state_->PeekLocked(static_cast<uint32_t>(a)), f) == EOF) rc = 1;
    if (std::fclose(f) != 0) rc = 1;
    return rc;
}
