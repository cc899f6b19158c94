// Random sparse images written as Intel HEX, S-record and binary and read
// back must hold the same bytes.
#include <cstring>
#include <map>

#include "data/data_file.h"
#include "fuzz_file.h"

namespace {
std::map<uint32_t, uint8_t> Contents(MemImage* m)
{
    std::map<uint32_t, uint8_t> bytes;
    for (const MemArea* a = m->first; a; a = a->next)
        for (uint32_t i = 0; i < a->length; ++i) bytes[a->start + i] = a->data[i];
    return bytes;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Input: blocks of (4-byte address, 1-byte length, bytes...).
    MemImage* image = MEM_Create();
    size_t i = 0;
    while (i + 5 <= size) {
        uint32_t address;
        std::memcpy(&address, data + i, 4);
        uint32_t n = data[i + 4];
        i += 5;
        if (n > size - i) n = static_cast<uint32_t>(size - i);
        MEM_AddBytes(image, address, n, data + i);
        i += n;
    }
    const auto expected = Contents(image);
    const std::string base = FuzzWriteInput(nullptr, 0);
    char text[200];
    const uint32_t low = MEM_GetLowestAddress(image), high = MEM_GetHighestAddress(image);
    const std::string hex = base + ".hex", mot = base + ".mot", bin = base + ".bin";
    if (HEX_SaveFile(image, hex.c_str(), text, sizeof text) != 0) __builtin_trap();
    if (MOT_SaveFile(image, mot.c_str(), text, sizeof text) != 0) __builtin_trap();

    MemImage* back = MEM_Create();
    if (MOT_LoadFile(back, mot.c_str(), text, sizeof text) != 0 || Contents(back) != expected) __builtin_trap();
    MEM_Free(back);
    back = MEM_Create();
    const int r = HEX_LoadFile(back, hex.c_str(), text, sizeof text);
    if (r != 0 || Contents(back) != expected) __builtin_trap();
    MEM_Free(back);
    // Binary only for spans that fit comfortably in memory.
    if (!expected.empty() && high - low < (1u << 20)) {
        if (BIN_SaveFile(image, bin.c_str(), text, sizeof text, low, high) != 0) __builtin_trap();
        back = MEM_Create();
        if (BIN_LoadFile(back, bin.c_str(), text, sizeof text, low) != 0) __builtin_trap();
        for (const auto& [a, v] : expected)
            if (MEM_GetByte(back, a) != v) __builtin_trap();
        if (MEM_GetByteCount(back) != high - low + 1) __builtin_trap();
        MEM_Free(back);
    }
    MEM_Free(image);
    return 0;
}
