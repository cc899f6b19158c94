// Motorola S-record files.
#include <cstring>

#include "data/data_file.h"

namespace {

void ReadRecord(TextScanner* s, MemImage* image)
{
    s->checksum = 0;
    if (FILE_Peek(s) != 'S') {
        FILE_SetError(s, "Unexpected character");
        return;
    }
    ++s->position;
    const unsigned char type = static_cast<unsigned char>(FILE_Peek(s));
    if (type < 0x20 || type > 0x7F) {
        FILE_SetError(s, "Unexpected character");
        return;
    }
    ++s->position;
    const uint8_t n = FILE_HexByte(s);
    uint8_t bytes[256];
    for (uint32_t i = 0; i < n; ++i) {
        bytes[i] = FILE_HexByte(s);
    }
    if (FILE_HasError(s)) {
        return;
    }
    if (s->checksum != 0xFF) {
        FILE_SetError(s, "Checksum error !");
        return;
    }
    uint32_t addressBytes;
    switch (type) {
    case '1': addressBytes = 2; break;
    case '2': addressBytes = 3; break;
    case '3': addressBytes = 4; break;
    default: return;   // header, count, start address and the like
    }
    // Address and checksum must fit in the count.
    if (n < addressBytes + 1) {
        FILE_SetError(s, "Unexpected character");
        return;
    }
    uint32_t address = 0;
    for (uint32_t i = 0; i < addressBytes; ++i) {
        address = (address << 8) | bytes[i];
    }
    const int r = MEM_AddBytesLocked(image, address, n - addressBytes - 1, bytes + addressBytes);
    if (r == MEM_ERR_MEMORY) {
        FILE_SetError(s, "Malloc problem");
    } else if (r != 0) {
        FILE_SetError(s, "Areas overlap");
    }
}

int MotLoop(TextScanner* s, UtilFile file, MemImage* image)
{
    bool first = true;
    for (;;) {
        if (!first) {
            FILE_Refill(s, file);
        }
        first = false;
        const char c = FILE_Peek(s);
        if (c == 0x1A || (c == '\0' && FILE_AtEndOfData(s))) {
            return 0;
        }
        ReadRecord(s, image);
        FILE_EndOfLine(s);
        if (FILE_HasError(s)) {
            return -5;
        }
    }
}

int MotReader(MemImage* image, UtilFile file, char* errorText, uint32_t size, void*)
{
    return FILE_ReadText(image, file, errorText, size, 'S', "Malloc problem", "Not a mot file", MotLoop);
}

const char kHexDigits[] = "0123456789ABCDEF";

void MotWriter(MemImage* image, FileWriter* w, void*)
{
    uint8_t block[32];
    uint32_t from = 0;
    for (;;) {
        uint32_t start = 0;
        const uint32_t n = MEM_ReadBlock(image, from, 0xFFFFFFFFu, 0, block, &start, 32);
        if (n == 0) {
            break;
        }
        const uint64_t last = static_cast<uint64_t>(start) + n - 1;
        const uint32_t addressBytes = last <= 0xFFFF ? 2 : last <= 0xFFFFFF ? 3 : 4;
        char line[2 + 2 * (1 + 4 + 32 + 1) + 2];
        uint32_t k = 0;
        uint8_t sum = 0;
        auto put = [&](uint8_t v) {
            line[k++] = kHexDigits[v >> 4];
            line[k++] = kHexDigits[v & 15];
            sum = static_cast<uint8_t>(sum + v);
        };
        line[k++] = 'S';
        line[k++] = static_cast<char>('0' + addressBytes - 1);
        put(static_cast<uint8_t>(n + addressBytes + 1));
        for (uint32_t i = addressBytes; i-- > 0;) {
            put(static_cast<uint8_t>(start >> (8 * i)));
        }
        for (uint32_t i = 0; i < n; ++i) {
            put(block[i]);
        }
        put(static_cast<uint8_t>(0xFF - sum));
        line[k++] = '\r';
        line[k++] = '\n';
        FILE_Write(w, line, k);
        if (last >= 0xFFFFFFFFull) {
            break;
        }
        from = static_cast<uint32_t>(last + 1);
    }
    FILE_Write(w, "S9030000FC\r\n", 12);
}

}  // namespace

int MOT_LoadFile(MemImage* image, const char* path, char* errorText, uint32_t size)
{
    return FILE_Load(image, path, errorText, size, MotReader, nullptr);
}

int MOT_SaveFile(MemImage* image, const char* path, char* errorText, uint32_t size)
{
    return FILE_Save(image, path, errorText, size, MotWriter, nullptr);
}
