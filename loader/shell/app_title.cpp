#include "shell/app_title.h"

#include <cstdio>
#include <string>

const char* const APP_ProductName = "Tamrin";

namespace {
constexpr int kVersionMajor = 3;
constexpr int kVersionMinor = 4;
constexpr char kRevision = 'j';
}  // namespace

const char* APP_GetVersion()
{
    static const std::string version = [] {
        char text[32];
        std::snprintf(text, sizeof text, "%d.%.2d%c", kVersionMajor, kVersionMinor, kRevision);
        return std::string(text);
    }();
    return version.c_str();
}

const char* APP_GetTitle()
{
    static const std::string title = std::string(APP_ProductName) + " V" + APP_GetVersion();
    return title.c_str();
}
