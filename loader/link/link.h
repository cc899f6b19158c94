#pragma once
// The link worker: one background thread that owns the serial port, polls the
// bootloader while idle and runs one target job at a time for the GUI thread.
#include <cstdint>

#include "link/link_jobs.h"
#include "link/link_types.h"

// The bootloader exchanges the worker needs, one entry per command sequence.
// The program fills it with the serial protocol (link_btl.cpp); tests may put
// a fake in its place while no worker runs.
struct LinkTransport {
    // Connect request with the password; 0 and the identity frame in `reply`
    // (frame byte i at offset i), its data length in *length.
    int (*connect)(const char* password, uint8_t length, uint32_t baud, uint8_t* reply,
                   uint8_t* out_length);
    // Clear (1) or check blank (4): 0 blank, 1 not blank (address, value), 2 error.
    int (*blank_command)(uint8_t command, uint32_t* address, uint32_t* value, uint8_t* reply);
    // Make valid (3), start application (7): 0 acknowledged, 2 otherwise.
    int (*simple_command)(uint8_t command);
    // Get CRC over range 1 and range 2 (when its length is not 0): 0 and the
    // CRC, or 2.
    int (*get_crc)(const LinkRanges& ranges, uint16_t* crc, uint8_t* reply);
    int (*send_block)(uint32_t base, const uint8_t* data, uint32_t n, uint8_t* reply);
    int (*read_mem)(uint32_t address, uint32_t n, uint8_t* reply);
    // The configured baud rate (0 counts as 1200).
    uint32_t (*baud)();
};
void LINK_SetTransport(const LinkTransport* transport);
const LinkTransport* LINK_DefaultTransport();

// The image operations the jobs use (MEM_ in the program).
struct LinkImageOps {
    int (*get_byte)(void* image, uint32_t address);
    uint32_t (*lowest)(void* image);
    uint32_t (*highest)(void* image);
    uint32_t (*byte_count)(void* image);
    void* (*create)();
    int (*add_bytes)(void* image, uint32_t address, uint32_t n, const uint8_t* data);
};
// Null restores the memory image's operations (MEM_), the program's choice.
void LINK_SetImageOps(const LinkImageOps* ops);
const LinkImageOps* LINK_MemImageOps();

// Called on the worker thread right after "Connected with target" is logged
// (the shell logs the CRC of the loaded file there).
void LINK_SetConnectHook(void (*hook)());

using LinkWorkerHandle = uintptr_t;   // 0: no worker

LinkWorkerHandle LINK_Start();
void LINK_Stop();
int LINK_IsConnected();
int LINK_IsIdle();
// Connected: the whole record and 1. Otherwise zeros with the password
// refused field set from the flag, and that flag.
int LINK_GetTargetInfo(TargetInfo* out);
void LINK_Poll();
void LINK_WorkerMain();

// Job start and wait (GUI thread). Does nothing unless connected.
void LINK_RunJob(uint8_t code, const char* title, const char* text, uint32_t flags);
int LINK_ReportEnd(int interactive);
void LINK_CancelCallback();

// Reports (GUI thread); return the job result unless said otherwise.
int LINK_CheckBlank(int interactive);
uint32_t LINK_GetCrc(int interactive);    // the target CRC, LINK_CRC_UNKNOWN when unknown
int LINK_Clear(int interactive);
int LINK_Program(int interactive, void* image);
int LINK_VerifyLoaded(int interactive, void* image);
int LINK_VerifyAll(int interactive, void* image);
void* LINK_ReadBack(int interactive, uint32_t start, uint32_t count);
int LINK_StartApplication(int interactive);
int LINK_MakeValid(int interactive);

// The last job's result, for the callers that composed jobs (Auto).
int LINK_GetJobResult();
