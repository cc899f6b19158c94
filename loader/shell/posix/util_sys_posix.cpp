// POSIX stand-ins of the memory, file and mutex wrappers, for the native
// tests and tools. Windows sharing modes have no POSIX counterpart and are
// ignored; everything else follows the Win32 behaviour the callers expect.
#include "shell/util_sys.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <new>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

void* UTIL_Alloc(uint32_t size)
{
    void* block = std::malloc(size ? size : 1);
    if (!block) {
        std::fprintf(stderr, "Error: Failed to allocate 0x%.8X bytes of memory!\n", static_cast<unsigned>(size));
    }
    return block;
}

void* UTIL_Realloc(void* block, uint32_t size)
{
    return std::realloc(block, size ? size : 1);
}

void UTIL_Free(void* block)
{
    std::free(block);
}

namespace {
thread_local UtilOpenError t_lastOpenError = UTIL_OPEN_ERR_NONE;

UtilOpenError OpenErrorFromErrno(int e)
{
    switch (e) {
    case ENOENT: return UTIL_OPEN_ERR_FILE_NOT_FOUND;
    case ENOTDIR: return UTIL_OPEN_ERR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS: return UTIL_OPEN_ERR_ACCESS_DENIED;
    case ENAMETOOLONG: return UTIL_OPEN_ERR_BAD_NAME;
    default: return UTIL_OPEN_ERR_OTHER;
    }
}
}  // namespace

UtilFile UTIL_OpenFile(const char* path, uint32_t flags)
{
    if (!path || !*path) {
        t_lastOpenError = UTIL_OPEN_ERR_FILE_NOT_FOUND;
        return UTIL_INVALID_FILE;
    }
    int mode;
    if ((flags & UTIL_OPEN_READ) && (flags & UTIL_OPEN_WRITE)) {
        mode = O_RDWR;
    } else if (flags & UTIL_OPEN_WRITE) {
        mode = O_WRONLY;
    } else {
        mode = O_RDONLY;
    }
    if (flags & UTIL_OPEN_CREATE) {
        mode |= O_CREAT;
        if (flags & UTIL_OPEN_NEW) {
            mode |= O_EXCL;
        } else if (flags & UTIL_OPEN_TRUNCATE) {
            mode |= O_TRUNC;
        }
    } else if (flags & UTIL_OPEN_TRUNCATE) {
        mode |= O_TRUNC;
    }
    mode |= O_CLOEXEC;
    int fd = ::open(path, mode, 0666);
    if (fd < 0) {
        t_lastOpenError = OpenErrorFromErrno(errno);
        return UTIL_INVALID_FILE;
    }
    // A directory opens on POSIX but not as a Windows file.
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        t_lastOpenError = UTIL_OPEN_ERR_ACCESS_DENIED;
        return UTIL_INVALID_FILE;
    }
    if (flags & UTIL_OPEN_APPEND) {
        ::lseek(fd, 0, SEEK_END);
    }
    t_lastOpenError = UTIL_OPEN_ERR_NONE;
    return static_cast<UtilFile>(fd);
}

UtilOpenError UTIL_LastOpenError()
{
    return t_lastOpenError;
}

int32_t UTIL_ReadFile(UtilFile file, void* buffer, uint32_t count)
{
    if (file == UTIL_INVALID_FILE) {
        return -1;
    }
    if (count > 0x7FFFFFFFu) {
        count = 0x7FFFFFFFu;
    }
    for (;;) {
        ssize_t n = ::read(static_cast<int>(file), buffer, count);
        if (n >= 0) {
            return static_cast<int32_t>(n);
        }
        if (errno != EINTR) {
            return -1;
        }
    }
}

int32_t UTIL_WriteFile(UtilFile file, const void* buffer, uint32_t count)
{
    if (file == UTIL_INVALID_FILE) {
        return -1;
    }
    if (count > 0x7FFFFFFFu) {
        count = 0x7FFFFFFFu;
    }
    // Like WriteFile on a disk file: the whole count or a failure.
    const char* p = static_cast<const char*>(buffer);
    uint32_t done = 0;
    while (done < count) {
        ssize_t n = ::write(static_cast<int>(file), p + done, count - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return done ? static_cast<int32_t>(done) : -1;
        }
        if (n == 0) {
            break;
        }
        done += static_cast<uint32_t>(n);
    }
    return static_cast<int32_t>(done);
}

void UTIL_CloseFile(UtilFile file)
{
    if (file != UTIL_INVALID_FILE) {
        ::close(static_cast<int>(file));
    }
}

uint32_t UTIL_GetFileSize(UtilFile file)
{
    struct stat st;
    if (file == UTIL_INVALID_FILE || fstat(static_cast<int>(file), &st) != 0 || st.st_size < 0 ||
        static_cast<unsigned long long>(st.st_size) >= 0xFFFFFFFFull) {
        return 0xFFFFFFFFu;
    }
    return static_cast<uint32_t>(st.st_size);
}

uint32_t UTIL_GetFileAttributes(const char* path)
{
    struct stat st;
    if (!path || ::stat(path, &st) != 0) {
        return 0xFFFFFFFFu;
    }
    // The Windows attribute bits: read-only 0x01, directory 0x10, normal 0x80.
    uint32_t attributes = 0;
    if (S_ISDIR(st.st_mode)) {
        attributes |= 0x10;
    }
    if ((st.st_mode & 0222) == 0) {
        attributes |= 0x01;
    }
    return attributes ? attributes : 0x80;
}

bool UTIL_DeleteFile(const char* path)
{
    return path && ::unlink(path) == 0;
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

namespace {
// A re-entrant mutex with a timed wait, built from a plain mutex and a
// condition variable: it knows its owner, so a release by a thread that does
// not hold it fails instead of being undefined, and every step is visible to
// ThreadSanitizer (the library's timed lock is not).
struct PosixMutex {
    std::mutex guard;              // protects owner and depth
    std::condition_variable freed;
    std::thread::id owner;
    uint32_t depth = 0;
};
}  // namespace

UtilMutex UTIL_CreateMutex()
{
    return new (std::nothrow) PosixMutex;
}

int UTIL_WaitMutex(UtilMutex mutex, uint32_t ms)
{
    if (!mutex) {
        return 0;
    }
    auto* m = static_cast<PosixMutex*>(mutex);
    const std::thread::id self = std::this_thread::get_id();
    std::unique_lock<std::mutex> g(m->guard);
    auto available = [&] { return m->depth == 0 || m->owner == self; };
    if (ms == 0xFFFFFFFFu) {
        m->freed.wait(g, available);
    } else if (!m->freed.wait_for(g, std::chrono::milliseconds(ms), available)) {
        return 0x102;   // the Win32 time-out value
    }
    m->owner = self;
    ++m->depth;
    return 0;
}

bool UTIL_ReleaseMutex(UtilMutex mutex)
{
    if (!mutex) {
        return true;
    }
    auto* m = static_cast<PosixMutex*>(mutex);
    {
        std::lock_guard<std::mutex> g(m->guard);
        if (m->depth == 0 || m->owner != std::this_thread::get_id()) {
            return false;
        }
        if (--m->depth != 0) {
            return true;
        }
        m->owner = std::thread::id();
    }
    m->freed.notify_one();
    return true;
}

void UTIL_CloseMutex(UtilMutex* holder)
{
    if (!holder || !*holder) {
        return;
    }
    delete static_cast<PosixMutex*>(*holder);
    *holder = nullptr;
}
