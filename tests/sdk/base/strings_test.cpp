// String and system helpers.
#include "base/StringUtils.h"

#include "platform/error.h"
#include "platform/thread.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>

namespace {

TEST(IntToString, SignedDecimal)
{
    const std::pair<int, const char*> cases[] = {
        {0, "0"}, {-1, "-1"}, {1167, "1167"}, {2147483647, "2147483647"}, {-2147483647 - 1, "-2147483648"},
    };
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(intToString(value), text);
    }
}

TEST(SplitString, PiecesAndDelimiterCount)
{
    struct Case {
        const char* text;
        const char* delimiter;
        bool keepEmpty;
        int count;
        std::vector<std::string> pieces;
    };
    const Case cases[] = {
        {"a,b,,c", ",", false, 3, {"a", "b", "c"}},
        {"a,b,,c", ",", true, 3, {"a", "b", "", "c"}},
        {"a,", ",", false, 1, {"a"}},
        {"a,", ",", true, 1, {"a", ""}},
        {",a", ",", false, 1, {"a"}},
        {",", ",", true, 1, {"", ""}},
        {"abc", ",", true, 0, {}},  // no delimiter: no pieces, not the whole text
        {"", ",", true, 0, {}},
        {"abc", "", true, 0, {}},
        {"mode: app\r\nboot: 1\r\n", "\r\n", false, 2, {"mode: app", "boot: 1"}},
        {"a\rb\nc", "\r\n", false, 0, {}},
        {"aaa", "aa", true, 1, {"", "a"}},  // each search starts after the previous match
        {"x--y----z", "--", false, 3, {"x", "y", "z"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << '"' << c.text << "\" at \"" << c.delimiter << '"');
        std::vector<std::string> pieces;
        EXPECT_EQ(splitString(c.text, c.delimiter, pieces, c.keepEmpty), c.count);
        EXPECT_EQ(pieces, c.pieces);
    }
}

TEST(SplitString, AppendsToWhatTheVectorHolds)
{
    std::vector<std::string> pieces = {"before"};
    EXPECT_EQ(splitString("x;y", ";", pieces, false), 1);
    EXPECT_EQ(pieces, (std::vector<std::string>{"before", "x", "y"}));
}

TEST(ParseKeyValuePairs, KeyBeforeTheFirstSeparatorValueAfterOneBlank)
{
    using Map = std::map<std::string, std::string>;
    EXPECT_EQ(parseKeyValuePairs({"mode: app", "mode2:app", "boot-date:", "nothing here"}, ":"),
              (Map{{"mode", "app"}, {"mode2", "app"}, {"boot-date", ""}}));
    EXPECT_EQ(parseKeyValuePairs({"time: 12:30:01", "a:  two blanks", ": no key", "a: second"}, ":"),
              (Map{{"time", "12:30:01"}, {"a", " two blanks"}, {"", "no key"}}));
    EXPECT_EQ(parseKeyValuePairs({"k=v"}, "=="), (Map{{"k", "v"}}));  // one character of the separator
    EXPECT_TRUE(parseKeyValuePairs({"k:v"}, "").empty());
}

TEST(ParseKeyValueText, LinesEndedByCrLf)
{
    using Map = std::map<std::string, std::string>;
    struct Case {
        const char* text;
        Map pairs;
    };
    const Case cases[] = {
        {"Serial: S123\r\nApp Version: 1.02\r\n", {{"Serial", "S123"}, {"App Version", "1.02"}}},
        {"a: 1\r\n\r\nb: 2", {{"a", "1"}, {"b", "2"}}},
        {"a: 1\nb: 2\r\n", {{"a", "1\nb: 2"}}},
        {"single: line", {}},  // no CR LF at all: nothing
        {"", {}},
        {"\r\n", {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parseKeyValueText(c.text), c.pairs) << c.text;
    }
}

TEST(WideConversions, CharacterByCharacterRoundTrip)
{
    std::string all;
    for (int value = 0; value < 256; ++value) {
        all.push_back(static_cast<char>(value));
    }
    const std::wstring wide = stringToWString(all);
    ASSERT_EQ(wide.size(), 256u);
    for (int value = 0; value < 256; ++value) {
        EXPECT_EQ(static_cast<int>(wide[value]), value);
    }
    EXPECT_EQ(wstringToString(wide), all);
    EXPECT_EQ(convertToString(convertToWString("\\\\.\\COM3")), "\\\\.\\COM3");
    EXPECT_EQ(convertToWString("COM3"), L"COM3");
    EXPECT_EQ(wstringToString(std::wstring(1, static_cast<wchar_t>(0x1234))), "\x34");
}

TEST(GenerateUniqueName, DigitsOnlyAndNeverTheSameTwice)
{
    constexpr int kPerThread = 2000;
    std::vector<std::wstring> names[4];
    std::vector<std::thread> threads;
    for (auto& list : names) {
        threads.emplace_back([&list] {
            for (int i = 0; i < kPerThread; ++i) {
                list.push_back(generateUniqueName());
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    std::set<std::wstring> distinct;
    for (const auto& list : names) {
        for (const auto& name : list) {
            ASSERT_FALSE(name.empty());
            ASSERT_EQ(name.find_first_not_of(L"0123456789"), std::wstring::npos) << wstringToString(name);
            distinct.insert(name);
        }
    }
    EXPECT_EQ(distinct.size(), 4u * kPerThread);

    const std::wstring mine = generateUniqueName();
    EXPECT_EQ(mine.rfind(stringToWString(std::to_string(GetCurrentThreadId())), 0), 0u);
}

TEST(SystemErrorString, SystemTextWithoutLineEndOrUnknown)
{
    for (DWORD code : {ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND, ERROR_DEVICE_NOT_CONNECTED}) {
        const char* system = platform::systemErrorText(code);
        ASSERT_NE(system, nullptr) << code;
        std::string expected(system);
        expected = expected.substr(0, expected.find('\r'));
        const std::wstring text = getSystemErrorString(code);
        EXPECT_FALSE(text.empty());
        EXPECT_EQ(text, stringToWString(expected)) << code;
        EXPECT_EQ(text.find_first_of(L"\r\n"), std::wstring::npos);
    }
    EXPECT_EQ(getSystemErrorString(0x2000ABCDu), L"Unknown Error!");
}

}  // namespace
