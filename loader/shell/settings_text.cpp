#include "shell/settings_text.h"

#include <cstdio>
#include <cstring>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

size_t LineEnd(const std::string& text, size_t pos)
{
    const size_t nl = text.find('\n', pos);
    return nl == std::string::npos ? text.size() : nl + 1;
}

// Where the section's entries begin, or npos when it has no header. The
// entries begin on the line after the header, also when the header line
// carries something behind its "]".
size_t FindSection(const std::string& text, const char* section)
{
    const std::string header = std::string("[") + section + "]";
    size_t pos = 0;
    while (pos < text.size()) {
        if (text.compare(pos, header.size(), header) == 0) return LineEnd(text, pos);
        pos = LineEnd(text, pos);
    }
    return std::string::npos;
}

// Finds the section, adding its header at the end when it is missing and
// there is room. npos when neither.
size_t MakeSection(std::string& text, const char* section)
{
    size_t at = FindSection(text, section);
    if (at != std::string::npos || section[0] == '\0') return at;
    std::string add;
    if (!text.empty() && text.back() != '\n') add = "\r\n";
    add += std::string("[") + section + "]\r\n";
    if (text.size() + add.size() > SETTINGS_TEXT_MAX) return std::string::npos;
    text += add;
    return text.size();
}

// Start of the key's line within the section that begins at `from`, and the
// position behind the key name in `afterKey`.
size_t FindKey(const std::string& text, size_t from, const char* key, size_t& afterKey)
{
    const size_t keyLen = std::strlen(key);
    size_t pos = from;
    while (pos < text.size() && text[pos] != '[') {
        size_t p = pos;
        while (p < text.size() && IsBlank(text[p])) ++p;
        if (keyLen > 0 && text.compare(p, keyLen, key) == 0) {
            const size_t q = p + keyLen;
            if (q < text.size() && (IsBlank(text[q]) || text[q] == '=')) {
                afterKey = q;
                return pos;
            }
        }
        pos = LineEnd(text, pos);
    }
    return std::string::npos;
}

std::string Shown(const std::string& text, size_t pos)
{
    if (pos >= text.size()) return "";
    return std::string(1, text[pos]);
}

// Positions behind "=" and the blanks after it; npos with `error` set.
size_t ExpectEquals(const std::string& text, size_t pos, std::string& error)
{
    while (pos < text.size() && IsBlank(text[pos])) ++pos;
    if (pos >= text.size() || text[pos] != '=') {
        error = "Expected '=', got '" + Shown(text, pos) + "'";
        return std::string::npos;
    }
    ++pos;
    while (pos < text.size() && IsBlank(text[pos])) ++pos;
    return pos;
}

size_t Locate(std::string& text, const char* section, const char* key)
{
    const size_t entries = MakeSection(text, section);
    if (entries == std::string::npos) return std::string::npos;
    size_t afterKey = 0;
    if (FindKey(text, entries, key, afterKey) == std::string::npos) return std::string::npos;
    return afterKey;
}

}  // namespace

SettingsRead APP_SettingsReadString(std::string& text, const char* section, const char* key,
                                    char* dest, int size, std::string& error)
{
    if (size <= 0 || !dest) return SETTINGS_MISSING;
    std::memset(dest, 0, static_cast<size_t>(size));
    size_t pos = Locate(text, section, key);
    if (pos == std::string::npos) return SETTINGS_MISSING;
    pos = ExpectEquals(text, pos, error);
    if (pos == std::string::npos) return SETTINGS_BAD;
    if (pos >= text.size() || text[pos] != '"') {
        error = "Expected '\"', got '" + Shown(text, pos) + "'";
        return SETTINGS_BAD;
    }
    ++pos;
    int n = 0;
    while (pos < text.size() && text[pos] != '"' && text[pos] != '\r' && text[pos] != '\n' &&
           n < size - 1)
        dest[n++] = text[pos++];
    if (pos >= text.size() || text[pos] != '"') {
        // Not closed on its line, or longer than the caller's room: no partial value.
        std::memset(dest, 0, static_cast<size_t>(size));
        error = "Expected '\"', got '" + Shown(text, pos) + "'";
        return SETTINGS_BAD;
    }
    return SETTINGS_FOUND;
}

SettingsRead APP_SettingsReadInt(std::string& text, const char* section, const char* key,
                                 int32_t* out, std::string& error)
{
    size_t pos = Locate(text, section, key);
    if (pos == std::string::npos) return SETTINGS_MISSING;
    pos = ExpectEquals(text, pos, error);
    if (pos == std::string::npos) return SETTINGS_BAD;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
    if (pos >= text.size() || text[pos] < '0' || text[pos] > '9') {
        error = "Expecting a number";
        return SETTINGS_BAD;
    }
    // The magnitude must fit 31 bits; larger ones are refused rather than
    // wrapped into some unrelated value.
    uint64_t magnitude = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        if (magnitude <= 0x7FFFFFFFu) magnitude = magnitude * 10 + static_cast<uint64_t>(text[pos] - '0');
        ++pos;
    }
    if (magnitude > 0x7FFFFFFFu) {
        char message[64];
        std::snprintf(message, sizeof message, "Expected a value >= %ld", 0L);
        error = message;
        return SETTINGS_BAD;
    }
    const int32_t value = static_cast<int32_t>(magnitude);
    if (out) *out = negative ? -value : value;
    return SETTINGS_FOUND;
}

bool APP_SettingsWriteLine(std::string& text, const char* section, const char* key,
                           const std::string& line)
{
    std::string next = text;
    size_t entries = FindSection(next, section);
    if (entries != std::string::npos) {
        size_t afterKey = 0;
        const size_t at = FindKey(next, entries, key, afterKey);
        if (at != std::string::npos) next.erase(at, LineEnd(next, at) - at);
    }
    entries = FindSection(next, section);
    if (entries == std::string::npos) {
        if (!next.empty() && next.back() != '\n') next += "\r\n";
        next += std::string("[") + section + "]\r\n";
        entries = next.size();
    } else if (entries == next.size() && !next.empty() && next.back() != '\n') {
        next += "\r\n";   // a header on the last line without its line end
        entries = next.size();
    }
    next.insert(entries, line + "\r\n");
    if (next.size() > SETTINGS_TEXT_MAX) return false;
    text.swap(next);
    return true;
}

std::string APP_SettingsStringLine(const char* key, const char* value)
{
    return std::string(key) + "=\"" + value + "\"";
}

std::string APP_SettingsIntLine(const char* key, int32_t value)
{
    char number[16];
    std::snprintf(number, sizeof number, "%d", value);
    return std::string(key) + " = " + number;
}
