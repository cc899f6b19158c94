#include <cstdlib>
#include <map>
#include <random>
#include <vector>

#include "data_test_util.h"

namespace {

// A random sparse image: address -> byte.
std::map<uint32_t, uint8_t> RandomImage(std::mt19937& rng, bool high)
{
    std::map<uint32_t, uint8_t> bytes;
    const int areas = 1 + static_cast<int>(rng() % 12);
    uint32_t address = high ? (rng() & 0xFFFF0000u) >> 1 : rng() % 0x300;
    for (int a = 0; a < areas; ++a) {
        const uint32_t length = 1 + rng() % 300;
        for (uint32_t i = 0; i < length; ++i) bytes[address + i] = static_cast<uint8_t>(rng());
        address += length + 1 + rng() % (rng() % 4 == 0 ? 0x30000 : 100);
    }
    return bytes;
}

void Fill(MemImage* m, const std::map<uint32_t, uint8_t>& bytes)
{
    for (const auto& [a, v] : bytes) {
        // Ascending single bytes join into areas.
        ASSERT_EQ(MEM_AddBytes(m, a, 1, &v), 0);
    }
}

std::map<uint32_t, uint8_t> Contents(MemImage* m)
{
    std::map<uint32_t, uint8_t> bytes;
    for (const MemArea* a = m->first; a; a = a->next)
        for (uint32_t i = 0; i < a->length; ++i) bytes[a->start + i] = a->data[i];
    return bytes;
}

bool HaveSrecCat()
{
    return std::system("srec_cat -VERSion > /dev/null 2>&1") == 0;
}

}  // namespace

using RoundTripTest = DataFileTest;

TEST_F(RoundTripTest, WriteThenReadGivesTheSameBytes)
{
    std::mt19937 rng(12345);
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE(round);
        const auto bytes = RandomImage(rng, round % 3 == 0);
        Reset();
        Fill(image_, bytes);
        ASSERT_EQ(HEX_SaveFile(image_, Path("r.hex").c_str(), text_, 200), 0) << text_;
        ASSERT_EQ(MOT_SaveFile(image_, Path("r.mot").c_str(), text_, 200), 0) << text_;
        const uint32_t low = MEM_GetLowestAddress(image_), high = MEM_GetHighestAddress(image_);
        ASSERT_EQ(BIN_SaveFile(image_, Path("r.bin").c_str(), text_, 200, low, high), 0) << text_;

        MemImage* back = MEM_Create();
        EXPECT_EQ(HEX_LoadFile(back, Path("r.hex").c_str(), text_, 255), 0) << text_;
        EXPECT_EQ(Contents(back), bytes);
        MEM_Free(back);

        back = MEM_Create();
        EXPECT_EQ(MOT_LoadFile(back, Path("r.mot").c_str(), text_, 255), 0) << text_;
        EXPECT_EQ(Contents(back), bytes);
        MEM_Free(back);

        back = MEM_Create();
        EXPECT_EQ(BIN_LoadFile(back, Path("r.bin").c_str(), text_, 255, low), 0) << text_;
        for (uint64_t a = low; a <= high; ++a) {
            auto it = bytes.find(static_cast<uint32_t>(a));
            ASSERT_EQ(MEM_GetByte(back, static_cast<uint32_t>(a)), it == bytes.end() ? 0xFF : it->second) << a;
        }
        MEM_Free(back);
    }
}

TEST_F(RoundTripTest, HexAboveTheSegmentRangeRoundTrips)
{
    // Images entirely at or above 1 MiB use linear records only.
    std::mt19937 rng(777);
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        auto raw = RandomImage(rng, false);
        std::map<uint32_t, uint8_t> bytes;
        for (const auto& [a, v] : raw) bytes[a + 0x100000] = v;
        Reset();
        Fill(image_, bytes);
        ASSERT_EQ(HEX_SaveFile(image_, Path("r.hex").c_str(), text_, 200), 0) << text_;
        MemImage* back = MEM_Create();
        EXPECT_EQ(HEX_LoadFile(back, Path("r.hex").c_str(), text_, 255), 0) << text_;
        EXPECT_EQ(Contents(back), bytes);
        MEM_Free(back);
    }
}

TEST_F(RoundTripTest, AgreesWithSrecCat)
{
    if (!HaveSrecCat()) GTEST_SKIP() << "srec_cat is not installed";
    std::mt19937 rng(4242);
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE(round);
        auto raw = RandomImage(rng, round % 2 == 1);
        std::map<uint32_t, uint8_t> bytes;
        // Keep HEX files to linear records above 1 MiB or plain below 64 KiB.
        for (const auto& [a, v] : raw) bytes[round % 2 ? a + 0x100000 : a % 0xF000] = v;
        Reset();
        for (const auto& [a, v] : bytes) MEM_AddBytes(image_, a, 1, &v);
        ASSERT_EQ(HEX_SaveFile(image_, Path("ours.hex").c_str(), text_, 200), 0);
        ASSERT_EQ(MOT_SaveFile(image_, Path("ours.mot").c_str(), text_, 200), 0);
        const std::map<uint32_t, uint8_t> expected = Contents(image_);

        // srec_cat reads our files and writes the other format; we read those.
        const std::string cmd1 = "srec_cat " + Path("ours.hex") + " -intel -o " + Path("theirs.mot") + " -motorola > /dev/null 2>&1";
        const std::string cmd2 = "srec_cat " + Path("ours.mot") + " -motorola -o " + Path("theirs.hex") + " -intel > /dev/null 2>&1";
        ASSERT_EQ(std::system(cmd1.c_str()), 0);
        ASSERT_EQ(std::system(cmd2.c_str()), 0);
        MemImage* back = MEM_Create();
        EXPECT_EQ(MOT_LoadFile(back, Path("theirs.mot").c_str(), text_, 255), 0) << text_;
        EXPECT_EQ(Contents(back), expected);
        MEM_Free(back);
        back = MEM_Create();
        EXPECT_EQ(HEX_LoadFile(back, Path("theirs.hex").c_str(), text_, 255), 0) << text_;
        EXPECT_EQ(Contents(back), expected);
        MEM_Free(back);

        // And srec_cat's binary of our file equals ours.
        const uint32_t low = MEM_GetLowestAddress(image_), high = MEM_GetHighestAddress(image_);
        ASSERT_EQ(BIN_SaveFile(image_, Path("ours.bin").c_str(), text_, 200, low, high), 0);
        char range[64];
        std::snprintf(range, sizeof range, "-offset -%u -fill 0xFF 0 %u", low, high - low + 1);
        const std::string cmd3 = "srec_cat " + Path("ours.mot") + " -motorola " + range + " -o " + Path("theirs.bin") +
                                 " -binary > /dev/null 2>&1";
        ASSERT_EQ(std::system(cmd3.c_str()), 0);
        EXPECT_TRUE(Get(Path("theirs.bin")) == Get(Path("ours.bin")));
    }
}
