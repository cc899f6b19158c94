// The settings store: the settings file read whole at first use, edited in
// memory and written back whole after every change.
#include "shell/settings.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "shell/app.h"
#include "shell/settings_store.h"
#include "shell/settings_text.h"
#include "shell/util.h"
#include "shell/util_sys.h"

namespace {

// Shared by the GUI thread and the link worker; every field is guarded by
// `lock`. Messages are reported after the lock is released, because a report
// runs a message loop that may reach the store again.
struct {
    std::mutex lock;
    bool ready = false;
    bool unusable = false;   // the file is larger than the text can hold
    std::string path;
    std::string text;
} g_store;

// In-memory settings of the shell; written by the GUI thread, read by the
// link worker when a job or poll starts.
struct {
    char password[100] = {};
    int32_t timeouts[4] = {};
} g_values;

std::string Format(const char* format, const std::string& path)
{
    char message[400];
    std::snprintf(message, sizeof message, format, path.c_str());
    return message;
}

const char* OpenReason(UtilOpenError e)
{
    switch (e) {
    case UTIL_OPEN_ERR_FILE_NOT_FOUND: return "File not found!";
    case UTIL_OPEN_ERR_PATH_NOT_FOUND: return "Path not found!";
    case UTIL_OPEN_ERR_ACCESS_DENIED: return "Access is denied!";
    case UTIL_OPEN_ERR_BAD_NAME: return "Filename syntax is incorrect!";
    default: return "Invalid file handle!";
    }
}

// Caller holds the lock.
void MakeReady(std::string& error)
{
    if (g_store.ready) return;
    g_store.ready = true;
    if (g_store.path.empty()) {
        char folder[260] = {}, program[260] = {}, title[260] = {};
        UTIL_GetDataFolder(folder, sizeof folder);
        UTIL_GetProgramFile(program, sizeof program);
        UTIL_GetFileTitle(program, title, sizeof title);
        g_store.path = std::string(folder) + title + ".ini";
        if (g_store.path.size() > 259) g_store.path.resize(259);
    }
    if (UTIL_GetFileAttributes(g_store.path.c_str()) == 0xFFFFFFFFu) return;   // no file yet
    const UtilFile f = UTIL_OpenFile(g_store.path.c_str(), UTIL_OPEN_READ | UTIL_OPEN_SHARE_READ);
    if (f == UTIL_INVALID_FILE) {
        error = Format((std::string("Could not open file [%s]\n") + OpenReason(UTIL_LastOpenError())).c_str(),
                       g_store.path);
        return;
    }
    const uint32_t size = UTIL_GetFileSize(f);
    if (size != 0xFFFFFFFFu && size > SETTINGS_TEXT_MAX) {
        // Reading part of it and saving that back later would lose the rest.
        UTIL_CloseFile(f);
        g_store.unusable = true;
        error = Format("Could not open file [%s]\nFile is too large!", g_store.path);
        return;
    }
    std::string text(size == 0xFFFFFFFFu ? 0 : size, '\0');
    const int32_t got = size == 0 ? 0 : UTIL_ReadFile(f, text.data(), size);
    UTIL_CloseFile(f);
    if (size == 0xFFFFFFFFu || got != static_cast<int32_t>(size)) {
        error = Format("Could not open file [%s]\nFailed to read data!", g_store.path);
        return;
    }
    // A zero byte would end the text for every reader; keep what precedes it.
    const size_t zero = text.find('\0');
    if (zero != std::string::npos) text.resize(zero);
    g_store.text = std::move(text);
}

// Caller holds the lock. 0 saved, 1 failed (`error` set).
int Save(std::string& error)
{
    const UtilFile f = UTIL_OpenFile(g_store.path.c_str(),
                                     UTIL_OPEN_WRITE | UTIL_OPEN_SHARE_READ | UTIL_OPEN_CREATE | UTIL_OPEN_TRUNCATE);
    if (f == UTIL_INVALID_FILE) {
        const UtilOpenError e = UTIL_LastOpenError();
        const uint32_t attr = UTIL_GetFileAttributes(g_store.path.c_str());
        const char* reason = OpenReason(e);
        if (e == UTIL_OPEN_ERR_ACCESS_DENIED && attr != 0xFFFFFFFFu && (attr & 1u))
            reason = "File has read only attribute!";
        error = Format((std::string("Could not save file [%s]\n") + reason).c_str(), g_store.path);
        return 1;
    }
    const uint32_t n = static_cast<uint32_t>(g_store.text.size());
    const int32_t put = n == 0 ? 0 : UTIL_WriteFile(f, g_store.text.data(), n);
    UTIL_CloseFile(f);
    if (put != static_cast<int32_t>(n)) {
        error = Format("Could not save file [%s]\nFailed to write data!", g_store.path);
        return 1;
    }
    return 0;
}

void Report(const std::string& error)
{
    if (!error.empty()) APP_Error(error.c_str());
}

int Write(const char* section, const char* key, const std::string& line)
{
    std::string error;
    int result;
    {
        std::lock_guard<std::mutex> hold(g_store.lock);
        MakeReady(error);
        if (g_store.unusable) {
            result = -1;
        } else if (!APP_SettingsWriteLine(g_store.text, section, key, line)) {
            if (error.empty())
                error = Format("Could not save file [%s]\nFile is too large!", g_store.path);
            result = 1;
        } else {
            std::string saveError;
            result = Save(saveError);
            if (error.empty()) error = saveError;
        }
    }
    Report(error);
    return result;
}

}  // namespace

int APP_GetSettingString(const char* section, const char* key, char* dest, int size)
{
    std::string error, readError;
    SettingsRead r;
    {
        std::lock_guard<std::mutex> hold(g_store.lock);
        MakeReady(error);
        r = APP_SettingsReadString(g_store.text, section, key, dest, size, readError);
    }
    Report(error);
    Report(readError);
    return r == SETTINGS_FOUND ? 0 : -1;
}

int APP_GetSettingInt(const char* section, const char* key, int32_t* out)
{
    std::string error, readError;
    SettingsRead r;
    {
        std::lock_guard<std::mutex> hold(g_store.lock);
        MakeReady(error);
        r = APP_SettingsReadInt(g_store.text, section, key, out, readError);
    }
    Report(error);
    Report(readError);
    return r == SETTINGS_MISSING ? 1 : 0;
}

int APP_SetSettingString(const char* section, const char* key, const char* text)
{
    return Write(section, key, APP_SettingsStringLine(key, text ? text : ""));
}

int APP_SetSettingInt(const char* section, const char* key, int32_t value)
{
    return Write(section, key, APP_SettingsIntLine(key, value));
}

std::string APP_SettingsPath()
{
    std::lock_guard<std::mutex> hold(g_store.lock);
    return g_store.path;
}

void APP_SettingsReset()
{
    std::lock_guard<std::mutex> hold(g_store.lock);
    g_store.ready = false;
    g_store.unusable = false;
    g_store.path.clear();
    g_store.text.clear();
}

namespace {
struct TimeoutKey {
    const char* key;
    int32_t fallback;
};
// Kinds 0..3, in the order of AppTimeoutKind.
constexpr TimeoutKey kTimeouts[4] = {
    {"Timeout", 30000}, {"TimeoutGetCRC", 10000}, {"TimeoutCheckBlank", 10000}, {"TimeoutConnect", 5000}};
}  // namespace

void APP_LoadTimeouts()
{
    // Read in the file's usual order, then supply the defaults in the same order.
    const int order[4] = {APP_TIMEOUT, APP_TIMEOUT_CHECK_BLANK, APP_TIMEOUT_GET_CRC, APP_TIMEOUT_CONNECT};
    for (int kind : order) {
        int32_t v = 0;
        APP_GetSettingInt("COM", kTimeouts[kind].key, &v);
        g_values.timeouts[kind] = v;
    }
    for (int kind : order) {
        if (g_values.timeouts[kind] != 0) continue;
        g_values.timeouts[kind] = kTimeouts[kind].fallback;
        APP_SetSettingInt("COM", kTimeouts[kind].key, kTimeouts[kind].fallback);
    }
}

int32_t APP_GetTimeout(int kind)
{
    if (kind < 0 || kind > 3) {
        APP_Error("Undefined timeout passed to APP_GetTimeout");
        return 0;
    }
    return g_values.timeouts[kind];
}

int APP_SetPassword(const char* text, int length)
{
    if (length >= 100) {
        APP_Notify(nullptr, "Password to long", "Password", 0x30 /* MB_ICONEXCLAMATION */);
        return 1;
    }
    if (length < 0) length = 0;
    char copy[100] = {};
    if (text) std::memcpy(copy, text, static_cast<size_t>(length));
    copy[length] = '\0';
    std::memcpy(g_values.password, copy, sizeof copy);
    return 0;
}

void APP_GetPassword(char* dest)
{
    if (!dest) return;
    std::memcpy(dest, g_values.password, sizeof g_values.password);
    dest[99] = '\0';
}
