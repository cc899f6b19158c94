#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <unistd.h>

#include "shell/util_sys.h"

namespace fs = std::filesystem;

class UtilFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("kal_util_" + std::to_string(::getpid()) + "_" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::permissions(dir, fs::perms::owner_all, ec);
        fs::remove_all(dir, ec);
    }
    std::string P(const char* name) const { return (dir / name).string(); }
    fs::path dir;
};

TEST_F(UtilFileTest, WriteThenReadBack)
{
    UtilFile f = UTIL_OpenFile(P("a.bin").c_str(), 0x32);
    ASSERT_NE(f, UTIL_INVALID_FILE);
    EXPECT_EQ(UTIL_WriteFile(f, "hello", 5), 5);
    EXPECT_EQ(UTIL_GetFileSize(f), 5u);
    UTIL_CloseFile(f);

    f = UTIL_OpenFile(P("a.bin").c_str(), UTIL_OPEN_READ);
    ASSERT_NE(f, UTIL_INVALID_FILE);
    char buf[16] = {};
    EXPECT_EQ(UTIL_ReadFile(f, buf, sizeof buf), 5);
    EXPECT_EQ(std::string(buf, 5), "hello");
    EXPECT_EQ(UTIL_ReadFile(f, buf, sizeof buf), 0);
    UTIL_CloseFile(f);
    EXPECT_TRUE(UTIL_FileExists(P("a.bin").c_str()));
    EXPECT_TRUE(UTIL_DeleteFile(P("a.bin").c_str()));
    EXPECT_FALSE(UTIL_FileExists(P("a.bin").c_str()));
}

TEST_F(UtilFileTest, CreationModes)
{
    const std::string path = P("m.txt");
    // Without create or truncate the file must exist.
    EXPECT_EQ(UTIL_OpenFile(path.c_str(), UTIL_OPEN_WRITE), UTIL_INVALID_FILE);
    EXPECT_EQ(UTIL_LastOpenError(), UTIL_OPEN_ERR_FILE_NOT_FOUND);

    UtilFile f = UTIL_OpenFile(path.c_str(), UTIL_OPEN_WRITE | UTIL_OPEN_CREATE | UTIL_OPEN_NEW);
    ASSERT_NE(f, UTIL_INVALID_FILE);
    UTIL_WriteFile(f, "abcdef", 6);
    UTIL_CloseFile(f);
    // Only new: fails on an existing file.
    EXPECT_EQ(UTIL_OpenFile(path.c_str(), UTIL_OPEN_WRITE | UTIL_OPEN_CREATE | UTIL_OPEN_NEW), UTIL_INVALID_FILE);

    // Open or create keeps the contents; append moves to the end.
    f = UTIL_OpenFile(path.c_str(), UTIL_OPEN_WRITE | UTIL_OPEN_CREATE | UTIL_OPEN_APPEND);
    ASSERT_NE(f, UTIL_INVALID_FILE);
    UTIL_WriteFile(f, "gh", 2);
    UTIL_CloseFile(f);
    EXPECT_EQ(fs::file_size(path), 8u);

    // Truncate an existing file.
    f = UTIL_OpenFile(path.c_str(), UTIL_OPEN_WRITE | UTIL_OPEN_TRUNCATE);
    ASSERT_NE(f, UTIL_INVALID_FILE);
    UTIL_CloseFile(f);
    EXPECT_EQ(fs::file_size(path), 0u);
}

TEST_F(UtilFileTest, OpenErrorReasons)
{
    { std::FILE* f = std::fopen(P("plain").c_str(), "w"); std::fclose(f); }
    fs::create_directories(dir / "locked");
    { std::FILE* f = std::fopen(P("locked/inner").c_str(), "w"); std::fclose(f); }
    fs::permissions(dir / "locked", fs::perms::none);
    const bool root = ::geteuid() == 0;

    struct Case { std::string path; UtilOpenError reason; };
    const Case cases[] = {
        {P("missing"), UTIL_OPEN_ERR_FILE_NOT_FOUND},
        {P("plain/below"), UTIL_OPEN_ERR_PATH_NOT_FOUND},
        {P(std::string(300, 'x').c_str()), UTIL_OPEN_ERR_BAD_NAME},
        {dir.string(), UTIL_OPEN_ERR_ACCESS_DENIED},
        {P("locked/inner"), root ? UTIL_OPEN_ERR_NONE : UTIL_OPEN_ERR_ACCESS_DENIED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.substr(0, 80));
        UtilFile f = UTIL_OpenFile(c.path.c_str(), UTIL_OPEN_READ);
        if (c.reason == UTIL_OPEN_ERR_NONE) {
            EXPECT_NE(f, UTIL_INVALID_FILE);
            UTIL_CloseFile(f);
            continue;
        }
        EXPECT_EQ(f, UTIL_INVALID_FILE);
        EXPECT_EQ(UTIL_LastOpenError(), c.reason);
    }
}

TEST_F(UtilFileTest, Attributes)
{
    EXPECT_EQ(UTIL_GetFileAttributes(P("none").c_str()), 0xFFFFFFFFu);
    EXPECT_NE(UTIL_GetFileAttributes(dir.string().c_str()) & 0x10, 0u);
    { std::FILE* f = std::fopen(P("ro").c_str(), "w"); std::fclose(f); }
    EXPECT_EQ(UTIL_GetFileAttributes(P("ro").c_str()) & 0x01, 0u);
    fs::permissions(P("ro"), fs::perms::owner_read);
    EXPECT_NE(UTIL_GetFileAttributes(P("ro").c_str()) & 0x01, 0u);
}

TEST(UtilMutexTest, ReentrantAndTimedOutForOthers)
{
    UtilMutex m = UTIL_CreateMutex();
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(UTIL_WaitMutex(m, 0), 0);
    EXPECT_EQ(UTIL_WaitMutex(m, 0), 0);   // same thread again

    int otherResult = -7;
    auto start = std::chrono::steady_clock::now();
    std::thread([&] { otherResult = UTIL_WaitMutex(m, 100); }).join();
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_NE(otherResult, 0);
    EXPECT_GE(waited, std::chrono::milliseconds(90));

    // Still held after one release; free after the second.
    EXPECT_TRUE(UTIL_ReleaseMutex(m));
    std::thread([&] { otherResult = UTIL_WaitMutex(m, 0); }).join();
    EXPECT_NE(otherResult, 0);
    EXPECT_TRUE(UTIL_ReleaseMutex(m));
    EXPECT_FALSE(UTIL_ReleaseMutex(m));   // not held any more

    bool released = false;
    std::thread([&] {
        otherResult = UTIL_WaitMutex(m, 1000);
        released = UTIL_ReleaseMutex(m);
    }).join();
    EXPECT_EQ(otherResult, 0);
    EXPECT_TRUE(released);

    UTIL_CloseMutex(&m);
    EXPECT_EQ(m, nullptr);
}

TEST(UtilMutexTest, NoMutexIsSuccess)
{
    EXPECT_EQ(UTIL_WaitMutex(nullptr, 10), 0);
    EXPECT_TRUE(UTIL_ReleaseMutex(nullptr));
    UtilMutex none = nullptr;
    UTIL_CloseMutex(&none);
    UTIL_CloseMutex(nullptr);
}

TEST(UtilMutexTest, ExcludesOtherThreads)
{
    UtilMutex m = UTIL_CreateMutex();
    int counter = 0;
    std::atomic<bool> failed{false};
    auto work = [&] {
        for (int i = 0; i < 20000; ++i) {
            if (UTIL_WaitMutex(m, 5000) != 0) { failed = true; return; }
            ++counter;
            UTIL_ReleaseMutex(m);
        }
    };
    std::thread a(work), b(work);
    a.join();
    b.join();
    EXPECT_FALSE(failed);
    EXPECT_EQ(counter, 40000);
    UTIL_CloseMutex(&m);
}
