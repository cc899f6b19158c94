#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "shell/app.h"
#include "shell/posix/app_record.h"
#include "shell/settings.h"
#include "shell/settings_store.h"

namespace fs = std::filesystem;

namespace {

// Each test gets an empty data folder; the store reads it afresh.
class SettingsFile : public testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/settings-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
        setenv("KAL_DATA_FOLDER", folder_.c_str(), 1);
        APP_SettingsReset();
        APP_RecordClear();
    }
    void TearDown() override
    {
        APP_SettingsReset();
        APP_RecordClear();
        unsetenv("KAL_DATA_FOLDER");
        fs::remove_all(folder_);
    }
    std::string Path() const { return folder_ + "/settings_tests.ini"; }
    void WriteFile(const std::string& text) const
    {
        std::ofstream(Path(), std::ios::binary) << text;
    }
    std::string ReadFile() const
    {
        std::ifstream in(Path(), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::string folder_;
};

TEST_F(SettingsFile, LivesInTheDataFolderNamedAfterTheProgram)
{
    EXPECT_EQ(APP_SetSettingInt("COM", "Parity", 1), 0);
    EXPECT_EQ(APP_SettingsPath(), Path());
    EXPECT_EQ(ReadFile(), "[COM]\r\nParity = 1\r\n");
    EXPECT_TRUE(APP_RecordedErrors().empty());
}

TEST_F(SettingsFile, EveryWriteSavesTheWholeFileReadsAddHeaders)
{
    WriteFile("[COM]\r\nTimeout = 1234\r\n");
    char text[100];
    EXPECT_EQ(APP_GetSettingString("PrjFile", "Filename", text, sizeof text), -1);
    EXPECT_EQ(ReadFile(), "[COM]\r\nTimeout = 1234\r\n");   // the header lives in memory until a save
    EXPECT_EQ(APP_SetSettingString("HexFile", "Filename", "C:\\fw\\fw.mot"), 0);
    EXPECT_EQ(ReadFile(),
              "[COM]\r\nTimeout = 1234\r\n[PrjFile]\r\n[HexFile]\r\nFilename=\"C:\\fw\\fw.mot\"\r\n");
    int32_t v = 0;
    EXPECT_EQ(APP_GetSettingInt("COM", "Timeout", &v), 0);
    EXPECT_EQ(v, 1234);
}

TEST_F(SettingsFile, TimeoutsGetTheirDefaultsWrittenBack)
{
    WriteFile("[COM]\r\nTimeoutConnect = 0\r\nTimeout = -1\r\n");
    APP_LoadTimeouts();
    EXPECT_EQ(APP_GetTimeout(APP_TIMEOUT), -1);   // only the magnitude is checked
    EXPECT_EQ(APP_GetTimeout(APP_TIMEOUT_GET_CRC), 10000);
    EXPECT_EQ(APP_GetTimeout(APP_TIMEOUT_CHECK_BLANK), 10000);
    EXPECT_EQ(APP_GetTimeout(APP_TIMEOUT_CONNECT), 5000);
    EXPECT_EQ(ReadFile(),
              "[COM]\r\nTimeoutConnect = 5000\r\nTimeoutGetCRC = 10000\r\nTimeoutCheckBlank = 10000\r\n"
              "Timeout = -1\r\n");
    EXPECT_TRUE(APP_RecordedErrors().empty());
    EXPECT_EQ(APP_GetRunFailed(), 0);
}

TEST_F(SettingsFile, ABadValueIsReportedAndTheDefaultStays)
{
    WriteFile("[COM]\r\nTimeout = abc\r\n");
    APP_LoadTimeouts();
    ASSERT_EQ(APP_RecordedErrors().size(), 1u);
    EXPECT_EQ(APP_RecordedErrors()[0], "Expecting a number");
    EXPECT_EQ(APP_GetRunFailed(), 1);
    // Read as 0, so the default takes over and is written on top of the bad line.
    EXPECT_EQ(APP_GetTimeout(APP_TIMEOUT), 30000);
}

TEST_F(SettingsFile, UndefinedTimeoutKind)
{
    EXPECT_EQ(APP_GetTimeout(4), 0);
    EXPECT_EQ(APP_GetTimeout(-1), 0);
    ASSERT_EQ(APP_RecordedErrors().size(), 2u);
    EXPECT_EQ(APP_RecordedErrors()[0], "Undefined timeout passed to APP_GetTimeout");
}

TEST_F(SettingsFile, AFileBeyondTheLimitIsReportedAndNeverOverwritten)
{
    const std::string big = "[COM]\r\nF=\"" + std::string(30000, 'x') + "\"\r\n";
    WriteFile(big);
    int32_t v = 9;
    EXPECT_EQ(APP_GetSettingInt("COM", "Timeout", &v), 1);
    EXPECT_EQ(v, 9);
    ASSERT_EQ(APP_RecordedErrors().size(), 1u);
    EXPECT_EQ(APP_RecordedErrors()[0], "Could not open file [" + Path() + "]\nFile is too large!");
    EXPECT_EQ(APP_SetSettingInt("COM", "Timeout", 5), -1);
    EXPECT_EQ(ReadFile(), big);
    EXPECT_EQ(APP_RecordedErrors().size(), 1u);   // reported once
}

TEST_F(SettingsFile, AWriteBeyondTheLimitIsRefusedAndReported)
{
    const std::string start = "[COM]\r\nF=\"" + std::string(29980, 'x') + "\"\r\n";
    WriteFile(start);
    EXPECT_EQ(APP_SetSettingString("COM", "VPort", "COM12345678901234567890"), 1);
    EXPECT_EQ(ReadFile(), start);
    ASSERT_EQ(APP_RecordedErrors().size(), 1u);
    EXPECT_EQ(APP_RecordedErrors()[0], "Could not save file [" + Path() + "]\nFile is too large!");
}

TEST_F(SettingsFile, SaveFailureIsReportedAndTheTextStays)
{
    fs::remove_all(folder_);
    EXPECT_EQ(APP_SetSettingInt("COM", "Parity", 2), 1);
    ASSERT_EQ(APP_RecordedErrors().size(), 1u);
    // Which of the two reasons a missing folder gives is the platform's word.
    const std::string e = APP_RecordedErrors()[0];
    EXPECT_TRUE(e == "Could not save file [" + Path() + "]\nPath not found!" ||
                e == "Could not save file [" + Path() + "]\nFile not found!")
        << e;
    int32_t v = 0;
    EXPECT_EQ(APP_GetSettingInt("COM", "Parity", &v), 0);
    EXPECT_EQ(v, 2);
    fs::create_directory(folder_);
}

TEST_F(SettingsFile, Password)
{
    const std::string ok(99, 'p');
    EXPECT_EQ(APP_SetPassword(ok.c_str(), 99), 0);
    const std::string tooLong(100, 'q');
    EXPECT_EQ(APP_SetPassword(tooLong.c_str(), 100), 1);
    char out[100];
    APP_GetPassword(out);
    EXPECT_EQ(std::string(out), ok);
    const auto notices = APP_RecordedNotices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].text, "Password to long");
    EXPECT_EQ(notices[0].caption, "Password");
    EXPECT_EQ(APP_GetRunFailed(), 0);
}

TEST_F(SettingsFile, TwoThreadsWritingNeverInterleave)
{
    std::thread a([] {
        for (int i = 0; i < 200; ++i) APP_SetSettingInt("COM", "A", i);
    });
    std::thread b([] {
        for (int i = 0; i < 200; ++i) APP_SetSettingInt("Other", "B", i);
    });
    a.join();
    b.join();
    const std::string file = ReadFile();
    EXPECT_NE(file.find("A = 199\r\n"), std::string::npos);
    EXPECT_NE(file.find("B = 199\r\n"), std::string::npos);
    EXPECT_EQ(file.size(), std::string("[COM]\r\nA = 199\r\n[Other]\r\nB = 199\r\n").size());
}

}  // namespace
