#pragma once
// A simulator on a pty, the serial module pointed at it and a running link
// worker; images are plain maps handed to the jobs.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>

#include "btlsim.h"
#include "link/com.h"
#include "link/link.h"
#include "link/posix/progress_record.h"
#include "link/posix/view_log_record.h"
#include "shell/app.h"
#include "shell/posix/app_record.h"
#include "shell/settings.h"

using TestImage = std::map<uint32_t, uint8_t>;

inline const LinkImageOps* TestImageOps()
{
    static const LinkImageOps ops = {
        [](void* p, uint32_t a) -> int {
            auto& m = *static_cast<TestImage*>(p);
            auto it = m.find(a);
            return it == m.end() ? -1 : it->second;
        },
        [](void* p) -> uint32_t {
            auto& m = *static_cast<TestImage*>(p);
            return m.empty() ? 0 : m.begin()->first;
        },
        [](void* p) -> uint32_t {
            auto& m = *static_cast<TestImage*>(p);
            return m.empty() ? 0 : m.rbegin()->first;
        },
        [](void* p) -> uint32_t { return static_cast<uint32_t>(static_cast<TestImage*>(p)->size()); },
        []() -> void* { return new TestImage; },
        [](void* p, uint32_t a, uint32_t n, const uint8_t* d) -> int {
            for (uint32_t i = 0; i < n; ++i)
                (*static_cast<TestImage*>(p))[a + i] = d[i];
            return 0;
        },
    };
    return &ops;
}

// Counts the occurrences of `line` in the log.
inline int LogCount(const std::string& line)
{
    std::string log = ViewLog_RecordedText();
    int n = 0;
    for (size_t at = log.find(line); at != std::string::npos; at = log.find(line, at + 1))
        ++n;
    return n;
}

template <class Pred>
bool WaitFor(Pred pred, int ms)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        if (pred())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return pred();
}

class LinkFixture : public ::testing::Test {
protected:
    BtlSimConfig config;
    std::unique_ptr<BtlSim> sim;
    std::string password;
    BtlSimFaults start_faults;   // in force before the first poll

    // Tests adjust `config` and `password` before calling this.
    void StartLink(bool wait_connected = true)
    {
        static char folder[] = "/tmp/kal-linkit-XXXXXX";
        static bool made = false;
        if (!made) {
            ASSERT_NE(mkdtemp(folder), nullptr);
            setenv("KAL_DATA_FOLDER", folder, 1);
            made = true;
        }
        sim = std::make_unique<BtlSim>(config);
        ASSERT_EQ(sim->Start(), 0);
        sim->SetFaults(start_faults);
        COM_ResetModule();
        COM_Settings s{};
        s.baud_rate = config.baud ? config.baud : 57600;
        std::snprintf(s.port_name, sizeof s.port_name, "%s", sim->SlavePath().c_str());
        s.byte_size = 8;
        s.parity = 0;
        s.stop_bits = 0;
        ASSERT_EQ(COM_Reconfigure(s), 0);
        APP_LoadTimeouts();
        APP_SetPassword(password.c_str(), static_cast<int>(password.size()));
        ViewLog_RecordClear();
        APP_RecordClear();
        PROGRESS_RecordClear();
        LINK_SetImageOps(TestImageOps());
        LINK_Start();
        if (wait_connected) {
            ASSERT_TRUE(WaitFor([] { return LINK_IsConnected() == 1; }, 5000)) << ViewLog_RecordedText();
            // A failed job of an earlier test keeps raising the run-failed flag
            // after every poll; one good job starts this test from a clean result.
            if (LINK_GetJobResult() == LINK_RESULT_FAILED) {
                ASSERT_EQ(LINK_MakeValid(0), 0);
                sim->ResetStats();
                APP_RecordClear();
                PROGRESS_RecordClear();   // the log keeps the job's lines; tests count their own
            }
        }
    }

    void TearDown() override
    {
        LINK_Stop();
        if (sim)
            sim->Stop();
        COM_ResetModule();
    }

    void Fault(void (*change)(BtlSimFaults&))
    {
        BtlSimFaults f = sim->Faults();
        change(f);
        sim->SetFaults(f);
    }
};
