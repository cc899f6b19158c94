// The serial port module over the scripted device: opening, the line
// parameters, its failures and the phases, reads and their time-outs, probing.
#include <gtest/gtest.h>

#include <cstring>

#include "fake_device.h"
#include "temp_settings.h"
#include "link/com.h"
#include "shell/app.h"
#include "shell/posix/app_record.h"

namespace {

COM_Settings Make(const char* port, uint32_t baud = 57600, uint8_t parity = 0, uint8_t stop = 0) {
    COM_Settings s{};
    s.baud_rate = baud;
    std::snprintf(s.port_name, sizeof s.port_name, "%s", port);
    s.byte_size = 8;
    s.parity = parity;
    s.stop_bits = stop;
    return s;
}

using ComModule = FakeDeviceTest;

TEST_F(ComModule, ReconfigureOpensConfiguresAndSaves) {
    ASSERT_EQ(0, COM_Reconfigure(Make("COM3", 57600, 2, 2)));
    ASSERT_EQ(1u, dev.opened.size());
    EXPECT_EQ("\\\\.\\COM3", dev.opened[0]);
    EXPECT_EQ("queues 10000 10000", dev.calls[1]);
    ASSERT_EQ(1u, dev.timeouts.size());
    EXPECT_EQ(COM_MAXDWORD, dev.timeouts[0].read_interval);
    EXPECT_EQ(0u, dev.timeouts[0].read_total_constant);
    ASSERT_EQ(1u, dev.states.size());
    const ComDcb& d = dev.states[0];
    EXPECT_EQ(57600u, d.baud_rate);
    EXPECT_EQ(1, d.f_binary);
    EXPECT_EQ(1, d.f_parity);
    EXPECT_EQ(0, d.f_outx_cts_flow | d.f_outx_dsr_flow | d.f_dsr_sensitivity | d.f_tx_continue_on_xoff |
                     d.f_out_x | d.f_in_x | d.f_error_char | d.f_null | d.f_abort_on_error);
    EXPECT_EQ(COM_DTR_CONTROL_ENABLE, d.f_dtr_control);
    EXPECT_EQ(COM_RTS_CONTROL_TOGGLE, d.f_rts_control);
    EXPECT_EQ(2048, d.xon_lim);
    EXPECT_EQ(512, d.xoff_lim);
    EXPECT_EQ(8, d.byte_size);
    EXPECT_EQ(2, d.parity);
    EXPECT_EQ(2, d.stop_bits);
    EXPECT_EQ(0x11, d.xon_char);
    EXPECT_EQ(0x13, d.xoff_char);
    EXPECT_EQ(0, d.error_char | d.eof_char | d.evt_char);
    std::string v;
    ASSERT_TRUE(TEMP_SettingsGet("COM", "Baudrate", &v));
    EXPECT_EQ("57600", v);
    ASSERT_TRUE(TEMP_SettingsGet("COM", "VPort", &v));
    EXPECT_EQ("COM3", v);
    ASSERT_TRUE(TEMP_SettingsGet("COM", "Parity", &v));
    EXPECT_EQ("2", v);
    EXPECT_TRUE(APP_RecordedErrors().empty());
    EXPECT_EQ(0, APP_GetRunFailed());

    COM_Settings got{};
    ASSERT_EQ(0, COM_GetSettings(&got));
    EXPECT_TRUE(COM_SettingsEqual(got, Make("COM3", 57600, 2, 2)));
}

TEST_F(ComModule, EqualRecordTouchesNothing) {
    ASSERT_EQ(0, COM_Reconfigure(Make("COM3")));
    const size_t calls = dev.calls.size();
    EXPECT_EQ(0, COM_Reconfigure(Make("COM3")));
    EXPECT_EQ(calls, dev.calls.size());
}

TEST_F(ComModule, RtsToggleRefusedFallsBackToRtsOff) {
    dev.refuse_states = 1;
    ASSERT_EQ(0, COM_Reconfigure(Make("COM3")));
    ASSERT_EQ(2u, dev.states.size());
    EXPECT_EQ(COM_RTS_CONTROL_TOGGLE, dev.states[0].f_rts_control);
    EXPECT_EQ(COM_RTS_CONTROL_DISABLE, dev.states[1].f_rts_control);
    EXPECT_TRUE(APP_RecordedErrors().empty());
}

// Each refusal of the driver has its own text; the device stays open, so
// the old settings are restored and reopened.
TEST_F(ComModule, ConfigurationRefusalsRestoreTheOldPort) {
    struct Case {
        const char* name;
        bool queues, timeouts;
        int states;
        const char* text;
    } cases[] = {
        {"queues", true, false, 0, "SetupComm failed"},
        {"timeouts", false, true, 0, "SetCommTimeouts failed"},
        {"state", false, false, 2, "SetCommState failed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        ASSERT_EQ(0, COM_Reconfigure(Make("COM1", 9600)));
        dev.fail_queues = c.queues;
        dev.fail_timeouts = c.timeouts;
        dev.refuse_states = c.states;
        EXPECT_EQ(1, COM_Reconfigure(Make("COM3", 19200)));
        // The device still refuses when the old settings are reopened, so
        // the text may come twice.
        ASSERT_GE(APP_RecordedErrors().size(), 1u);
        EXPECT_EQ(c.text, APP_RecordedErrors()[0]);
        EXPECT_EQ(1, APP_GetRunFailed());
        // Old settings back, saved value untouched by the failed attempt.
        std::string v;
        ASSERT_TRUE(TEMP_SettingsGet("COM", "VPort", &v));
        EXPECT_EQ("COM1", v);
        ASSERT_TRUE(TEMP_SettingsGet("COM", "Baudrate", &v));
        EXPECT_EQ("9600", v);
        // The handle of COM3 was closed; the module reopened COM1.
        ASSERT_EQ(3u, dev.opened.size());
        EXPECT_EQ("\\\\.\\COM3", dev.opened[1]);
        EXPECT_EQ("\\\\.\\COM1", dev.opened[2]);
    }
}

TEST_F(ComModule, MissingPortClosesTheModule) {
    ASSERT_EQ(0, COM_Reconfigure(Make("COM1")));
    EXPECT_EQ(1, COM_Reconfigure(Make("COM7")));
    ASSERT_EQ(1u, APP_RecordedErrors().size());
    EXPECT_EQ("Port not available", APP_RecordedErrors()[0]);
    EXPECT_EQ(0, dev.open_handles);
    std::string v;
    ASSERT_TRUE(TEMP_SettingsGet("COM", "VPort", &v));
    EXPECT_EQ("COM1", v) << "failed settings are not saved";
    // Closed: reads return at once without the device, writes send nothing,
    // the settings cannot be copied.
    const size_t calls = dev.calls.size();
    uint8_t buf[4];
    EXPECT_EQ(0u, COM_Read(buf, 4, 1000));
    EXPECT_EQ(1, COM_Write(buf, 4));
    COM_Settings s = Make("untouched");
    EXPECT_EQ(1, COM_GetSettings(&s));
    EXPECT_STREQ("untouched", s.port_name);
    EXPECT_EQ(calls, dev.calls.size());
    // A later good reconfiguration makes it ready again.
    EXPECT_EQ(0, COM_Reconfigure(Make("COM3")));
    dev.input = {1, 2};
    EXPECT_EQ(2u, COM_Read(buf, 4, 100));
}

TEST_F(ComModule, FirstUseLoadsStoredSettingsEmptyPortIsCom1) {
    TEMP_SettingsSet("COM", "Baudrate", "19200");
    TEMP_SettingsSet("COM", "VPort", "");
    COM_Settings s{};
    ASSERT_EQ(0, COM_GetSettings(&s));
    EXPECT_STREQ("COM1", s.port_name);
    EXPECT_EQ(19200u, s.baud_rate);
    EXPECT_EQ(0, s.parity);
    EXPECT_EQ(0, s.stop_bits);
    EXPECT_EQ(8, s.byte_size);
    ASSERT_EQ(1u, dev.opened.size());
    EXPECT_EQ("\\\\.\\COM1", dev.opened[0]);
}

TEST_F(ComModule, FirstUseWithMissingPortStillReadyButSilent) {
    TEMP_SettingsSet("COM", "VPort", "COM9");
    uint8_t b[2];
    EXPECT_EQ(0u, COM_Read(b, 2, 50));
    ASSERT_EQ(1u, APP_RecordedErrors().size());
    EXPECT_EQ("Port not available", APP_RecordedErrors()[0]);
    COM_Settings s{};
    EXPECT_EQ(0, COM_GetSettings(&s)) << "ready even though the open failed";
    EXPECT_STREQ("COM9", s.port_name);
}

TEST_F(ComModule, ReadTimeoutAppliedOnlyWhenItChanges) {
    ASSERT_EQ(0, COM_Reconfigure(Make("COM3")));
    uint8_t b[8];
    dev.input = {1, 2, 3};
    EXPECT_EQ(3u, COM_Read(b, 7, 1000)) << "fewer bytes than asked: the count that came";
    EXPECT_EQ(0u, COM_Read(b, 7, 1000));
    EXPECT_EQ(0u, COM_Read(b, 1, 200));
    EXPECT_EQ(0u, COM_Read(b, 1, 200));
    EXPECT_EQ(0u, COM_Read(b, 1, 1000));
    // Open + three changes.
    ASSERT_EQ(4u, dev.timeouts.size());
    const uint32_t expect[] = {0, 1000, 200, 1000};
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(expect[i], dev.timeouts[i].read_total_constant);
        if (i > 0) {
            EXPECT_EQ(0u, dev.timeouts[i].read_interval);
            EXPECT_EQ(0u, dev.timeouts[i].read_total_multiplier);
            EXPECT_EQ(0u, dev.timeouts[i].write_total_constant);
        }
    }
    const std::vector<uint32_t> in_force{1000, 1000, 200, 200, 1000};
    EXPECT_EQ(in_force, dev.read_timeouts);
    // After a reopening the first read applies its own, even the same value.
    ASSERT_EQ(0, COM_Reconfigure(Make("COM1")));
    EXPECT_EQ(0u, COM_Read(b, 1, 1000));
    ASSERT_EQ(6u, dev.timeouts.size());
    EXPECT_EQ(1000u, dev.timeouts[5].read_total_constant);
}

TEST_F(ComModule, WriteHandsBytesToTheDevice) {
    ASSERT_EQ(0, COM_Reconfigure(Make("COM3")));
    const uint8_t bytes[] = {0x68, 0, 0, 0x68};
    EXPECT_EQ(0, COM_Write(bytes, 4));
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 4), dev.written);
}

TEST_F(ComModule, ProbeCountsTheHeldPortWithoutOpeningIt) {
    dev.present = {"\\\\.\\COM2", "\\\\.\\COM3", "\\\\.\\com3", "\\\\.\\COM12", "\\\\.\\COM256"};
    ASSERT_EQ(0, COM_Reconfigure(Make("com3")));
    dev.opened.clear();
    int idx[COM_PROBE_PORTS];
    const int n = COM_ProbePorts(idx);
    ASSERT_EQ(4, n);
    EXPECT_EQ(1, idx[0]);
    EXPECT_EQ(2, idx[1]);
    EXPECT_EQ(11, idx[2]);
    EXPECT_EQ(255, idx[3]);
    for (const auto& p : dev.opened) EXPECT_NE("\\\\.\\COM3", p);
    EXPECT_EQ(4, dev.open_handles) << "com3 itself plus three probe handles";
    COM_CloseProbeHandles();
    EXPECT_EQ(1, dev.open_handles);
}

TEST_F(ComModule, ShutdownClosesAndSaves) {
    TEMP_SettingsSet("COM", "VPort", "COM3");
    COM_Settings s{};
    ASSERT_EQ(0, COM_GetSettings(&s));
    TEMP_SettingsClear();
    COM_Shutdown();
    EXPECT_EQ(0, dev.open_handles);
    std::string v;
    ASSERT_TRUE(TEMP_SettingsGet("COM", "VPort", &v));
    EXPECT_EQ("COM3", v);
    EXPECT_EQ(1, COM_GetSettings(&s));
}

}  // namespace
