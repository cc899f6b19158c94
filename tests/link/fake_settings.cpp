// An in-memory settings store for these tests, so that the port module's
// loads and saves can be checked without a file. It takes the place of the
// store's four accessors at link time.
#include "fake_settings.h"

#include <cstring>
#include <map>
#include <mutex>

#include "shell/settings.h"

namespace {
std::mutex g_lock;
std::map<std::string, std::string> g_values;   // "section/key" -> text
std::string Key(const char* s, const char* k) { return std::string(s) + "/" + k; }
}  // namespace

void FAKE_SettingsClear() {
    std::lock_guard<std::mutex> g(g_lock);
    g_values.clear();
}
void FAKE_SettingsSet(const std::string& section, const std::string& key, const std::string& value) {
    std::lock_guard<std::mutex> g(g_lock);
    g_values[section + "/" + key] = value;
}
bool FAKE_SettingsGet(const std::string& section, const std::string& key, std::string* value) {
    std::lock_guard<std::mutex> g(g_lock);
    auto it = g_values.find(section + "/" + key);
    if (it == g_values.end()) return false;
    *value = it->second;
    return true;
}

int APP_GetSettingString(const char* section, const char* key, char* dest, int size) {
    std::lock_guard<std::mutex> g(g_lock);
    std::memset(dest, 0, static_cast<size_t>(size));
    auto it = g_values.find(Key(section, key));
    if (it == g_values.end()) return -1;
    std::strncpy(dest, it->second.c_str(), static_cast<size_t>(size - 1));
    return 0;
}
int APP_GetSettingInt(const char* section, const char* key, int32_t* out) {
    std::lock_guard<std::mutex> g(g_lock);
    auto it = g_values.find(Key(section, key));
    if (it == g_values.end()) return 1;
    *out = static_cast<int32_t>(std::strtol(it->second.c_str(), nullptr, 10));
    return 0;
}
int APP_SetSettingString(const char* section, const char* key, const char* text) {
    std::lock_guard<std::mutex> g(g_lock);
    g_values[Key(section, key)] = text;
    return 0;
}
int APP_SetSettingInt(const char* section, const char* key, int32_t value) {
    std::lock_guard<std::mutex> g(g_lock);
    g_values[Key(section, key)] = std::to_string(value);
    return 0;
}
