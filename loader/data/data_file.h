#pragma once
// Data files: the shared text scanner and buffered writer, the load and save
// procedures, and the three formats (Intel HEX, Motorola S-record, binary).
// Every load and save fills a caller's error text (empty: no error) and
// returns 0, -1 (open, read or write failure), -3 (no memory for the
// scanner), -4 (not a file of this format) or -5 (an error in a record).
#include <cstdint>

#include "data/mem_image.h"
#include "shell/util_sys.h"

constexpr uint32_t FILE_WINDOW_CHARS = 60000;
constexpr uint32_t FILE_REFILL_BELOW = 1000;
constexpr uint32_t FILE_WRITER_BUFFER = 32768;
constexpr uint32_t FILE_READ_CHUNK = 32768;

// State of one HEX or S-record load (one thread).
struct TextScanner {
    uint32_t lineCount;   // line ends passed so far
    uint32_t position;    // next unread character in window
    char* window;         // FILE_WINDOW_CHARS + 1 bytes, NUL behind the last character
    uint32_t filled;      // file characters in window
    uint8_t checksum;     // running sum of the current record's bytes
    char* errorText;
    uint32_t errorSize;
    // Not part of the record layout proper: where the scanner stands in the file.
    bool firstFill;
    bool atEnd;           // the file has no more characters
    bool readFailed;      // a read from the file failed
    char mark;            // ':' or 'S'
};

// Buffered output of one save (one thread).
struct FileWriter {
    UtilFile file;
    uint8_t* buffer;      // FILE_WRITER_BUFFER bytes
    char* errorText;
    uint32_t fill;
    uint32_t errorSize;
};

// Copies message into text, cut to size - 1 characters.
void FILE_CopyText(char* text, uint32_t size, const char* message);
// The message for a failed open for reading, chosen by the reason.
void FILE_OpenErrorText(char* text, uint32_t size, const char* path, UtilOpenError reason);
// Records message only when text is still empty (the first error wins).
void FILE_KeepError(char* text, uint32_t size, const char* message);

FileWriter* FILE_OpenWriter(const char* path, char* errorText, uint32_t size);
void FILE_Write(FileWriter* writer, const void* bytes, uint32_t count);
void FILE_Flush(FileWriter* writer);
void FILE_CloseWriter(FileWriter* writer);

void FILE_SetError(TextScanner* s, const char* message);
bool FILE_HasError(const TextScanner* s);
// Tops the window up when fewer than 1000 characters are unread. Returns
// false on the first fill when the file does not begin with the record mark.
bool FILE_Refill(TextScanner* s, UtilFile file);
void FILE_EndOfLine(TextScanner* s);
uint8_t FILE_HexDigit(TextScanner* s);
uint8_t FILE_HexByte(TextScanner* s);
// The character at the current position (NUL at the end of the data).
inline char FILE_Peek(const TextScanner* s) { return s->window[s->position]; }
// Whether the current position is past the last character of the file.
inline bool FILE_AtEndOfData(const TextScanner* s) { return s->position >= s->filled && s->atEnd; }

int BIN_LoadFile(MemImage* image, const char* path, char* errorText, uint32_t size, uint32_t base);
int BIN_SaveFile(MemImage* image, const char* path, char* errorText, uint32_t size, uint32_t from, uint32_t to);
int HEX_LoadFile(MemImage* image, const char* path, char* errorText, uint32_t size);
int HEX_SaveFile(MemImage* image, const char* path, char* errorText, uint32_t size);
int MOT_LoadFile(MemImage* image, const char* path, char* errorText, uint32_t size);
int MOT_SaveFile(MemImage* image, const char* path, char* errorText, uint32_t size);

// The shared procedures around the format bodies.
using FileReaderBody = int (*)(MemImage* image, UtilFile file, char* errorText, uint32_t size, void* ctx);
using FileWriterBody = void (*)(MemImage* image, FileWriter* writer, void* ctx);
// Opens path, takes the lock, runs the body, clears the modified flag.
int FILE_Load(MemImage* image, const char* path, char* errorText, uint32_t size, FileReaderBody body, void* ctx);
int FILE_Save(MemImage* image, const char* path, char* errorText, uint32_t size, FileWriterBody body, void* ctx);
// Runs a text reader over an open file with its scanner; applies the final wording.
using TextRecordReader = int (*)(TextScanner* s, MemImage* image, void* ctx);
// Sets up a scanner over an open file for a reader with record mark mark,
// runs loop, and applies the final "Error in line %d: %s" wording.
// noMemory and notFormat are the format's own texts.
using TextLoop = int (*)(TextScanner* s, UtilFile file, MemImage* image);
int FILE_ReadText(MemImage* image, UtilFile file, char* errorText, uint32_t size, char mark, const char* noMemory,
                  const char* notFormat, TextLoop loop);
