#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "shell/settings_text.h"

namespace {

// The file as a first run leaves it: no file before, no project, COM1 the
// first port, a data file loaded, no password.
const char kFirstRun[] =
    "[PrjFile]\r\n"
    "Filename=\"\"\r\n"
    "[COM]\r\n"
    "TimeoutConnect = 5000\r\n"
    "TimeoutGetCRC = 10000\r\n"
    "TimeoutCheckBlank = 10000\r\n"
    "Timeout = 30000\r\n"
    "StopBits = 0\r\n"
    "Parity = 1\r\n"
    "VPort=\"COM1\"\r\n"
    "Baudrate = 9600\r\n"
    "[HexFile]\r\n"
    "Filename=\"C:\\fw\\fw.mot\"\r\n"
    "[Password]\r\n"
    "Contents=\"\"\r\n";

struct IntCase {
    const char* file;
    const char* section;
    const char* key;
    SettingsRead result;
    int32_t value;        // expected out (starts as 77)
    const char* error;    // expected message when BAD
};

TEST(SettingsText, ReadsNumbersFromATableOfFiles)
{
    const IntCase cases[] = {
        {kFirstRun, "COM", "TimeoutConnect", SETTINGS_FOUND, 5000, ""},
        {kFirstRun, "COM", "Timeout", SETTINGS_FOUND, 30000, ""},
        {kFirstRun, "COM", "Baudrate", SETTINGS_FOUND, 9600, ""},
        {kFirstRun, "COM", "Parity", SETTINGS_FOUND, 1, ""},
        {kFirstRun, "COM", "Port", SETTINGS_MISSING, 77, ""},
        {kFirstRun, "com", "Timeout", SETTINGS_MISSING, 77, ""},          // sections compared exactly
        {kFirstRun, "COM", "timeout", SETTINGS_MISSING, 77, ""},          // keys too
        {kFirstRun, "COM", "Time", SETTINGS_MISSING, 77, ""},             // a prefix is no match
        {"[COM]\r\nTimeout = -1\r\n", "COM", "Timeout", SETTINGS_FOUND, -1, ""},
        {"[COM]\r\nTimeout = +12\r\n", "COM", "Timeout", SETTINGS_FOUND, 12, ""},
        {"[COM]\r\n\t  Timeout=7\r\n", "COM", "Timeout", SETTINGS_FOUND, 7, ""},
        {"[COM]\r\nTimeout = 2147483647\r\n", "COM", "Timeout", SETTINGS_FOUND, 2147483647, ""},
        {"[COM]\r\nTimeout = -2147483647\r\n", "COM", "Timeout", SETTINGS_FOUND, -2147483647, ""},
        {"[COM]\r\nTimeout = 2147483648\r\n", "COM", "Timeout", SETTINGS_BAD, 77, "Expected a value >= 0"},
        // 2^32 + 5 would wrap to 5: refused instead.
        {"[COM]\r\nTimeout = 4294967301\r\n", "COM", "Timeout", SETTINGS_BAD, 77, "Expected a value >= 0"},
        {"[COM]\r\nTimeout = 99999999999999999999999\r\n", "COM", "Timeout", SETTINGS_BAD, 77,
         "Expected a value >= 0"},
        {"[COM]\r\nTimeout = abc\r\n", "COM", "Timeout", SETTINGS_BAD, 77, "Expecting a number"},
        {"[COM]\r\nTimeout = -\r\n", "COM", "Timeout", SETTINGS_BAD, 77, "Expecting a number"},
        {"[COM]\r\nTimeout 30000\r\n", "COM", "Timeout", SETTINGS_BAD, 77, "Expected '=', got '3'"},
        {"[COM]\r\nTimeout\t\r\n", "COM", "Timeout", SETTINGS_BAD, 77, "Expected '=', got '\r'"},
        // Entries end at the next section.
        {"[COM]\r\n[X]\r\nTimeout = 5\r\n", "COM", "Timeout", SETTINGS_MISSING, 77, ""},
        {"[X]\r\nTimeout = 5\r\n[COM]\r\nTimeout = 6\r\n", "COM", "Timeout", SETTINGS_FOUND, 6, ""},
        // A header without its line end: entries begin on the next line.
        {"[COM] junk\r\nTimeout = 8\r\n", "COM", "Timeout", SETTINGS_FOUND, 8, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.section << "/" << c.key << " in " << testing::PrintToString(std::string(c.file)));
        std::string text = c.file;
        std::string error;
        int32_t out = 77;
        EXPECT_EQ(APP_SettingsReadInt(text, c.section, c.key, &out, error), c.result);
        EXPECT_EQ(out, c.value);
        EXPECT_EQ(error, c.error);
    }
}

struct StringCase {
    const char* file;
    const char* section;
    const char* key;
    int size;
    SettingsRead result;
    const char* value;
    const char* error;
};

TEST(SettingsText, ReadsTextsFromATableOfFiles)
{
    const StringCase cases[] = {
        {kFirstRun, "COM", "VPort", 100, SETTINGS_FOUND, "COM1", ""},
        {kFirstRun, "PrjFile", "Filename", 260, SETTINGS_FOUND, "", ""},
        {"[COM]\r\nVPort = \"COM3\"\r\n", "COM", "VPort", 100, SETTINGS_FOUND, "COM3", ""},
        {"[COM]\r\nVPort=COM3\r\n", "COM", "VPort", 100, SETTINGS_BAD, "", "Expected '\"', got 'C'"},
        {"[COM]\r\nVPort=\"COM3\r\nBaudrate = 1\r\n", "COM", "VPort", 100, SETTINGS_BAD, "", "Expected '\"', got '\r'"},
        {"[COM]\r\nVPort=\"COM3", "COM", "VPort", 100, SETTINGS_BAD, "", "Expected '\"', got ''"},
        {"[COM]\r\nVPort:\"COM3\"\r\n", "COM", "VPort", 100, SETTINGS_MISSING, "", ""},  // ':' is no separator
        {"[COM]\r\nVPort \"COM3\"\r\n", "COM", "VPort", 100, SETTINGS_BAD, "", "Expected '=', got '\"'"},
        {"[COM]\r\nVPort=\"COM3\"\r\n", "COM", "VPort", 5, SETTINGS_FOUND, "COM3", ""},
        {"[COM]\r\nVPort=\"COM33\"\r\n", "COM", "VPort", 5, SETTINGS_BAD, "", "Expected '\"', got '3'"},
        {"[COM]\r\n", "COM", "VPort", 100, SETTINGS_MISSING, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.file)));
        std::string text = c.file;
        std::string error;
        char dest[300];
        std::memset(dest, 'x', sizeof dest);
        EXPECT_EQ(APP_SettingsReadString(text, c.section, c.key, dest, c.size, error), c.result);
        EXPECT_STREQ(dest, c.value);
        EXPECT_EQ(error, c.error);
    }
}

TEST(SettingsText, ReadingAMissingSectionAppendsItsHeader)
{
    std::string text = "[COM]\r\nTimeout = 1\r\n";
    std::string error;
    int32_t out = 0;
    EXPECT_EQ(APP_SettingsReadInt(text, "PrjFile", "Filename", &out, error), SETTINGS_MISSING);
    EXPECT_EQ(text, "[COM]\r\nTimeout = 1\r\n[PrjFile]\r\n");
    // Once is enough.
    EXPECT_EQ(APP_SettingsReadInt(text, "PrjFile", "Filename", &out, error), SETTINGS_MISSING);
    EXPECT_EQ(text, "[COM]\r\nTimeout = 1\r\n[PrjFile]\r\n");
    // A last line without its line end gets one first.
    std::string bare = "[COM]\r\nTimeout = 1";
    APP_SettingsReadInt(bare, "X", "k", &out, error);
    EXPECT_EQ(bare, "[COM]\r\nTimeout = 1\r\n[X]\r\n");
}

TEST(SettingsText, AKeyWrittenTwiceMovesToTheTopOfItsSection)
{
    std::string text;
    ASSERT_TRUE(APP_SettingsWriteLine(text, "COM", "Parity", APP_SettingsIntLine("Parity", 1)));
    ASSERT_TRUE(APP_SettingsWriteLine(text, "COM", "StopBits", APP_SettingsIntLine("StopBits", 0)));
    ASSERT_TRUE(APP_SettingsWriteLine(text, "HexFile", "Filename", APP_SettingsStringLine("Filename", "a.hex")));
    ASSERT_TRUE(APP_SettingsWriteLine(text, "COM", "Parity", APP_SettingsIntLine("Parity", 2)));
    EXPECT_EQ(text,
              "[COM]\r\nParity = 2\r\nStopBits = 0\r\n"
              "[HexFile]\r\nFilename=\"a.hex\"\r\n");
    // Same key name in another section is another key.
    ASSERT_TRUE(APP_SettingsWriteLine(text, "PrjFile", "Filename", APP_SettingsStringLine("Filename", "")));
    ASSERT_TRUE(APP_SettingsWriteLine(text, "HexFile", "Filename", APP_SettingsStringLine("Filename", "b.mot")));
    EXPECT_EQ(text,
              "[COM]\r\nParity = 2\r\nStopBits = 0\r\n"
              "[HexFile]\r\nFilename=\"b.mot\"\r\n[PrjFile]\r\nFilename=\"\"\r\n");
}

TEST(SettingsText, WritesInTheOrderOfAFirstRunGiveItsFile)
{
    std::string text;
    std::string error;
    char dest[260];
    APP_SettingsReadString(text, "PrjFile", "Filename", dest, sizeof dest, error);   // start-up
    int32_t v = 0;
    APP_SettingsReadInt(text, "COM", "Baudrate", &v, error);
    const struct {
        const char* section;
        const char* key;
        const char* text;   // null: number
        int32_t number;
    } writes[] = {
        {"COM", "Baudrate", nullptr, 9600}, {"COM", "VPort", "COM1", 0},
        {"COM", "Parity", nullptr, 1},      {"COM", "StopBits", nullptr, 0},
        {"COM", "Timeout", nullptr, 30000}, {"COM", "TimeoutCheckBlank", nullptr, 10000},
        {"COM", "TimeoutGetCRC", nullptr, 10000}, {"COM", "TimeoutConnect", nullptr, 5000},
        {"HexFile", "Filename", "C:\\fw\\fw.mot", 0}, {"PrjFile", "Filename", "", 0},
        {"Password", "Contents", "", 0},
    };
    for (const auto& w : writes) {
        const std::string line = w.text ? APP_SettingsStringLine(w.key, w.text) : APP_SettingsIntLine(w.key, w.number);
        ASSERT_TRUE(APP_SettingsWriteLine(text, w.section, w.key, line));
    }
    EXPECT_EQ(text, kFirstRun);
}

TEST(SettingsText, TheTextNeverGrowsBeyondItsLimit)
{
    // A text one entry short of the limit.
    std::string text = "[COM]\r\n";
    const std::string filler = "F=\"" + std::string(SETTINGS_TEXT_MAX - text.size() - 13, 'x') + "\"\r\n";
    text += filler;
    ASSERT_EQ(text.size(), SETTINGS_TEXT_MAX - 7);
    const std::string before = text;
    // "A = 1\r\n" is 7 bytes: exactly fits.
    EXPECT_TRUE(APP_SettingsWriteLine(text, "COM", "A", APP_SettingsIntLine("A", 1)));
    EXPECT_EQ(text.size(), SETTINGS_TEXT_MAX);
    // One byte more is refused and the text stays as it was.
    const std::string full = text;
    EXPECT_FALSE(APP_SettingsWriteLine(text, "COM", "B", APP_SettingsIntLine("B", 1)));
    EXPECT_EQ(text, full);
    // Replacing a key by a value of the same size still works at the limit.
    EXPECT_TRUE(APP_SettingsWriteLine(text, "COM", "A", APP_SettingsIntLine("A", 2)));
    EXPECT_EQ(text.size(), SETTINGS_TEXT_MAX);
    // A longer replacement is refused with the old entry kept.
    const std::string kept = text;
    EXPECT_FALSE(APP_SettingsWriteLine(text, "COM", "A", APP_SettingsIntLine("A", 22)));
    EXPECT_EQ(text, kept);
    // A read of a missing section cannot add its header: it reads as missing.
    std::string error;
    int32_t v = 5;
    EXPECT_EQ(APP_SettingsReadInt(text, "New", "k", &v, error), SETTINGS_MISSING);
    EXPECT_EQ(text, kept);
    EXPECT_EQ(v, 5);
}

}  // namespace
