#pragma once
// Job codes, job results and the target record shared by the link worker and
// the GUI thread.
#include <cstdint>

// The one-byte job code the GUI writes to ask the worker for a job.
enum LinkJob : uint8_t {
    LINK_JOB_POLL = 0,
    LINK_JOB_CLEAR = 1,
    LINK_JOB_PROGRAM = 2,
    LINK_JOB_MAKE_VALID = 3,
    LINK_JOB_CHECK_BLANK = 4,
    LINK_JOB_GET_CRC = 5,
    LINK_JOB_START_APP = 7,
    LINK_JOB_READ_BACK = 8,
    LINK_JOB_VERIFY_LOADED = 9,
    LINK_JOB_VERIFY_ALL = 10,
};

enum LinkResult : uint8_t {
    LINK_RESULT_OK = 0,
    LINK_RESULT_FAILED = 1,    // the target reported a fault, or a verify difference
    LINK_RESULT_ERROR = 2,     // an exchange failed
    LINK_RESULT_CANCELLED = 3,
};

constexpr uint32_t LINK_CRC_UNKNOWN = 0xFFFFFFFFu;
constexpr int LINK_NAME_FIELD = 100;

// What the loader knows of the connected target. Written by the link worker
// only (polls and jobs); the GUI thread reads it through LINK_GetTargetInfo,
// which hands out a consistent copy. Compared and copied as a whole, so every
// writer starts from a zero-filled record (padding included).
struct TargetInfo {
    uint8_t reply_code;
    uint8_t password_result;
    uint32_t version;            // times 100
    uint8_t cpu_name_length;
    uint8_t app_name_length;
    char cpu_name[LINK_NAME_FIELD];   // always zero-terminated: long names are cut to 99
    char app_name[LINK_NAME_FIELD];
    uint32_t range_start[2];
    uint32_t range_length[2];    // range 2 length 0: no second range
    uint8_t connected;
    uint8_t password_refused;
    uint32_t target_crc;         // LINK_CRC_UNKNOWN when unknown
};
