// What the three data file formats share: error texts, the text scanner,
// the buffered writer, the load and save procedures, and binary files.
#include "data/data_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

void FILE_CopyText(char* text, uint32_t size, const char* message)
{
    if (!text || size == 0) {
        return;
    }
    const size_t n = std::min<size_t>(std::strlen(message ? message : ""), size - 1);
    if (n) {
        std::memcpy(text, message, n);
    }
    text[n] = '\0';
}

void FILE_OpenErrorText(char* text, uint32_t size, const char* path, UtilOpenError reason)
{
    const char* format;
    switch (reason) {
    case UTIL_OPEN_ERR_FILE_NOT_FOUND: format = "Could not open file [%s]\nFile not found!"; break;
    case UTIL_OPEN_ERR_PATH_NOT_FOUND: format = "Could not open file [%s]\nPath not found!"; break;
    case UTIL_OPEN_ERR_ACCESS_DENIED: format = "Could not open file [%s]\nAccess is denied!"; break;
    case UTIL_OPEN_ERR_INVALID_DRIVE: format = "Could not open file [%s]\nInvalid drive!"; break;
    case UTIL_OPEN_ERR_BAD_NAME: format = "Could not open file [%s]\nThe filename syntax is incorrect!"; break;
    default: format = "Could not open file [%s]\nInvalid file handle!"; break;
    }
    if (text && size) {
        std::snprintf(text, size, format, path ? path : "");
    }
}

void FILE_KeepError(char* text, uint32_t size, const char* message)
{
    if (text && size && text[0] == '\0') {
        FILE_CopyText(text, size, message);
    }
}

// -- buffered writer ---------------------------------------------------------

FileWriter* FILE_OpenWriter(const char* path, char* errorText, uint32_t size)
{
    if (errorText && size) {
        std::memset(errorText, 0, size);
    }
    if (!path || !*path) {
        FILE_KeepError(errorText, size, "Could not write file. Invalid filename.");
        return nullptr;
    }
    auto* w = static_cast<FileWriter*>(UTIL_Alloc(sizeof(FileWriter)));
    uint8_t* buffer = w ? static_cast<uint8_t*>(UTIL_Alloc(FILE_WRITER_BUFFER)) : nullptr;
    if (!w || !buffer) {
        UTIL_Free(w);
        FILE_KeepError(errorText, size, "Could not write file. Out of memory.");
        return nullptr;
    }
    UtilFile f = UTIL_OpenFile(path, UTIL_OPEN_WRITE | UTIL_OPEN_SHARE_READ | UTIL_OPEN_CREATE | UTIL_OPEN_TRUNCATE);
    if (f == UTIL_INVALID_FILE) {
        const UtilOpenError reason = UTIL_LastOpenError();
        const char* format = "Could not write file.\n%s";
        if (reason == UTIL_OPEN_ERR_ACCESS_DENIED) {
            const uint32_t attributes = UTIL_GetFileAttributes(path);
            format = (attributes != 0xFFFFFFFFu && (attributes & 0x01))
                         ? "Could not write file. File has read only attribute.\n%s"
                         : "Could not write file. Access denied.\n%s";
        }
        if (errorText && size) {
            std::snprintf(errorText, size, format, path);
        }
        UTIL_Free(buffer);
        UTIL_Free(w);
        return nullptr;
    }
    w->file = f;
    w->buffer = buffer;
    w->errorText = errorText;
    w->fill = 0;
    w->errorSize = size;
    return w;
}

void FILE_Flush(FileWriter* w)
{
    if (!w || w->fill == 0) {
        return;
    }
    const int32_t n = UTIL_WriteFile(w->file, w->buffer, w->fill);
    if (n < 0 || static_cast<uint32_t>(n) != w->fill) {
        FILE_KeepError(w->errorText, w->errorSize, "Error writing file.");
    }
    w->fill = 0;
}

void FILE_Write(FileWriter* w, const void* bytes, uint32_t count)
{
    if (!w || count == 0) {
        return;
    }
    const uint8_t* p = static_cast<const uint8_t*>(bytes);
    while (count) {
        const uint32_t n = std::min(count, FILE_WRITER_BUFFER - w->fill);
        if (p) {
            std::memcpy(w->buffer + w->fill, p, n);
            p += n;
        } else {
            std::memset(w->buffer + w->fill, 0xFF, n);
        }
        w->fill += n;
        count -= n;
        if (w->fill == FILE_WRITER_BUFFER) {
            FILE_Flush(w);
        }
    }
}

void FILE_CloseWriter(FileWriter* w)
{
    if (!w) {
        return;
    }
    FILE_Flush(w);
    UTIL_CloseFile(w->file);
    UTIL_Free(w->buffer);
    UTIL_Free(w);
}

// -- text scanner ------------------------------------------------------------

void FILE_SetError(TextScanner* s, const char* message)
{
    FILE_CopyText(s->errorText, s->errorSize, message);
}

bool FILE_HasError(const TextScanner* s)
{
    return s->errorText && s->errorSize && s->errorText[0] != '\0';
}

bool FILE_Refill(TextScanner* s, UtilFile file)
{
    if (s->filled - s->position < FILE_REFILL_BELOW && !s->atEnd) {
        const uint32_t unread = s->filled - s->position;
        std::memmove(s->window, s->window + s->position, unread);
        s->position = 0;
        s->filled = unread;
        // Read until the window is full or the file ends, so that a short
        // read is not taken for the end of the data.
        while (s->filled < FILE_WINDOW_CHARS) {
            const int32_t n = UTIL_ReadFile(file, s->window + s->filled, FILE_WINDOW_CHARS - s->filled);
            if (n < 0) {
                s->readFailed = true;
                s->atEnd = true;
                break;
            }
            if (n == 0) {
                s->atEnd = true;
                break;
            }
            s->filled += static_cast<uint32_t>(n);
        }
        s->window[s->filled] = '\0';
    }
    if (s->firstFill) {
        s->firstFill = false;
        if (s->window[0] != s->mark) {
            return false;
        }
    }
    return true;
}

void FILE_EndOfLine(TextScanner* s)
{
    if (FILE_HasError(s)) {
        return;
    }
    const char c = s->window[s->position];
    if (c == '\0' || c == 0x1A) {
        return;
    }
    if (c == '\r' || c == '\n') {
        ++s->position;
        ++s->lineCount;
        const char d = s->window[s->position];
        if (d == '\r' || d == '\n') {
            ++s->position;
        }
        return;
    }
    FILE_SetError(s, "Expected CR or LF");
}

namespace {
// Digit values; 0xFF for characters that are no hexadecimal digit.
struct HexTable {
    uint8_t v[256];
    constexpr HexTable() : v()
    {
        for (int i = 0; i < 256; ++i) v[i] = 0xFF;
        for (int i = 0; i < 10; ++i) v['0' + i] = static_cast<uint8_t>(i);
        for (int i = 0; i < 6; ++i) {
            v['A' + i] = static_cast<uint8_t>(10 + i);
            v['a' + i] = static_cast<uint8_t>(10 + i);
        }
    }
};
constexpr HexTable kHex;
}  // namespace

uint8_t FILE_HexDigit(TextScanner* s)
{
    if (FILE_HasError(s)) {
        return 0;
    }
    const uint8_t v = kHex.v[static_cast<uint8_t>(s->window[s->position])];
    if (v == 0xFF) {
        FILE_SetError(s, "Expected Hex character : 0..9, A..F");
        return 0;
    }
    ++s->position;
    return v;
}

uint8_t FILE_HexByte(TextScanner* s)
{
    const uint8_t hi = FILE_HexDigit(s);
    const uint8_t lo = FILE_HexDigit(s);
    const uint8_t b = static_cast<uint8_t>((hi << 4) | lo);
    s->checksum = static_cast<uint8_t>(s->checksum + b);
    return b;
}

// -- load and save procedures ------------------------------------------------

int FILE_Load(MemImage* image, const char* path, char* errorText, uint32_t size, FileReaderBody body, void* ctx)
{
    FILE_CopyText(errorText, size, "");
    if (!image) {
        return -1;
    }
    if (MEM_Lock(image) != 0) {
        // Never read into an image that another thread still holds.
        FILE_CopyText(errorText, size, "Could not read file.");
        return -1;
    }
    int result;
    UtilFile f = UTIL_OpenFile(path ? path : "", UTIL_OPEN_READ);
    if (f == UTIL_INVALID_FILE) {
        FILE_OpenErrorText(errorText, size, path ? path : "", UTIL_LastOpenError());
        result = -1;
    } else {
        result = body(image, f, errorText, size, ctx);
        UTIL_CloseFile(f);
    }
    image->modified = 0;
    MEM_Unlock(image);
    return result;
}

int FILE_Save(MemImage* image, const char* path, char* errorText, uint32_t size, FileWriterBody body, void* ctx)
{
    if (!image || !errorText || size == 0) {
        return -1;
    }
    if (MEM_Lock(image) != 0) {
        FILE_CopyText(errorText, size, "Error writing file.");
        return -1;
    }
    const uint32_t savedModified = image->modified;
    MEM_CommitWrites(image);
    FileWriter* w = FILE_OpenWriter(path, errorText, size);
    if (w) {
        body(image, w, ctx);
        FILE_CloseWriter(w);
    }
    const int result = errorText[0] != '\0' ? -1 : 0;
    if (result != 0) {
        image->modified = savedModified;
    }
    MEM_Unlock(image);
    return result;
}

// -- binary files ------------------------------------------------------------

namespace {
int BinReader(MemImage* image, UtilFile f, char* errorText, uint32_t size, void* ctx)
{
    uint32_t address = *static_cast<uint32_t*>(ctx);
    auto* chunk = static_cast<uint8_t*>(UTIL_Alloc(FILE_READ_CHUNK));
    if (!chunk) {
        FILE_CopyText(errorText, size, "Could not read file. Out of memory.");
        return -1;
    }
    int result = 0;
    bool reserved = false;
    for (;;) {
        const int32_t n = UTIL_ReadFile(f, chunk, FILE_READ_CHUNK);
        if (n == 0) {
            break;
        }
        if (n < 0) {
            FILE_CopyText(errorText, size, "Could not read file.");
            result = -1;
            break;
        }
        const int added = MEM_AddBytesLocked(image, address, static_cast<uint32_t>(n), chunk);
        if (added != 0) {
            // Past the top of the address space, or out of memory.
            FILE_CopyText(errorText, size,
                          added == MEM_ERR_MEMORY ? "Could not read file. Out of memory." : "Areas overlap");
            result = -1;
            break;
        }
        address += static_cast<uint32_t>(n);
        if (!reserved) {
            // One allocation for the whole file instead of many growth steps.
            reserved = true;
            const uint32_t total = UTIL_GetFileSize(f);
            if (total != 0xFFFFFFFFu && total > static_cast<uint32_t>(n)) {
                MEM_ReserveLocked(image, address, total - static_cast<uint32_t>(n));
            }
        }
    }
    UTIL_Free(chunk);
    return result;
}

struct BinRange {
    uint32_t from;
    uint32_t to;
};

void BinWriter(MemImage* image, FileWriter* w, void* ctx)
{
    const BinRange range = *static_cast<BinRange*>(ctx);
    if (range.from > range.to) {
        return;
    }
    auto* block = static_cast<uint8_t*>(UTIL_Alloc(65536));
    if (!block) {
        FILE_KeepError(w->errorText, w->errorSize, "Could not write file. Out of memory.");
        return;
    }
    uint32_t current = range.from;
    for (;;) {
        const uint64_t left = static_cast<uint64_t>(range.to) - current + 1;
        const uint32_t maxCount = static_cast<uint32_t>(std::min<uint64_t>(left, 65536));
        uint32_t start = current;
        const uint32_t count = MEM_ReadBlock(image, current, range.to, 16777215, block, &start, maxCount);
        if (count == 0) {
            break;
        }
        if (start > current) {
            FILE_Write(w, nullptr, start - current);
        }
        FILE_Write(w, block, count);
        const uint64_t next = static_cast<uint64_t>(start) + count;
        if (next > 0xFFFFFFFFull || next > range.to) {
            break;
        }
        current = static_cast<uint32_t>(next);
    }
    UTIL_Free(block);
}
}  // namespace

int BIN_LoadFile(MemImage* image, const char* path, char* errorText, uint32_t size, uint32_t base)
{
    return FILE_Load(image, path, errorText, size, BinReader, &base);
}

int BIN_SaveFile(MemImage* image, const char* path, char* errorText, uint32_t size, uint32_t from, uint32_t to)
{
    BinRange range{from, to};
    return FILE_Save(image, path, errorText, size, BinWriter, &range);
}

int FILE_ReadText(MemImage* image, UtilFile file, char* errorText, uint32_t size, char mark, const char* noMemory,
                  const char* notFormat, TextLoop loop)
{
    TextScanner s{};
    s.errorText = errorText;
    s.errorSize = size;
    s.firstFill = true;
    s.mark = mark;
    int result;
    s.window = static_cast<char*>(UTIL_Alloc(FILE_WINDOW_CHARS + 1));
    if (!s.window) {
        FILE_SetError(&s, noMemory);
        result = -3;
    } else {
        s.window[0] = '\0';
        if (!FILE_Refill(&s, file)) {
            FILE_SetError(&s, notFormat);
            result = -4;
        } else {
            result = loop(&s, file, image);
        }
    }
    UTIL_Free(s.window);
    if (s.readFailed) {
        // What was read before the failure stays; the rest of the file is unknown.
        FILE_CopyText(errorText, size, "Could not read file.");
        return -1;
    }
    if (result != 0 && result != -1 && errorText && size) {
        char message[600];
        std::snprintf(message, sizeof message, "Error in line %u: %s", static_cast<unsigned>(s.lineCount + 1),
                      errorText);
        FILE_CopyText(errorText, size, message);
    }
    return result;
}
