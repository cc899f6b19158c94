// The Intel HEX reader on arbitrary input: no crash, no hang, no read outside
// the window, an error text that fits its buffer, and a sound image.
#include "fuzz_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return FuzzLoadAndCheck(HEX_LoadFile, data, size);
}
