#include "platform/bstr.h"
#include "platform/error.h"
#include "platform/module_path.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Bstr, LengthPrefixedWithEmbeddedNulsAndNullAsEmpty)
{
    const char16_t text[] = {u'a', 0, u'b'};
    BSTR string = SysAllocStringLen(text, 3);
    ASSERT_NE(string, nullptr);
    EXPECT_EQ(SysStringLen(string), 3u);
    EXPECT_EQ(string[1], 0);
    EXPECT_EQ(string[3], 0);  // terminated after the last character
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(platform::ansiFromBstr(nullptr), "");
    SysFreeString(string);
    SysFreeString(nullptr);

    BSTR copy = SysAllocString(u"hello");
    EXPECT_EQ(SysStringLen(copy), 5u);
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    BSTR zeros = SysAllocStringLen(nullptr, 4);
    EXPECT_EQ(platform::bstrView(zeros), std::u16string(4, u'\0'));
    SysFreeString(zeros);
    SysFreeString(copy);
}

TEST(Bstr, ReallocationMayTakeItsOwnCharacters)
{
    BSTR string = SysAllocString(u"abcdef");
    ASSERT_TRUE(SysReAllocStringLen(&string, string + 2, 3));
    EXPECT_EQ(platform::bstrView(string), u"cde");
    ASSERT_TRUE(SysReAllocStringLen(&string, nullptr, 10));
    EXPECT_EQ(SysStringLen(string), 10u);
    EXPECT_FALSE(SysReAllocStringLen(nullptr, u"x", 1));
    SysFreeString(string);
}

TEST(Bstr, EveryAnsiByteRoundTripsAndWideCharactersBecomeQuestionMarks)
{
    std::string bytes;
    for (int b = 0; b < 256; ++b)
        bytes.push_back(static_cast<char>(b));
    BSTR string = platform::bstrFromAnsi(bytes);
    ASSERT_EQ(SysStringLen(string), 256u);
    EXPECT_EQ(string[0xE9], 0xE9);  // widened without the sign
    EXPECT_EQ(platform::ansiFromBstr(string), bytes);
    SysFreeString(string);

    BSTR wide = SysAllocString(u"a\u20ACb");
    EXPECT_EQ(platform::ansiFromBstr(wide), "a?b");
    EXPECT_EQ(platform::ansiFromOleString(u"xy"), "xy");
    SysFreeString(wide);
}

TEST(ModulePath, TheProgramsPathWhenItFitsElseCutWithInsufficientBuffer)
{
    const std::string path = platform::executablePath();
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.front(), '/');
    EXPECT_NE(path.find("platform_tests"), std::string::npos);

    std::string buffer(path.size() + 1, 'x');
    EXPECT_EQ(GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size())), path.size());
    EXPECT_EQ(std::string(buffer.c_str()), path);

    char small[5];
    EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof small), 5u);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(std::string(small), path.substr(0, 4));

    EXPECT_EQ(GetModuleFileNameA(nullptr, small, 0), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(GetModuleFileNameA(reinterpret_cast<HMODULE>(small), small, sizeof small), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

}  // namespace
