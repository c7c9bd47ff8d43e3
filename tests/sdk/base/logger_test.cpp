// The SDK logger: line format, level masks, the four outputs, output
// sharing, whole lines under concurrency, re-entrant callbacks, the default
// logger and the scope tracer.
#include "base/CLogHelper.h"
#include "base/CLogger.h"
#include "base/CScanningSDK.h"
#include "base/StringUtils.h"
#include "TestSupport.h"

#include "platform/debug.h"
#include "platform/thread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

namespace {

std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// Lines delivered to callback outputs, by the outputs' user value.
struct CapturedLines {
    std::mutex mutex;
    std::vector<std::pair<int, std::string>> lines;

    std::vector<std::string> of(int user)
    {
        std::lock_guard<std::mutex> lock(mutex);
        std::vector<std::string> result;
        for (const auto& entry : lines) {
            if (entry.first == user) {
                result.push_back(entry.second);
            }
        }
        return result;
    }
};

CapturedLines g_captured;

void captureLine(int user, std::string line)
{
    std::lock_guard<std::mutex> lock(g_captured.mutex);
    g_captured.lines.emplace_back(user, std::move(line));
}

// The message of a line: what follows "<date> <time>,tid: <n>,<level>,".
std::string messageOf(const std::string& line)
{
    std::size_t at = 0;
    for (int commas = 0; commas < 3; ++commas) {
        at = line.find(',', at) + 1;
    }
    return line.substr(at);
}

// Reads a decimal number of `minDigits` to `maxDigits` digits, without a
// leading zero, at `at`.
bool readNumber(const std::string& text, std::size_t& at, std::size_t minDigits, std::size_t maxDigits)
{
    const std::size_t begin = at;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        ++at;
    }
    const std::size_t digits = at - begin;
    return digits >= minDigits && digits <= maxDigits && (digits == 1 || text[begin] != '0');
}

bool readLiteral(const std::string& text, std::size_t& at, const std::string& literal)
{
    if (text.compare(at, literal.size(), literal) != 0) {
        return false;
    }
    at += literal.size();
    return true;
}

// Whether `line` is "month/day/year hour:minute:second.ms,tid: <tid>,<level>,
// <message>" with every number free of leading zeros.
::testing::AssertionResult isLogLine(const std::string& line, DWORD threadId, int level, const std::string& message)
{
    struct Field {
        std::size_t minDigits;
        std::size_t maxDigits;
        const char* then;
    };
    const Field stamp[] = {{1, 2, "/"}, {1, 2, "/"}, {4, 4, " "}, {1, 2, ":"}, {1, 2, ":"}, {1, 2, "."}, {1, 3, ","}};
    std::size_t at = 0;
    for (const Field& field : stamp) {
        if (!readNumber(line, at, field.minDigits, field.maxDigits) || !readLiteral(line, at, field.then)) {
            return ::testing::AssertionFailure() << "bad time stamp in \"" << line << '"';
        }
    }
    const std::string rest = "tid: " + std::to_string(threadId) + "," + std::to_string(level) + "," + message;
    if (line.substr(at) != rest) {
        return ::testing::AssertionFailure() << '"' << line << "\" does not end in \"" << rest << '"';
    }
    return ::testing::AssertionSuccess();
}

// Every test leaves the SDK with its default logger, as it found it.
class LoggerTest : public ::testing::Test {
protected:
    void SetUp() override { m_defaultMask = CScanningSDK::getLogger()->getMask(); }
    void TearDown() override
    {
        CScanningSDK::SetLogger(nullptr);
        CScanningSDK::getLogger()->setMask(m_defaultMask);
    }

    DWORD m_defaultMask = 0;
};

TEST(LogLineFormat, NumbersWithoutLeadingZerosAndLevelInSignedDecimal)
{
    struct Case {
        SYSTEMTIME time;
        DWORD threadId;
        int level;
        const char* message;
        const char* expected;
    };
    const Case cases[] = {
        {{2026, 12, 3, 9, 7, 5, 3, 42}, 3184, 0x1, "CStopper::setTimeout, Set Timeout:500",
         "12/9/2026 7:5:3.42,tid: 3184,1,CStopper::setTimeout, Set Timeout:500"},
        {{2027, 1, 5, 1, 0, 0, 0, 0}, 0xFFFFFFFFu, 0x100, "x", "1/1/2027 0:0:0.0,tid: 4294967295,256,x"},
        {{1999, 12, 5, 31, 23, 59, 59, 999}, 1, static_cast<int>(0x80000000u), "",
         "12/31/1999 23:59:59.999,tid: 1,-2147483648,"},
        {{2026, 10, 1, 10, 10, 10, 10, 100}, 7, 0x20, "a, b", "10/10/2026 10:10:10.100,tid: 7,32,a, b"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CLogger::formatLine(c.time, c.threadId, c.level, c.message), c.expected);
    }
}

TEST_F(LoggerTest, EveryLevelWritesExactlyTheBitsOfItsMask)
{
    struct Case {
        int level;
        DWORD mask;
    };
    const Case cases[] = {
        {1, 0x1FF}, {2, 0x1BE}, {3, 0x19C}, {4, 0x118}, {5, 0x10}, {6, 0xFFFFFFFFu},
        {0, 0}, {7, 0}, {-1, 0},
    };
    const DWORD tid = GetCurrentThreadId();
    for (const Case& c : cases) {
        SCOPED_TRACE("level " + std::to_string(c.level));
        const int user = 100 + c.level;
        CLogger capture = CLogger::createCustomizeLogger(user, &captureLine);
        capture.setMask(0);
        CScanningSDK::SetLogger(&capture);
        CScanningSDK::setLogLevel(c.level);
        EXPECT_EQ(capture.getMask(), c.mask);
        EXPECT_EQ(CScanningSDK::getLogLevel(), c.mask == 0 ? 0 : c.level);

        std::vector<std::pair<int, std::string>> expected;
        for (int bit = 0; bit < 32; ++bit) {
            const int level = static_cast<int>(1u << bit);
            EXPECT_TRUE(CScanningSDK::getLogger()->log("bit " + std::to_string(bit), level));
            if ((c.mask & (1u << bit)) != 0) {
                expected.emplace_back(level, "bit " + std::to_string(bit));
            }
        }
        const std::vector<std::string> lines = g_captured.of(user);
        ASSERT_EQ(lines.size(), expected.size());
        for (std::size_t i = 0; i < lines.size(); ++i) {
            EXPECT_TRUE(isLogLine(lines[i], tid, expected[i].first, expected[i].second));
        }
        CScanningSDK::SetLogger(nullptr);
    }
}

TEST_F(LoggerTest, GetLogLevelAnswersZeroForAMaskOfNoLevel)
{
    CLogger capture = CLogger::createCustomizeLogger(1, &captureLine);
    CScanningSDK::SetLogger(&capture);
    for (DWORD mask : {0x1u, 0x1FEu, 0xFFFFu, 0x11Fu}) {
        capture.setMask(mask);
        EXPECT_EQ(CScanningSDK::getLogLevel(), 0) << mask;
    }
    capture.setMask(0xFFFFFFFFu);
    EXPECT_EQ(CScanningSDK::getLogLevel(), 6);
}

TEST_F(LoggerTest, BitOutsideTheMaskWritesNothingAndAnswersTrue)
{
    CLogger capture = CLogger::createCustomizeLogger(2, &captureLine);
    capture.setMask(0x8);
    EXPECT_TRUE(capture.log("hidden", 0x1));
    EXPECT_TRUE(capture.log("shown", 0x8));
    const auto lines = g_captured.of(2);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(messageOf(lines[0]), "shown");
}

TEST_F(LoggerTest, LoggerWithoutOutputAnswersFalse)
{
    CLogger none;
    none.setMask(0xFFFFFFFFu);
    EXPECT_FALSE(none.log("text", 0x1));
    EXPECT_FALSE(none.log("text", 0x0));
}

TEST_F(LoggerTest, CopyTakesTheMaskValueAndSharesTheOutput)
{
    CLogger original = CLogger::createCustomizeLogger(3, &captureLine);
    original.setMask(0x1BE);
    CLogger copy(original);
    original.setMask(0x1);
    EXPECT_EQ(copy.getMask(), 0x1BEu);
    EXPECT_EQ(copy.getOutput(), original.getOutput());

    CLogger assigned;
    assigned = original;
    EXPECT_EQ(assigned.getMask(), 0x1u);
    EXPECT_EQ(assigned.getOutput(), original.getOutput());
}

TEST_F(LoggerTest, FileNamesDifferingInCaseShareOneOutputAndOneFile)
{
    vxtest::TempDir dir;
    CLogger upper = CLogger::createFileLogger(dir.file("Scan.LOG"));
    CLogger lower = CLogger::createFileLogger(dir.file("scan.log"));
    ASSERT_NE(upper.getOutput(), nullptr);
    EXPECT_EQ(upper.getOutput(), lower.getOutput());
    upper.setMask(0x8);
    lower.setMask(0x8);
    EXPECT_TRUE(upper.log("one", 0x8));
    EXPECT_TRUE(lower.log("two", 0x8));

    EXPECT_FALSE(std::filesystem::exists(dir.file("Scan.LOG")));
    const auto lines = splitLines(vxtest::readFile(dir.file("scan.log")));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(messageOf(lines[0]), "one");
    EXPECT_EQ(messageOf(lines[1]), "two");

    const auto keys = CLogger::outputKeys();
    const std::string key = std::filesystem::absolute(dir.file("scan.log")).lexically_normal().string();
    EXPECT_EQ(std::count(keys.begin(), keys.end(), key), 1);
}

TEST_F(LoggerTest, OnlyTheFileNameIsLowerCasedNotItsFolders)
{
    vxtest::TempDir dir;
    std::filesystem::create_directory(dir.path() / "Logs");
    CLogger logger = CLogger::createFileLogger(dir.file("Logs/Trace.LOG"));
    ASSERT_NE(logger.getOutput(), nullptr);
    logger.setMask(0x8);
    EXPECT_TRUE(logger.log("kept", 0x8));
    const auto lines = splitLines(vxtest::readFile(dir.file("Logs/trace.log")));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(messageOf(lines[0]), "kept");
}

TEST_F(LoggerTest, FileIsEmptiedWhenFirstOpened)
{
    vxtest::TempDir dir;
    std::ofstream(dir.file("old.log")) << "left from an earlier run\n";
    CLogger logger = CLogger::createFileLogger(dir.file("old.log"));
    ASSERT_NE(logger.getOutput(), nullptr);
    EXPECT_EQ(vxtest::readFile(dir.file("old.log")), "");
}

TEST_F(LoggerTest, FileThatCannotBeOpenedGivesALoggerWithoutOutput)
{
    vxtest::TempDir dir;
    CLogger logger = CLogger::createFileLogger(dir.file("no-such-folder/x.log"));
    logger.setMask(0xFFFFFFFFu);
    EXPECT_EQ(logger.getOutput(), nullptr);
    EXPECT_FALSE(logger.log("lost", 0x8));
}

// Two writers on one file (as two processes would be) append; neither
// overwrites the other's lines.
TEST(LogFile, TwoWritersOnOneFileKeepEachOthersLines)
{
    vxtest::TempDir dir;
    CLogFile first(dir.file("shared.log"));
    CLogFile second(dir.file("shared.log"));
    ASSERT_TRUE(first.isOpened());
    ASSERT_TRUE(second.isOpened());
    for (int i = 0; i < 10; ++i) {
        EXPECT_TRUE(first.write("first " + std::to_string(i)));
        EXPECT_TRUE(second.write("second " + std::to_string(i)));
    }
    const auto lines = splitLines(vxtest::readFile(dir.file("shared.log")));
    ASSERT_EQ(lines.size(), 20u);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(lines[2 * i], "first " + std::to_string(i));
        EXPECT_EQ(lines[2 * i + 1], "second " + std::to_string(i));
    }
}

TEST(LogFile, EmptyNameOpensTheDefaultFile)
{
    vxtest::TempDir dir;
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    {
        CLogFile file("");
        EXPECT_TRUE(file.isOpened());
        EXPECT_TRUE(file.write("x"));
    }
    std::filesystem::current_path(previous);
    EXPECT_EQ(vxtest::readFile(dir.file("Varnex_KDR_Log.txt")), "x\n");
}

TEST_F(LoggerTest, LinesFromManyThreadsNeverInterleave)
{
    vxtest::TempDir dir;
    CLogger logger = CLogger::createFileLogger(dir.file("threads.log"));
    ASSERT_NE(logger.getOutput(), nullptr);
    logger.setMask(0x4);
    constexpr int kThreads = 8;
    constexpr int kLines = 400;
    const std::string padding(200, 'p');
    std::vector<std::thread> threads;
    std::vector<DWORD> threadIds(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            threadIds[t] = GetCurrentThreadId();
            CLogger mine(logger);
            for (int i = 0; i < kLines; ++i) {
                mine.log("T" + std::to_string(t) + " L" + std::to_string(i) + " " + padding, 0x4);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }

    const auto lines = splitLines(vxtest::readFile(dir.file("threads.log")));
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kLines));
    std::set<std::pair<int, int>> seen;
    for (const auto& line : lines) {
        const std::string message = messageOf(line);
        int thread = -1;
        int index = -1;
        char rest[256] = {};
        ASSERT_EQ(std::sscanf(message.c_str(), "T%d L%d %255s", &thread, &index, rest), 3) << line;
        ASSERT_EQ(rest, padding) << line;
        ASSERT_TRUE(thread >= 0 && thread < kThreads) << line;
        ASSERT_TRUE(isLogLine(line, threadIds[thread], 4, message));
        seen.emplace(thread, index);
    }
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kLines));
}

TEST_F(LoggerTest, ConsoleOutputWritesWholeLinesToStandardOutput)
{
    CLogger first = CLogger::createConsoleLogger();
    CLogger second = CLogger::createConsoleLogger();
    EXPECT_EQ(first.getOutput(), second.getOutput());
    first.setMask(0x2);
    ::testing::internal::CaptureStdout();
    EXPECT_TRUE(first.log("to the console", 0x2));
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_TRUE(isLogLine(out, GetCurrentThreadId(), 2, "to the console\n"));
}

TEST_F(LoggerTest, DebugViewOutputPassesEachLineWholeToTheDebugger)
{
    std::vector<std::string> texts;
    platform::DebugOutputSink previous =
        platform::setDebugOutputSink([&texts](const std::string& text) { texts.push_back(text); });
    CLogger first = CLogger::createDebugViewLogger();
    CLogger second = CLogger::createDebugViewLogger();
    EXPECT_EQ(first.getOutput(), second.getOutput());
    first.setMask(0x40);
    EXPECT_TRUE(first.log("to the debugger", 0x40));
    platform::setDebugOutputSink(previous);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_TRUE(isLogLine(texts[0], GetCurrentThreadId(), 64, "to the debugger\n"));
}

TEST_F(LoggerTest, CallbackOutputGetsUserValueAndLine)
{
    CLogger logger = CLogger::createCustomizeLogger(42, &captureLine);
    logger.setMask(0x10);
    EXPECT_TRUE(logger.log("to the callback", 0x10));
    const auto lines = g_captured.of(42);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(isLogLine(lines[0], GetCurrentThreadId(), 16, "to the callback"));

    CLogger without = CLogger::createCustomizeLogger(43, nullptr);
    without.setMask(0x10);
    EXPECT_NE(without.getOutput(), nullptr);
    EXPECT_FALSE(without.log("nowhere", 0x10));
}

TEST_F(LoggerTest, EachCallbackLoggerGetsItsOwnOutputUnderACountedKey)
{
    const std::string prefix = "--QZT--KDR--CUSTOMIZE--";
    auto customizeKeys = [&prefix] {
        std::set<std::string> keys;
        for (const auto& key : CLogger::outputKeys()) {
            if (key.rfind(prefix, 0) == 0) {
                keys.insert(key);
            }
        }
        return keys;
    };
    const auto before = customizeKeys();
    CLogger first = CLogger::createCustomizeLogger(1, &captureLine);
    CLogger second = CLogger::createCustomizeLogger(1, &captureLine);
    EXPECT_NE(first.getOutput(), second.getOutput());

    std::vector<std::string> added;
    for (const auto& key : customizeKeys()) {
        if (before.count(key) == 0) {
            added.push_back(key);
        }
    }
    ASSERT_EQ(added.size(), 2u);
    std::vector<unsigned long> numbers;
    for (const auto& key : added) {
        const std::string digits = key.substr(prefix.size());
        ASSERT_FALSE(digits.empty());
        ASSERT_EQ(digits.find_first_not_of("0123456789"), std::string::npos) << key;
        numbers.push_back(std::stoul(digits));
    }
    std::sort(numbers.begin(), numbers.end());
    EXPECT_EQ(numbers[1], numbers[0] + 1);
    if (before.empty()) {
        EXPECT_EQ(numbers[0], 0u);  // the first callback logger of the process
    }
}

// The console and debugger outputs are registered under fixed keys.
TEST_F(LoggerTest, FixedKeysForConsoleAndDebugger)
{
    CLogger::createConsoleLogger();
    CLogger::createDebugViewLogger();
    const auto keys = CLogger::outputKeys();
    EXPECT_EQ(std::count(keys.begin(), keys.end(), "--QZT--KDR--CONSOLE--"), 1);
    EXPECT_EQ(std::count(keys.begin(), keys.end(), "--QZT--KDR--DEBUGVIEW--"), 1);
}

CLogger* g_reentrantLogger = nullptr;
std::vector<std::string> g_reentrantLines;

void logAgainFromInside(int, std::string line)
{
    g_reentrantLines.push_back(line);
    if (g_reentrantLines.size() == 1) {
        g_reentrantLogger->log("from inside", 0x1);
    }
}

TEST_F(LoggerTest, CallbackThatLogsThroughTheSameLoggerGetsBothLines)
{
    CLogger logger = CLogger::createCustomizeLogger(0, &logAgainFromInside);
    logger.setMask(0x1);
    g_reentrantLogger = &logger;
    EXPECT_TRUE(logger.log("outside", 0x1));
    ASSERT_EQ(g_reentrantLines.size(), 2u);
    EXPECT_EQ(messageOf(g_reentrantLines[0]), "outside");
    EXPECT_EQ(messageOf(g_reentrantLines[1]), "from inside");
}

TEST_F(LoggerTest, SetLoggerSwitchesTheCurrentLoggerAndLogsTheVersion)
{
    EXPECT_EQ(CScanningSDK::getVersion(), "3.1.04");
    CLogger* defaultLogger = CScanningSDK::getLogger();
    const DWORD defaultMask = defaultLogger->getMask();
    CLogger capture = CLogger::createCustomizeLogger(5, &captureLine);
    capture.setMask(0x1);
    CScanningSDK::SetLogger(&capture);
    EXPECT_EQ(CScanningSDK::getLogger(), &capture);
    const auto lines = g_captured.of(5);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(isLogLine(lines[0], GetCurrentThreadId(), 1, "CScanningSDK::SetLogger, SDK version: 3.1.04loaded!"));

    CScanningSDK::setLogLevel(3);
    EXPECT_EQ(capture.getMask(), 0x19Cu);
    EXPECT_EQ(defaultLogger->getMask(), defaultMask);

    CScanningSDK::SetLogger(nullptr);
    EXPECT_EQ(CScanningSDK::getLogger(), defaultLogger);
}

TEST_F(LoggerTest, ScopeTracerLogsEnterAndExitWhileTraceIsOn)
{
    CLogger capture = CLogger::createCustomizeLogger(6, &captureLine);
    CScanningSDK::SetLogger(&capture);
    capture.setMask(0x1);
    {
        CLogHelper trace("CConnection::connect");
    }
    {
        CLogHelper unnamed;
    }
    capture.setMask(0x1FE);
    {
        CLogHelper quiet("CConnection::disconnect");
    }
    std::vector<std::string> messages;
    for (const auto& line : g_captured.of(6)) {
        messages.push_back(messageOf(line));
    }
    const std::vector<std::string> expected = {
        "CConnection::connect enter now.",
        "CConnection::connect exit now.",
        "CLogHelper::CLogHelper,  enter now.",
        " exit now.",
    };
    EXPECT_EQ(messages, expected);
}

TEST_F(LoggerTest, DefaultLoggerWritesToScanningSdkLogUntilOutputsAreReleased)
{
    // The default logger's file was created in the current folder when the
    // library was loaded.
    const std::string path = "scanningsdk.log";
    ASSERT_TRUE(std::filesystem::exists(path));
    CLogger* logger = CScanningSDK::getLogger();
    ASSERT_NE(logger->getOutput(), nullptr);

    CScanningSDK::setLogLevel(1);
    const std::string marker = "default logger " + wstringToString(generateUniqueName());
    SDK_LOG(logbit::error, "LoggerTest::default", marker);
    const auto lines = splitLines(vxtest::readFile(path));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(messageOf(lines.back()), "LoggerTest::default, " + marker);

    CLogger::releaseOutputs();
    EXPECT_EQ(logger->getOutput(), nullptr);
    EXPECT_FALSE(logger->log("after release", 0x8));
    EXPECT_TRUE(CLogger::outputKeys().empty());
    EXPECT_EQ(splitLines(vxtest::readFile(path)).size(), lines.size());

    // New loggers can be made after a release.
    vxtest::TempDir dir;
    CLogger again = CLogger::createFileLogger(dir.file("again.log"));
    again.setMask(0x8);
    EXPECT_TRUE(again.log("again", 0x8));
}

}  // namespace
