#pragma once
// The text of the settings file and the operations on it, without the file.
// Sections are "[name]" lines, entries "key = 123" or key="text" lines, all
// ended by CR LF. Every function works on the caller's text and never lets it
// grow beyond SETTINGS_TEXT_MAX bytes.
#include <cstdint>
#include <string>

constexpr size_t SETTINGS_TEXT_MAX = 29999;

// Results of the readers: found, missing, or found with a syntax error
// (`error` then holds the message to report).
enum SettingsRead { SETTINGS_FOUND = 0, SETTINGS_MISSING = 1, SETTINGS_BAD = 2 };

// Reads a quoted text value into dest (size bytes, cleared first).
SettingsRead APP_SettingsReadString(std::string& text, const char* section, const char* key,
                                    char* dest, int size, std::string& error);
// Reads a decimal value; on SETTINGS_BAD `out` keeps its value.
SettingsRead APP_SettingsReadInt(std::string& text, const char* section, const char* key,
                                 int32_t* out, std::string& error);

// Replaces the key's entry by `line` (without its line end) as the first
// entry of the section. False, with the text unchanged, when the result
// would not fit.
bool APP_SettingsWriteLine(std::string& text, const char* section, const char* key,
                           const std::string& line);
// The entry lines as they are written.
std::string APP_SettingsStringLine(const char* key, const char* value);
std::string APP_SettingsIntLine(const char* key, int32_t value);
