// btlsim: serves the bootloader protocol on a pty until SIGTERM or SIGINT.
#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "btlsim.h"
#include "data/data_file.h"
#include "data/mem_image.h"

namespace {

void Usage(std::FILE* out) {
    std::fputs(
        "usage: btlsim --link PATH [options]\n"
        "  --link PATH            make PATH a symlink to the pty's slave\n"
        "  --password TEXT        password the bootloader accepts (default empty)\n"
        "  --version N            bootloader version times 100 (default 112)\n"
        "  --cpu NAME             CPU name (default RX62N)\n"
        "  --app NAME             application name (default KALUNA)\n"
        "  --range1 START:LENGTH  application range 1, hexadecimal (default 1000:1000)\n"
        "  --range2 START:LENGTH  application range 2, hexadecimal (default none)\n"
        "  --memory FILE          initial contents: Intel HEX (first character ':'), S-record\n"
        "                         ('S') or else binary from the start of range 1\n"
        "  --baud N               pace both directions at N baud, 11 bit times per byte\n"
        "  --dump FILE            at exit, range 1 start to the end of the last range, binary\n"
        "  --clear-ms N           time a clear takes (default 50)\n"
        "  --crc-ms N             time a CRC takes (default 10)\n"
        "  --blank-ms N           time a check blank takes (default 10)\n"
        "faults:\n"
        "  --silent               never answer\n"
        "  --refuse-password N    refuse the next N connects\n"
        "  --bad-checksum N       spoil the checksum of the next N replies\n"
        "  --frame-for-ack N      answer the next N acknowledged requests with a frame\n"
        "  --drop-reply N         leave out the next N replies\n"
        "  --cut-reply N          send the next N frames without their last byte\n"
        "  --late MS:N            send the next N replies MS late\n"
        "  --write-error BLOCK    answer program request BLOCK (from 0) with an error frame\n"
        "  --not-blank            clear and check blank report the first byte not blank\n"
        "  --disconnect-after N   fall silent after N program blocks\n"
        "  --help                 this text\n",
        out);
}

bool ParseUnsigned(const char* text, int base, uint32_t* out) {
    if (!text || !*text) return false;
    errno = 0;
    char* end = nullptr;
    unsigned long long v = std::strtoull(text, &end, base);
    if (errno != 0 || *end != '\0' || v > 0xFFFFFFFFull || text[0] == '-') return false;
    *out = static_cast<uint32_t>(v);
    return true;
}

bool ParseRange(const char* text, uint32_t* start, uint32_t* length) {
    const char* colon = text ? std::strchr(text, ':') : nullptr;
    if (!colon) return false;
    std::string a(text, static_cast<size_t>(colon - text));
    return ParseUnsigned(a.c_str(), 16, start) && ParseUnsigned(colon + 1, 16, length);
}

int Fail(const char* what, const char* value) {
    std::fprintf(stderr, "btlsim: %s%s%s\n", what, value ? ": " : "", value ? value : "");
    return 2;
}

// Reads the file with the loader's own readers, chosen by the first
// character as the loader chooses, and copies every area into the flash.
int LoadMemory(BtlSim& sim, const std::string& path, uint32_t binary_base) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return Fail("cannot open", path.c_str());
    const int first = std::fgetc(f);
    std::fclose(f);
    MemImage* image = MEM_Create();
    if (!image) return Fail("no memory for", path.c_str());
    char error[512] = {};
    int rc;
    if (first == ':')
        rc = HEX_LoadFile(image, path.c_str(), error, sizeof error);
    else if (first == 'S')
        rc = MOT_LoadFile(image, path.c_str(), error, sizeof error);
    else
        rc = BIN_LoadFile(image, path.c_str(), error, sizeof error, binary_base);
    if (rc != 0) {
        MEM_Free(image);
        return Fail(error[0] ? error : "cannot read", path.c_str());
    }
    if (MEM_Lock(image) == 0) {
        for (const MemArea* a = image->first; a; a = a->next) sim.Load(a->start, a->data, a->length);
        MEM_Unlock(image);
    }
    MEM_Free(image);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    BtlSimConfig config;
    BtlSimFaults faults;
    std::string link, memory, dump;
    for (int i = 1; i < argc; ++i) {
        const std::string opt = argv[i];
        const char* val = i + 1 < argc ? argv[i + 1] : nullptr;
        uint32_t n = 0, m = 0;
        auto number = [&](int base = 10) {
            if (!ParseUnsigned(val, base, &n)) return false;
            ++i;
            return true;
        };
        if (opt == "--help") {
            Usage(stdout);
            return 0;
        } else if (opt == "--silent") {
            faults.silent = true;
        } else if (opt == "--not-blank") {
            faults.force_not_blank = true;
        } else if (!val) {
            return Fail("missing value for", opt.c_str());
        } else if (opt == "--link") {
            link = val; ++i;
        } else if (opt == "--password") {
            config.password = val; ++i;
        } else if (opt == "--cpu") {
            config.cpu = val; ++i;
        } else if (opt == "--app") {
            config.app = val; ++i;
        } else if (opt == "--memory") {
            memory = val; ++i;
        } else if (opt == "--dump") {
            dump = val; ++i;
        } else if (opt == "--range1" || opt == "--range2") {
            const int r = opt == "--range1" ? 0 : 1;
            if (!ParseRange(val, &n, &m)) return Fail("bad range", val);
            config.range_start[r] = n;
            config.range_length[r] = m;
            ++i;
        } else if (opt == "--late") {
            if (!ParseRange(val, &n, &m)) return Fail("bad --late (MS:N)", val);
            faults.late_ms = static_cast<uint32_t>(std::strtoul(val, nullptr, 10));
            faults.late_count = static_cast<int>(std::strtoul(std::strchr(val, ':') + 1, nullptr, 10));
            ++i;
        } else if (!number()) {
            return Fail("bad value for", opt.c_str());
        } else if (opt == "--version") {
            config.version = n;
        } else if (opt == "--baud") {
            config.baud = n;
        } else if (opt == "--clear-ms") {
            config.clear_ms = n;
        } else if (opt == "--crc-ms") {
            config.crc_ms = n;
        } else if (opt == "--blank-ms") {
            config.blank_ms = n;
        } else if (opt == "--refuse-password") {
            faults.refuse_password = static_cast<int>(n);
        } else if (opt == "--bad-checksum") {
            faults.bad_checksum = static_cast<int>(n);
        } else if (opt == "--frame-for-ack") {
            faults.frame_instead_of_ack = static_cast<int>(n);
        } else if (opt == "--drop-reply") {
            faults.drop_reply = static_cast<int>(n);
        } else if (opt == "--cut-reply") {
            faults.cut_reply = static_cast<int>(n);
        } else if (opt == "--write-error") {
            faults.write_error_at_block = static_cast<int>(n);
        } else if (opt == "--disconnect-after") {
            faults.disconnect_after_blocks = static_cast<int>(n);
        } else {
            Usage(stderr);
            return Fail("unknown option", opt.c_str());
        }
    }
    if (link.empty()) {
        Usage(stderr);
        return Fail("--link PATH is required", nullptr);
    }
    if (config.range_length[0] > (16u << 20) || config.range_length[1] > (16u << 20))
        return Fail("a range is longer than 16 MiB", nullptr);

    // Signals are taken by sigwait below, never by a handler; the serving
    // thread inherits the blocked mask.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);

    BtlSim sim(config);
    if (!memory.empty() && LoadMemory(sim, memory, config.range_start[0]) != 0) return 2;
    sim.SetFaults(faults);
    if (sim.Start(link) != 0) return Fail("cannot create the pty or the link", link.c_str());
    std::printf("btlsim: serving on %s (%s)\n", sim.SlavePath().c_str(), link.c_str());
    std::fflush(stdout);

    int sig = 0;
    while (sigwait(&set, &sig) != 0) {
    }
    sim.Stop();
    if (!dump.empty() && sim.DumpToFile(dump) != 0) return Fail("cannot write", dump.c_str());
    return 0;
}
