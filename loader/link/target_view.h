#pragma once
// What the target view draws, worked out from a TargetInfo snapshot without
// any window, so the texts and their places can be checked natively.
#include <cstdint>

#include "link/link_types.h"

constexpr uint32_t VIEWTARGET_BLACK = 0x000000;   // RGB as 0xRRGGBB
constexpr uint32_t VIEWTARGET_BLUE = 0x0000FF;
constexpr uint32_t VIEWTARGET_GREEN = 0x008000;
constexpr uint32_t VIEWTARGET_RED = 0xFF0000;

constexpr int VIEWTARGET_MAX_ITEMS = 10;
constexpr int VIEWTARGET_VALUE_X = 100;

struct ViewTargetItem {
    int x;          // pixels
    int row;        // line number; the window multiplies it by its line height
    uint32_t rgb;   // 0xRRGGBB
    char text[128]; // names are at most 99 bytes
};

// Fills `items` (room for VIEWTARGET_MAX_ITEMS) and returns how many there are.
int ViewTarget_Layout(const TargetInfo& info, ViewTargetItem* items);
