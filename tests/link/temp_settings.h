#pragma once
#include <string>

void TEMP_SettingsClear();
void TEMP_SettingsSet(const std::string& section, const std::string& key, const std::string& value);
bool TEMP_SettingsGet(const std::string& section, const std::string& key, std::string* value);
