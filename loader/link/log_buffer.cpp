#include "link/log_buffer.h"

#include <cstring>

std::string ViewLog_NormaliseLineEnds(std::string_view text)
{
    if (text.find('\n') == std::string_view::npos) return std::string(text);
    // A line keeps its bare "\n" when "\r\n" occurs anywhere from its start
    // to the end of the text; the last "\r\n" decides that for every line.
    const size_t lastCrLf = text.rfind("\r\n");
    std::string out;
    out.reserve(text.size() + 64);
    size_t start = 0;
    while (start < text.size()) {
        const size_t nl = text.find('\n', start);
        if (nl == std::string_view::npos) {
            out.append(text.substr(start));
            break;
        }
        const bool keep = lastCrLf != std::string_view::npos && lastCrLf >= start;
        if (keep) {
            out.append(text.substr(start, nl + 1 - start));
        } else {
            out.append(text.substr(start, nl - start));
            out.append("\r\n");
        }
        start = nl + 1;
    }
    return out;
}

void ViewLog_BufferAppend(LogBuffer& log, const char* text)
{
    if (!text) return;
    const std::string line = ViewLog_NormaliseLineEnds(text);
    const size_t n = line.size();
    std::lock_guard<std::mutex> hold(log.lock);
    while (log.length + n >= LOG_BUFFER_SIZE) {
        const char* begin = log.text.data();
        const char* crlf = nullptr;
        for (uint32_t i = 0; i + 1 < log.length; ++i) {
            if (begin[i] == '\r' && begin[i + 1] == '\n') {
                crlf = begin + i;
                break;
            }
        }
        if (!crlf) {
            log.length = 0;
            log.text[0] = '\0';
            ++log.changes;
            break;
        }
        const uint32_t drop = static_cast<uint32_t>(crlf - begin) + 2;
        std::memmove(log.text.data(), begin + drop, log.length - drop + 1);
        log.length -= drop;
    }
    if (log.length + n < LOG_BUFFER_SIZE) {
        std::memcpy(log.text.data() + log.length, line.c_str(), n + 1);
        log.length += static_cast<uint32_t>(n);
        ++log.changes;
    }
}

bool ViewLog_BufferTake(LogBuffer& log, std::string& out)
{
    std::lock_guard<std::mutex> hold(log.lock);
    if (log.changes == 0) return false;
    out.assign(log.text.data(), log.length);
    log.changes = 0;
    return true;
}

void ViewLog_BufferClear(LogBuffer& log)
{
    std::lock_guard<std::mutex> hold(log.lock);
    log.length = 0;
    log.text[0] = '\0';
    ++log.changes;
}
