#pragma once
// Test access to the native progress stand-in: what the jobs asked the
// dialog to do, and a cancel press injected at a chosen moment.
#include <cstdint>
#include <string>
#include <vector>

struct ProgressRecordedCall {
    std::string op;      // "open", "close", "title", "text", "range", "pos", "cancelfn"
    std::string text;    // open: title; title/text: the text
    int32_t a = 0;       // open: flags; range: minimum; pos: position
    int32_t b = 0;       // range: maximum; pos: the percentage shown
};

std::vector<ProgressRecordedCall> PROGRESS_RecordedCalls();
// Forgets the calls, closes the stand-in dialog and drops any injected cancel.
void PROGRESS_RecordClear();
// Presses Cancel (calls the callback) right after the n-th SetPos call of an
// open dialog (n from 1); 0 turns it off.
void PROGRESS_RecordCancelAtPos(int n);
// Presses Cancel now, as the user would.
void PROGRESS_RecordPressCancel();
