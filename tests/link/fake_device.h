#pragma once
// A scripted serial device: records every operation the port module makes
// and serves reads from a queue of bytes, without waiting.
#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <set>
#include <string>
#include <vector>

#include "link/com.h"
#include "shell/posix/app_record.h"
#include "temp_settings.h"

struct FakeDevice {
    std::set<std::string> present{"\\\\.\\COM1", "\\\\.\\COM3"};   // paths that open
    bool fail_queues = false, fail_timeouts = false;
    int refuse_states = 0;            // the next N set_state calls fail
    std::vector<std::string> calls;   // "open PATH", "queues", "timeouts", "state", "write", "read", "close"
    std::vector<std::string> opened;  // paths opened, in order
    std::vector<ComTimeouts> timeouts;
    std::vector<ComDcb> states;
    std::vector<uint8_t> written;
    std::vector<size_t> write_sizes;
    std::deque<uint8_t> input;        // what reads deliver
    std::vector<uint32_t> read_timeouts;   // the total constant in force at each read
    ComTimeouts current{};
    int open_handles = 0;
};

// The one fake in use; COM_SetDeviceOps(FAKE_DeviceOps()) routes the module to it.
FakeDevice& FAKE_Device();
const ComDeviceOps* FAKE_DeviceOps();
void FAKE_DeviceReset();

// A test whose serial module talks to the fake device, with a clean settings
// store and report recorder; the module is reset again afterwards.
class FakeDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        COM_SetDeviceOps(FAKE_DeviceOps());
        COM_ResetModule();
        FAKE_DeviceReset();
        TEMP_SettingsClear();
        APP_RecordClear();
    }
    void TearDown() override {
        COM_ResetModule();
        COM_SetDeviceOps(nullptr);
    }
    FakeDevice& dev = FAKE_Device();
};
