#pragma once
// The program's name and title. The title names the main window and is part
// of the registry path of the recent lists, so it must never change by accident.

extern const char* const APP_ProductName;   // "Tamrin"

// "3.04j": major 3, minor 04, revision letter j.
const char* APP_GetVersion();

// "Tamrin V3.04j", built on first use.
const char* APP_GetTitle();
