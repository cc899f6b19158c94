// The settings store on a file in a private folder, emptied for each test,
// so that what the port module loads and saves can be checked.
#include "temp_settings.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "shell/settings.h"
#include "shell/settings_store.h"

namespace {
const std::string& Folder() {
    static const std::string folder = [] {
        char name[] = "/tmp/link_tests_XXXXXX";
        const char* made = mkdtemp(name);
        return std::string(made ? made : "/tmp") + "/";
    }();
    return folder;
}
bool IsNumber(const std::string& v) {
    if (v.empty()) return false;
    for (size_t i = 0; i < v.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(v[i])) && !(i == 0 && v[i] == '-')) return false;
    return true;
}
}  // namespace

void TEMP_SettingsClear() {
    setenv("KAL_DATA_FOLDER", Folder().c_str(), 1);
    APP_SettingsReset();
    int32_t unused = 0;
    APP_GetSettingInt("COM", "none", &unused);   // makes the store find its path
    const std::string path = APP_SettingsPath();
    if (!path.empty()) std::remove(path.c_str());
    APP_SettingsReset();
}

void TEMP_SettingsSet(const std::string& section, const std::string& key, const std::string& value) {
    if (key != "VPort" && IsNumber(value))
        APP_SetSettingInt(section.c_str(), key.c_str(), std::atoi(value.c_str()));
    else
        APP_SetSettingString(section.c_str(), key.c_str(), value.c_str());
}

bool TEMP_SettingsGet(const std::string& section, const std::string& key, std::string* value) {
    // The port keys are numbers except the port name.
    if (key != "VPort") {
        int32_t n = 0;
        if (APP_GetSettingInt(section.c_str(), key.c_str(), &n) != 0) return false;
        *value = std::to_string(n);
        return true;
    }
    char text[256];
    if (APP_GetSettingString(section.c_str(), key.c_str(), text, sizeof text) != 0) return false;
    *value = text;
    return true;
}
