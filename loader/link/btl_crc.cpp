// The CRC-16 on its own, so that the bootloader simulator can use the very
// same routine without pulling in the serial port.
#include <array>

#include "link/btl.h"

namespace {

constexpr std::array<uint16_t, 256> MakeCrcTable() {
    std::array<uint16_t, 256> t{};
    for (int i = 0; i < 256; ++i) {
        uint16_t r = static_cast<uint16_t>(i << 8);
        for (int b = 0; b < 8; ++b) r = static_cast<uint16_t>((r & 0x8000) ? (r << 1) ^ 0x1021 : (r << 1));
        t[i] = r;
    }
    return t;
}
constexpr std::array<uint16_t, 256> kCrcTable = MakeCrcTable();
static_assert(kCrcTable[1] == 0x1021 && kCrcTable[2] == 0x2042 && kCrcTable[255] == 0x1EF0);

}  // namespace

void BTL_Crc16Update(uint16_t* crc, const uint8_t* bytes, size_t count) {
    uint16_t c = *crc;
    for (size_t i = 0; i < count; ++i)
        c = static_cast<uint16_t>(kCrcTable[c >> 8] ^ ((c & 0xFF) << 8) ^ bytes[i]);
    *crc = c;
}

