#pragma once
// The bootloader protocol: request and reply frames, the acknowledge byte,
// the exchange procedures with their retries and time-outs, and the CRC-16
// the bootloader reports. Run only by the link worker; nothing is printed or
// logged here, the callers report.
#include <cstddef>
#include <cstdint>

constexpr uint8_t BTL_FRAME_START = 0x68;
constexpr uint8_t BTL_FRAME_END = 0x16;
constexpr uint8_t BTL_REPLY_MARKER = 0x80;
constexpr uint8_t BTL_ACK = 0x90;

constexpr int BTL_REPLY_BUFFER = 500;     // every reply buffer
constexpr int BTL_MAX_FRAME = 264;        // 255 data bytes + 9
constexpr int BTL_FRAME_OVERHEAD = 9;
constexpr int BTL_DATA_OFFSET = 7;        // frame offset of the data
constexpr int BTL_READ_DATA_OFFSET = 13;  // first memory byte of a memory frame
constexpr int BTL_MAX_PROGRAM_DATA = 236; // data bytes per program block
constexpr int BTL_MAX_READ_COUNT = 120;   // bytes per read request
constexpr int BTL_MAX_PASSWORD = 99;

enum BtlCommand : uint8_t {
    BTL_CMD_CONNECT = 0,
    BTL_CMD_CLEAR = 1,
    BTL_CMD_PROGRAM = 2,
    BTL_CMD_MAKE_VALID = 3,
    BTL_CMD_CHECK_BLANK = 4,
    BTL_CMD_GET_CRC = 5,
    BTL_CMD_START_APP = 7,
    BTL_CMD_READ = 8,
};

// Fixed time-outs of the exchanges, in ms.
constexpr uint32_t BTL_ACK_TIMEOUT = 1000;
constexpr uint32_t BTL_PROGRAM_TIMEOUT = 1000;
constexpr uint32_t BTL_READ_TIMEOUT = 200;

// Identity frame time-out per read: 1210000 / baud + 40 (baud 0 counts as 1200).
uint32_t BTL_ConnectTimeout(uint32_t baud);

// Results: 0 success, nonzero failure.
int BTL_SendFrame(uint8_t command, const uint8_t* data, int length);
// One reply frame into `buffer` (frame byte i at offset i). Each read has the
// time-out on its own.
int BTL_ReceiveFrame(uint8_t* buffer, uint32_t timeout_ms, int* length_out = nullptr);
// The same after the start byte was read: frame bytes 1..6 at offsets 0..5,
// the data from offset 6.
int BTL_ReceiveFrameRest(uint8_t* buffer, uint32_t timeout_ms, int* length_out = nullptr);
// Waits for the acknowledge byte; `last` holds the last byte read.
int BTL_WaitAck(uint8_t* last);
int BTL_SendWithAck(uint8_t command, const uint8_t* data, int length);
int BTL_Transact(uint8_t command, const uint8_t* data, int length, uint8_t* buffer,
                 uint32_t timeout_ms, int* length_out = nullptr);
int BTL_SendWithAckOrFrame(uint8_t command, const uint8_t* data, int length,
                           uint8_t* buffer, uint32_t timeout_ms);

// CRC-16 over `count` bytes, kept in *crc across calls (start value 0xFFFF).
void BTL_Crc16Update(uint16_t* crc, const uint8_t* bytes, size_t count);

// Frame field helpers over a moving cursor; little-endian; no bounds checks.
void BTL_PutU32(uint8_t** cursor, uint32_t value);
void BTL_PutU8(uint8_t** cursor, uint8_t value);
uint8_t BTL_GetU8(const uint8_t** cursor);
uint16_t BTL_GetU16(const uint8_t** cursor);
uint32_t BTL_GetU32(const uint8_t** cursor);
void BTL_GetBytes(const uint8_t** cursor, void* dest, int count);

// Identity frame (reply to connect) taken apart. Names are cut to 99 bytes
// and always zero-terminated; the length fields keep the frame's values.
struct BtlIdentity {
    uint8_t reply_code;          // frame byte 6
    uint8_t password_result;     // 0 accepted
    uint32_t version;            // times 100
    uint8_t cpu_name_length;     // as sent
    uint8_t app_name_length;
    char cpu_name[100];
    char app_name[100];
    uint32_t range_start[2];
    uint32_t range_length[2];
    bool has_range2;
};
// 0 parsed; 1 refused password (only reply_code and password_result set);
// -1 the frame is too short for the fields it announces (nothing past the
// password result is trusted).
int BTL_ParseIdentity(const uint8_t* frame, int length, BtlIdentity* out);
