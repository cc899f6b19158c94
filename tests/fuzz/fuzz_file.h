#pragma once
// Shared by the fuzz targets: the input as a file, and the checks of a reader.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

#include "data/data_file.h"

// Writes the fuzz input to a private file, since the readers read files.
inline std::string FuzzWriteInput(const uint8_t* data, size_t size)
{
    static const std::string path = "/tmp/kal_fuzz_" + std::to_string(::getpid()) + ".in";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    return path;
}

// Runs one text reader on the fuzz input and traps on anything unsound: a
// result outside its set, an error text that overruns its buffer or does not
// match the result, or an area chain that is empty, touching or miscounted.
inline int FuzzLoadAndCheck(int (*load)(MemImage*, const char*, char*, uint32_t),
                            const uint8_t* data, size_t size)
{
    const std::string path = FuzzWriteInput(data, size);
    MemImage* image = MEM_Create();
    char text[64];
    const int r = load(image, path.c_str(), text, sizeof text);
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
