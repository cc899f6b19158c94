#pragma once
// Internals of the settings store that tests and the shell's start-up use.
#include <string>

// The full path of the settings file (empty before the first operation).
std::string APP_SettingsPath();
// Forgets the text and the path, so that the next operation reads the
// file again from the current data folder.
void APP_SettingsReset();
