#include "link/target_view.h"

#include <cstdio>
#include <cstring>

namespace {

void Put(ViewTargetItem* items, int& n, int x, int row, uint32_t rgb, const char* text)
{
    ViewTargetItem& it = items[n++];
    it.x = x;
    it.row = row;
    it.rgb = rgb;
    std::snprintf(it.text, sizeof it.text, "%s", text);
}

// A name field is zero-terminated by the worker; the bound keeps a damaged
// record from running past the field.
void PutName(ViewTargetItem* items, int& n, int row, const char* field)
{
    char name[LINK_NAME_FIELD + 1];
    size_t len = strnlen(field, LINK_NAME_FIELD);
    std::memcpy(name, field, len);
    name[len] = '\0';
    Put(items, n, VIEWTARGET_VALUE_X, row, VIEWTARGET_BLUE, name);
}

}  // namespace

int ViewTarget_Layout(const TargetInfo& info, ViewTargetItem* items)
{
    int n = 0;
    if (info.connected != 1) {
        if (info.password_refused == 1)
            Put(items, n, 0, 0, VIEWTARGET_GREEN, "Password comparison failed");
        else
            Put(items, n, 0, 0, VIEWTARGET_RED, "Not connected");
        return n;
    }
    static const char* const labels[] = {"Range:", "CRC:", "Application:", "CPU:", "BTL Version"};
    for (int row = 0; row < 5; ++row)
        Put(items, n, 0, row, VIEWTARGET_BLACK, labels[row]);

    char text[128];
    int len = std::snprintf(text, sizeof text, "%X - %X", info.range_start[0],
                            info.range_start[0] + info.range_length[0] - 1);
    if (info.range_length[1] != 0)
        std::snprintf(text + len, sizeof text - len, ", %X - %X", info.range_start[1],
                      info.range_start[1] + info.range_length[1] - 1);
    Put(items, n, VIEWTARGET_VALUE_X, 0, VIEWTARGET_BLUE, text);

    if (info.target_crc == LINK_CRC_UNKNOWN)
        std::snprintf(text, sizeof text, "---");
    else
        std::snprintf(text, sizeof text, "%.4X", info.target_crc);
    Put(items, n, VIEWTARGET_VALUE_X, 1, VIEWTARGET_BLUE, text);

    PutName(items, n, 2, info.app_name);
    PutName(items, n, 3, info.cpu_name);

    std::snprintf(text, sizeof text, "BTL V%u.%.2u", info.version / 100, info.version % 100);
    Put(items, n, VIEWTARGET_VALUE_X, 4, VIEWTARGET_BLUE, text);
    return n;
}
