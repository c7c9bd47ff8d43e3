// The shared UTF-16 to UTF-8 conversion: names for the file system, and
// texts for display.
#include "platform/text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Utf8FromUtf16, FileNames)
{
    const struct {
        const char* name;
        std::u16string text;
        bool ok;
        std::string utf8;
    } cases[] = {
        {"ASCII", u"app.mocf", true, "app.mocf"},
        {"two bytes", u"Pr\u00FCfung.mocf", true, "Pr\xC3\xBC" "fung.mocf"},
        {"U+0100 is no terminator", u"\u0100x", true, "\xC4\x80x"},
        {"U+012F is no slash", u"sub\u012Fapp", true, "sub\xC4\xAF" "app"},
        {"three bytes", u"\u20AC", true, "\xE2\x82\xAC"},
        {"a surrogate pair", u"\U0001F600", true, "\xF0\x9F\x98\x80"},
        {"lone high surrogate", u"a\xD800" u"b", false, ""},
        {"lone low surrogate", u"a\xDC00", false, ""},
        {"high surrogate at the end", u"a\xD83D", false, ""},
        {"embedded NUL", std::u16string(u"a\0b", 3), false, ""},
        {"empty", u"", true, ""},
    };
    for (const auto& c : cases) {
        std::string out = "left over";
        EXPECT_EQ(platform::utf8FromUtf16(c.text, out), c.ok) << c.name;
        EXPECT_EQ(out, c.utf8) << c.name;
    }
}

TEST(Utf8FromUtf16, DisplayKeepsWhatAFileNameRefuses)
{
    EXPECT_EQ(platform::utf8FromUtf16ForDisplay(u"a\xD800" u"b"), "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(platform::utf8FromUtf16ForDisplay(std::u16string(u"a\0b", 3)), std::string("a\0b", 3));
    EXPECT_EQ(platform::utf8FromUtf16ForDisplay(u"Pr\u00FCfung"), "Pr\xC3\xBC" "fung");
}

// The way back, for names held as UTF-8 bytes; what is not UTF-8 is refused
// so that the caller can take it byte by byte.
TEST(Utf16FromUtf8, FileNames)
{
    const struct {
        const char* name;
        std::string utf8;
        bool ok;
        std::u16string text;
    } cases[] = {
        {"ASCII", "app.mocf", true, u"app.mocf"},
        {"two bytes", "Pr\xC3\xBC" "fung", true, u"Pr\u00FCfung"},
        {"three bytes", "\xE2\x82\xAC", true, u"\u20AC"},
        {"four bytes make a pair", "\xF0\x9F\x98\x80", true, u"\U0001F600"},
        {"a Latin-1 byte alone", "Pr\xFC" "fung", false, u""},
        {"cut short", "a\xC3", false, u""},
        {"overlong slash", "\xC0\xAF", false, u""},
        {"overlong three bytes", "\xE0\x80\xAF", false, u""},
        {"an encoded surrogate", "\xED\xA0\x80", false, u""},
        {"past U+10FFFF", "\xF4\x90\x80\x80", false, u""},
        {"empty", "", true, u""},
    };
    for (const auto& c : cases) {
        std::u16string out = u"left over";
        EXPECT_EQ(platform::utf16FromUtf8(c.utf8, out), c.ok) << c.name;
        EXPECT_TRUE(out == c.text) << c.name;
        if (c.ok) {
            std::string back;
            EXPECT_TRUE(platform::utf8FromUtf16(out, back)) << c.name;
            EXPECT_EQ(back, c.utf8) << c.name;
        }
    }
}

}  // namespace
