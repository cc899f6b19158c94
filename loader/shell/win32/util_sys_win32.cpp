// Memory, file and mutex wrappers over the Win32 kernel services.
#include <windows.h>

#include <cstdio>

#include "shell/util_sys.h"

void* UTIL_Alloc(uint32_t size)
{
    void* block = HeapAlloc(GetProcessHeap(), 0, size ? size : 1);
    if (!block) {
        char text[80];
        std::snprintf(text, sizeof text, "Failed to allocate 0x%.8X bytes of memory!", static_cast<unsigned>(size));
        MessageBoxA(nullptr, text, "Error", MB_OK | MB_ICONSTOP | MB_TASKMODAL | MB_TOPMOST);
    }
    return block;
}

void* UTIL_Realloc(void* block, uint32_t size)
{
    if (!block) {
        return HeapAlloc(GetProcessHeap(), 0, size ? size : 1);
    }
    return HeapReAlloc(GetProcessHeap(), 0, block, size ? size : 1);
}

void UTIL_Free(void* block)
{
    if (block) {
        HeapFree(GetProcessHeap(), 0, block);
    }
}

namespace {
thread_local UtilOpenError t_lastOpenError = UTIL_OPEN_ERR_NONE;

UtilOpenError OpenErrorFromCode(DWORD code)
{
    switch (code) {
    case ERROR_FILE_NOT_FOUND: return UTIL_OPEN_ERR_FILE_NOT_FOUND;
    case ERROR_PATH_NOT_FOUND: return UTIL_OPEN_ERR_PATH_NOT_FOUND;
    case ERROR_ACCESS_DENIED: return UTIL_OPEN_ERR_ACCESS_DENIED;
    case ERROR_INVALID_DRIVE: return UTIL_OPEN_ERR_INVALID_DRIVE;
    case ERROR_INVALID_NAME: return UTIL_OPEN_ERR_BAD_NAME;
    default: return UTIL_OPEN_ERR_OTHER;
    }
}
}  // namespace

UtilFile UTIL_OpenFile(const char* path, uint32_t flags)
{
    DWORD access = 0;
    if (flags & UTIL_OPEN_READ) access |= GENERIC_READ;
    if (flags & UTIL_OPEN_WRITE) access |= GENERIC_WRITE;
    DWORD share = 0;
    if (flags & UTIL_OPEN_SHARE_READ) share |= FILE_SHARE_READ;
    if (flags & UTIL_OPEN_SHARE_WRITE) share |= FILE_SHARE_WRITE;
    DWORD disposition;
    if (flags & UTIL_OPEN_CREATE) {
        if (flags & UTIL_OPEN_NEW) {
            disposition = CREATE_NEW;
        } else if (flags & UTIL_OPEN_TRUNCATE) {
            disposition = CREATE_ALWAYS;
        } else {
            disposition = OPEN_ALWAYS;
        }
    } else if (flags & UTIL_OPEN_TRUNCATE) {
        disposition = TRUNCATE_EXISTING;
    } else {
        disposition = OPEN_EXISTING;
    }
    HANDLE h = CreateFileA(path ? path : "", access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        t_lastOpenError = OpenErrorFromCode(GetLastError());
        return UTIL_INVALID_FILE;
    }
    if (flags & UTIL_OPEN_APPEND) {
        SetFilePointer(h, 0, nullptr, FILE_END);
    }
    t_lastOpenError = UTIL_OPEN_ERR_NONE;
    return reinterpret_cast<UtilFile>(h);
}

UtilOpenError UTIL_LastOpenError()
{
    return t_lastOpenError;
}

int32_t UTIL_ReadFile(UtilFile file, void* buffer, uint32_t count)
{
    DWORD done = 0;
    if (file == UTIL_INVALID_FILE || !ReadFile(reinterpret_cast<HANDLE>(file), buffer, count, &done, nullptr)) {
        return -1;
    }
    return static_cast<int32_t>(done);
}

int32_t UTIL_WriteFile(UtilFile file, const void* buffer, uint32_t count)
{
    DWORD done = 0;
    if (file == UTIL_INVALID_FILE || !WriteFile(reinterpret_cast<HANDLE>(file), buffer, count, &done, nullptr)) {
        return -1;
    }
    return static_cast<int32_t>(done);
}

void UTIL_CloseFile(UtilFile file)
{
    if (file != UTIL_INVALID_FILE) {
        CloseHandle(reinterpret_cast<HANDLE>(file));
    }
}

uint32_t UTIL_GetFileSize(UtilFile file)
{
    if (file == UTIL_INVALID_FILE) {
        return 0xFFFFFFFFu;
    }
    return GetFileSize(reinterpret_cast<HANDLE>(file), nullptr);
}

uint32_t UTIL_GetFileAttributes(const char* path)
{
    return GetFileAttributesA(path ? path : "");
}

bool UTIL_DeleteFile(const char* path)
{
    return path && DeleteFileA(path) != 0;
}

bool UTIL_FileExists(const char* path)
{
    UtilOpenError saved = t_lastOpenError;
    UtilFile f = UTIL_OpenFile(path, UTIL_OPEN_READ);
    t_lastOpenError = saved;
    if (f == UTIL_INVALID_FILE) {
        return false;
    }
    UTIL_CloseFile(f);
    return true;
}

UtilMutex UTIL_CreateMutex()
{
    return CreateMutexA(nullptr, FALSE, nullptr);
}

int UTIL_WaitMutex(UtilMutex mutex, uint32_t ms)
{
    if (!mutex) {
        return 0;
    }
    DWORD r = WaitForSingleObject(static_cast<HANDLE>(mutex), ms);
    // An abandoned mutex is owned by the caller all the same.
    return (r == WAIT_OBJECT_0 || r == WAIT_ABANDONED) ? 0 : static_cast<int>(r == WAIT_TIMEOUT ? WAIT_TIMEOUT : WAIT_FAILED);
}

bool UTIL_ReleaseMutex(UtilMutex mutex)
{
    if (!mutex) {
        return true;
    }
    return ReleaseMutex(static_cast<HANDLE>(mutex)) != 0;
}

void UTIL_CloseMutex(UtilMutex* holder)
{
    if (!holder || !*holder) {
        return;
    }
    CloseHandle(static_cast<HANDLE>(*holder));
    *holder = nullptr;
}
