// Intel HEX files.
#include <cstdio>
#include <cstring>

#include "data/data_file.h"

namespace {

struct HexBases {
    uint32_t segment;
    uint32_t linear;
    uint32_t current;
};

void ReadRecord(TextScanner* s, MemImage* image, HexBases* b)
{
    const char c = FILE_Peek(s);
    if (c != ':') {
        char message[80];
        std::snprintf(message, sizeof message, "Unexpected character (Expected: %c, Found: %c)", ':', c);
        FILE_SetError(s, message);
        return;
    }
    ++s->position;
    s->checksum = 0;
    const uint8_t n = FILE_HexByte(s);
    const uint8_t hi = FILE_HexByte(s);
    const uint8_t lo = FILE_HexByte(s);
    const uint8_t type = FILE_HexByte(s);
    uint8_t data[256];
    for (uint32_t i = 0; i < n; ++i) {
        data[i] = FILE_HexByte(s);
    }
    const uint8_t expected = static_cast<uint8_t>(0 - s->checksum);
    const uint8_t found = FILE_HexByte(s);
    if (FILE_HasError(s)) {
        return;
    }
    if (s->checksum != 0) {
        char message[80];
        std::snprintf(message, sizeof message, "Checksum error !\nExpected: 0x%.2X, found: 0x%.2X", expected, found);
        FILE_SetError(s, message);
        return;
    }
    const uint32_t address = static_cast<uint32_t>(hi) * 256 + lo;
    switch (type) {
    case 0x00: {
        const int r = MEM_AddBytesLocked(image, b->current + address, n, data);
        if (r == MEM_ERR_MEMORY) {
            FILE_SetError(s, "malloc Problem");
        } else if (r != 0) {
            FILE_SetError(s, "Areas overlap");
        }
        break;
    }
    case 0x02:
    case 0x04:
    case 0xFF:
        // A base record without its two bytes carries no base.
        if (n < 2) {
            FILE_SetError(s, "Unknown record !");
            break;
        }
        if (type == 0x02) {
            b->segment = (static_cast<uint32_t>(data[0]) * 256 + data[1]) * 16;
        } else {
            b->linear = (static_cast<uint32_t>(data[0]) * 256 + data[1]) * 65536;
        }
        break;
    case 0x01:
    case 0x03:
    case 0x05:
        break;
    default:
        FILE_SetError(s, "Unknown record !");
        break;
    }
    b->current = b->segment + b->linear;
}

int HexLoop(TextScanner* s, UtilFile file, MemImage* image)
{
    HexBases b{0, 0, 0};
    bool first = true;
    for (;;) {
        if (!first) {
            FILE_Refill(s, file);
        }
        first = false;
        for (;;) {
            const char c = FILE_Peek(s);
            if (c == ' ' || c == '\t') {
                ++s->position;
            } else if (c == '\r' || c == '\n') {
                ++s->position;
                ++s->lineCount;
            } else {
                break;
            }
            FILE_Refill(s, file);
        }
        if (FILE_AtEndOfData(s)) {
            return 0;
        }
        ReadRecord(s, image, &b);
        FILE_EndOfLine(s);
        if (FILE_HasError(s)) {
            return -5;
        }
    }
}

int HexReader(MemImage* image, UtilFile file, char* errorText, uint32_t size, void*)
{
    return FILE_ReadText(image, file, errorText, size, ':', "malloc Problem", "Not a hex file", HexLoop);
}

const char kHexDigits[] = "0123456789ABCDEF";

void WriteRecord(FileWriter* w, uint8_t type, uint16_t address, const uint8_t* data, uint32_t n)
{
    char line[1 + 2 * (4 + 255 + 1) + 2];
    uint32_t k = 0;
    uint8_t sum = 0;
    auto put = [&](uint8_t v) {
        line[k++] = kHexDigits[v >> 4];
        line[k++] = kHexDigits[v & 15];
        sum = static_cast<uint8_t>(sum + v);
    };
    line[k++] = ':';
    put(static_cast<uint8_t>(n));
    put(static_cast<uint8_t>(address >> 8));
    put(static_cast<uint8_t>(address & 0xFF));
    put(type);
    for (uint32_t i = 0; i < n; ++i) {
        put(data[i]);
    }
    put(static_cast<uint8_t>(0 - sum));
    line[k++] = '\r';
    line[k++] = '\n';
    FILE_Write(w, line, k);
}

void HexWriter(MemImage* image, FileWriter* w, void*)
{
    uint8_t block[32];
    uint32_t base = 0;
    uint32_t from = 0;
    bool segmentSet = false;
    for (;;) {
        uint32_t start = 0;
        const uint32_t n = MEM_ReadBlock(image, from, 0xFFFFFFFFu, 0, block, &start, 32);
        if (n == 0) {
            break;
        }
        if (static_cast<uint64_t>(start) > static_cast<uint64_t>(base) + 0xFF00) {
            uint8_t ext[2];
            if (start >= 0x100000) {
                // A segment base still in force would add to the linear base
                // in every reader and move the data; clear it first.
                if (segmentSet) {
                    const uint8_t zero[2] = {0, 0};
                    WriteRecord(w, 0x02, 0, zero, 2);
                    segmentSet = false;
                }
                base = start & 0xFFFF0000u;
                ext[0] = static_cast<uint8_t>(base >> 24);
                ext[1] = static_cast<uint8_t>((base >> 16) & 0xFF);
                WriteRecord(w, 0x04, 0, ext, 2);
            } else {
                base = start & 0xFFFFFFF0u;
                segmentSet = base != 0;
                ext[0] = static_cast<uint8_t>((base >> 12) & 0xFF);
                ext[1] = static_cast<uint8_t>((base >> 4) & 0xFF);
                WriteRecord(w, 0x02, 0, ext, 2);
            }
        }
        WriteRecord(w, 0x00, static_cast<uint16_t>(start - base), block, n);
        const uint64_t next = static_cast<uint64_t>(start) + n;
        if (next > 0xFFFFFFFFull) {
            break;
        }
        from = static_cast<uint32_t>(next);
    }
    FILE_Write(w, ":00000001FF\r\n", 13);
}

}  // namespace

int HEX_LoadFile(MemImage* image, const char* path, char* errorText, uint32_t size)
{
    return FILE_Load(image, path, errorText, size, HexReader, nullptr);
}

int HEX_SaveFile(MemImage* image, const char* path, char* errorText, uint32_t size)
{
    return FILE_Save(image, path, errorText, size, HexWriter, nullptr);
}
