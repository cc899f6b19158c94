// The jobs' image operations on the loader's memory image: each call takes
// the image's own lock, so the GUI may draw the image while a job reads it.
#include "data/mem_image.h"
#include "link/link.h"

namespace {

MemImage* Img(void* p) { return static_cast<MemImage*>(p); }

const LinkImageOps kMemOps = {
    [](void* p, uint32_t a) -> int { return MEM_GetByte(Img(p), a); },
    [](void* p) -> uint32_t { return MEM_GetLowestAddress(Img(p)); },
    [](void* p) -> uint32_t { return MEM_GetHighestAddress(Img(p)); },
    [](void* p) -> uint32_t { return MEM_GetByteCount(Img(p)); },
    []() -> void* { return MEM_Create(); },
    [](void* p, uint32_t a, uint32_t n, const uint8_t* d) -> int { return MEM_AddBytes(Img(p), a, n, d); },
};

}  // namespace

const LinkImageOps* LINK_MemImageOps() { return &kMemOps; }
