#include "link/btl.h"

#include <cstring>

#include "link/com.h"

namespace {

uint8_t Sum(const uint8_t* bytes, int count) {
    unsigned s = 0;
    for (int i = 0; i < count; ++i) s += bytes[i];
    return static_cast<uint8_t>(s);
}

// Shared tail of both receives: `hdr` points at frame byte 1 (L) of a header
// of frame bytes 1..6, the data goes to `data`.
int ReceiveBody(const uint8_t* hdr, uint8_t* data, uint32_t timeout_ms, int* length_out) {
    const int length = hdr[0];
    if (length_out) *length_out = length;
    bool bad = hdr[1] != length || hdr[3] != BTL_REPLY_MARKER;
    if (length > 0 && COM_Read(data, static_cast<uint32_t>(length), timeout_ms) != static_cast<uint32_t>(length))
        bad = true;
    uint8_t tail[2];
    if (COM_Read(tail, 2, timeout_ms) != 2) {
        bad = true;
    } else {
        uint8_t sum = static_cast<uint8_t>(hdr[3] + hdr[5] + Sum(data, length));
        if (tail[0] != sum || tail[1] != BTL_FRAME_END) bad = true;
    }
    return bad ? 1 : 0;
}

}  // namespace

uint32_t BTL_ConnectTimeout(uint32_t baud) {
    if (baud == 0) baud = 1200;
    return 1210000u / baud + 40u;
}

int BTL_SendFrame(uint8_t command, const uint8_t* data, int length) {
    if (length < 0 || length > 255) return 1;
    uint8_t frame[BTL_MAX_FRAME];
    frame[0] = BTL_FRAME_START;
    frame[1] = static_cast<uint8_t>(length);
    frame[2] = static_cast<uint8_t>(length);
    frame[3] = BTL_FRAME_START;
    frame[4] = 0;
    frame[5] = 0;
    frame[6] = command;
    if (length > 0) std::memcpy(frame + 7, data, static_cast<size_t>(length));
    frame[7 + length] = static_cast<uint8_t>(command + Sum(data, length));
    frame[8 + length] = BTL_FRAME_END;
    return COM_Write(frame, static_cast<uint32_t>(length + BTL_FRAME_OVERHEAD));
}

int BTL_ReceiveFrame(uint8_t* buffer, uint32_t timeout_ms, int* length_out) {
    if (COM_Read(buffer, 7, timeout_ms) != 7) return 1;
    if (buffer[0] != BTL_FRAME_START) return 1;
    return ReceiveBody(buffer + 1, buffer + BTL_DATA_OFFSET, timeout_ms, length_out);
}

int BTL_ReceiveFrameRest(uint8_t* buffer, uint32_t timeout_ms, int* length_out) {
    if (COM_Read(buffer, 6, timeout_ms) != 6) return 1;
    return ReceiveBody(buffer, buffer + 6, timeout_ms, length_out);
}

int BTL_WaitAck(uint8_t* last) {
    for (int round = 0; round < 2; ++round) {
        uint8_t b;
        if (COM_Read(&b, 1, BTL_ACK_TIMEOUT) != 1) return 1;
        *last = b;
        if (b == BTL_ACK) return 0;
        uint8_t scratch[BTL_REPLY_BUFFER];
        BTL_ReceiveFrameRest(scratch, BTL_ACK_TIMEOUT);
    }
    return 1;
}

int BTL_SendWithAck(uint8_t command, const uint8_t* data, int length) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        BTL_SendFrame(command, data, length);
        uint8_t last = 0;
        if (BTL_WaitAck(&last) == 0) return 0;
    }
    return 1;
}

int BTL_Transact(uint8_t command, const uint8_t* data, int length, uint8_t* buffer,
                 uint32_t timeout_ms, int* length_out) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        BTL_SendFrame(command, data, length);
        for (int receive = 0; receive < 2; ++receive) {
            if (BTL_ReceiveFrame(buffer, timeout_ms, length_out) == 0) return 0;
        }
    }
    return 1;
}

int BTL_SendWithAckOrFrame(uint8_t command, const uint8_t* data, int length,
                           uint8_t* buffer, uint32_t timeout_ms) {
    uint8_t last = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        BTL_SendFrame(command, data, length);
        if (BTL_WaitAck(&last) == 0) return 0;
        if (BTL_ReceiveFrameRest(buffer, timeout_ms) == 0) return 1;
    }
    return 1;
}

void BTL_PutU32(uint8_t** cursor, uint32_t value) {
    for (int i = 0; i < 4; ++i) *(*cursor)++ = static_cast<uint8_t>(value >> (8 * i));
}
void BTL_PutU8(uint8_t** cursor, uint8_t value) { *(*cursor)++ = value; }
uint8_t BTL_GetU8(const uint8_t** cursor) { return *(*cursor)++; }
uint16_t BTL_GetU16(const uint8_t** cursor) {
    uint16_t v = static_cast<uint16_t>((*cursor)[0] | ((*cursor)[1] << 8));
    *cursor += 2;
    return v;
}
uint32_t BTL_GetU32(const uint8_t** cursor) {
    const uint8_t* c = *cursor;
    uint32_t v = static_cast<uint32_t>(c[0]) | (static_cast<uint32_t>(c[1]) << 8) |
                 (static_cast<uint32_t>(c[2]) << 16) | (static_cast<uint32_t>(c[3]) << 24);
    *cursor += 4;
    return v;
}
void BTL_GetBytes(const uint8_t** cursor, void* dest, int count) {
    std::memcpy(dest, *cursor, static_cast<size_t>(count));
    *cursor += count;
}

namespace {
// Names longer than the 100-byte fields keep their first 99 bytes; the
// rest of the frame is still read at the positions the frame gives.
void CopyName(const uint8_t* src, int length, char (&dest)[100]) {
    int n = length < 99 ? length : 99;
    std::memcpy(dest, src, static_cast<size_t>(n));
    dest[n] = '\0';
}
}  // namespace

int BTL_ParseIdentity(const uint8_t* frame, int length, BtlIdentity* out) {
    *out = BtlIdentity{};
    out->reply_code = frame[6];
    const uint8_t* c = frame + BTL_DATA_OFFSET;
    if (length < 1) return -1;
    out->password_result = BTL_GetU8(&c);
    if (out->password_result != 0) return 1;
    // Fields are taken only where the frame's own length covers them, so a
    // frame announcing names longer than itself cannot send the reader
    // beyond the data it holds.
    if (length < 6) return -1;
    out->version = BTL_GetU32(&c);
    const int lc = BTL_GetU8(&c);
    if (length < 7 + lc) return -1;
    const uint8_t* cpu = c;
    c += lc;
    const int la = BTL_GetU8(&c);
    if (length < 15 + lc + la) return -1;
    out->cpu_name_length = static_cast<uint8_t>(lc);
    out->app_name_length = static_cast<uint8_t>(la);
    CopyName(cpu, lc, out->cpu_name);
    CopyName(c, la, out->app_name);
    c += la;
    out->range_start[0] = BTL_GetU32(&c);
    out->range_length[0] = BTL_GetU32(&c);
    if (length == 23 + lc + la) {
        out->has_range2 = true;
        out->range_start[1] = BTL_GetU32(&c);
        out->range_length[1] = BTL_GetU32(&c);
    }
    return 0;
}
