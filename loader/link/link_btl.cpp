// The command sequences the worker's jobs are made of, on the serial
// bootloader protocol.
#include "link/btl.h"
#include "link/com.h"
#include "link/link.h"
#include "shell/settings.h"

namespace {

uint32_t Le32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

int Connect(const char* password, uint8_t length, uint32_t baud, uint8_t* reply, uint8_t* out_length)
{
    int L = 0;
    int rc = BTL_Transact(BTL_CMD_CONNECT, reinterpret_cast<const uint8_t*>(password), length, reply,
                          BTL_ConnectTimeout(baud), &L);
    *out_length = static_cast<uint8_t>(L);
    return rc;
}

// Clear and check blank: acknowledge, then the result frame after the work.
int BlankCommand(uint8_t command, uint32_t* address, uint32_t* value, uint8_t* reply)
{
    if (BTL_SendWithAck(command, nullptr, 0) != 0)
        return 2;
    int kind = command == BTL_CMD_CLEAR ? APP_TIMEOUT : APP_TIMEOUT_CHECK_BLANK;
    int L = 0;
    if (BTL_ReceiveFrame(reply, static_cast<uint32_t>(APP_GetTimeout(kind)), &L) != 0)
        return 2;
    if (reply[6] != 4)
        return 2;
    if (L == 0)
        return 0;
    *address = Le32(reply + BTL_DATA_OFFSET);
    *value = Le32(reply + BTL_DATA_OFFSET + 4);
    return 1;
}

int SimpleCommand(uint8_t command) { return BTL_SendWithAck(command, nullptr, 0) == 0 ? 0 : 2; }

int GetCrc(const LinkRanges& ranges, uint16_t* crc, uint8_t* reply)
{
    uint32_t timeout = static_cast<uint32_t>(APP_GetTimeout(APP_TIMEOUT_GET_CRC));
    if (BTL_SendWithAck(BTL_CMD_GET_CRC, nullptr, 0) != 0 || BTL_ReceiveFrame(reply, timeout) != 0)
        return 2;
    for (int r = 0; r < 2; ++r) {
        if (r == 1 && ranges.length[1] == 0)
            break;
        uint8_t data[8];
        uint8_t* cursor = data;
        BTL_PutU32(&cursor, ranges.start[r]);
        BTL_PutU32(&cursor, ranges.length[r]);
        if (BTL_SendWithAck(BTL_CMD_GET_CRC, data, 8) != 0 || BTL_ReceiveFrame(reply, timeout) != 0)
            return 2;
    }
    if (reply[6] != BTL_CMD_GET_CRC)
        return 2;
    *crc = static_cast<uint16_t>(reply[BTL_DATA_OFFSET + 1] | reply[BTL_DATA_OFFSET + 2] << 8);
    return 0;
}

int SendBlock(uint32_t base, const uint8_t* bytes, uint32_t n, uint8_t* reply)
{
    uint8_t data[4 + BTL_MAX_PROGRAM_DATA];
    if (n > BTL_MAX_PROGRAM_DATA)
        return 1;
    uint8_t* cursor = data;
    BTL_PutU32(&cursor, base);
    for (uint32_t i = 0; i < n; ++i)
        BTL_PutU8(&cursor, bytes[i]);
    return BTL_SendWithAckOrFrame(BTL_CMD_PROGRAM, data, static_cast<int>(4 + n), reply, BTL_PROGRAM_TIMEOUT);
}

int ReadMem(uint32_t address, uint32_t n, uint8_t* reply)
{
    if (n < 1 || n > BTL_MAX_READ_COUNT)
        return 1;
    uint8_t data[5];
    uint8_t* cursor = data;
    BTL_PutU32(&cursor, address);
    BTL_PutU8(&cursor, static_cast<uint8_t>(n));
    return BTL_Transact(BTL_CMD_READ, data, 5, reply, BTL_READ_TIMEOUT);
}

uint32_t Baud()
{
    COM_Settings s{};
    if (COM_GetSettings(&s) != 0)
        return 0;
    return s.baud_rate;
}

const LinkTransport kTransport = {Connect, BlankCommand, SimpleCommand, GetCrc, SendBlock, ReadMem, Baud};

}  // namespace

const LinkTransport* LINK_DefaultTransport() { return &kTransport; }
