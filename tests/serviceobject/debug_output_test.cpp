// The debug output: every sink's line forms byte for byte under a test
// clock, the sink chosen from the configured words, the stamped log names,
// and whole lines from many threads.
#include "TestSupport.h"

#include "debug/DebugLog.h"
#include "debug/DebugOutputChoice.h"
#include "debug/DebugStd.h"
#include "debug/DebugStd_TID.h"

#include "platform/debug.h"
#include "platform/error.h"
#include "platform/thread.h"
#include "platform/time.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

namespace {

// Local 12/09/26 09:05:12, UTC 7:05:12.045.
void testLocal(SYSTEMTIME* time) { *time = {2026, 12, 3, 9, 9, 5, 12, 45}; }
void testUtc(SYSTEMTIME* time) { *time = {2026, 12, 3, 9, 7, 5, 12, 45}; }

class DebugOutputTest : public ::testing::Test {
protected:
    DebugOutputTest()
    {
        platform::setLocalTimeSourceForTesting(&testLocal);
        platform::setSystemTimeSourceForTesting(&testUtc);
        platform::setDebugOutputSink([this](const std::string& text) {
            std::lock_guard lock(m_mutex);
            m_output.push_back(text);
        });
    }
    ~DebugOutputTest() override
    {
        platform::setDebugOutputSink({});
        platform::setLocalTimeSourceForTesting(nullptr);
        platform::setSystemTimeSourceForTesting(nullptr);
    }
    std::vector<std::string> takeOutput()
    {
        std::lock_guard lock(m_mutex);
        return std::exchange(m_output, {});
    }

    // Runs the six writing operations on `sink`.
    static void writeAll(ZRIDbgBase& sink)
    {
        sink.Log("hello");
        sink.LogText("Tag.Op(): ", "text");
        sink.LogText2("Tag.Op(): ", "text", "more");
        sink.LogNumber("Tag.Op(): ", 42);
        sink.LogTextNumber("Tag.Op(): ", "count", -5);
        sink.LogError("Tag.Op(): ", ERROR_FILE_NOT_FOUND);
        sink.LogReserved("ignored");
    }

    std::mutex m_mutex;
    std::vector<std::string> m_output;
};

std::string systemText(DWORD code)
{
    char text[512] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 1024, text,
                   sizeof text, nullptr);
    return text;
}

TEST_F(DebugOutputTest, DebuggerSinkLines)
{
    DebugStd sink;
    EXPECT_EQ(sink.GetType(), 1);
    writeAll(sink);
    const std::string stamp = "12/09/26 09:05:12";
    EXPECT_EQ(takeOutput(), (std::vector<std::string>{
                                stamp + ", hello \r\n",
                                stamp + ", Tag.Op():  text \r\n",
                                stamp + ", Tag.Op():  text, more \r\n",
                                stamp + ", Tag.Op():  42 \r\n",
                                stamp + ", Tag.Op():  count, -5 \r\n",
                                stamp + ", Tag.Op():  failed with error 2: " + systemText(2) + " \r\n",
                            }));
}

TEST_F(DebugOutputTest, ThreadSinkLinesCarryTheThreadAndTheUtcTime)
{
    DebugStd_TID sink;
    EXPECT_EQ(sink.GetType(), 2);
    writeAll(sink);
    const std::string head = "TID:" + std::to_string(GetCurrentThreadId()) + ", 7:5:12:45, ";
    EXPECT_EQ(takeOutput(), (std::vector<std::string>{
                                head + "hello, \r\n",
                                head + "Tag.Op():  text \r\n",
                                head + "Tag.Op():  text more\r\n",
                                head + "Tag.Op():  42 \r\n",
                                head + "Tag.Op():  count -5\r\n",
                                head + "Tag.Op():  failed with error 2: " + systemText(2) + " \r\n",
                            }));
}

TEST_F(DebugOutputTest, FileSinkAppendsStampedLinesToTheStampedName)
{
    vxtest::TempDir dir;
    const std::string configured = dir.file("so.log");
    {
        DebugLog sink(configured.c_str());
        EXPECT_EQ(sink.GetType(), 3);
        ASSERT_TRUE(sink.IsOpen());
        EXPECT_EQ(sink.FileName(), dir.file("soD12_09_26T09_05_12.log"));
        writeAll(sink);
    }
    const std::string stamp = "12/09/26 09:05:12";
    EXPECT_EQ(vxtest::readFile(dir.file("soD12_09_26T09_05_12.log")),
              stamp + ", hello, \r\n" + stamp + ", Tag.Op():  text \r\n" + stamp + ", Tag.Op():  text, more \r\n" +
                  stamp + ", Tag.Op():  42 \r\n" + stamp + ", Tag.Op():  count, -5 \r\n" + stamp +
                  ", Tag.Op():  failed with error 2: " + systemText(2) + " \r\n");
    EXPECT_TRUE(takeOutput().empty());

    // A second sink of the same second appends to the same file.
    {
        DebugLog again(configured.c_str());
        again.Log("again");
    }
    EXPECT_NE(vxtest::readFile(dir.file("soD12_09_26T09_05_12.log")).find(stamp + ", again, \r\n"),
              std::string::npos);
}

TEST_F(DebugOutputTest, SilentSinkWritesNothing)
{
    ZRIDbgBase sink;
    EXPECT_EQ(sink.GetType(), 0);
    writeAll(sink);
    EXPECT_TRUE(takeOutput().empty());
}

TEST(DebugLogName, StampGoesBeforeTheExtensionOfTheFileItself)
{
    const std::string stamp = "12/09/26 09:05:12";
    const struct {
        const char* configured;
        const char* stamped;
    } cases[] = {
        {"C:\\so.log", "C:\\soD12_09_26T09_05_12.log"},
        {"so.log", "soD12_09_26T09_05_12.log"},
        {"logs.d/so.log", "logs.d/soD12_09_26T09_05_12.log"},
        {"/var/a.b/c.d/trace", "/var/a.b/c.d/traceD12_09_26T09_05_12"},
        {"noextension", "noextensionD12_09_26T09_05_12"},
        {"two.dots.log", "twoD12_09_26T09_05_12.dots.log"},
        {"", "D12_09_26T09_05_12"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DebugLog::StampedName(c.configured, stamp), c.stamped) << c.configured;
}

TEST_F(DebugOutputTest, FileInAFolderWithADotOpensAndOverlongNamesOpenNothing)
{
    vxtest::TempDir dir;
    std::filesystem::create_directories(dir.path() / "logs.d");
    DebugLog dotted(dir.file("logs.d/so.log").c_str());
    EXPECT_TRUE(dotted.IsOpen());
    dotted.Log("x");
    EXPECT_EQ(vxtest::readFile(dir.file("logs.d/soD12_09_26T09_05_12.log")), "12/09/26 09:05:12, x, \r\n");

    // The stamp adds 18 characters: a name of 1006 fits, one of 1007 not.
    const std::string base = dir.file("");
    const std::string fits = base + std::string(1006 - base.size(), 'a');
    const std::string over = base + std::string(1007 - base.size(), 'a');
    EXPECT_EQ(DebugLog::StampedName(fits, "12/09/26 09:05:12").size(), DebugLog::kMaxName);
    DebugLog refused(over.c_str());
    EXPECT_FALSE(refused.IsOpen());
    EXPECT_TRUE(refused.FileName().empty());
    refused.Log("nothing");  // harmless
    std::error_code error;
    EXPECT_FALSE(std::filesystem::exists(over + "D12_09_26T09_05_12", error));

    DebugLog missingFolder(dir.file("no/such/folder/so.log").c_str());
    EXPECT_FALSE(missingFolder.IsOpen());
    missingFolder.LogText("t", "nothing");
}

TEST_F(DebugOutputTest, SinkChosenByTheConfiguredWords)
{
    vxtest::TempDir dir;
    const std::string file = dir.file("chosen.log");
    const struct {
        const char* type;
        std::string file;
        int sink;
    } cases[] = {
        {"DEFAULT", "", 1},       {"default", "", 1},      {"THREAD ID", "", 2}, {"thread id", "", 2},
        {"Thread Id", "", 2},     {"THREAD", "", 0},       {"THREAD ID ", "", 0}, {"LOG FILE", file, 3},
        {"log file", file, 3},    {"LOG FILE", "", 0},     {"", "", 0},          {"NONE", file, 0},
    };
    for (const auto& c : cases) {
        std::unique_ptr<ZRIDbgBase> sink(CreateDebugOutput(c.type, c.file));
        ASSERT_NE(sink, nullptr);
        EXPECT_EQ(sink->GetType(), c.sink) << "'" << c.type << "' '" << c.file << "'";
    }
}

// 8 threads write through one file sink at once: every line arrives whole.
TEST_F(DebugOutputTest, LinesOfManyThreadsNeverInterleave)
{
    vxtest::TempDir dir;
    constexpr int kThreads = 8;
    constexpr int kLines = 250;
    {
        DebugLog sink(dir.file("threads.log").c_str());
        ASSERT_TRUE(sink.IsOpen());
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&sink, t] {
                const std::string text(40 + t * 7, static_cast<char>('a' + t));
                for (int i = 0; i < kLines; ++i)
                    sink.LogText2("Tag(): ", std::to_string(t).c_str(), text.c_str());
            });
        for (auto& thread : threads)
            thread.join();
    }
    std::istringstream in(vxtest::readFile(dir.file("threadsD12_09_26T09_05_12.log")));
    const std::regex line(R"(12/09/26 09:05:12, Tag\(\):  ([0-7]), ([a-h]+) \r)");
    int count = 0;
    for (std::string text; std::getline(in, text);) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(text, match, line)) << text;
        const int t = std::stoi(match[1]);
        EXPECT_EQ(match[2].str(), std::string(40 + t * 7, static_cast<char>('a' + t)));
        ++count;
    }
    EXPECT_EQ(count, kThreads * kLines);
}

TEST(FormatSystemError, FillsTheCallersBufferOnly)
{
    const std::string whole = FormatSystemError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(whole, "failed with error 5: " + systemText(5));
    char small[12];
    std::memset(small, 'x', sizeof small);
    FormatSystemError(ERROR_ACCESS_DENIED, small, 10);
    EXPECT_STREQ(small, "failed wi");
    EXPECT_EQ(small[10], 'x');  // nothing past the size given
    EXPECT_EQ(FormatSystemError(0xDEADBEEF), "failed with error -559038737: ");
    FormatSystemError(5, nullptr, 10);  // nothing to fill
}

}  // namespace
