#pragma once
// The memory image: a sparse 32-bit address space held as an ascending chain
// of areas, plus the pending byte writes of the hex dump view that overlay
// them until the image is saved. Used from the GUI thread and the link worker;
// every operation but MEM_Create, MEM_Free and MEM_GetViewSource runs under
// the image's own re-entrant lock.
#include <cstdint>

#include "shell/util_sys.h"

struct MemArea {
    MemArea* next;       // next area, ascending; null for the last
    uint8_t* data;       // owned by the area
    uint32_t start;      // address of the first byte
    uint32_t length;     // bytes in use, at least 1
    uint32_t capacity;   // allocated bytes, at least length
};

struct MemPendingWrite {
    uint32_t address;
    uint8_t value;
};

// All fields are guarded by lock (both threads may use an image).
struct MemImage {
    MemArea* first;
    MemArea* last;            // null when not known yet
    uint32_t areaCount;
    uint32_t modified;        // nonzero: modified since loaded or saved
    uint32_t pendingCount;
    uint32_t pendingCapacity;
    MemPendingWrite* pending; // oldest first
    UtilMutex lock;
    int32_t cachedIndex;      // -1: nothing remembered
    MemArea* cachedArea;
};

// The operation table through which the hex dump view reaches its source.
// Each slot takes the source's context first; empty slots are null.
struct ViewMemSource {
    uint32_t (*getLowestAddress)(void* ctx);                   // 0
    uint32_t (*getHighestAddress)(void* ctx);                  // 1
    int (*readU8)(void* ctx, uint32_t address, uint8_t* out);  // 2
    int (*readU16)(void* ctx, uint32_t address, uint16_t* out); // 3
    int (*readU32)(void* ctx, uint32_t address, uint32_t* out); // 4
    int (*writeU8)(void* ctx, uint32_t address, uint32_t value); // 5
    void (*writeU16)(void* ctx, uint32_t address, uint32_t value); // 6
    void (*writeU32)(void* ctx, uint32_t address, uint32_t value); // 7
    void (*undoLastWrite)(void* ctx);                          // 8
    void (*discardWrites)(void* ctx, uint32_t address);        // 9
    void* slot10;
    void* slot11;
    void* slot12;
    void (*free)(void* ctx);                                   // 13
    void* slot14;
    void (*getStatus)(void* ctx, uint8_t* out);                // 15
    void* slot16;
    void* slot17;
    void* slot18;
    void* slot19;
};

// Waiting time of the image lock.
constexpr uint32_t MEM_LOCK_TIMEOUT_MS = 10000;

// AddBytes results besides 0 and -1 (overlap).
constexpr int MEM_ERR_LOCK = -3;    // the lock could not be taken in time
constexpr int MEM_ERR_MEMORY = -2;  // an allocation failed; the image is unchanged

MemImage* MEM_Create();
void MEM_Free(MemImage* image);
// 0 taken, -1 timed out, -2 no image or no lock could be created.
int MEM_Lock(MemImage* image);
void MEM_Unlock(MemImage* image);

// 0; -1 when the block overlaps data (nothing changes); -2 no memory; -3 lock
// time-out. A block of no bytes changes nothing and returns 0.
int MEM_AddBytes(MemImage* image, uint32_t address, uint32_t length, const uint8_t* bytes);
// Newest pending write + 256, else the area byte, else -1 (also on a lock time-out).
int MEM_GetByte(MemImage* image, uint32_t address);
uint32_t MEM_ReadBlock(MemImage* image, uint32_t low, uint32_t high, uint32_t maxGap, uint8_t* out,
                       uint32_t* outStart, uint32_t maxCount);
uint32_t MEM_GetLowestAddress(MemImage* image);
uint32_t MEM_GetHighestAddress(MemImage* image);
uint32_t MEM_GetByteCount(MemImage* image);
void MEM_DeleteRange(MemImage* image, uint32_t low, uint32_t high);
// Areas carried across the top of the address space are split there and the
// chain is kept ascending.
int MEM_Relocate(MemImage* image, uint32_t offset);

int MEM_ReadU8(MemImage* image, uint32_t address, uint8_t* out);
int MEM_ReadU16(MemImage* image, uint32_t address, uint16_t* out);
int MEM_ReadU32(MemImage* image, uint32_t address, uint32_t* out);
int MEM_WriteU8(MemImage* image, uint32_t address, uint32_t value);
void MEM_WriteU16(MemImage* image, uint32_t address, uint32_t value);
void MEM_WriteU32(MemImage* image, uint32_t address, uint32_t value);
void MEM_UndoLastWrite(MemImage* image);
void MEM_DiscardWrites(MemImage* image, uint32_t address);
int MEM_CommitWrites(MemImage* image);
void MEM_GetStatus(MemImage* image, uint8_t* out);
const ViewMemSource* MEM_GetViewSource();

// The same without taking the lock, for callers that already hold it (the
// file loaders).
int MEM_AddBytesLocked(MemImage* image, uint32_t address, uint32_t length, const uint8_t* bytes);
// Lets the area that ends just below address grow by extra bytes without
// further reallocation (the binary loader knows the file size). Holds the
// lock's caller contract of MEM_AddBytesLocked.
void MEM_ReserveLocked(MemImage* image, uint32_t address, uint32_t extra);
