#pragma once
// Thin wrappers over the system's memory, file and mutex services, used by
// every subsystem and from both threads. They keep no state of their own.
// One implementation per platform: win32/util_sys_win32.cpp, posix/util_sys_posix.cpp.
#include <cstdint>

// -- memory ------------------------------------------------------------------
// On failure shows "Failed to allocate 0x%.8X bytes of memory!" (no error
// report: the exit status is not touched) and returns null.
void* UTIL_Alloc(uint32_t size);
void* UTIL_Realloc(void* block, uint32_t size);
void UTIL_Free(void* block);

// -- files -------------------------------------------------------------------
// Open flags, combined.
enum : uint32_t {
    UTIL_OPEN_READ = 0x01,
    UTIL_OPEN_WRITE = 0x02,
    UTIL_OPEN_SHARE_READ = 0x04,
    UTIL_OPEN_SHARE_WRITE = 0x08,
    UTIL_OPEN_CREATE = 0x10,     // with 0x80 only new; else with 0x20 create or replace; else open or create
    UTIL_OPEN_TRUNCATE = 0x20,   // without 0x10: open an existing file and truncate it
    UTIL_OPEN_APPEND = 0x40,     // move to the end after opening
    UTIL_OPEN_NEW = 0x80,
};

// A file handle; UTIL_INVALID_FILE when an open failed.
using UtilFile = intptr_t;
constexpr UtilFile UTIL_INVALID_FILE = -1;

UtilFile UTIL_OpenFile(const char* path, uint32_t flags);
// Bytes transferred, or -1 when the call fails.
int32_t UTIL_ReadFile(UtilFile file, void* buffer, uint32_t count);
int32_t UTIL_WriteFile(UtilFile file, const void* buffer, uint32_t count);
void UTIL_CloseFile(UtilFile file);
// 32-bit size; 0xFFFFFFFF when unknown.
uint32_t UTIL_GetFileSize(UtilFile file);
// The system's attribute word; 0xFFFFFFFF when the path does not exist.
uint32_t UTIL_GetFileAttributes(const char* path);
bool UTIL_DeleteFile(const char* path);
// Whether UTIL_OpenFile(path, 1) succeeds (the file is closed again).
bool UTIL_FileExists(const char* path);

// Why the last UTIL_OpenFile on this thread failed, as one of the system's
// reasons that the data-file messages tell apart.
enum UtilOpenError {
    UTIL_OPEN_ERR_NONE = 0,
    UTIL_OPEN_ERR_FILE_NOT_FOUND,
    UTIL_OPEN_ERR_PATH_NOT_FOUND,
    UTIL_OPEN_ERR_ACCESS_DENIED,
    UTIL_OPEN_ERR_BAD_NAME,        // filename, folder name or volume label syntax
    UTIL_OPEN_ERR_OTHER,           // reported as an invalid file handle
    UTIL_OPEN_ERR_INVALID_DRIVE,   // Windows only: no such drive
};
UtilOpenError UTIL_LastOpenError();

// -- mutexes -----------------------------------------------------------------
// Unnamed, re-entrant (the owning thread may take it again), not owned at start.
using UtilMutex = void*;
UtilMutex UTIL_CreateMutex();
// 0 when taken (at once without a mutex), nonzero when the wait timed out or failed.
int UTIL_WaitMutex(UtilMutex mutex, uint32_t ms);
// Success; success without a mutex.
bool UTIL_ReleaseMutex(UtilMutex mutex);
// Closes the mutex and clears the holder.
void UTIL_CloseMutex(UtilMutex* holder);
