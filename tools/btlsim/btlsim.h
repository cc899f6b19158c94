#pragma once
// Bootloader simulator: plays the instrument's bootloader on a pty, as a
// library for native tests and inside the program btlsim. It serves on its
// own thread; every public call is safe from any thread.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct BtlSimConfig {
    std::string password;          // empty: an empty password is accepted
    uint32_t version = 112;        // times 100
    std::string cpu = "RX62N";
    std::string app = "KALUNA";
    uint32_t range_start[2] = {0x1000, 0};
    uint32_t range_length[2] = {0x1000, 0};   // range 2 length 0: none
    uint32_t baud = 0;             // 0: no pacing; else 11 bit times per byte both ways
    uint32_t clear_ms = 50;        // time a clear takes
    uint32_t crc_ms = 10;          // time a CRC takes
    uint32_t blank_ms = 10;        // time a check blank takes
};

// Faults, set at any time; counters count down as they are used.
struct BtlSimFaults {
    bool silent = false;               // read and ignore everything
    int refuse_password = 0;           // next N connects refused whatever the password
    int bad_checksum = 0;              // next N reply frames with a wrong checksum
    int frame_instead_of_ack = 0;      // next N acknowledges replaced by an error frame
    int drop_reply = 0;                // next N replies (ack or frame) not sent
    int cut_reply = 0;                 // next N frames sent without their last byte
    uint32_t late_ms = 0;              // delay before the next reply ...
    int late_count = 0;                // ... for this many replies
    int write_error_at_block = -1;     // block number (from 0, a resend keeps its number): every
                                       // request for it is answered with an error frame
    uint32_t write_error_value = 0xA5;
    int disconnect_after_blocks = -1;  // silent after this many program blocks
    bool force_not_blank = false;      // clear and check blank report the first range byte
};

struct BtlSimStats {
    int requests[16] = {};             // requests received, by command code
    int bad_requests = 0;              // frames with a wrong checksum or shape
    int blocks = 0;                    // program blocks written
    bool valid = false;                // make valid received after the last clear
    bool started = false;              // start application received
    std::vector<std::vector<uint8_t>> crc_requests;   // data of each get-CRC request
};

class BtlSim {
public:
    explicit BtlSim(const BtlSimConfig& config);
    ~BtlSim();
    BtlSim(const BtlSim&) = delete;
    BtlSim& operator=(const BtlSim&) = delete;

    // Creates the pty and starts serving. 0 on success; the slave's path in
    // SlavePath(). `link` non-empty: also a symlink to the slave there.
    int Start(const std::string& link = std::string());
    void Stop();
    const std::string& SlavePath() const;

    void SetFaults(const BtlSimFaults& faults);
    BtlSimFaults Faults() const;
    BtlSimStats Stats() const;
    void ResetStats();

    // Flash contents (0xFF where erased) inside the ranges.
    void Load(uint32_t address, const uint8_t* bytes, uint32_t count);
    uint8_t Peek(uint32_t address) const;
    // CRC-16 from 0xFFFF over range 1 and then range 2.
    uint16_t RangesCrc() const;
    // Every address from the start of range 1 to the end of the last range.
    std::vector<uint8_t> Dump() const;
    // Writes Dump() to a file; 0 on success.
    int DumpToFile(const std::string& path) const;

    struct State;
private:
    std::unique_ptr<State> state_;
};

// The reply a request frame gets, for tests of single exchanges and for the
// serving loop. `request` is a whole frame.
struct BtlSimReply {
    std::vector<uint8_t> ack;      // 0 or 1 byte
    uint32_t work_ms = 0;          // time between the acknowledge and the frame
    std::vector<uint8_t> frame;    // empty: no frame
};

// Builds a reply frame with command code `code` and `data`.
std::vector<uint8_t> BTLSIM_Frame(uint8_t code, const std::vector<uint8_t>& data);
