#include "shell/util.h"

#include <cstring>

UtilPathParts UTIL_SplitPath(const char* path)
{
    UtilPathParts parts;
    std::string p = path ? path : "";
    if (p.size() >= 2 && p[1] == ':') {
        parts.drive = p.substr(0, 2);
        p.erase(0, 2);
    }
    const size_t slash = p.find_last_of("\\/");
    std::string file = p;
    if (slash != std::string::npos) {
        parts.folder = p.substr(0, slash + 1);
        file = p.substr(slash + 1);
    }
    const size_t dot = file.rfind('.');
    if (dot != std::string::npos) {
        parts.name = file.substr(0, dot);
        parts.ext = file.substr(dot);
    } else {
        parts.name = file;
    }
    return parts;
}

std::string UTIL_MakePath(const UtilPathParts& parts)
{
    std::string out = parts.drive + parts.folder;
    if (!out.empty() && out.back() != '\\' && out.back() != '/' && out.back() != ':') out += '\\';
    out += parts.name;
    if (!parts.ext.empty() && parts.ext[0] != '.') out += '.';
    return out + parts.ext;
}

namespace {
void CopyPart(const std::string& part, char* dest, int size)
{
    if (!dest || size <= 0) return;
    if (part.size() + 1 > static_cast<size_t>(size)) {
        dest[0] = '\0';
        return;
    }
    std::memcpy(dest, part.c_str(), part.size() + 1);
}
}  // namespace

void UTIL_GetFileTitle(const char* path, char* dest, int size)
{
    CopyPart(UTIL_SplitPath(path).name, dest, size);
}

void UTIL_GetFileExt(const char* path, char* dest, int size)
{
    CopyPart(UTIL_SplitPath(path).ext, dest, size);
}

void UTIL_FormatNumber(char* dest, int64_t value, int radix)
{
    static const char digits[] = "0123456789ABCDEF";
    if (radix < 2 || radix > 16) radix = 10;
    char tmp[66];
    int n = 0;
    // Work on the unsigned magnitude so that INT64_MIN is written correctly.
    uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    do {
        tmp[n++] = digits[magnitude % static_cast<unsigned>(radix)];
        magnitude /= static_cast<unsigned>(radix);
    } while (magnitude != 0);
    int o = 0;
    if (value < 0) dest[o++] = '-';
    while (n > 0) dest[o++] = tmp[--n];
    dest[o] = '\0';
}

namespace {
int DigitValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
}  // namespace

int64_t UTIL_ParseValue(const char* text, int radix)
{
    if (!text) return 0;
    bool negative = false;
    if (*text == '-') {
        negative = true;
        ++text;
    }
    // Accumulate in a range that cannot overflow; anything beyond is out of
    // every field's range anyway and saturates.
    constexpr int64_t limit = INT64_MAX / 32;
    int64_t value = 0;
    for (; *text; ++text) {
        int d = DigitValue(*text);
        if (d >= radix) d = -1;
        value = value * radix + d;
        if (value > limit) value = limit;
        if (value < -limit) value = -limit;
    }
    return negative ? -value : value;
}

bool UTIL_ValueCharAllowed(char c, int radix, int64_t minimum, int caret, bool startsWithMinus)
{
    if (static_cast<unsigned char>(c) < 0x20) return true;
    const int d = DigitValue(c);
    if (d >= 0 && d < radix) return true;
    if (c == '-') return minimum < 0 && caret == 0 && !startsWithMinus;
    return false;
}

std::string UTIL_RangeMessage(const char* label, int64_t value, int64_t minimum, int64_t maximum,
                              int radix)
{
    char number[68];
    if (value < minimum) {
        UTIL_FormatNumber(number, minimum, radix);
        return std::string("\"") + label + "\" exceeds minimum value.\nMinimum value is: " + number;
    }
    if (value > maximum) {
        UTIL_FormatNumber(number, maximum, radix);
        return std::string("\"") + label + "\" exceeds maximum value.\nMaximum value is: " + number;
    }
    return "";
}

void UTIL_CenterPosition(const UtilRect& reference, const UtilRect& work, int32_t width,
                         int32_t height, int32_t* x, int32_t* y)
{
    auto place = [](int64_t refLo, int64_t refHi, int64_t workHi, int64_t size) {
        int64_t pos = refLo + ((refHi - refLo) - size) / 2;
        if (pos + size > workHi) pos = workHi - size;
        if (pos < 0) pos = 0;   // also a window larger than the work area starts at 0
        return static_cast<int32_t>(pos);
    };
    *x = place(reference.left, reference.right, work.right, width);
    *y = place(reference.top, reference.bottom, work.bottom, height);
}

std::string UTIL_FilterExtension(const char* filters, int index)
{
    if (!filters || index < 1) return "";
    const char* p = filters;
    for (int i = 1; *p; ++i) {
        const char* pattern = p + std::strlen(p) + 1;
        if (!*pattern) return "";
        if (i == index) {
            const char* star = std::strstr(pattern, "*.");
            if (!star) return "";
            std::string ext = star + 2;
            const size_t end = ext.find(';');
            if (end != std::string::npos) ext.erase(end);
            return ext == "*" ? "" : ext;
        }
        p = pattern + std::strlen(pattern) + 1;
    }
    return "";
}

std::string UTIL_ApplyExtension(const std::string& name, const std::string& ext)
{
    if (ext.empty()) return name;
    const size_t dot = name.find('.');
    return (dot == std::string::npos ? name : name.substr(0, dot)) + "." + ext;
}
