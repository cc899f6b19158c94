#pragma once
// The frame's status bar: the logic that needs no window.
#include <array>
#include <string>

constexpr int STATUSBAR_MAX_PARTS = 10;

// The text each part shows, so that an unchanged text is not sent again.
struct StatusBarCopies {
    std::array<std::string, STATUSBAR_MAX_PARTS> text;
};

// Keeps `text` (null counts as empty) for `part` and returns true when it
// differs from what the part shows; false for an unchanged text or a part
// out of range.
bool StatusBar_KeepIfChanged(StatusBarCopies& copies, int part, const char* text);

// Right edges of the parts: part 0 takes what the others leave, and the last
// part ends widths[0] before the right border.
void StatusBar_PartEdges(int clientWidth, const int* widths, int count, int* edges);
