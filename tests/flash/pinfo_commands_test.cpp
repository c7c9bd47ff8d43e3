// The scanner's P_INFO reply, the command bytes, the relay encoding and the
// text utilities.
#include "PinfoParser.h"
#include "ScannerCommands.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

TEST(Pinfo, ParseCases)
{
    struct Case {
        const char* name;
        std::string text;
        int result;
        int entries;
    };
    const std::vector<Case> cases = {
        {"two lines and the closing line end", "fmt: 1\r\nmode: app\r\n\r\n", 0, 2},
        {"no closing line end", "fmt: 1\r\nmode: app\r\n", -1, 0},
        {"no blank after the colon", "fmt: 1\r\nmode:app\r\n\r\n", -1, 0},
        {"no header", "mode: app\r\n\r\n", -1, 0},
        {"single line ends", "fmt: 1\nmode: boot\r\r", 0, 2},
        {"colon first", "fmt: 1\n: x\n\n", -1, 0},
        {"empty value at the end", "fmt: 1\nmode: ", -1, 0},
    };
    for (const Case& c : cases) {
        PinfoRecord record{};
        EXPECT_EQ(ParsePinfo(c.text, &record), c.result) << c.name;
        if (c.result == 0) {
            EXPECT_EQ(record.entryCount, c.entries) << c.name;
        }
    }
    // Over-long names and values are cut to their fields; more than 100
    // entries stop the parse.
    std::string many = "fmt: 1\n" + std::string(40, 'n') + ": " + std::string(150, 'v') + "\n";
    for (int i = 0; i < 120; ++i)
        many += "k" + std::to_string(i) + ": " + std::to_string(i) + "\n";
    many += "\n";
    PinfoRecord record{};
    ASSERT_EQ(ParsePinfo(many, &record), 0);
    EXPECT_EQ(record.entryCount, 100);
    EXPECT_EQ(std::strlen(record.entries[1].name), 29u);
    EXPECT_EQ(std::strlen(record.entries[1].value), 99u);
}

TEST(Pinfo, Interpretation)
{
    PinfoRecord record{};
    ASSERT_EQ(ParsePinfo("fmt: 1\nmode: boot\napp-present: 1\napp-compat: 0,17,0,23\napp-incompat: 5\n"
                         "boot-present: 0x1\nboot-compat: 40\napp-sw-rev: ABCDEFGHIJKLMNOP\ncbl: 0x04\n"
                         "usbvid: 0x7a11\n\n",
                         &record),
              0);
    ASSERT_TRUE(InterpretPinfo(&record));
    EXPECT_EQ(record.mode, 'B');
    EXPECT_EQ(record.physical_cable_type, 'U');
    EXPECT_EQ(record.compat[0], 17u);
    EXPECT_EQ(record.compat[1], 23u);
    EXPECT_EQ(record.compat[2], 40u);
    EXPECT_EQ(record.compat[3], 0u);
    EXPECT_EQ(record.incompat[0], 5u);
    EXPECT_STREQ(record.appRevision, "ABCDEFGHIJK");
    EXPECT_EQ(record.usbvid, 0x7A11);
    EXPECT_EQ(record.usbpid, 0xFFFF);

    const struct {
        const char* cbl;
        int letter;
    } cables[] = {{"2", 'R'}, {"5", 'U'}, {"9", 'I'}, {"16", 'K'}, {"6", '?'}, {"4x", '?'}};
    for (const auto& c : cables) {
        PinfoRecord r{};
        ASSERT_EQ(ParsePinfo(std::string("fmt: 1\nmode: app\ncbl: ") + c.cbl + "\n\n", &r), 0);
        ASSERT_TRUE(InterpretPinfo(&r));
        EXPECT_EQ(r.physical_cable_type, c.letter) << c.cbl;
    }
    PinfoRecord neither{};
    ASSERT_EQ(ParsePinfo("fmt: 1\nmode: test\n\n", &neither), 0);
    EXPECT_FALSE(InterpretPinfo(&neither));
    EXPECT_EQ(neither.mode, 'X');
}

std::vector<std::uint8_t> command(std::uint32_t id)
{
    std::uint8_t buffer[32];
    return std::vector<std::uint8_t>(buffer, buffer + BuildCommand(id, buffer));
}

TEST(ScannerCommands, Bytes)
{
    EXPECT_EQ(command(CC_BTLPRO), (std::vector<std::uint8_t>{0x16, 0x59, 0x0D, 0x42, 0x54, 0x4C, 0x50, 0x52, 0x4F, 0x2A, 0x2E}));
    EXPECT_EQ(command(CC_TRGMOD).size(), 19u);
    EXPECT_EQ(command(CC_P_INFO).size(), 10u);
    EXPECT_EQ(command(CC_VISMN40).size(), 11u);
    EXPECT_EQ(command(CC_EXIT), std::vector<std::uint8_t>{'X'});
    EXPECT_TRUE(command(4).empty());

    std::uint8_t buffer[600];
    const std::uint8_t esc = 0x1B;
    std::size_t n = BuildRelayCommand(buffer, 1, &esc);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), n), std::string("\x16Y\rNEWBLIABBL."));
    const std::uint8_t address[4] = {0x1F, 0xC0, 0x00, 0x00};
    n = BuildRelayCommand(buffer, 4, address);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), n), std::string("\x16Y\rNEWBLIAEBPMAAAAA."));
    EXPECT_EQ(BuildRelayCommand(buffer, 0, address), 0u);
    std::vector<std::uint8_t> data(255, 0xAB);
    EXPECT_EQ(BuildRelayCommand(buffer, 255, data.data()), 522u);
}

TEST(TextUtilities, ExtensionTest)
{
    const struct {
        const char16_t* name;
        const char16_t* extension;
        bool match;
    } cases[] = {
        {u"image.Mocf", u"MOCF", true}, {u"image.mo", u"MOCF", true}, {u"image.", u"MOCF", true},
        {u"image.hex", u"MOCF", false}, {u"a.b.MOC", u"MOC", true},  {u"image.mocfx", u"MOCF", false},
        {u"xsuf", u"SUF", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FileExtensionMatches(c.name, c.extension), c.match) << LogText(c.name);
}

TEST(TextUtilities, BuildDate)
{
    const struct {
        const char* text;
        fileversion_time expected;
    } cases[] = {
        {"Feb 23 2012 10:39:09", {9, 39, 10, 23, 1, 112, 0, 0, 0}},
        {"Dec 31 2009 23:59:59", {0, 0, 0, 31, 11, 0, 0, 0, 0}},
        {"Jan 1 2012", {0, 0, 0, 1, 0, 112, 0, 0, 0}},
        {"Mar 5 2015 00:15:30", {0, 0, 0, 5, 2, 115, 0, 0, 0}},
        {"feb 1 2012", {0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"May 32 2012", {0, 0, 0, 0, 4, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        fileversion_time t{};
        ParseBuildDate(c.text, &t);
        EXPECT_EQ(std::memcmp(&t, &c.expected, sizeof t), 0) << c.text;
    }
}

}  // namespace
