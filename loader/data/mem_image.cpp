// Memory image: area chain, pending writes, lock and the block lookup cache.
#include "data/mem_image.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Holds the image lock for a scope; ok() is false when the wait failed, and
// the operation must then leave the image alone.
class ImageLock {
public:
    explicit ImageLock(MemImage* image) : image_(image), ok_(image && MEM_Lock(image) == 0) {}
    ~ImageLock()
    {
        if (ok_) {
            MEM_Unlock(image_);
        }
    }
    ImageLock(const ImageLock&) = delete;
    ImageLock& operator=(const ImageLock&) = delete;
    bool ok() const { return ok_; }

private:
    MemImage* image_;
    bool ok_;
};

uint64_t LastOf(const MemArea* a)
{
    return static_cast<uint64_t>(a->start) + a->length - 1;
}

void Forget(MemImage* m)
{
    m->cachedIndex = -1;
    m->cachedArea = nullptr;
}

MemArea* NewArea(uint32_t start, uint32_t length, const uint8_t* bytes)
{
    const uint32_t cap = std::max<uint32_t>(length, 128);
    auto* a = static_cast<MemArea*>(UTIL_Alloc(sizeof(MemArea)));
    if (!a) {
        return nullptr;
    }
    a->data = static_cast<uint8_t*>(UTIL_Alloc(cap));
    if (!a->data) {
        UTIL_Free(a);
        return nullptr;
    }
    a->next = nullptr;
    a->start = start;
    a->length = length;
    a->capacity = cap;
    if (bytes) {
        std::memcpy(a->data, bytes, length);
    }
    return a;
}

void FreeArea(MemArea* a)
{
    UTIL_Free(a->data);
    UTIL_Free(a);
}

bool Reserve(MemArea* a, uint64_t needed, uint64_t newCapacity)
{
    if (needed <= a->capacity) {
        return true;
    }
    if (newCapacity > 0xFFFFFFFFull) {
        newCapacity = 0xFFFFFFFFull;
    }
    if (needed > newCapacity) {
        return false;
    }
    void* p = UTIL_Realloc(a->data, static_cast<uint32_t>(newCapacity));
    if (!p) {
        return false;
    }
    a->data = static_cast<uint8_t*>(p);
    a->capacity = static_cast<uint32_t>(newCapacity);
    return true;
}

bool Append(MemArea* a, uint32_t length, const uint8_t* bytes)
{
    const uint64_t needed = static_cast<uint64_t>(a->length) + length;
    if (!Reserve(a, needed, static_cast<uint64_t>(a->capacity) + a->capacity / 8 + length + 128)) {
        return false;
    }
    std::memcpy(a->data + a->length, bytes, length);
    a->length += length;
    return true;
}

void ShrinkTo(MemArea* a, uint32_t length)
{
    a->length = length;
    void* p = UTIL_Realloc(a->data, length);
    if (p) {
        a->data = static_cast<uint8_t*>(p);
        a->capacity = length;
    }
}

MemArea* FindLast(MemImage* m)
{
    if (!m->last && m->first) {
        MemArea* a = m->first;
        while (a->next) {
            a = a->next;
        }
        m->last = a;
    }
    return m->last;
}

// Joins a with its successor when they touch.
bool MergeWithNext(MemImage* m, MemArea* a)
{
    MemArea* n = a->next;
    if (!n || LastOf(a) + 1 != n->start) {
        return true;
    }
    const uint64_t combined = static_cast<uint64_t>(a->length) + n->length;
    if (!Reserve(a, combined, 2 * std::max<uint64_t>(combined, 128))) {
        return false;
    }
    std::memcpy(a->data + a->length, n->data, n->length);
    a->length = static_cast<uint32_t>(combined);
    a->next = n->next;
    if (m->last == n) {
        m->last = a;
    }
    FreeArea(n);
    --m->areaCount;
    Forget(m);
    return true;
}

// The area holding address, or null; starts at the remembered area when it
// lies at or below the address.
MemArea* FindArea(MemImage* m, uint32_t address)
{
    MemArea* a = m->first;
    int32_t index = 0;
    if (m->cachedArea && m->cachedArea->start <= address) {
        a = m->cachedArea;
        index = m->cachedIndex;
    }
    MemArea* prev = nullptr;
    int32_t prevIndex = -1;
    while (a && LastOf(a) < address) {
        prev = a;
        prevIndex = index;
        a = a->next;
        ++index;
    }
    if (a && a->start <= address) {
        m->cachedArea = a;
        m->cachedIndex = index;
        return a;
    }
    if (prev) {
        m->cachedArea = prev;
        m->cachedIndex = prevIndex;
    }
    return nullptr;
}

// The first area with an address at or above low (its last address >= low).
MemArea* FindFrom(MemImage* m, uint32_t low)
{
    MemArea* a = m->first;
    int32_t index = 0;
    if (m->cachedArea && m->cachedArea->start <= low) {
        a = m->cachedArea;
        index = m->cachedIndex;
    }
    while (a && LastOf(a) < low) {
        a = a->next;
        ++index;
    }
    if (a) {
        m->cachedArea = a;
        m->cachedIndex = index;
    }
    return a;
}

int PendingIndex(const MemImage* m, uint32_t address)
{
    for (uint32_t i = m->pendingCount; i-- > 0;) {
        if (m->pending[i].address == address) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int GetByteUnlocked(MemImage* m, uint32_t address)
{
    int p = m->pendingCount ? PendingIndex(m, address) : -1;
    if (p >= 0) {
        return m->pending[p].value + 256;
    }
    MemArea* a = FindArea(m, address);
    return a ? a->data[address - a->start] : -1;
}

}  // namespace

MemImage* MEM_Create()
{
    auto* m = static_cast<MemImage*>(UTIL_Alloc(sizeof(MemImage)));
    if (!m) {
        return nullptr;
    }
    std::memset(m, 0, sizeof *m);
    m->lock = UTIL_CreateMutex();
    m->modified = 1;
    m->cachedIndex = -1;
    return m;
}

void MEM_Free(MemImage* image)
{
    if (!image) {
        return;
    }
    UTIL_CloseMutex(&image->lock);
    MemArea* a = image->first;
    while (a) {
        MemArea* n = a->next;
        FreeArea(a);
        a = n;
    }
    UTIL_Free(image->pending);
    UTIL_Free(image);
}

int MEM_Lock(MemImage* image)
{
    if (!image) {
        return -2;
    }
    if (!image->lock) {
        image->lock = UTIL_CreateMutex();
        if (!image->lock) {
            return -2;
        }
    }
    return UTIL_WaitMutex(image->lock, MEM_LOCK_TIMEOUT_MS) == 0 ? 0 : -1;
}

void MEM_Unlock(MemImage* image)
{
    if (image) {
        UTIL_ReleaseMutex(image->lock);
    }
}

int MEM_AddBytesLocked(MemImage* m, uint32_t address, uint32_t length, const uint8_t* bytes)
{
    if (!m) {
        return 0;
    }
    if (length == 0) {
        return 0;   // nothing to add; an area never holds no bytes
    }
    const uint64_t blockLast = static_cast<uint64_t>(address) + length - 1;
    if (blockLast > 0xFFFFFFFFull) {
        return -1;   // the block would run past the top of the address space
    }
    ++m->modified;
    Forget(m);
    // Refuse any overlap before changing anything. A block behind the last
    // area cannot overlap: that is the common case of a file read in order.
    MemArea* tail = FindLast(m);
    const bool behindLast = tail && address > LastOf(tail);
    for (MemArea* a = behindLast ? nullptr : m->first; a; a = a->next) {
        if (a->start > blockLast) {
            break;
        }
        if (LastOf(a) >= address) {
            return -1;
        }
    }
    if (!m->first) {
        MemArea* a = NewArea(address, length, bytes);
        if (!a) {
            return MEM_ERR_MEMORY;
        }
        m->first = m->last = a;
        m->areaCount = 1;
        return 0;
    }
    MemArea* last = FindLast(m);
    const uint64_t end = LastOf(last);
    if (address == end + 1) {
        return Append(last, length, bytes) ? 0 : MEM_ERR_MEMORY;
    }
    if (address > end + 1) {
        MemArea* a = NewArea(address, length, bytes);
        if (!a) {
            return MEM_ERR_MEMORY;
        }
        last->next = a;
        m->last = a;
        ++m->areaCount;
        return 0;
    }
    MemArea* prev = nullptr;
    for (MemArea* a = m->first; a; prev = a, a = a->next) {
        if (address == LastOf(a) + 1) {
            if (!Append(a, length, bytes)) {
                return MEM_ERR_MEMORY;
            }
            return MergeWithNext(m, a) ? 0 : MEM_ERR_MEMORY;
        }
        if (blockLast + 1 == a->start) {
            const uint64_t needed = static_cast<uint64_t>(a->length) + length;
            if (!Reserve(a, needed, static_cast<uint64_t>(a->capacity) + a->capacity / 8 + length + 128)) {
                return MEM_ERR_MEMORY;
            }
            std::memmove(a->data + length, a->data, a->length);
            std::memcpy(a->data, bytes, length);
            a->start = address;
            a->length += length;
            return 0;
        }
        if (blockLast < a->start) {
            MemArea* n = NewArea(address, length, bytes);
            if (!n) {
                return MEM_ERR_MEMORY;
            }
            n->next = a;
            if (prev) {
                prev->next = n;
            } else {
                m->first = n;
            }
            ++m->areaCount;
            return 0;
        }
    }
    // Not reached: a block beyond the last area was handled above.
    return -1;
}

int MEM_AddBytes(MemImage* image, uint32_t address, uint32_t length, const uint8_t* bytes)
{
    if (!image) {
        return 0;
    }
    ImageLock lock(image);
    if (!lock.ok()) {
        return MEM_ERR_LOCK;
    }
    return MEM_AddBytesLocked(image, address, length, bytes);
}

int MEM_GetByte(MemImage* image, uint32_t address)
{
    if (!image) {
        return 0;
    }
    ImageLock lock(image);
    if (!lock.ok()) {
        return -1;
    }
    return GetByteUnlocked(image, address);
}

uint32_t MEM_ReadBlock(MemImage* m, uint32_t low, uint32_t high, uint32_t maxGap, uint8_t* out, uint32_t* outStart,
                       uint32_t maxCount)
{
    if (!m || low > high || maxCount == 0) {
        return 0;
    }
    ImageLock lock(m);
    if (!lock.ok()) {
        return 0;
    }
    MemArea* a = FindFrom(m, low);
    if (!a || a->start > high) {
        return 0;
    }
    const uint32_t s = std::max(a->start, low);
    uint64_t end = std::min<uint64_t>(LastOf(a), high);   // last address in the block
    while (maxGap != 0 && end - s + 1 < maxCount && end < high) {
        MemArea* n = a->next;
        if (!n || n->start > high) {
            break;
        }
        const uint64_t gap = n->start - (end + 1);
        if (gap > maxGap) {
            break;
        }
        a = n;
        end = std::min<uint64_t>(LastOf(a), high);
    }
    uint64_t count64 = end - s + 1;
    const uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(count64, maxCount));
    if (out) {
        if (m->pendingCount) {
            for (uint32_t i = 0; i < count; ++i) {
                int v = GetByteUnlocked(m, s + i);
                out[i] = v < 0 ? 0xFF : static_cast<uint8_t>(v);
            }
        } else {
            std::memset(out, 0xFF, count);
            const uint64_t blockLast = static_cast<uint64_t>(s) + count - 1;
            for (MemArea* p = FindFrom(m, s); p && p->start <= blockLast; p = p->next) {
                const uint64_t from = std::max<uint64_t>(p->start, s);
                const uint64_t to = std::min<uint64_t>(LastOf(p), blockLast);
                std::memcpy(out + (from - s), p->data + (from - p->start), static_cast<size_t>(to - from + 1));
            }
        }
    }
    if (outStart && count) {
        *outStart = s;
    }
    return count;
}

uint32_t MEM_GetLowestAddress(MemImage* image)
{
    if (!image) {
        return 0;
    }
    ImageLock lock(image);
    if (!lock.ok() || !image->first) {
        return 0;
    }
    return image->first->start;
}

uint32_t MEM_GetHighestAddress(MemImage* image)
{
    if (!image) {
        return 0;
    }
    ImageLock lock(image);
    if (!lock.ok() || !image->first) {
        return 0;
    }
    return static_cast<uint32_t>(LastOf(FindLast(image)));
}

uint32_t MEM_GetByteCount(MemImage* image)
{
    if (!image) {
        return 0;
    }
    ImageLock lock(image);
    if (!lock.ok()) {
        return 0;
    }
    uint64_t sum = 0;
    for (MemArea* a = image->first; a; a = a->next) {
        sum += a->length;
    }
    return static_cast<uint32_t>(std::min<uint64_t>(sum, 0xFFFFFFFFull));
}

void MEM_DeleteRange(MemImage* m, uint32_t low, uint32_t high)
{
    if (!m || low > high) {
        return;
    }
    ImageLock lock(m);
    if (!lock.ok()) {
        return;
    }
    ++m->modified;
    Forget(m);
    MemArea* prev = nullptr;
    MemArea* a = m->first;
    while (a) {
        MemArea* next = a->next;
        const uint64_t last = LastOf(a);
        const bool startIn = a->start >= low && a->start <= high;
        if (startIn && last <= high) {
            if (prev) {
                prev->next = next;
            } else {
                m->first = next;
            }
            if (m->last == a) {
                m->last = prev;
            }
            FreeArea(a);
            --m->areaCount;
            a = next;
            continue;
        }
        if (startIn) {
            const uint32_t cut = high + 1 - a->start;
            std::memmove(a->data, a->data + cut, a->length - cut);
            a->start = high + 1;
            ShrinkTo(a, a->length - cut);
        } else if (a->start < low && last >= low && last <= high) {
            ShrinkTo(a, low - a->start);
        } else if (a->start < low && last > high) {
            const uint32_t tailOffset = high + 1 - a->start;
            MemArea* tail = NewArea(high + 1, a->length - tailOffset, a->data + tailOffset);
            if (!tail) {
                return;   // out of memory: leave the area whole rather than lose its tail
            }
            tail->next = next;
            a->next = tail;
            ShrinkTo(a, low - a->start);
            ++m->areaCount;
            if (m->last == a) {
                m->last = tail;
            }
            return;
        }
        prev = a;
        a = next;
    }
}

int MEM_Relocate(MemImage* m, uint32_t offset)
{
    if (!m) {
        return 0;
    }
    ImageLock lock(m);
    if (!lock.ok()) {
        return -1;
    }
    ++m->modified;
    Forget(m);
    for (uint32_t i = 0; i < m->pendingCount; ++i) {
        m->pending[i].address += offset;
    }
    if (!m->first || offset == 0) {
        return 0;
    }
    // Shift every area; one that would cross the top is split there. All
    // areas move by the same amount, so the new chain is a rotation of the
    // old one and sorting by the new starts restores the order.
    std::vector<MemArea*> areas;
    areas.reserve(m->areaCount + 1);
    std::vector<MemArea*> pieces;
    for (MemArea* a = m->first; a; a = a->next) {
        const uint64_t newStart = static_cast<uint64_t>(a->start) + offset;
        const uint64_t newLast = newStart + a->length - 1;
        if (newStart <= 0xFFFFFFFFull && newLast > 0xFFFFFFFFull) {
            const uint32_t headLength = static_cast<uint32_t>(0x100000000ull - newStart);
            MemArea* piece = NewArea(a->start + headLength, a->length - headLength, a->data + headLength);
            if (!piece) {
                for (MemArea* p : pieces) {
                    FreeArea(p);
                }
                return MEM_ERR_MEMORY;   // nothing has moved yet
            }
            pieces.push_back(piece);
            areas.push_back(piece);
        }
        areas.push_back(a);
    }
    for (MemArea* a : areas) {
        const bool isPiece = std::find(pieces.begin(), pieces.end(), a) != pieces.end();
        const uint64_t newStart = static_cast<uint64_t>(a->start) + offset;
        if (!isPiece && newStart <= 0xFFFFFFFFull && newStart + a->length - 1 > 0xFFFFFFFFull) {
            // The head of a split area keeps only the bytes below the top.
            ShrinkTo(a, static_cast<uint32_t>(0x100000000ull - newStart));
        }
        a->start += offset;
    }
    std::stable_sort(areas.begin(), areas.end(), [](const MemArea* x, const MemArea* y) { return x->start < y->start; });
    for (size_t i = 0; i < areas.size(); ++i) {
        areas[i]->next = i + 1 < areas.size() ? areas[i + 1] : nullptr;
    }
    m->first = areas.front();
    m->last = areas.back();
    m->areaCount = static_cast<uint32_t>(areas.size());
    return 0;
}

int MEM_ReadU8(MemImage* image, uint32_t address, uint8_t* out)
{
    if (!image) {
        return -1;
    }
    ImageLock lock(image);
    if (!lock.ok()) {
        return -1;
    }
    int v = GetByteUnlocked(image, address);
    if (v < 0) {
        return -1;
    }
    if (out) {
        *out = static_cast<uint8_t>(v);
    }
    return v >= 256 ? 1 : 0;
}

namespace {
int ReadLittle(MemImage* image, uint32_t address, int n, uint32_t* value)
{
    if (!image) {
        return -1;
    }
    ImageLock lock(image);
    if (!lock.ok()) {
        return -1;
    }
    uint32_t v = 0;
    int anyPending = 0;
    for (int i = 0; i < n; ++i) {
        int b = GetByteUnlocked(image, address + static_cast<uint32_t>(i));
        if (b < 0) {
            return -1;
        }
        if (b >= 256) {
            anyPending = 1;
        }
        v |= static_cast<uint32_t>(b & 0xFF) << (8 * i);
    }
    *value = v;
    return anyPending;
}
}  // namespace

int MEM_ReadU16(MemImage* image, uint32_t address, uint16_t* out)
{
    uint32_t v = 0;
    int r = ReadLittle(image, address, 2, &v);
    if (r >= 0 && out) {
        *out = static_cast<uint16_t>(v);
    }
    return r;
}

int MEM_ReadU32(MemImage* image, uint32_t address, uint32_t* out)
{
    uint32_t v = 0;
    int r = ReadLittle(image, address, 4, &v);
    if (r >= 0 && out) {
        *out = v;
    }
    return r;
}

int MEM_WriteU8(MemImage* image, uint32_t address, uint32_t value)
{
    if (!image) {
        return -1;
    }
    ImageLock lock(image);
    if (!lock.ok()) {
        return -1;
    }
    ++image->modified;
    if (image->pendingCount == image->pendingCapacity) {
        const uint64_t cap = static_cast<uint64_t>(image->pendingCapacity) + 100;
        const uint64_t bytes = cap * sizeof(MemPendingWrite);
        void* p = bytes <= 0xFFFFFFFFull ? UTIL_Realloc(image->pending, static_cast<uint32_t>(bytes)) : nullptr;
        if (!p) {
            return -1;   // dropped
        }
        image->pending = static_cast<MemPendingWrite*>(p);
        image->pendingCapacity = static_cast<uint32_t>(cap);
    }
    image->pending[image->pendingCount] = {address, static_cast<uint8_t>(value)};
    return static_cast<int>(image->pendingCount++);
}

void MEM_WriteU16(MemImage* image, uint32_t address, uint32_t value)
{
    ImageLock lock(image);
    if (!lock.ok()) {
        return;
    }
    MEM_WriteU8(image, address, value & 0xFF);
    MEM_WriteU8(image, address + 1, (value >> 8) & 0xFF);
}

void MEM_WriteU32(MemImage* image, uint32_t address, uint32_t value)
{
    ImageLock lock(image);
    if (!lock.ok()) {
        return;
    }
    for (uint32_t i = 0; i < 4; ++i) {
        MEM_WriteU8(image, address + i, (value >> (8 * i)) & 0xFF);
    }
}

void MEM_UndoLastWrite(MemImage* image)
{
    ImageLock lock(image);
    if (lock.ok() && image->pendingCount) {
        --image->pendingCount;
    }
}

void MEM_DiscardWrites(MemImage* image, uint32_t address)
{
    ImageLock lock(image);
    if (!lock.ok()) {
        return;
    }
    uint32_t kept = 0;
    for (uint32_t i = 0; i < image->pendingCount; ++i) {
        if (image->pending[i].address != address) {
            image->pending[kept++] = image->pending[i];
        }
    }
    image->pendingCount = kept;
}

int MEM_CommitWrites(MemImage* image)
{
    ImageLock lock(image);
    if (!lock.ok()) {
        return 1;
    }
    int result = 0;
    for (uint32_t i = 0; i < image->pendingCount; ++i) {
        const MemPendingWrite& w = image->pending[i];
        MemArea* a = FindArea(image, w.address);
        if (a) {
            a->data[w.address - a->start] = w.value;
        } else if (MEM_AddBytesLocked(image, w.address, 1, &w.value) != 0) {
            result = 1;
        }
    }
    UTIL_Free(image->pending);
    image->pending = nullptr;
    image->pendingCount = 0;
    image->pendingCapacity = 0;
    image->modified = 0;
    return result;
}

void MEM_GetStatus(MemImage* image, uint8_t* out)
{
    ImageLock lock(image);
    if (!lock.ok() || !out) {
        return;
    }
    out[0] = 0;
    out[1] = image->modified ? 1 : 0;
}

namespace {
uint32_t SlotLowest(void* c) { return MEM_GetLowestAddress(static_cast<MemImage*>(c)); }
uint32_t SlotHighest(void* c) { return MEM_GetHighestAddress(static_cast<MemImage*>(c)); }
int SlotReadU8(void* c, uint32_t a, uint8_t* o) { return MEM_ReadU8(static_cast<MemImage*>(c), a, o); }
int SlotReadU16(void* c, uint32_t a, uint16_t* o) { return MEM_ReadU16(static_cast<MemImage*>(c), a, o); }
int SlotReadU32(void* c, uint32_t a, uint32_t* o) { return MEM_ReadU32(static_cast<MemImage*>(c), a, o); }
int SlotWriteU8(void* c, uint32_t a, uint32_t v) { return MEM_WriteU8(static_cast<MemImage*>(c), a, v); }
void SlotWriteU16(void* c, uint32_t a, uint32_t v) { MEM_WriteU16(static_cast<MemImage*>(c), a, v); }
void SlotWriteU32(void* c, uint32_t a, uint32_t v) { MEM_WriteU32(static_cast<MemImage*>(c), a, v); }
void SlotUndo(void* c) { MEM_UndoLastWrite(static_cast<MemImage*>(c)); }
void SlotDiscard(void* c, uint32_t a) { MEM_DiscardWrites(static_cast<MemImage*>(c), a); }
void SlotFree(void* c) { MEM_Free(static_cast<MemImage*>(c)); }
void SlotStatus(void* c, uint8_t* o) { MEM_GetStatus(static_cast<MemImage*>(c), o); }

const ViewMemSource kImageSource = {
    SlotLowest, SlotHighest, SlotReadU8, SlotReadU16, SlotReadU32, SlotWriteU8, SlotWriteU16, SlotWriteU32,
    SlotUndo, SlotDiscard, nullptr, nullptr, nullptr, SlotFree, nullptr, SlotStatus,
    nullptr, nullptr, nullptr, nullptr,
};
}  // namespace

const ViewMemSource* MEM_GetViewSource()
{
    return &kImageSource;
}

void MEM_ReserveLocked(MemImage* image, uint32_t address, uint32_t extra)
{
    if (!image || address == 0) {
        return;
    }
    MemArea* a = FindLast(image);
    if (a && LastOf(a) + 1 == address) {
        Reserve(a, static_cast<uint64_t>(a->length) + extra, static_cast<uint64_t>(a->length) + extra);
    }
}
