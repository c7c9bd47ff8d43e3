// The DirectIO exchange: request strings, serial command tags and the
// reading of replies whose count and characters come from the device side.
#include "DirectIOExchange.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// A reply string as the service object leaves it.
struct Reply {
    explicit Reply(std::u16string_view text) : string(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    ~Reply() { SysFreeString(string); }
    Reply(const Reply&) = delete;
    Reply& operator=(const Reply&) = delete;
    BSTR string;
};

std::u16string widened(std::string_view bytes)
{
    std::u16string text;
    for (char c : bytes)
        text.push_back(static_cast<unsigned char>(c));
    return text;
}

std::string asText(const std::vector<BYTE>& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

// Every byte value in each written form: one character per byte, two
// characters (each nibble OR 0x30, high first), three decimal digits.
std::string everyByte()
{
    std::string bytes;
    for (int b = 0; b < 256; ++b)
        bytes.push_back(static_cast<char>(b));
    return bytes;
}

std::string written(const std::string& bytes, LONG binaryConversion)
{
    std::string text;
    for (char c : bytes) {
        const unsigned b = static_cast<unsigned char>(c);
        if (binaryConversion == 1) {
            text.push_back(static_cast<char>((b >> 4) | 0x30));
            text.push_back(static_cast<char>((b & 0x0F) | 0x30));
        } else if (binaryConversion == 2) {
            char digits[4];
            std::snprintf(digits, sizeof digits, "%03u", b);
            text += digits;
        } else {
            text.push_back(c);
        }
    }
    return text;
}

}  // namespace

TEST(DirectIOExchange, ImageRepliesDecodeByTheirFormWithinTheReturnedString)
{
    struct Case {
        std::u16string text;
        LONG pData;
        LONG binaryConversion;
        std::string image;
    };
    const Case cases[] = {
        {u"AB", 2, 0, "AB"},
        {u"4142", 4, 1, "AB"},
        {u"065066", 6, 2, "AB"},
        {u"?>", 2, 1, "\xFE"},                 // high nibbles 0xF written as '?'
        {u"41424", 5, 1, "AB"},                // odd trailing character dropped
        {u"06506", 5, 2, "A"},                 // incomplete triple dropped
        {u"256999", 6, 2, std::string("\x00\xE7", 2)},  // low 8 bits of the value
        {u"065x66067", 9, 2, "A"},             // decoding ends at a triple that is no number
        {u" 65066", 6, 2, ""},
        {u"4142", 3, 1, "A"},                  // pData shorter than the string
        {u"4142", 100, 1, "AB"},               // pData beyond the string: the string's end
        {u"065066", 0x7FFFFFFF, 2, "AB"},
        {u"AB", -1, 0, ""},                    // negative pData reads nothing
        {u"\u0141\u0142", 2, 0, "AB"},         // low byte of each character
        {u"\u0134\u0131", 2, 1, "A"},
        {u"\u0130\u0136\u0135", 3, 2, "A"},
        {u"AB", 2, 7, "AB"},                   // an unknown form: one character per byte
    };
    for (const Case& c : cases) {
        const Reply reply(c.text);
        EXPECT_EQ(asText(DecodeImage(reply.string, c.pData, c.binaryConversion)), c.image)
            << "pData " << c.pData << ", BinaryConversion " << c.binaryConversion;
    }
    for (LONG form : {0, 1, 2, 7})
        EXPECT_TRUE(DecodeImage(nullptr, 100, form).empty());
}

TEST(DirectIOExchange, EveryByteValueComesBackFromEachForm)
{
    const std::string bytes = everyByte();
    for (LONG form : {0, 1, 2}) {
        const std::u16string text = widened(written(bytes, form));
        const Reply reply(text);
        EXPECT_EQ(asText(DecodeImage(reply.string, static_cast<LONG>(text.size()), form)), bytes) << form;
    }
}

TEST(DirectIOExchange, ReplyTextIsTheLowByteOfAtMostPDataReturnedCharacters)
{
    const Reply reply(u"REVINF\u0080\u00FF\u0106");
    const std::string whole("REVINF\x80\xFF\x06", 9);
    EXPECT_EQ(ReplyBytes(reply.string, 9), whole);
    EXPECT_EQ(ReplyBytes(reply.string, 1024), whole);
    EXPECT_EQ(ReplyBytes(reply.string, 3), "REV");
    EXPECT_EQ(ReplyBytes(reply.string, 0), "");
    EXPECT_EQ(ReplyBytes(reply.string, -5), "");
    EXPECT_EQ(ReplyBytes(nullptr, 9), "");
}

TEST(DirectIOExchange, ImageRequestRoomFollowsBinaryConversion)
{
    struct Case {
        LONG binaryConversion;
        LONG chars;
    };
    const Case cases[] = {{0, 0x130000}, {1, 0x260000}, {2, 0x390000}, {3, 0}, {7, 0}, {-1, 0}};
    DirectIOArguments arguments;
    for (const Case& c : cases) {
        EXPECT_EQ(DirectIOBufferChars(c.binaryConversion), c.chars);
        // Reused arguments: the previous string goes, the new one is whole.
        ASSERT_EQ(MakeImageRequest(c.binaryConversion, arguments), S_OK);
        EXPECT_EQ(arguments.pData, c.chars) << c.binaryConversion;
        if (c.chars == 0) {
            EXPECT_EQ(arguments.string, nullptr) << c.binaryConversion;
            continue;
        }
        ASSERT_NE(arguments.string, nullptr);
        const std::u16string_view text = platform::bstrView(arguments.string);
        EXPECT_EQ(text.size(), static_cast<std::size_t>(c.chars));
        EXPECT_EQ(text.find_first_not_of(u'\0'), std::u16string_view::npos);
    }
}

TEST(DirectIOExchange, SerialCommandTagChoosesTheRoom)
{
    struct Case {
        const char* command;
        const char* tag;
        LONG chars;
        bool image;
    };
    const Case cases[] = {
        {":ab:REVINF", "REVINF", 1024, false},
        {"revinf", "revinf", 1024, false},
        {"P_INFO", "P_INFO", 1024, false},
        {"p_info", "p_info", 1024, false},
        {"IMGSNP1L", "IMGSNP", 1024, false},
        {"IMGSHP", "IMGSHP", 0x180000, true},
        {":02:imgShp2P8F", "imgShp", 0x180000, true},
        {"PREBK2995C80", "PREBK2", 2048, false},
        {"SUFBK2990D", "SUFBK2", 2048, false},
        {"BEPLVL?", "BEPLVL", 2048, false},
        {"::P_INFO", "P_INFO", 1024, false},
        {":REVINF", ":REVIN", 2048, false},  // no second ":": read from the start
        {":ab:REV", "REV", 2048, false},     // fewer than six at the end
        {"IMGSH", "IMGSH", 2048, false},
        {":ab:", "", 2048, false},
        {"", "", 2048, false},
    };
    for (const Case& c : cases) {
        const std::string tag = SerialCommandTag(c.command);
        EXPECT_EQ(tag, c.tag) << c.command;
        EXPECT_EQ(SerialCommandBufferChars(tag), c.chars) << c.command;
        EXPECT_EQ(IsImageSerialTag(tag), c.image) << c.command;
    }
}

TEST(DirectIOExchange, TextRequestsHoldTheWholeTextWidenedWithoutSign)
{
    struct Case {
        std::string text;
        LONG chars;
        std::size_t room;
    };
    const Case cases[] = {
        {"REVINF", 1024, 1024},
        {std::string(1023, 'x'), 1024, 1024},
        {std::string(1024, 'x'), 1024, 1025},  // no room left for the zero
        {std::string(3000, 'y'), 1024, 3001},  // the entry has no limit
        {std::string("\x80\xA0\xFF", 3), 2048, 2048},
        {"", 2048, 2048},
        {"P_INFO", -4, 7},
    };
    DirectIOArguments arguments;
    for (const Case& c : cases) {
        ASSERT_EQ(MakeSerialRequest(c.text, c.chars, arguments), S_OK);
        EXPECT_EQ(arguments.pData, c.chars) << c.text.size();
        ASSERT_EQ(SysStringLen(arguments.string), c.room) << c.text.size();
        const std::u16string_view text = platform::bstrView(arguments.string);
        EXPECT_EQ(text.substr(0, c.text.size()), widened(c.text));
        EXPECT_EQ(text.find_first_not_of(u'\0', c.text.size()), std::u16string_view::npos);
    }
    ASSERT_EQ(MakeSerialRequest(std::string("\x80\xFF", 2), 2048, arguments), S_OK);
    EXPECT_EQ(arguments.string[0], u'\u0080');
    EXPECT_EQ(arguments.string[1], u'\u00FF');
    EXPECT_EQ(ReplyBytes(arguments.string, 2), std::string("\x80\xFF", 2));

    ASSERT_EQ(MakeCommandTimeoutRequest("500", arguments), S_OK);
    EXPECT_EQ(arguments.pData, 1024);
    EXPECT_EQ(SysStringLen(arguments.string), 1024u);
    EXPECT_EQ(ReplyBytes(arguments.string, 4), std::string("500\0", 4));
}

TEST(DirectIOExchange, AStringThatCannotBeMadeIsOutOfMemoryWithNothingHeld)
{
    DirectIOArguments arguments;
    ASSERT_EQ(MakeSerialRequest("REVINF", 1024, arguments), S_OK);
    // Beyond what a BSTR's 32-bit byte count can hold.
    EXPECT_EQ(MakeSerialRequest("REVINF", 0x7FFFFFFF, arguments), E_OUTOFMEMORY);
    EXPECT_EQ(arguments.string, nullptr);
    EXPECT_EQ(arguments.pData, 0);
    EXPECT_EQ(E_OUTOFMEMORY, static_cast<HRESULT>(0x8007000Eu));
}
