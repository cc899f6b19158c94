#pragma once
// Writes the fuzz input to a private file, since the readers read files.
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

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
