#include "link/status_bar.h"

bool StatusBar_KeepIfChanged(StatusBarCopies& copies, int part, const char* text)
{
    if (part < 0 || part >= STATUSBAR_MAX_PARTS) return false;
    const char* t = text ? text : "";
    if (copies.text[static_cast<size_t>(part)] == t) return false;
    copies.text[static_cast<size_t>(part)] = t;
    return true;
}

void StatusBar_PartEdges(int clientWidth, const int* widths, int count, int* edges)
{
    if (count <= 0) return;
    int sum = 0;
    for (int i = 0; i < count; ++i) sum += widths[i];
    edges[0] = clientWidth - sum;
    for (int i = 1; i < count; ++i) edges[i] = edges[i - 1] + widths[i];
}
