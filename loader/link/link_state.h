#pragma once
// The link module's state, shared by the worker (link_worker.cpp) and the
// reports (link_reports.cpp). Hand-over rule: the GUI writes the job
// parameters and then the job code (release); the worker writes the results
// and then sets the code to 0 (release); each side reads the other's fields
// only after an acquire load of the code has shown the hand-over.
#include <atomic>
#include <cstdint>
#include <mutex>

#include "link/link.h"

struct LinkState {
    std::atomic<uint8_t> job_code{0};     // GUI starts a job, worker ends it
    uint8_t job_result = 0;               // worker
    std::atomic<int> cancel{0};           // GUI (cancel callback) sets, worker clears
    std::atomic<int> stop{0};             // LINK_Stop sets, worker clears at its end
    LinkJobState job;                     // GUI before a job (read back), worker during it
    void* job_image = nullptr;            // GUI (program, verify), worker (read back)

    std::mutex info_lock;                 // guards info: worker stores, GUI copies
    TargetInfo info{};
    std::atomic<uint8_t> connected{0};    // worker; mirrors info.connected
    std::atomic<uint8_t> refused{0};      // worker; mirrors info.password_refused
};

LinkState& LINK_State();
