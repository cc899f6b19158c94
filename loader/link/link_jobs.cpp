#include "link/link_jobs.h"

#include <cstring>

namespace {

// Error frame of a refused block, as the program exchange leaves it: the
// frame's bytes 1 to 6 at offsets 0 to 5, its data from offset 6 on.
constexpr uint32_t kErrorAddressOffset = 6 + 1;
constexpr uint32_t kErrorValueOffset = 6 + 5;

uint32_t Le32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

bool Cancelled(const LinkJobOps& ops)
{
    return ops.cancel && ops.cancel->load(std::memory_order_acquire) != 0;
}

void Range(const LinkJobOps& ops, int32_t lo, int32_t hi)
{
    if (ops.set_range)
        ops.set_range(lo, hi);
}

void Pos(const LinkJobOps& ops, int32_t pos)
{
    if (ops.set_pos)
        ops.set_pos(pos);
}

// Reads `n` target bytes at job.address and compares them with `chunk`.
// Returns false when the job ended (exchange failed or a difference).
bool ReadAndCompare(LinkJobState& job, const LinkJobOps& ops, uint8_t* reply,
                    const uint8_t* chunk, uint32_t n)
{
    if (ops.read_mem(job.address, n, reply) != 0) {
        job.result = 2;
        return false;
    }
    for (uint32_t i = 0; i < n; ++i) {
        uint8_t target = reply[LINK_READ_DATA_OFFSET + i];
        if (target != chunk[i]) {
            job.address += i;
            job.value = target;
            job.result = 1;
            return false;
        }
    }
    job.address += n;
    job.count -= static_cast<int32_t>(n);
    return true;
}

}  // namespace

void LINK_BlockReset(LinkBlock& block)
{
    block.open = false;
    block.base = 0;
    block.last_offset = 0;
    std::memset(block.buffer, 0xFF, sizeof block.buffer);
}

int LINK_BlockFlush(LinkBlock& block, LinkJobState& job, const LinkJobOps& ops, uint8_t* reply)
{
    if (!block.open)
        return 1;
    uint32_t n = (block.last_offset + 4) & ~3u;
    if (ops.send_block(block.base, block.buffer, n, reply) == 0) {
        block.open = false;
        return 0;
    }
    job.result = 1;
    job.address = Le32(reply + kErrorAddressOffset);
    job.value = reply[kErrorValueOffset];
    return 1;
}

int LINK_BlockAdd(LinkBlock& block, uint32_t address, uint8_t value, LinkJobState& job,
                  const LinkJobOps& ops, uint8_t* reply)
{
    if (block.open && address - block.base >= LINK_BLOCK_MAX) {
        if (LINK_BlockFlush(block, job, ops, reply) != 0)
            return 1;
    }
    if (!block.open) {
        std::memset(block.buffer, 0xFF, sizeof block.buffer);
        block.base = address & ~3u;
        block.open = true;
    }
    uint32_t offset = address - block.base;
    block.buffer[offset] = value;
    block.last_offset = offset;
    return 0;
}

void LINK_JobProgram(LinkJobState& job, LinkBlock& block, const LinkRanges& ranges,
                     const LinkJobOps& ops, uint8_t* reply)
{
    // A block left open by an earlier failed job must never reach the target.
    LINK_BlockReset(block);
    job.address = ops.lowest(ops.image);
    job.count = static_cast<int32_t>(ops.byte_count(ops.image));
    Range(ops, 0, job.count);
    const uint32_t highest = ops.highest(ops.image);
    const uint64_t end1 = static_cast<uint64_t>(ranges.start[0]) + ranges.length[0];
    int32_t done = 0;
    int32_t mark = 0;
    // The walk position in 64 bits: it ends past the highest address even when
    // skipped bytes keep the count above 0, and never wraps at 2^32.
    uint64_t at = job.address;
    while (job.count > 0) {
        if (at > highest)
            break;
        if (done > mark) {
            Pos(ops, done);
            mark = done + 128;
        }
        if (ranges.length[1] != 0 && at >= end1 && at < ranges.start[1])
            at = ranges.start[1];
        job.address = static_cast<uint32_t>(at);
        if (at > highest)
            break;
        int v = ops.get_byte(ops.image, job.address);
        if (v >= 0) {
            if (LINK_BlockAdd(block, job.address, static_cast<uint8_t>(v & 0xFF), job, ops, reply) != 0)
                break;
            --job.count;
            ++done;
        }
        ++at;
        job.address = static_cast<uint32_t>(at);
        if (Cancelled(ops)) {
            job.result = 3;
            break;
        }
    }
    if (LINK_BlockFlush(block, job, ops, reply) != 0)
        job.result = 1;
}

void LINK_JobVerifyLoaded(LinkJobState& job, const LinkJobOps& ops, uint8_t* reply)
{
    job.address = ops.lowest(ops.image);
    job.count = static_cast<int32_t>(ops.byte_count(ops.image));
    const uint32_t highest = ops.highest(ops.image);
    Range(ops, 0, job.count);
    int32_t requested = 0;
    int32_t shown = 0;
    uint8_t chunk[LINK_CHUNK_MAX];
    uint32_t len = 0;
    if (job.count <= 0)
        return;
    for (;;) {
        if (shown != requested) {
            Pos(ops, requested);
            shown = requested;
        }
        // The chunk may end at the top of the address space; the read then
        // goes out before the next address would wrap.
        bool room = static_cast<uint64_t>(job.address) + len <= highest;
        int v = room ? ops.get_byte(ops.image, job.address + len) : -1;
        if (v >= 0 && len < LINK_CHUNK_MAX) {
            chunk[len++] = static_cast<uint8_t>(v & 0xFF);
        } else if (len == 0) {
            // Nothing left at or above this address: the image shrank under us.
            if (!room)
                return;
            ++job.address;
        } else {
            requested += static_cast<int32_t>(len);
            if (!ReadAndCompare(job, ops, reply, chunk, len))
                return;
            len = 0;
        }
        if (Cancelled(ops)) {
            job.result = 3;
            return;
        }
        if (job.count <= 0)
            return;
    }
}

void LINK_JobVerifyAll(LinkJobState& job, const LinkJobOps& ops, uint8_t* reply)
{
    Range(ops, 0, job.count);
    int32_t requested = 0;
    int32_t shown = 0;
    uint8_t chunk[LINK_CHUNK_MAX];
    uint32_t len = 0;
    if (job.count <= 0)
        return;
    for (;;) {
        if (shown != requested) {
            Pos(ops, requested);
            shown = requested;
        }
        if (len < static_cast<uint32_t>(job.count) && len < LINK_CHUNK_MAX) {
            int v = ops.get_byte(ops.image, job.address + len);
            chunk[len++] = static_cast<uint8_t>(v < 0 ? 0xFF : (v & 0xFF));
        } else {
            requested += static_cast<int32_t>(len);
            if (!ReadAndCompare(job, ops, reply, chunk, len))
                return;
            len = 0;
        }
        if (Cancelled(ops)) {
            job.result = 3;
            return;
        }
        if (job.count <= 0)
            return;
    }
}

void LINK_JobReadBack(LinkJobState& job, const LinkJobOps& ops, uint8_t* reply)
{
    Range(ops, 0, job.count);
    int32_t requested = 0;
    if (job.count <= 0)
        return;
    for (;;) {
        Pos(ops, requested);
        uint32_t n = job.count < static_cast<int32_t>(LINK_CHUNK_MAX) ? static_cast<uint32_t>(job.count)
                                                                       : LINK_CHUNK_MAX;
        requested += static_cast<int32_t>(n);
        if (ops.read_mem(job.address, n, reply) != 0) {
            job.result = 2;
            return;
        }
        ops.add_bytes(ops.image, job.address, n, reply + LINK_READ_DATA_OFFSET);
        job.address += n;
        job.count -= static_cast<int32_t>(n);
        if (Cancelled(ops)) {
            job.result = 3;
            return;
        }
        if (job.count <= 0)
            return;
    }
}
