#pragma once
// Support routines of the loader that need no window: paths, the settings
// folder, numbers in a radix and the checks of the value-entry dialog.
// The window routines are in win32/util_win.h.
#include <cstdint>
#include <string>

// -- paths ---------------------------------------------------------------
// Splits at the last "\" or "/" and the last "." behind it; the drive is
// "X:" when the path starts with one. The extension keeps its dot.
struct UtilPathParts {
    std::string drive, folder, name, ext;
};
UtilPathParts UTIL_SplitPath(const char* path);
std::string UTIL_MakePath(const UtilPathParts& parts);
// The base name, or the extension with its dot; empty when the part does
// not fit `size` bytes with its terminator.
void UTIL_GetFileTitle(const char* path, char* dest, int size);
void UTIL_GetFileExt(const char* path, char* dest, int size);

// Platform: the program file, its folder (ending in the separator), and the
// folder of the settings file.
void UTIL_GetProgramFile(char* dest, int size);
void UTIL_GetProgramFolder(char* dest, int size);
void UTIL_GetDataFolder(char* dest, int size);

// -- numbers ---------------------------------------------------------------
// Digits of `value` in `radix` (2..16), upper case, most significant first,
// "-" for negatives, no prefix. dest needs 66 bytes for any value.
void UTIL_FormatNumber(char* dest, int64_t value, int radix);

// Value of a value-entry field: optional leading "-", digits of the radix.
// A character that is no digit counts as -1, as the field filter lets none
// in by typing; the value saturates instead of wrapping.
int64_t UTIL_ParseValue(const char* text, int radix);

// Whether a typed character passes the field's filter. `caret` is the
// selection start, `startsWithMinus` whether the field already begins with "-".
bool UTIL_ValueCharAllowed(char c, int radix, int64_t minimum, int caret, bool startsWithMinus);

// The range message for `value`, or empty when it lies in [minimum, maximum].
std::string UTIL_RangeMessage(const char* label, int64_t value, int64_t minimum, int64_t maximum,
                              int radix);

// -- window placement --------------------------------------------------------
struct UtilRect {
    int32_t left, top, right, bottom;
};
// Top-left corner of a width x height window centred over `reference` and
// kept inside `work`.
void UTIL_CenterPosition(const UtilRect& reference, const UtilRect& work, int32_t width,
                         int32_t height, int32_t* x, int32_t* y);

// -- save dialog -------------------------------------------------------------
// The extension of filter `index` (1-based) of a list of description and
// pattern pairs ended by an empty string: the pattern behind its "*.";
// empty when there is none.
std::string UTIL_FilterExtension(const char* filters, int index);
// `name` cut at its first "." with "." + ext appended (name unchanged when ext is empty).
std::string UTIL_ApplyExtension(const std::string& name, const std::string& ext);
