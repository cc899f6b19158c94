#pragma once
#include <string>

void FAKE_SettingsClear();
void FAKE_SettingsSet(const std::string& section, const std::string& key, const std::string& value);
bool FAKE_SettingsGet(const std::string& section, const std::string& key, std::string* value);
