// Program and settings folders on Windows.
#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <string>

#include "shell/util.h"
#include "shell/util_sys.h"

namespace {
void Copy(const std::string& s, char* dest, int size)
{
    if (!dest || size <= 0) return;
    const size_t n = s.size() < static_cast<size_t>(size - 1) ? s.size() : static_cast<size_t>(size - 1);
    std::memcpy(dest, s.data(), n);
    dest[n] = '\0';
}
}  // namespace

void UTIL_GetProgramFile(char* dest, int size)
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    Copy(path, dest, size);
}

void UTIL_GetProgramFolder(char* dest, int size)
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    const UtilPathParts parts = UTIL_SplitPath(path);
    Copy(parts.drive + parts.folder, dest, size);
}

void UTIL_GetDataFolder(char* dest, int size)
{
    char folder[MAX_PATH] = {};
    UTIL_GetProgramFolder(folder, sizeof folder);
    // Can a file be created here? Try a temporary one and remove it again.
    char probe[MAX_PATH] = {};
    bool writable = false;
    if (GetTempFileNameA(folder, "DRAVIK", 0, probe) != 0) {
        const UtilFile f = UTIL_OpenFile(probe, UTIL_OPEN_WRITE | UTIL_OPEN_CREATE | UTIL_OPEN_TRUNCATE);
        writable = f != UTIL_INVALID_FILE;
        if (writable) UTIL_CloseFile(f);
        UTIL_DeleteFile(probe);
    }
    if (writable) {
        Copy(folder, dest, size);
        return;
    }
    char appData[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, appData);
    std::string result = std::string(appData) + "\\DRAVIK\\";
    CreateDirectoryA(result.c_str(), nullptr);   // an existing folder is fine
    Copy(result, dest, size);
}
