#pragma once
// The settings store: an INI-like file in the data folder, shared by the GUI
// thread and the link worker and guarded by its own lock. Every call makes
// the store ready first (reads the file on first use).
#include <cstdint>

// 0 found and read, -1 otherwise. `dest` is cleared (size bytes) first and
// gets at most size - 1 characters.
int APP_GetSettingString(const char* section, const char* key, char* dest, int size);
// 0 found (out set), 1 missing (out untouched).
int APP_GetSettingInt(const char* section, const char* key, int32_t* out);
// 0 saved, 1 the file could not be written (reported), -1 the store is unusable.
int APP_SetSettingString(const char* section, const char* key, const char* text);
int APP_SetSettingInt(const char* section, const char* key, int32_t value);

// Time-outs in milliseconds, by kind.
enum AppTimeoutKind {
    APP_TIMEOUT = 0,             // "Timeout"
    APP_TIMEOUT_GET_CRC = 1,     // "TimeoutGetCRC"
    APP_TIMEOUT_CHECK_BLANK = 2, // "TimeoutCheckBlank"
    APP_TIMEOUT_CONNECT = 3,     // "TimeoutConnect"
};
void APP_LoadTimeouts();
int32_t APP_GetTimeout(int kind);

// Reads and applies the port settings (needs the serial module).
void APP_LoadComSettings();

// 0 set; 1 when length >= 100 ("Password to long"), the password unchanged.
int APP_SetPassword(const char* text, int length);
// Copies the password: at most 99 characters and the terminator.
void APP_GetPassword(char* dest);
