// Start-up port settings: the ports present, the stored keys and their
// defaults, and the fall-back to the defaults when the stored port fails.
#include <gtest/gtest.h>

#include "fake_device.h"
#include "link/com.h"
#include "shell/app.h"
#include "shell/posix/app_record.h"
#include "shell/settings.h"
#include "temp_settings.h"

namespace {

class LoadComSettings : public FakeDeviceTest {
protected:
    COM_Settings Current() {
        COM_Settings s{};
        EXPECT_EQ(0, COM_GetSettings(&s));
        return s;
    }
};

TEST_F(LoadComSettings, NoPortsReportsAndAppliesNothing) {
    dev.present.clear();
    APP_LoadComSettings();
    ASSERT_EQ(1u, APP_RecordedErrors().size());
    EXPECT_EQ("No COM ports found in system!", APP_RecordedErrors()[0]);
    EXPECT_TRUE(dev.states.empty());
}

TEST_F(LoadComSettings, FreshStoreUsesFirstPresentPortAndWritesDefaults) {
    dev.present = {"\\\\.\\COM4", "\\\\.\\COM9"};
    APP_LoadComSettings();
    EXPECT_TRUE(APP_RecordedErrors().empty());
    COM_Settings s = Current();
    EXPECT_STREQ("COM4", s.port_name);
    EXPECT_EQ(9600u, s.baud_rate);
    EXPECT_EQ(1, s.parity);
    EXPECT_EQ(0, s.stop_bits);
    std::string v;
    ASSERT_TRUE(TEMP_SettingsGet("COM", "Parity", &v));
    EXPECT_EQ("1", v);
    EXPECT_EQ(0, dev.open_handles - 1) << "probe handles closed, the port itself open";
}

TEST_F(LoadComSettings, StoredKeysAreApplied) {
    struct Case {
        const char* name;
        const char* baud;
        const char* port;    // "Port" number, or null
        const char* vport;   // or null
        uint32_t want_baud;
        const char* want_port;
        const char* error;   // or null
    } cases[] = {
        {"vport wins", "57600", "2", "COM3", 57600, "COM3", nullptr},
        {"port number", "115200", "2", "", 115200, "COM3", nullptr},
        {"illegal baud", "12345", nullptr, "COM1", 9600, "COM1",
         "Illegal baudrate! Baudrate has been reset to 9600"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        TEMP_SettingsSet("COM", "Baudrate", c.baud);
        TEMP_SettingsSet("COM", "Parity", "0");
        TEMP_SettingsSet("COM", "StopBits", "2");
        if (c.port) TEMP_SettingsSet("COM", "Port", c.port);
        if (c.vport) TEMP_SettingsSet("COM", "VPort", c.vport);
        APP_LoadComSettings();
        COM_Settings s = Current();
        EXPECT_EQ(c.want_baud, s.baud_rate);
        EXPECT_STREQ(c.want_port, s.port_name);
        EXPECT_EQ(0, s.parity);
        EXPECT_EQ(2, s.stop_bits);
        if (c.error) {
            ASSERT_EQ(1u, APP_RecordedErrors().size());
            EXPECT_EQ(c.error, APP_RecordedErrors()[0]);
        } else {
            EXPECT_TRUE(APP_RecordedErrors().empty());
        }
    }
}

TEST_F(LoadComSettings, FailingStoredPortFallsBackToDefaults) {
    TEMP_SettingsSet("COM", "Baudrate", "19200");
    TEMP_SettingsSet("COM", "VPort", "COM77");
    APP_LoadComSettings();
    const auto errors = APP_RecordedErrors();
    ASSERT_EQ(2u, errors.size());
    EXPECT_EQ("Port not available", errors[0]);
    EXPECT_EQ("Illegal COM settings! Reset to defaults.", errors[1]);
    COM_Settings s = Current();
    EXPECT_STREQ("COM1", s.port_name);
    EXPECT_EQ(9600u, s.baud_rate);
    EXPECT_EQ(1, s.parity);
    EXPECT_EQ(1, APP_GetRunFailed());
}

}  // namespace
