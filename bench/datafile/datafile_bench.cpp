// Loads and saves a 16 MiB dense image and a sparse one (2000 areas of 4 KiB
// over 16 MiB) as Intel HEX, S-record and binary, runs srec_cat on the same
// files for the same conversions, and prints MB/s and peak memory side by
// side. Each measured step runs in its own child process so that its peak
// resident size is its own.
//   datafile_bench [FOLDER]    (default /tmp/kal_datafile_bench)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "data/data_file.h"

namespace {

struct Measure {
    double seconds = 0;
    double peakMiB = 0;
    bool ok = false;
};

Measure InChild(const std::function<int()>& work)
{
    const auto t0 = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        _exit(work());
    }
    int status = 0;
    struct rusage ru {};
    wait4(pid, &status, 0, &ru);
    Measure m;
    m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    m.peakMiB = ru.ru_maxrss / 1024.0;
    m.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return m;
}

Measure Run(const std::string& command)
{
    return InChild([&] {
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        return 127;
    });
}

double FileMiB(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_size / 1048576.0 : 0;
}

MemImage* Build(bool dense)
{
    MemImage* m = MEM_Create();
    std::mt19937 rng(1);
    std::vector<uint8_t> block(4096);
    if (dense) {
        for (uint32_t a = 0; a < 16u << 20; a += 4096) {
            for (auto& b : block) b = static_cast<uint8_t>(rng());
            MEM_AddBytes(m, 0x08000000u + a, 4096, block.data());
        }
    } else {
        for (uint32_t k = 0; k < 2000; ++k) {
            for (auto& b : block) b = static_cast<uint8_t>(rng());
            MEM_AddBytes(m, 0x08000000u + k * 8192u, 4096, block.data());
        }
    }
    return m;
}

using Loader = int (*)(MemImage*, const char*, char*, uint32_t);
int LoadBin(MemImage* m, const char* p, char* t, uint32_t s) { return BIN_LoadFile(m, p, t, s, 0x08000000u); }

void Row(const char* what, const std::string& input, const Measure& ours, const Measure& theirs)
{
    const double mb = FileMiB(input) * 1.048576;
    std::printf("%-34s %8.1f MB/s %7.1f MiB | %8.1f MB/s %7.1f MiB | x%5.1f %s\n", what, mb / ours.seconds, ours.peakMiB,
                theirs.seconds > 0 ? mb / theirs.seconds : 0.0, theirs.peakMiB,
                theirs.seconds > 0 ? theirs.seconds / ours.seconds : 0.0, ours.ok && theirs.ok ? "" : "(FAILED)");
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string dir = argc > 1 ? argv[1] : "/tmp/kal_datafile_bench";
    std::string mk = "mkdir -p " + dir;
    if (std::system(mk.c_str()) != 0) return 1;
    char text[256];
    std::printf("%-34s %25s | %25s | %s\n", "conversion (input size based)", "datafile core: speed, peak",
                "srec_cat: speed, peak", "ratio");
    for (int dense = 1; dense >= 0; --dense) {
        const std::string name = dir + (dense ? "/dense" : "/sparse");
        MemImage* m = Build(dense);
        const uint32_t low = MEM_GetLowestAddress(m), high = MEM_GetHighestAddress(m);
        HEX_SaveFile(m, (name + ".hex").c_str(), text, 200);
        MOT_SaveFile(m, (name + ".mot").c_str(), text, 200);
        BIN_SaveFile(m, (name + ".bin").c_str(), text, 200, low, high);
        MEM_Free(m);
        std::printf("-- %s image: %.1f MiB hex, %.1f MiB mot, %.1f MiB bin\n", dense ? "dense 16 MiB" : "sparse 2000 x 4 KiB",
                    FileMiB(name + ".hex"), FileMiB(name + ".mot"), FileMiB(name + ".bin"));
        struct Conv { const char* what; const char* in; Loader load; const char* out; const char* srecIn; const char* srecOut; };
        const Conv convs[] = {
            {"hex -> bin", ".hex", HEX_LoadFile, ".bin", "-intel", "-binary"},
            {"mot -> bin", ".mot", MOT_LoadFile, ".bin", "-motorola", "-binary"},
            {"bin -> hex", ".bin", LoadBin, ".hex", "-binary -offset 0x08000000", "-intel -obs=32"},
            {"bin -> mot", ".bin", LoadBin, ".mot", "-binary -offset 0x08000000", "-motorola -obs=32"},
            {"hex -> mot", ".hex", HEX_LoadFile, ".mot", "-intel", "-motorola -obs=32"},
            {"mot -> hex", ".mot", MOT_LoadFile, ".hex", "-motorola", "-intel -obs=32"},
        };
        for (const Conv& c : convs) {
            const std::string in = name + c.in;
            const std::string outOurs = name + ".ours" + c.out, outTheirs = name + ".theirs" + c.out;
            Measure ours = InChild([&] {
                MemImage* img = MEM_Create();
                char t[256];
                if (c.load(img, in.c_str(), t, 255) != 0) return 1;
                int r;
                if (std::strcmp(c.out, ".hex") == 0) r = HEX_SaveFile(img, outOurs.c_str(), t, 200);
                else if (std::strcmp(c.out, ".mot") == 0) r = MOT_SaveFile(img, outOurs.c_str(), t, 200);
                else r = BIN_SaveFile(img, outOurs.c_str(), t, 200, MEM_GetLowestAddress(img), MEM_GetHighestAddress(img));
                return r == 0 ? 0 : 1;
            });
            Measure theirs = Run("srec_cat " + in + " " + c.srecIn + " -o " + outTheirs + " " + c.srecOut + " 2>/dev/null");
            Row(c.what, in, ours, theirs);
        }
        // Load only, and binary load against cat.
        for (const char* ext : {".hex", ".mot", ".bin"}) {
            const std::string in = name + ext;
            Loader load = ext[1] == 'h' ? HEX_LoadFile : ext[1] == 'm' ? MOT_LoadFile : LoadBin;
            Measure ours = InChild([&] {
                MemImage* img = MEM_Create();
                char t[256];
                return load(img, in.c_str(), t, 255) == 0 ? 0 : 1;
            });
            Measure cat = Run("cat " + in + " > /dev/null");
            std::string what = std::string("load ") + (ext + 1) + " (vs cat)";
            Row(what.c_str(), in, ours, cat);
        }
    }
    // Program-job access: one MEM_GetByte per address, ascending, over 16 MiB with 2000 areas.
    MemImage* sparse = MEM_Create();
    std::vector<uint8_t> block(4096, 0x5A);
    for (uint32_t k = 0; k < 2000; ++k) MEM_AddBytes(sparse, k * 8400u, 4096, block.data());
    const uint32_t span = 16u << 20;
    std::printf("-- MEM_GetByte ascending over 16 MiB, 2000 areas: ns per address by quarter of the span\n");
    long sink = 0;
    for (int q = 0; q < 4; ++q) {
        const auto t0 = std::chrono::steady_clock::now();
        for (uint32_t a = q * (span / 4); a < (q + 1) * (span / 4); ++a) sink += MEM_GetByte(sparse, a);
        std::printf("%s", sink == 42 ? " " : "");
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        std::printf("   quarter %d: %.2f ns/address\n", q + 1, s * 1e9 / (span / 4));
    }
    MEM_Free(sparse);
    (void)sink;
    return 0;
}
