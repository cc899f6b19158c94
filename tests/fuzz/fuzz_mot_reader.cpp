// The S-record reader on arbitrary input: no crash, no hang, no read outside
// the window, an error text that fits its buffer, and a sound image.
#include <cstring>

#include "data/data_file.h"
#include "fuzz_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = FuzzWriteInput(data, size);
    MemImage* image = MEM_Create();
    char text[64];
    const int r = MOT_LoadFile(image, path.c_str(), text, sizeof text);
    if (r != 0 && r != -1 && r != -3 && r != -4 && r != -5) __builtin_trap();
    if (std::strlen(text) >= sizeof text || (r == 0) != (text[0] == '\0')) __builtin_trap();
    uint32_t count = 0;
    for (const MemArea* a = image->first; a; a = a->next) {
        ++count;
        if (a->length == 0 || (a->next && static_cast<uint64_t>(a->start) + a->length >= a->next->start)) __builtin_trap();
    }
    if (count != image->areaCount) __builtin_trap();
    MEM_Free(image);
    return 0;
}
