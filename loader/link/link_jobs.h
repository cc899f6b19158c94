#pragma once
// The bodies of the long target jobs (program, verify, read back), written
// over a small table of operations so that they run the same against the
// bootloader and against a fake in the tests. Worker thread only.
#include <atomic>
#include <cstdint>

constexpr uint32_t LINK_BLOCK_MAX = 236;     // data bytes of one program request
constexpr uint32_t LINK_CHUNK_MAX = 120;     // bytes of one read request
constexpr uint32_t LINK_REPLY_SIZE = 500;
constexpr uint32_t LINK_READ_DATA_OFFSET = 13;   // memory bytes in a read reply

// The job variables the worker leaves for the report (written by the worker
// during a job; the GUI reads them after the job code returned to 0).
struct LinkJobState {
    uint32_t address = 0;
    int32_t count = 0;
    int32_t value = 0;
    uint8_t result = 0;
};

// The block being filled by a program job.
struct LinkBlock {
    bool open = false;
    uint32_t base = 0;           // multiple of 4
    uint8_t buffer[240] = {};    // 0xFF where no byte was stored
    uint32_t last_offset = 0;
};

struct LinkJobOps {
    void* image = nullptr;
    // The byte at an address (0..255), or negative when the image has none.
    int (*get_byte)(void* image, uint32_t address) = nullptr;
    uint32_t (*lowest)(void* image) = nullptr;
    uint32_t (*highest)(void* image) = nullptr;
    uint32_t (*byte_count)(void* image) = nullptr;
    // Read back: stores n bytes in the image; 0 on success.
    int (*add_bytes)(void* image, uint32_t address, uint32_t n, const uint8_t* data) = nullptr;
    // One program request; 0 when acknowledged. `reply` keeps an error frame.
    int (*send_block)(uint32_t base, const uint8_t* data, uint32_t n, uint8_t* reply) = nullptr;
    // One read request of n (1..120) bytes; 0 on success, the bytes at
    // reply + LINK_READ_DATA_OFFSET.
    int (*read_mem)(uint32_t address, uint32_t n, uint8_t* reply) = nullptr;
    // Progress (the dialog); may be null.
    void (*set_range)(int32_t minimum, int32_t maximum) = nullptr;
    void (*set_pos)(int32_t position) = nullptr;
    const std::atomic<int>* cancel = nullptr;
};

// Application ranges as the worker knows them from the target.
struct LinkRanges {
    uint32_t start[2] = {0, 0};
    uint32_t length[2] = {0, 0};
};

// Block assembler. Add stores one byte, sending the open block first when the
// byte lies 236 or more addresses past its base; 0 on success. Flush sends
// the open block, rounded up to whole 4-byte words; 0 when acknowledged. On a
// refused block both set the job's result to failed with the error frame's
// address and value, and keep the block open.
void LINK_BlockReset(LinkBlock& block);
int LINK_BlockAdd(LinkBlock& block, uint32_t address, uint8_t value, LinkJobState& job,
                  const LinkJobOps& ops, uint8_t* reply);
int LINK_BlockFlush(LinkBlock& block, LinkJobState& job, const LinkJobOps& ops, uint8_t* reply);

// Program: walks the image from its lowest address, skipping the addresses
// between range 1 and range 2. The walk also ends once past the highest
// address; bytes it skipped then stay in job.count.
void LINK_JobProgram(LinkJobState& job, LinkBlock& block, const LinkRanges& ranges,
                     const LinkJobOps& ops, uint8_t* reply);
void LINK_JobVerifyLoaded(LinkJobState& job, const LinkJobOps& ops, uint8_t* reply);
// job.address and job.count must hold range 1 start and length.
void LINK_JobVerifyAll(LinkJobState& job, const LinkJobOps& ops, uint8_t* reply);
// job.address and job.count must hold the start and the byte count.
void LINK_JobReadBack(LinkJobState& job, const LinkJobOps& ops, uint8_t* reply);
