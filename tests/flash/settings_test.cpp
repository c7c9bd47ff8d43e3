// The tool's numbered settings in both directions, the protocol-settings
// file, and FlashScanner's checks before it reaches the engine.
#include "FlashFixtures.h"
#include "MyPrivateParams.h"
#include "ProtocolSettingsFile.h"
#include "TestSupport.h"
#include "include/VXFLASH02.h"

#include <gtest/gtest.h>

#include <cstring>

#include <atomic>
#include <memory>
#include <thread>

namespace {

std::int32_t ignoreProgress(void*, std::int32_t, std::int32_t, std::int32_t) { return 0; }

struct Tool {
    CFlashTool* tool = CreateFlashTool();
    ~Tool() { DestroyFlashTool(tool); }
    CFlashTool* operator->() { return tool; }
};

CONST_FLASHTOOL_SETTING id(std::int32_t value) { return static_cast<CONST_FLASHTOOL_SETTING>(value); }

TEST(FlashToolSettings, EverySettingInBothDirections)
{
    struct Case {
        std::int32_t id;
        std::uint32_t size;
        CONST_GETSET_RETURN set, get;
    };
    // Sizes as hosts give them, in bytes.
    const Case cases[] = {
        {CFS_CANCELIO, 4, CGSRET_SUCCESS, CGSRET_SUCCESS},
        {CFS_CANCELIO, 8, CGSRET_INVALID, CGSRET_INVALID},
        {CFS_VERSION, 400, CGSRET_INVALID, CGSRET_SUCCESS},
        {CFS_VERSION, 8, CGSRET_INVALID, CGSRET_INVALID},
        {CFS_LOGGING, 12, CGSRET_INVALID, CGSRET_INVALID},
        {CFS_INTERFACE, 4, CGSRET_SUCCESS, CGSRET_SUCCESS},
        {CFS_INTERFACE, 5, CGSRET_INVALID, CGSRET_INVALID},
        {CFS_WIN32_232_SETTINGS, 56, CGSRET_SUCCESS, CGSRET_SUCCESS},
        {CFS_WIN32_232_SETTINGS, 48, CGSRET_INVALID, CGSRET_INVALID},
        {0x10000, 4, CGSRET_SUCCESS, CGSRET_SUCCESS},
        {0x10009, 4, CGSRET_SUCCESS, CGSRET_SUCCESS},
        {0x1000A, 4, CGSRET_UNSUPPORTED, CGSRET_UNSUPPORTED},
        {0x1000F, 4, CGSRET_UNSUPPORTED, CGSRET_UNSUPPORTED},
        {0x10010, 4, CGSRET_SUCCESS, CGSRET_SUCCESS},
        {0x10013, 4, CGSRET_SUCCESS, CGSRET_SUCCESS},
        {0x10014, 4, CGSRET_UNSUPPORTED, CGSRET_UNSUPPORTED},
        {0x10004, 8, CGSRET_INVALID, CGSRET_INVALID},
        {9, 4, CGSRET_UNSUPPORTED, CGSRET_UNSUPPORTED},
        {-1, 4, CGSRET_UNSUPPORTED, CGSRET_UNSUPPORTED},
    };
    for (const Case& c : cases) {
        Tool tool;
        std::vector<std::uint8_t> data(512, 0);
        data[0] = 1;  // interface 1, cancel 1 ...
        EXPECT_EQ(tool->SetSetting(id(c.id), data.data(), c.size), c.set) << c.id << " size " << c.size;
        EXPECT_EQ(tool->GetSetting(id(c.id), data.data(), c.size), c.get) << c.id << " size " << c.size;
    }
    // Every setting, typed ones included: null data and sizes below 4.
    for (std::int32_t s : {0, 1, 2, 3, 4, 5, 6, 7, 8, 0x10000, 0x10006, 0x1000A}) {
        Tool tool;
        std::uint8_t data[8] = {};
        EXPECT_EQ(tool->SetSetting(id(s), data, 3), CGSRET_INVALID) << s;
        EXPECT_EQ(tool->GetSetting(id(s), data, 3), CGSRET_INVALID) << s;
        EXPECT_EQ(tool->SetSetting(id(s), nullptr, 4), CGSRET_INVALID) << s;
    }
}

TEST(FlashToolSettings, ValuesRoundTrip)
{
    Tool tool;
    std::int32_t retries = 0;
    ASSERT_EQ(tool->GetSetting(id(CFS_RETRY_MAX), &retries, 4), CGSRET_SUCCESS);
    EXPECT_EQ(retries, 5);
    std::int32_t value = 0;
    ASSERT_EQ(tool->GetSetting(CFS_INTERFACE, &value, 4), CGSRET_SUCCESS);
    EXPECT_EQ(value, 1) << "USB HID by default";

    // The callback: the data argument itself is stored; getting it writes the
    // whole pointer and needs room for it.
    ASSERT_EQ(tool->SetSetting(CFS_FWCALLBACK, reinterpret_cast<void*>(&ignoreProgress), 4), CGSRET_SUCCESS);
    CFS_PROGRESS_CALLBACK back = nullptr;
    EXPECT_EQ(tool->GetSetting(CFS_FWCALLBACK, &back, 4), CGSRET_INVALID);
    ASSERT_EQ(tool->GetSetting(CFS_FWCALLBACK, &back, sizeof back), CGSRET_SUCCESS);
    EXPECT_EQ(back, &ignoreProgress);

    // Texts read back are bounded by the caller's byte size.
    const std::u16string port = u"\\\\.\\COM7";
    ASSERT_EQ(tool->SetSetting(CFS_PORTFILENAME, const_cast<char16_t*>(port.c_str()),
                               static_cast<std::uint32_t>(2 * (port.size() + 1))),
              CGSRET_SUCCESS);
    std::vector<char16_t> buffer(64, u'#');
    EXPECT_EQ(tool->GetSetting(CFS_PORTFILENAME, buffer.data(), static_cast<std::uint32_t>(2 * port.size())), CGSRET_INVALID);
    EXPECT_EQ(buffer[0], u'#') << "nothing is copied when it does not fit";
    ASSERT_EQ(tool->GetSetting(CFS_PORTFILENAME, buffer.data(), static_cast<std::uint32_t>(2 * (port.size() + 1))),
              CGSRET_SUCCESS);
    EXPECT_EQ(std::u16string(buffer.data()), port);
    EXPECT_EQ(buffer[port.size() + 1], u'#');

    std::vector<char16_t> version(200, 0);
    ASSERT_EQ(tool->GetSetting(CFS_VERSION, version.data(), 400), CGSRET_SUCCESS);
    EXPECT_EQ(std::u16string(version.data()).substr(0, 14), u"1.19 | 1.23.0 ");

    win_rs232_settings in{};
    in.dcb.BaudRate = 57600;
    in.dcb.Parity = 2;
    in.dwOutQueue = 77;
    ASSERT_EQ(tool->SetSetting(CFS_WIN32_232_SETTINGS, &in, sizeof in), CGSRET_SUCCESS);
    win_rs232_settings out{};
    ASSERT_EQ(tool->GetSetting(CFS_WIN32_232_SETTINGS, &out, sizeof out), CGSRET_SUCCESS);
    EXPECT_EQ(std::memcmp(&in, &out, sizeof in), 0);
}

// The port name's size is in bytes: an unterminated name is read no further
// than its buffer (a heap buffer of exactly its size, so that the sanitizer
// build sees any read past it).
TEST(FlashToolSettings, PortNameIsReadNoFurtherThanItsByteSize)
{
    const struct {
        const char* name;
        std::u16string buffer;
        std::uint32_t size;
        std::u16string stored;
    } cases[] = {
        {"unterminated, size of the buffer", u"ABCD", 8, u"ABCD"},
        {"unterminated, shorter size", u"ABCD", 6, u"ABC"},
        {"as the SDK passes it: two bytes a character, no terminator", u"\\\\.\\COM12", 2 * 9, u"\\\\.\\COM12"},
        {"terminated, with the terminator's bytes", std::u16string(u"COM3\0", 5), 10, u"COM3"},
        {"terminated early", std::u16string(u"CO\0M3", 5), 10, u"CO"},
    };
    for (const auto& c : cases) {
        Tool tool;
        const std::unique_ptr<char16_t[]> heap(new char16_t[c.buffer.size()]);
        std::copy(c.buffer.begin(), c.buffer.end(), heap.get());
        ASSERT_EQ(tool->SetSetting(CFS_PORTFILENAME, heap.get(), c.size), CGSRET_SUCCESS) << c.name;
        std::vector<char16_t> back(64, 0);
        ASSERT_EQ(tool->GetSetting(CFS_PORTFILENAME, back.data(), 128), CGSRET_SUCCESS) << c.name;
        EXPECT_EQ(std::u16string(back.data()), c.stored) << c.name;
    }
}

TEST(FlashToolSettings, InitStringSlotsFollowTheInterface)
{
    Tool tool;
    std::vector<char16_t> buffer(400, 0xAAAA);
    ASSERT_EQ(tool->GetSetting(CFS_FLASH_INITSTRING, buffer.data(), 800), CGSRET_SUCCESS);
    const std::u16string initial(buffer.data(), 13);
    EXPECT_EQ(initial, std::u16string(u"\x16M\rVISMN42.\0\0", 13));
    EXPECT_EQ(tool->GetSetting(CFS_FLASH_INITSTRING, buffer.data(), 25), CGSRET_INVALID) << "13 characters need 26 bytes";

    std::int32_t rs232 = 0, hid = 1;
    tool->SetSetting(CFS_INTERFACE, &rs232, 4);
    char16_t text[] = u"AB\0CD\0\0";
    ASSERT_EQ(tool->SetSetting(CFS_FLASH_INITSTRING, text, 8), CGSRET_SUCCESS);
    std::fill(buffer.begin(), buffer.end(), 0xAAAA);
    ASSERT_EQ(tool->GetSetting(CFS_FLASH_INITSTRING, buffer.data(), 800), CGSRET_SUCCESS);
    EXPECT_EQ(std::u16string(buffer.data(), 7), std::u16string(u"AB\0CD\0\0", 7));
    EXPECT_EQ(buffer[7], 0xAAAA);
    tool->SetSetting(CFS_INTERFACE, &hid, 4);
    ASSERT_EQ(tool->GetSetting(CFS_FLASH_INITSTRING, buffer.data(), 800), CGSRET_SUCCESS);
    EXPECT_EQ(buffer[3], u'V') << "the USB slot keeps its default";

    std::vector<char16_t> tooLong(400, u'x');
    EXPECT_EQ(tool->SetSetting(CFS_FLASH_INITSTRING, tooLong.data(), 301), CGSRET_INVALID);
    EXPECT_EQ(tool->SetSetting(CFS_FLASH_INITSTRING, tooLong.data(), 300), CGSRET_INVALID)
        << "no terminator within the size";
}

TEST(FlashToolSettings, LoggingIsConfiguredOnce)
{
    vxtest::TempDir dir;
    const std::u16string file = flashfix::wide(dir.file("flash.log"));
    {
        Tool tool;
        log_settings level0{CFS_LOG_FILE, file.c_str(), 0};
        EXPECT_EQ(tool->SetSetting(CFS_LOGGING, &level0, sizeof level0), CGSRET_SUCCESS);
        log_settings level2{CFS_LOG_FILE, file.c_str(), 2};
        EXPECT_EQ(tool->SetSetting(CFS_LOGGING, &level2, sizeof level2), CGSRET_INVALID);
    }
    EXPECT_EQ(vxtest::readFile(dir.file("flash.log")), "") << "level 0 opens nothing";
    {
        Tool tool;
        log_settings level1{CFS_LOG_FILE, file.c_str(), 1};
        ASSERT_EQ(tool->SetSetting(CFS_LOGGING, &level1, sizeof level1), CGSRET_SUCCESS);
        std::int32_t bad = 0;
        tool->SetSetting(CFS_INTERFACE, &bad, 5);  // an error line
        tool->SetSetting(CFS_INTERFACE, &bad, 4);  // an information line
    }
    const std::string text = vxtest::readFile(dir.file("flash.log"));
    EXPECT_NE(text.find("Invalid size\n"), std::string::npos);
    EXPECT_EQ(text.find("CFS_INTERFACE: 0"), std::string::npos) << "level 1 writes no information";
    Tool tool;
    log_settings bad{CFS_LOG_FILE, u"/nonexistent-folder/x.log", 2};
    EXPECT_EQ(tool->SetSetting(CFS_LOGGING, &bad, sizeof bad), CGSRET_INVALID);
}

// The cancel flag is written from another thread while the tool logs.
TEST(FlashToolSettings, CancelFromAnotherThread)
{
    vxtest::TempDir dir;
    const std::u16string file = flashfix::wide(dir.file("flash.log"));
    Tool tool;
    log_settings level3{CFS_LOG_FILE, file.c_str(), 3};
    ASSERT_EQ(tool->SetSetting(CFS_LOGGING, &level3, sizeof level3), CGSRET_SUCCESS);
    std::atomic<bool> stop{false};
    std::thread canceller([&] {
        std::int32_t one = 1;
        for (int i = 0; i < 200; ++i)
            tool->SetSetting(CFS_CANCELIO, &one, 4);
        stop = true;
    });
    std::int32_t value = 0;
    while (!stop)
        tool->GetSetting(CFS_CANCELIO, &value, 4);
    canceller.join();
    tool->GetSetting(CFS_CANCELIO, &value, 4);
    EXPECT_EQ(value, 1);
}

TEST(FlashToolSettings, FlashScannerChecksBeforeTheEngine)
{
    struct Case {
        const char* name;
        bool port;
        std::int32_t iface;
        DWORD baud;
        CONST_UPGRADERETURN result;
    };
    const Case cases[] = {
        {"no port name", false, 1, 9600, CUR_FAILURE},
        {"rs232 with baud 0", true, 0, 0, CUR_FAILURE},
        {"cdc with baud 0", true, 2, 0, CUR_FAILURE},
        {"interface 3", true, 3, 9600, CUR_FAILURE},
        {"wrong extension", true, 1, 9600, CUR_FILEBAD},
    };
    for (const Case& c : cases) {
        Tool tool;
        if (c.port)
            tool->SetSetting(CFS_PORTFILENAME, const_cast<char16_t*>(u"COM250"), 14);
        tool->SetSetting(CFS_INTERFACE, const_cast<std::int32_t*>(&c.iface), 4);
        win_rs232_settings s{};
        s.dcb.BaudRate = c.baud;
        tool->SetSetting(CFS_WIN32_232_SETTINGS, &s, sizeof s);
        EXPECT_EQ(tool->FlashScanner(nullptr, u"image.bin"), c.result) << c.name;
    }
}

TEST(ProtocolSettingsFile, LinesAreAppliedOrReported)
{
    vxtest::TempDir dir;
    Tool tool;
    std::int32_t rs232 = 0;
    tool->SetSetting(CFS_INTERFACE, &rs232, 4);
    flashfix::writeText(dir.file("good.TXT"), "# comment\n// another\n\n; third\nPX7700_RETRY_max: 0x0A\r\n"
                                              "init-string: \"ABC\\000DEF\"\nPX7700_TimeDelay_DETECT_mSecs : 010\n");
    const std::u16string good = flashfix::wide(dir.file("good.TXT"));
    ASSERT_EQ(tool->SetSetting(CFS_FLASH_PROTOCOL_SETTINGS, const_cast<char16_t*>(good.c_str()), 4), CGSRET_SUCCESS);
    std::int32_t value = 0;
    tool->GetSetting(id(CFS_RETRY_MAX), &value, 4);
    EXPECT_EQ(value, 10);
    tool->GetSetting(id(CFS_TIMEDELAY_DETECT), &value, 4);
    EXPECT_EQ(value, 8) << "leading zero is octal";
    std::vector<char16_t> buffer(100, 0xAAAA);
    ASSERT_EQ(tool->GetSetting(CFS_FLASH_INITSTRING, buffer.data(), 200), CGSRET_SUCCESS);
    EXPECT_EQ(std::u16string(buffer.data(), 9), std::u16string(u"ABC\0DEF\0\0", 9));

    struct Case {
        const char* name;
        const char* file;
        std::string text;
        int result;
    };
    const std::vector<Case> cases = {
        {"lower-case name", "a.txt", "px7700_retry_max: 3\n", 2},
        {"not a number", "b.txt", "PX7700_RETRY_max: 10ms\n", 2},
        {"tab", "c.txt", "PX7700_RETRY_max:\t3\n", 2},
        {"missing colon", "d.txt", "PX7700_RETRY_max 3\n", 2},
        {"bad string", "e.txt", "init-string: \"AB\\q\"\n", 2},
        {"unknown id", "f.txt", "test-number: 1\n", 2},
        {"line too long", "g.txt", std::string(600, 'x') + "\n", 2},
        {"wrong extension", "h.ini", "PX7700_RETRY_max: 3\n", 1},
    };
    for (const Case& c : cases) {
        flashfix::writeText(dir.file(c.file), c.text);
        const std::u16string path = flashfix::wide(dir.file(c.file));
        EXPECT_EQ(tool->SetSetting(CFS_FLASH_PROTOCOL_SETTINGS, const_cast<char16_t*>(path.c_str()), 4), c.result)
            << c.name;
    }
    const std::u16string missing = flashfix::wide(dir.file("missing.txt"));
    EXPECT_EQ(tool->SetSetting(CFS_FLASH_PROTOCOL_SETTINGS, const_cast<char16_t*>(missing.c_str()), 4), 2);
}

TEST(ProtocolSettingsFile, StringDecoder)
{
    struct Case {
        std::string value;
        std::u16string text;
        int length;
    };
    const std::vector<Case> cases = {
        {"plain", u"plain", 5},
        {"\"q\\\"t\\\\\"", u"q\"t\\", 4},
        {"\\x41\\u20AC\\101\\n", u"A\u20ACA\n", 4},
        {"a\"b", u"a\"b", 3},
        {"\"open", u"", -1},
        {"\"a\"b\"", u"", -1},
        {"\\x4", u"", -1},
        {"\\8", u"", -1},
    };
    for (const Case& c : cases) {
        char16_t out[501];
        const int n = DecodeStringValue(c.value, out, 500);
        EXPECT_EQ(n, c.length) << c.value;
        if (n >= 0) {
            EXPECT_EQ(std::u16string(out, static_cast<std::size_t>(n)), c.text) << c.value;
        }
    }
}

}  // namespace
