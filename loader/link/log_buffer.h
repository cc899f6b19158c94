#pragma once
// The application log's text: a bounded buffer of lines ending in "\r\n",
// appended from any thread and copied out by the view's refresh timer.
#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

constexpr uint32_t LOG_BUFFER_SIZE = 32768;   // text plus its terminator

struct LogBuffer {
    std::mutex lock;                          // guards the fields below
    std::array<char, LOG_BUFFER_SIZE> text{}; // zero-terminated, at most 32767 characters
    uint32_t length = 0;                      // characters in text
    uint32_t changes = 0;                     // appends and clearings since the last copy-out
};

// Gives every "\n" that is not followed later in the text by some "\r\n" a
// "\r" in front of it, so that log lines end in "\r\n" without doubling
// line ends that a caller already wrote.
std::string ViewLog_NormaliseLineEnds(std::string_view text);

// Normalises and appends `text`; drops the oldest whole lines until it fits.
// A text of 32768 characters or more empties the buffer and is not kept.
void ViewLog_BufferAppend(LogBuffer& log, const char* text);

// When something changed since the last call: copies the whole text into
// `out`, resets the change count and returns true.
bool ViewLog_BufferTake(LogBuffer& log, std::string& out);

// Empties the buffer (counts as a change).
void ViewLog_BufferClear(LogBuffer& log);
