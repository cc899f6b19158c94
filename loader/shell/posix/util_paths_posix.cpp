// Program and settings folders of the native builds. Tests choose the
// settings folder with KAL_DATA_FOLDER; otherwise it is the program's folder.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "shell/util.h"

namespace {
void Copy(const std::string& s, char* dest, int size)
{
    if (!dest || size <= 0) return;
    const size_t n = s.size() < static_cast<size_t>(size - 1) ? s.size() : static_cast<size_t>(size - 1);
    std::memcpy(dest, s.data(), n);
    dest[n] = '\0';
}

std::string ProgramFile()
{
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string("program");
}
}  // namespace

void UTIL_GetProgramFile(char* dest, int size) { Copy(ProgramFile(), dest, size); }

void UTIL_GetProgramFolder(char* dest, int size)
{
    const std::string file = ProgramFile();
    const size_t slash = file.rfind('/');
    Copy(slash == std::string::npos ? std::string("./") : file.substr(0, slash + 1), dest, size);
}

void UTIL_GetDataFolder(char* dest, int size)
{
    const char* env = std::getenv("KAL_DATA_FOLDER");
    if (env && *env) {
        std::string folder = env;
        if (folder.back() != '/') folder += '/';
        Copy(folder, dest, size);
        return;
    }
    UTIL_GetProgramFolder(dest, size);
}
