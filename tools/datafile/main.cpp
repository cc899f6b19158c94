// datafile INPUT [--relocate OFFSET] [--delete START-END] [--output FILE [--format hex|mot|bin]]
//
// Opens INPUT by its first character as the loader does (':' Intel HEX, 'S'
// S-record, anything else binary at 0), prints what the loader logs after an
// open, applies the relocation, then the deletion, and saves the whole image.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "data/data_file.h"

namespace {

void Usage()
{
    std::fprintf(stderr,
                 "usage: datafile INPUT [--relocate OFFSET] [--delete START-END] [--output FILE [--format hex|mot|bin]]\n"
                 "  numbers are hexadecimal, with or without 0x; a negative OFFSET moves data down;\n"
                 "  the format defaults from the extension of FILE (.hex, .mot, .bin)\n");
}

// Hexadecimal, optional 0x, optional leading '-' when negative is allowed.
bool ParseHex(const std::string& text, bool allowNegative, int64_t* value)
{
    size_t i = 0;
    bool negative = false;
    if (allowNegative && i < text.size() && text[i] == '-') {
        negative = true;
        ++i;
    }
    if (text.compare(i, 2, "0x") == 0 || text.compare(i, 2, "0X") == 0) {
        i += 2;
    }
    if (i >= text.size() || text.size() - i > 8) {
        return false;
    }
    int64_t v = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else return false;
        v = v * 16 + d;
    }
    *value = negative ? -v : v;
    return true;
}

std::string Lower(std::string s)
{
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

std::string FormatFromExtension(const std::string& path)
{
    const size_t dot = path.rfind('.');
    const size_t slash = path.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return "";
    }
    const std::string ext = Lower(path.substr(dot + 1));
    return ext == "hex" || ext == "mot" || ext == "bin" ? ext : "";
}

}  // namespace

int main(int argc, char** argv)
{
    std::string input, output, format;
    bool relocate = false, erase = false;
    int64_t offset = 0, delStart = 0, delEnd = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--relocate" && hasValue) {
            if (!ParseHex(argv[++i], true, &offset)) { Usage(); return 2; }
            relocate = true;
        } else if (a == "--delete" && hasValue) {
            const std::string v = argv[++i];
            const size_t dash = v.find('-');
            if (dash == std::string::npos || !ParseHex(v.substr(0, dash), false, &delStart) ||
                !ParseHex(v.substr(dash + 1), false, &delEnd) || delStart > delEnd) {
                Usage();
                return 2;
            }
            erase = true;
        } else if (a == "--output" && hasValue) {
            output = argv[++i];
        } else if (a == "--format" && hasValue) {
            format = Lower(argv[++i]);
            if (format != "hex" && format != "mot" && format != "bin") { Usage(); return 2; }
        } else if (!a.empty() && a[0] != '-' && input.empty()) {
            input = a;
        } else {
            Usage();
            return 2;
        }
    }
    if (input.empty() || (!format.empty() && output.empty())) {
        Usage();
        return 2;
    }
    if (!output.empty() && format.empty()) {
        format = FormatFromExtension(output);
        if (format.empty()) {
            Usage();
            return 2;
        }
    }

    // The first character decides the reader, as in the loader.
    char first = 0;
    if (std::FILE* f = std::fopen(input.c_str(), "rb")) {
        const int c = std::fgetc(f);
        first = c == EOF ? 0 : static_cast<char>(c);
        std::fclose(f);
    }
    MemImage* image = MEM_Create();
    if (!image) {
        return 1;
    }
    char text[256];
    int r;
    if (first == ':') {
        r = HEX_LoadFile(image, input.c_str(), text, 255);
    } else if (first == 'S') {
        r = MOT_LoadFile(image, input.c_str(), text, 255);
    } else {
        r = BIN_LoadFile(image, input.c_str(), text, 255, 0);
    }
    if (r != 0) {
        std::fprintf(stderr, "%s\n", text);
        MEM_Free(image);
        return 1;
    }
    std::printf("File opened: %s\n", input.c_str());
    std::printf("Number of bytes: %d\n", static_cast<int>(MEM_GetByteCount(image)));
    std::printf("Range of file: %X - %X\n", MEM_GetLowestAddress(image), MEM_GetHighestAddress(image));
    std::fflush(stdout);

    if (relocate) {
        MEM_Relocate(image, static_cast<uint32_t>(offset));
    }
    if (erase) {
        MEM_DeleteRange(image, static_cast<uint32_t>(delStart), static_cast<uint32_t>(delEnd));
    }
    int status = 0;
    if (!output.empty()) {
        if (format == "hex") {
            r = HEX_SaveFile(image, output.c_str(), text, 200);
        } else if (format == "mot") {
            r = MOT_SaveFile(image, output.c_str(), text, 200);
        } else {
            r = BIN_SaveFile(image, output.c_str(), text, 200, MEM_GetLowestAddress(image), MEM_GetHighestAddress(image));
        }
        if (r != 0) {
            std::fprintf(stderr, "%s\n", text);
            status = 1;
        }
    }
    MEM_Free(image);
    return status;
}
