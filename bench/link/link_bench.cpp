// Program and verify-all throughput against the simulator paced at a baud
// rate, as a fraction of what the wire allows (11 bit times per byte, the
// frames the jobs send and receive), and the link worker's CPU time while it
// polls a silent line.
//
//   link_bench [bytes] [silent-seconds]
#include <dirent.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <thread>

#include "btlsim.h"
#include "link/com.h"
#include "link/link.h"
#include "shell/settings.h"

namespace {

using Image = std::map<uint32_t, uint8_t>;

const LinkImageOps kOps = {
    [](void* p, uint32_t a) -> int {
        auto& m = *static_cast<Image*>(p);
        auto it = m.find(a);
        return it == m.end() ? -1 : it->second;
    },
    [](void* p) -> uint32_t { return static_cast<Image*>(p)->begin()->first; },
    [](void* p) -> uint32_t { return static_cast<Image*>(p)->rbegin()->first; },
    [](void* p) -> uint32_t { return static_cast<uint32_t>(static_cast<Image*>(p)->size()); },
    []() -> void* { return new Image; },
    [](void* p, uint32_t a, uint32_t n, const uint8_t* d) -> int {
        for (uint32_t i = 0; i < n; ++i)
            (*static_cast<Image*>(p))[a + i] = d[i];
        return 0;
    },
};

double Now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::set<long> Threads()
{
    std::set<long> t;
    if (DIR* d = opendir("/proc/self/task")) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.')
                t.insert(std::atol(e->d_name));
        closedir(d);
    }
    return t;
}

// User + system CPU seconds of one thread of this process.
double ThreadCpu(long tid)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/task/%ld/stat", tid);
    FILE* f = std::fopen(path, "r");
    if (!f)
        return -1;
    char buf[1024] = {};
    size_t n = std::fread(buf, 1, sizeof buf - 1, f);
    std::fclose(f);
    buf[n] = '\0';
    const char* p = std::strrchr(buf, ')');
    if (!p)
        return -1;
    unsigned long utime = 0, stime = 0;
    // Fields after the command: state is field 3; utime 14, stime 15.
    int field = 2;
    for (const char* q = p + 1; *q; ++q) {
        if (*q == ' ') {
            ++field;
            if (field == 14)
                std::sscanf(q + 1, "%lu %lu", &utime, &stime);
        }
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

bool WaitConnected(int ms)
{
    double end = Now() + ms / 1000.0;
    while (Now() < end) {
        if (LINK_IsConnected())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

int Connect(BtlSim& sim, uint32_t baud)
{
    if (sim.Start() != 0)
        return 1;
    COM_ResetModule();
    COM_Settings s{};
    s.baud_rate = baud;
    std::snprintf(s.port_name, sizeof s.port_name, "%s", sim.SlavePath().c_str());
    s.byte_size = 8;
    if (COM_Reconfigure(s) != 0)
        return 1;
    LINK_SetImageOps(&kOps);
    LINK_Start();
    return WaitConnected(5000) ? 0 : 1;
}

void Throughput(uint32_t baud, uint32_t bytes)
{
    BtlSimConfig cfg;
    cfg.range_start[0] = 0x10000;
    cfg.range_length[0] = bytes;
    cfg.baud = baud;
    BtlSim sim(cfg);
    if (Connect(sim, baud) != 0) {
        std::printf("%u baud: no connection\n", baud);
        return;
    }
    Image image;
    for (uint32_t i = 0; i < bytes; ++i)
        image[0x10000 + i] = static_cast<uint8_t>(i * 31 + 7);

    // Wire bytes of the job's exchanges: program requests (9 + 4 + data) and
    // their acknowledge; read requests (9 + 5) and memory replies (9 + 6 + n).
    double program_wire = 0, verify_wire = 0;
    for (uint32_t left = bytes; left > 0;) {
        uint32_t n = left < 236 ? left : 236;
        program_wire += 9 + 4 + ((n + 3) & ~3u) + 1;
        left -= n;
    }
    for (uint32_t left = bytes; left > 0;) {
        uint32_t n = left < 120 ? left : 120;
        verify_wire += 14 + 15 + n;
        left -= n;
    }
    double bit = 11.0 / baud;

    double t0 = Now();
    int rp = LINK_Program(0, &image);
    double t1 = Now();
    int rv = LINK_VerifyAll(0, &image);
    double t2 = Now();
    double pw = program_wire * bit, vw = verify_wire * bit;
    std::printf("%6u baud, %u bytes: program %.3f s (wire %.3f s) = %.1f %% of the wire limit, result %d\n", baud,
                bytes, t1 - t0, pw, 100.0 * pw / (t1 - t0), rp);
    std::printf("%6u baud, %u bytes: verify all %.3f s (wire %.3f s) = %.1f %% of the wire limit, result %d\n",
                baud, bytes, t2 - t1, vw, 100.0 * vw / (t2 - t1), rv);
    LINK_Stop();
    sim.Stop();
}

void SilentCpu(double seconds)
{
    BtlSimConfig cfg;
    BtlSim sim(cfg);
    if (sim.Start() != 0)
        return;
    BtlSimFaults f;
    f.silent = true;
    sim.SetFaults(f);
    COM_ResetModule();
    COM_Settings s{};
    s.baud_rate = 57600;
    std::snprintf(s.port_name, sizeof s.port_name, "%s", sim.SlavePath().c_str());
    s.byte_size = 8;
    COM_Reconfigure(s);
    std::set<long> before = Threads();
    LINK_Start();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    long worker = 0;
    for (long t : Threads())
        if (!before.count(t))
            worker = t;
    double c0 = ThreadCpu(worker), t0 = Now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    double c1 = ThreadCpu(worker), t1 = Now();
    std::printf("silent line, %.1f s of polling at 57600 baud: worker CPU %.3f s = %.2f %% of one core\n", t1 - t0,
                c1 - c0, 100.0 * (c1 - c0) / (t1 - t0));
    LINK_Stop();
    sim.Stop();
}

}  // namespace

int main(int argc, char** argv)
{
    uint32_t bytes = argc > 1 ? static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 0)) : 16384;
    double silent = argc > 2 ? std::atof(argv[2]) : 10.0;
    char folder[] = "/tmp/kal-bench-XXXXXX";
    if (mkdtemp(folder))
        setenv("KAL_DATA_FOLDER", folder, 1);
    Throughput(57600, bytes);
    Throughput(230400, bytes * 4);
    SilentCpu(silent);
    return 0;
}
