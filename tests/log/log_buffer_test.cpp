#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "link/log_buffer.h"
#include "link/posix/view_log_record.h"
#include "link/view_log.h"

namespace {

std::string Text(LogBuffer& log) { return std::string(log.text.data(), log.length); }

// Fills `log` directly (bypassing the line-end rule) so a test starts at an exact length.
void Fill(LogBuffer& log, const std::string& s)
{
    ASSERT_LT(s.size(), LOG_BUFFER_SIZE);
    std::copy(s.begin(), s.end(), log.text.begin());
    log.text[s.size()] = '\0';
    log.length = static_cast<uint32_t>(s.size());
    log.changes = 0;
}

struct LineEndCase {
    const char* in;
    const char* out;
};

TEST(LogLineEnds, Table)
{
    const LineEndCase cases[] = {
        {"", ""},
        {"plain", "plain"},
        {"a\nb", "a\r\nb"},
        {"a\r\nb\n", "a\r\nb\r\n"},
        {"a\nb\r\n", "a\nb\r\n"},          // a later CR LF keeps the bare LF
        {"\n", "\r\n"},
        {"\n\n", "\r\n\r\n"},
        {"x\r\n", "x\r\n"},
        {"a\nb\nc", "a\r\nb\r\nc"},
        {"a\r\n\nb", "a\r\n\r\nb"},         // second line is empty, no CR LF from it on
        {"\r", "\r"},
        {"a\rb\n", "a\rb\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.in)));
        EXPECT_EQ(ViewLog_NormaliseLineEnds(c.in), c.out);
    }
}

TEST(LogBuffer, AppendsAndCountsChanges)
{
    auto log = std::make_unique<LogBuffer>();
    ViewLog_BufferAppend(*log, "Application Log started\n");
    ViewLog_BufferAppend(*log, "second\r\n");
    EXPECT_EQ(Text(*log), "Application Log started\r\nsecond\r\n");
    EXPECT_EQ(log->changes, 2u);
    std::string out;
    EXPECT_TRUE(ViewLog_BufferTake(*log, out));
    EXPECT_EQ(out, Text(*log));
    EXPECT_EQ(log->changes, 0u);
    EXPECT_FALSE(ViewLog_BufferTake(*log, out));
    ViewLog_BufferAppend(*log, nullptr);
    EXPECT_EQ(log->changes, 0u);
}

TEST(LogBuffer, DropsOldestWholeLinesToFit)
{
    auto log = std::make_unique<LogBuffer>();
    // 3276 numbered lines of 10 characters: 32760 in all.
    std::string start;
    for (int i = 0; i < 3276; ++i) {
        char line[16];
        std::snprintf(line, sizeof line, "%08d\r\n", i);
        start += line;
    }
    ASSERT_EQ(start.size(), 32760u);
    Fill(*log, start);
    const std::string add(20, 'n');
    ViewLog_BufferAppend(*log, add.c_str());
    // 32760 + 20 and 32750 + 20 do not fit under 32768; 32740 + 20 does: two lines go.
    EXPECT_EQ(log->length, 32740u + 20);
    EXPECT_TRUE(Text(*log) == start.substr(20) + add);
    EXPECT_EQ(std::string(log->text.data(), 10), "00000002\r\n");
    EXPECT_EQ(log->text[log->length], '\0');
}

TEST(LogBuffer, LogWithoutLineEndsIsEmptiedByTheNextAppend)
{
    auto log = std::make_unique<LogBuffer>();
    Fill(*log, std::string(32767, 'q'));
    ViewLog_BufferAppend(*log, "next\r\n");
    EXPECT_EQ(Text(*log), "next\r\n");
    EXPECT_EQ(log->changes, 2u);   // the clearing and the append
}

TEST(LogBuffer, TextTooLongEmptiesTheLogAndIsNotKept)
{
    struct Case {
        size_t size;
        bool kept;
    };
    const Case cases[] = {{32767, true}, {32768, false}, {40000, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        auto log = std::make_unique<LogBuffer>();
        ViewLog_BufferAppend(*log, "old line\r\n");
        const std::string big(c.size, 'b');
        ViewLog_BufferAppend(*log, big.c_str());
        if (c.kept) {
            EXPECT_EQ(Text(*log), big);
        } else {
            EXPECT_EQ(log->length, 0u);
            EXPECT_EQ(log->text[0], '\0');
        }
    }
}

TEST(LogBuffer, LineEndRuleCanPushATextOverTheLimit)
{
    // 16384 bare LFs grow to 32768 characters: too long once normalised.
    auto log = std::make_unique<LogBuffer>();
    ViewLog_BufferAppend(*log, "keep\r\n");
    const std::string lfs(16384, '\n');
    ViewLog_BufferAppend(*log, lfs.c_str());
    EXPECT_EQ(log->length, 0u);
}

TEST(LogBuffer, WriterThreadAgainstRefresh)
{
    auto log = std::make_unique<LogBuffer>();
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < 20000; ++i) ViewLog_BufferAppend(*log, "worker line\n");
        done = true;
    });
    std::string out;
    while (!done.load()) {
        if (ViewLog_BufferTake(*log, out)) {
            // Every copy holds whole lines only.
            ASSERT_EQ(out.size() % 13, 0u);
            ASSERT_LT(out.size(), LOG_BUFFER_SIZE);
        }
    }
    writer.join();
    ViewLog_BufferTake(*log, out);
    EXPECT_EQ(out.size() % 13, 0u);
    EXPECT_GT(out.size(), 32768u - 13 - 1);
}

TEST(ViewLogStandIn, PrintGoesToTheRecordedLog)
{
    ViewLog_RecordClear();
    ViewLog_Print("Connected with target\n");
    EXPECT_EQ(ViewLog_RecordedText(), "Connected with target\r\n");
    ViewLog_RecordClear();
    EXPECT_EQ(ViewLog_RecordedText(), "");
}

}  // namespace
