#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <utility>
#include <vector>

#include "data/mem_image.h"

namespace {

using Range = std::pair<uint32_t, uint32_t>;   // first and last address

// Fills [first, last] with the low byte of each address.
int Add(MemImage* m, uint32_t first, uint32_t last)
{
    std::vector<uint8_t> bytes(last - first + 1);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(first + i);
    return MEM_AddBytes(m, first, static_cast<uint32_t>(bytes.size()), bytes.data());
}

std::vector<Range> Areas(const MemImage* m)
{
    std::vector<Range> r;
    for (const MemArea* a = m->first; a; a = a->next) r.push_back({a->start, a->start + a->length - 1});
    return r;
}

// The chain invariants every operation keeps.
void CheckInvariants(const MemImage* m)
{
    uint32_t count = 0;
    const MemArea* last = nullptr;
    for (const MemArea* a = m->first; a; a = a->next) {
        ++count;
        EXPECT_GE(a->length, 1u);
        EXPECT_GE(a->capacity, a->length);
        if (a->next) {
            EXPECT_LT(static_cast<uint64_t>(a->start) + a->length, a->next->start) << "areas overlap or touch";
        }
        last = a;
    }
    EXPECT_EQ(count, m->areaCount);
    if (m->last) {
        EXPECT_EQ(m->last, last);
    }
}

struct Image {
    Image() : m(MEM_Create()) {}
    ~Image() { MEM_Free(m); }
    MemImage* m;
};

}  // namespace

TEST(MemImageTest, CreateIsEmptyAndModified)
{
    Image i;
    ASSERT_NE(i.m, nullptr);
    EXPECT_EQ(i.m->first, nullptr);
    EXPECT_EQ(i.m->cachedIndex, -1);
    EXPECT_EQ(MEM_GetLowestAddress(i.m), 0u);
    EXPECT_EQ(MEM_GetHighestAddress(i.m), 0u);
    EXPECT_EQ(MEM_GetByteCount(i.m), 0u);
    uint8_t status[2] = {9, 9};
    MEM_GetStatus(i.m, status);
    EXPECT_EQ(status[0], 0);
    EXPECT_EQ(status[1], 1);
}

TEST(MemImageTest, AddMergesSplitsAndCounts)
{
    struct Step { Range add; int result; std::vector<Range> areas; };
    struct Case { const char* name; std::vector<Step> steps; };
    const Case cases[] = {
        {"append then merge with successor",
         {{{0x10, 0x1F}, 0, {{0x10, 0x1F}}},
          {{0x30, 0x3F}, 0, {{0x10, 0x1F}, {0x30, 0x3F}}},
          {{0x20, 0x2F}, 0, {{0x10, 0x3F}}}}},
        {"extend downward",
         {{{0x10, 0x1F}, 0, {{0x10, 0x1F}}}, {{0x00, 0x0F}, 0, {{0x00, 0x1F}}}}},
        {"insert between and in front",
         {{{0x100, 0x1FF}, 0, {{0x100, 0x1FF}}},
          {{0x400, 0x4FF}, 0, {{0x100, 0x1FF}, {0x400, 0x4FF}}},
          {{0x300, 0x30F}, 0, {{0x100, 0x1FF}, {0x300, 0x30F}, {0x400, 0x4FF}}},
          {{0x000, 0x00F}, 0, {{0x000, 0x00F}, {0x100, 0x1FF}, {0x300, 0x30F}, {0x400, 0x4FF}}},
          {{0x310, 0x3FF}, 0, {{0x000, 0x00F}, {0x100, 0x1FF}, {0x300, 0x4FF}}}}},
        {"overlaps refused",
         {{{0x10, 0x1F}, 0, {{0x10, 0x1F}}},
          {{0x30, 0x3F}, 0, {{0x10, 0x1F}, {0x30, 0x3F}}},
          {{0x18, 0x27}, -1, {{0x10, 0x1F}, {0x30, 0x3F}}},   // starts inside
          {{0x28, 0x30}, -1, {{0x10, 0x1F}, {0x30, 0x3F}}},   // ends inside the next
          {{0x00, 0x4F}, -1, {{0x10, 0x1F}, {0x30, 0x3F}}},   // covers both
          {{0x1F, 0x1F}, -1, {{0x10, 0x1F}, {0x30, 0x3F}}}}},
        {"top of the address space",
         {{{0xFFFFFFF0u, 0xFFFFFFFFu}, 0, {{0xFFFFFFF0u, 0xFFFFFFFFu}}},
          {{0xFFFFFFE0u, 0xFFFFFFEFu}, 0, {{0xFFFFFFE0u, 0xFFFFFFFFu}}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Image i;
        for (const Step& s : c.steps) {
            SCOPED_TRACE(testing::Message() << std::hex << s.add.first << "-" << s.add.second);
            EXPECT_EQ(Add(i.m, s.add.first, s.add.second), s.result);
            EXPECT_EQ(Areas(i.m), s.areas);
            CheckInvariants(i.m);
        }
        // Every byte keeps its value through merges.
        for (const MemArea* a = i.m->first; a; a = a->next)
            for (uint32_t k = 0; k < a->length; ++k) ASSERT_EQ(a->data[k], static_cast<uint8_t>(a->start + k));
    }
}

TEST(MemImageTest, AreaCountGoesOneTwoOne)
{
    Image i;
    Add(i.m, 0x10, 0x1F);
    EXPECT_EQ(i.m->areaCount, 1u);
    Add(i.m, 0x30, 0x3F);
    EXPECT_EQ(i.m->areaCount, 2u);
    Add(i.m, 0x20, 0x2F);
    EXPECT_EQ(i.m->areaCount, 1u);
}

TEST(MemImageTest, ZeroByteBlockChangesNothing)
{
    Image i;
    EXPECT_EQ(MEM_AddBytes(i.m, 0x100, 0, nullptr), 0);
    EXPECT_EQ(i.m->first, nullptr);
    Add(i.m, 0x10, 0x1F);
    EXPECT_EQ(MEM_AddBytes(i.m, 0x20, 0, nullptr), 0);
    EXPECT_EQ(MEM_AddBytes(i.m, 0x15, 0, nullptr), 0);
    EXPECT_EQ(Areas(i.m), (std::vector<Range>{{0x10, 0x1F}}));
    CheckInvariants(i.m);
}

TEST(MemImageTest, BlockPastTheTopIsRefused)
{
    Image i;
    uint8_t b[4] = {1, 2, 3, 4};
    EXPECT_EQ(MEM_AddBytes(i.m, 0xFFFFFFFEu, 4, b), -1);
    EXPECT_EQ(i.m->first, nullptr);
}

TEST(MemImageTest, DeleteRange)
{
    struct Case { const char* name; std::vector<Range> before; Range del; std::vector<Range> after; };
    const Case cases[] = {
        {"split", {{0x10, 0x1F}}, {0x14, 0x17}, {{0x10, 0x13}, {0x18, 0x1F}}},
        {"everything", {{0x10, 0x1F}, {0x30, 0x3F}, {0xFFFFFF00u, 0xFFFFFFFFu}}, {0, 0xFFFFFFFFu}, {}},
        {"head", {{0x10, 0x1F}}, {0x00, 0x13}, {{0x14, 0x1F}}},
        {"tail", {{0x10, 0x1F}}, {0x1C, 0x40}, {{0x10, 0x1B}}},
        {"whole middle area", {{0x10, 0x1F}, {0x30, 0x3F}, {0x50, 0x5F}}, {0x20, 0x4F}, {{0x10, 0x1F}, {0x50, 0x5F}}},
        {"tail and head", {{0x10, 0x1F}, {0x30, 0x3F}}, {0x18, 0x37}, {{0x10, 0x17}, {0x38, 0x3F}}},
        {"gap only", {{0x10, 0x1F}, {0x30, 0x3F}}, {0x20, 0x2F}, {{0x10, 0x1F}, {0x30, 0x3F}}},
        {"last area", {{0x10, 0x1F}, {0x30, 0x3F}}, {0x30, 0x3F}, {{0x10, 0x1F}}},
        {"single byte", {{0x10, 0x10}}, {0x10, 0x10}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Image i;
        for (const Range& r : c.before) ASSERT_EQ(Add(i.m, r.first, r.second), 0);
        MEM_DeleteRange(i.m, c.del.first, c.del.second);
        EXPECT_EQ(Areas(i.m), c.after);
        CheckInvariants(i.m);
        for (const MemArea* a = i.m->first; a; a = a->next)
            for (uint32_t k = 0; k < a->length; ++k) ASSERT_EQ(a->data[k], static_cast<uint8_t>(a->start + k));
        // The last-area pointer stays usable: appending after the end works.
        if (!c.after.empty()) {
            EXPECT_EQ(MEM_GetHighestAddress(i.m), c.after.back().second);
        }
    }
}

TEST(MemImageTest, ReadBlockGapsAndCounts)
{
    Image i;
    Add(i.m, 0x10, 0x1F);
    Add(i.m, 0x30, 0x3F);
    struct Case { uint32_t low, high, maxGap, maxCount, count, start; };
    const Case cases[] = {
        {0x00, 0xFF, 0, 256, 16, 0x10},
        {0x00, 0xFF, 16, 256, 48, 0x10},
        {0x00, 0xFF, 15, 256, 16, 0x10},
        {0x00, 0xFF, 16, 20, 20, 0x10},
        {0x15, 0x15, 0, 256, 1, 0x15},
        {0x18, 0x34, 16, 256, 29, 0x18},   // cut by high on both sides
        {0x20, 0x30, 0, 256, 1, 0x30},     // an area starting exactly at high
        {0x20, 0x2F, 16, 256, 0, 0xDEAD},  // only the gap
        {0x40, 0xFFFFFFFFu, 16777215, 65536, 0, 0xDEAD},
        {0x1F, 0x3F, 0, 32, 1, 0x1F},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.low << "-" << c.high << " gap " << c.maxGap << " max "
                                        << c.maxCount);
        std::vector<uint8_t> out(300, 0xAA);
        uint32_t start = 0xDEAD;
        EXPECT_EQ(MEM_ReadBlock(i.m, c.low, c.high, c.maxGap, out.data(), &start, c.maxCount), c.count);
        EXPECT_EQ(start, c.start);
        for (uint32_t k = 0; k < c.count; ++k) {
            const uint32_t a = c.start + k;
            const bool data = (a >= 0x10 && a <= 0x1F) || (a >= 0x30 && a <= 0x3F);
            ASSERT_EQ(out[k], data ? static_cast<uint8_t>(a) : 0xFF) << "at " << a;
        }
        EXPECT_EQ(out[c.count], 0xAA) << "wrote past the count";
    }
}

TEST(MemImageTest, ReadBlockSeesPendingWrites)
{
    Image i;
    Add(i.m, 0x10, 0x1F);
    Add(i.m, 0x30, 0x3F);
    MEM_WriteU8(i.m, 0x12, 0x99);
    MEM_WriteU8(i.m, 0x25, 0x77);   // in the gap
    uint8_t out[48];
    uint32_t start = 0;
    ASSERT_EQ(MEM_ReadBlock(i.m, 0, 0xFF, 16, out, &start, 48), 48u);
    EXPECT_EQ(out[0x02], 0x99);
    EXPECT_EQ(out[0x15], 0x77);
    EXPECT_EQ(out[0x16], 0xFF);
    EXPECT_EQ(out[0x20], 0x30);
}

TEST(MemImageTest, PendingWrites)
{
    Image i;
    Add(i.m, 0x10, 0x1F);
    const uint32_t a = 0x14;
    EXPECT_EQ(MEM_WriteU8(i.m, a, 0x12), 0);
    EXPECT_EQ(MEM_WriteU8(i.m, a, 0x134), 1);   // only the low byte is kept
    EXPECT_EQ(MEM_GetByte(i.m, a), 0x134);
    MEM_UndoLastWrite(i.m);
    EXPECT_EQ(MEM_GetByte(i.m, a), 0x112);
    MEM_WriteU8(i.m, 0x15, 0x55);
    MEM_WriteU8(i.m, a, 0x66);
    MEM_DiscardWrites(i.m, a);
    EXPECT_EQ(MEM_GetByte(i.m, a), 0x14);
    EXPECT_EQ(MEM_GetByte(i.m, 0x15), 0x155);
    EXPECT_EQ(MEM_GetByte(i.m, 0x40), -1);
    EXPECT_EQ(MEM_GetByteCount(i.m), 16u);   // pending writes do not count

    uint8_t b = 0xAB;
    EXPECT_EQ(MEM_ReadU8(i.m, 0x40, &b), -1);
    EXPECT_EQ(b, 0xAB);
    EXPECT_EQ(MEM_ReadU8(i.m, 0x15, &b), 1);
    EXPECT_EQ(b, 0x55);
    EXPECT_EQ(MEM_ReadU8(i.m, 0x16, &b), 0);
    EXPECT_EQ(b, 0x16);
}

TEST(MemImageTest, WideReadsAndWrites)
{
    Image i;
    Add(i.m, 0x10, 0x1F);
    uint16_t v16 = 0;
    EXPECT_EQ(MEM_ReadU16(i.m, 0x10, &v16), 0);
    EXPECT_EQ(v16, 0x1110);
    MEM_WriteU16(i.m, 0x10, 0xBEEF);
    EXPECT_EQ(MEM_GetByte(i.m, 0x10), 0x1EF);
    EXPECT_EQ(MEM_GetByte(i.m, 0x11), 0x1BE);
    EXPECT_EQ(MEM_ReadU16(i.m, 0x10, &v16), 1);
    EXPECT_EQ(v16, 0xBEEF);
    uint32_t v32 = 7;
    EXPECT_EQ(MEM_ReadU32(i.m, 0x1E, &v32), -1);   // runs past the area
    EXPECT_EQ(v32, 7u);
    EXPECT_EQ(MEM_ReadU32(i.m, 0x18, &v32), 0);
    EXPECT_EQ(v32, 0x1B1A1918u);
    MEM_WriteU32(i.m, 0x40, 0x11223344);
    EXPECT_EQ(MEM_ReadU32(i.m, 0x40, &v32), 1);
    EXPECT_EQ(v32, 0x11223344u);
}

TEST(MemImageTest, CommitWrites)
{
    Image i;
    Add(i.m, 0x10, 0x1F);
    MEM_WriteU8(i.m, 0x12, 0xAA);
    MEM_WriteU8(i.m, 0x20, 0xBB);   // touches the area: joins it
    MEM_WriteU8(i.m, 0x80, 0xCC);   // a one-byte area of its own
    MEM_WriteU8(i.m, 0x12, 0xDD);   // newest wins
    EXPECT_EQ(MEM_CommitWrites(i.m), 0);
    EXPECT_EQ(Areas(i.m), (std::vector<Range>{{0x10, 0x20}, {0x80, 0x80}}));
    EXPECT_EQ(MEM_GetByte(i.m, 0x12), 0xDD);
    EXPECT_EQ(MEM_GetByte(i.m, 0x20), 0xBB);
    EXPECT_EQ(MEM_GetByte(i.m, 0x80), 0xCC);
    EXPECT_EQ(i.m->pendingCount, 0u);
    EXPECT_EQ(i.m->pending, nullptr);
    uint8_t status[2];
    MEM_GetStatus(i.m, status);
    EXPECT_EQ(status[1], 0);
    CheckInvariants(i.m);
}

TEST(MemImageTest, ManyPendingWritesGrowTheList)
{
    Image i;
    for (uint32_t k = 0; k < 1000; ++k) ASSERT_EQ(MEM_WriteU8(i.m, k * 2, k), static_cast<int>(k));
    EXPECT_EQ(i.m->pendingCapacity, 1000u);
    EXPECT_EQ(MEM_CommitWrites(i.m), 0);
    EXPECT_EQ(i.m->areaCount, 1000u);
}

TEST(MemImageTest, Relocate)
{
    struct Case { const char* name; std::vector<Range> before; uint32_t offset; std::vector<Range> after; };
    const Case cases[] = {
        {"up", {{0x10, 0x1F}, {0x30, 0x3F}}, 0x1000, {{0x1010, 0x101F}, {0x1030, 0x103F}}},
        {"down", {{0x1010, 0x101F}}, static_cast<uint32_t>(-0x1000), {{0x10, 0x1F}}},
        {"whole area past the top",
         {{0x10, 0x1F}, {0xFFFFFF00u, 0xFFFFFF0Fu}}, 0x100, {{0x00, 0x0F}, {0x110, 0x11F}}},
        {"area split at the top", {{0xFFFFFFF8u, 0xFFFFFFFFu}}, 4, {{0x0, 0x3}, {0xFFFFFFFCu, 0xFFFFFFFFu}}},
        {"down below zero", {{0x0, 0x7}, {0x100, 0x10F}}, static_cast<uint32_t>(-4),
         {{0x0, 0x3}, {0xFC, 0x10B}, {0xFFFFFFFCu, 0xFFFFFFFFu}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Image i;
        for (const Range& r : c.before) ASSERT_EQ(Add(i.m, r.first, r.second), 0);
        const uint32_t bytes = MEM_GetByteCount(i.m);
        std::vector<std::pair<uint32_t, int>> values;
        for (const Range& r : c.before)
            for (uint64_t a = r.first; a <= r.second; ++a) values.push_back({static_cast<uint32_t>(a), MEM_GetByte(i.m, static_cast<uint32_t>(a))});
        EXPECT_EQ(MEM_Relocate(i.m, c.offset), 0);
        CheckInvariants(i.m);
        EXPECT_EQ(MEM_GetByteCount(i.m), bytes);
        for (const auto& [a, v] : values) ASSERT_EQ(MEM_GetByte(i.m, a + c.offset), v) << std::hex << a;
        EXPECT_EQ(Areas(i.m), c.after);
    }
}

TEST(MemImageTest, RelocateMovesPendingWrites)
{
    Image i;
    Add(i.m, 0x10, 0x1F);
    MEM_WriteU8(i.m, 0x12, 0xAA);
    MEM_Relocate(i.m, 0x100);
    EXPECT_EQ(MEM_GetByte(i.m, 0x112), 0x1AA);
}

TEST(MemImageTest, SequentialByteReadsOverManyAreas)
{
    Image i;
    for (uint32_t k = 0; k < 2000; ++k) ASSERT_EQ(Add(i.m, k * 0x2000, k * 0x2000 + 0xFFF), 0);
    for (uint32_t a = 0; a < 2000 * 0x2000; a += 7) {
        const bool inside = (a & 0x1FFF) <= 0xFFF;
        ASSERT_EQ(MEM_GetByte(i.m, a), inside ? static_cast<int>(a & 0xFF) : -1) << a;
    }
    // Going backwards after the cache moved on still finds the data.
    EXPECT_EQ(MEM_GetByte(i.m, 0x5), 0x5);
}

TEST(MemImageTest, ViewTable)
{
    const ViewMemSource* t = MEM_GetViewSource();
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t, MEM_GetViewSource());
    MemImage* m = MEM_Create();
    Add(m, 0x10, 0x1F);
    EXPECT_EQ(t->getLowestAddress(m), 0x10u);
    EXPECT_EQ(t->getHighestAddress(m), 0x1Fu);
    EXPECT_EQ(t->writeU8(m, 0x10, 0x42), 0);
    uint8_t b = 0;
    EXPECT_EQ(t->readU8(m, 0x10, &b), 1);
    EXPECT_EQ(b, 0x42);
    t->undoLastWrite(m);
    EXPECT_EQ(t->readU8(m, 0x10, &b), 0);
    EXPECT_EQ(t->slot10, nullptr);
    EXPECT_EQ(t->slot14, nullptr);
    EXPECT_EQ(t->slot19, nullptr);
    uint8_t status[2];
    t->getStatus(m, status);
    EXPECT_EQ(status[1], 1);
    t->free(m);
}

TEST(MemImageTest, NoImage)
{
    EXPECT_EQ(MEM_Lock(nullptr), -2);
    EXPECT_EQ(MEM_AddBytes(nullptr, 0, 1, reinterpret_cast<const uint8_t*>("x")), 0);
    EXPECT_EQ(MEM_GetByte(nullptr, 0), 0);
    EXPECT_EQ(MEM_GetByteCount(nullptr), 0u);
    MEM_DeleteRange(nullptr, 0, 1);
    MEM_Free(nullptr);
}

TEST(MemImageTest, LockTimeOutLeavesTheImageAlone)
{
    Image i;
    Add(i.m, 0x10, 0x1F);
    ASSERT_EQ(MEM_Lock(i.m), 0);
    EXPECT_EQ(MEM_Lock(i.m), 0);   // re-entrant
    MEM_Unlock(i.m);
    int lockResult = 0, addResult = 0, byte = 0;
    std::thread t([&] {
        // The image is held by this thread; the other gives up after 10 s.
        lockResult = MEM_Lock(i.m);
        addResult = Add(i.m, 0x40, 0x4F);
        byte = MEM_GetByte(i.m, 0x10);
    });
    t.join();
    MEM_Unlock(i.m);
    EXPECT_EQ(lockResult, -1);
    EXPECT_EQ(addResult, MEM_ERR_LOCK);
    EXPECT_EQ(byte, -1);
    EXPECT_EQ(Areas(i.m), (std::vector<Range>{{0x10, 0x1F}}));
}

TEST(MemImageTest, TwoThreadsAddAndRead)
{
    Image i;
    std::atomic<bool> done{false};
    std::thread reader([&] {
        while (!done) {
            const int v = MEM_GetByte(i.m, 0x100);
            ASSERT_TRUE(v == -1 || v == 0x00);
            (void)MEM_GetHighestAddress(i.m);
        }
    });
    for (uint32_t k = 0; k < 2000; ++k) ASSERT_EQ(Add(i.m, k * 0x100, k * 0x100 + 0x7F), 0);
    done = true;
    reader.join();
    EXPECT_EQ(i.m->areaCount, 2000u);
}
