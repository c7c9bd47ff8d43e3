// The update's init string and its failures, through the flash process's
// port seam: a reply that never ends costs 100 reads and still counts as
// sent; a port that cannot be opened fails the update with its own text and
// switches a point-of-sale scanner's mode off again.
#include "FirmwareFixture.h"

#include "api/CFirmwareUpdaterHelper.h"
#include "api/CFlashProcess.h"
#include "ports/CSerialPort.h"

#include "platform/time.h"

#include <atomic>

using namespace vxtest;
using Kind = vxsim::TimelineEvent::Kind;

namespace {

// A serial port that counts its text reads.
class CountingSerialPort : public CSerialPort {
public:
    explicit CountingSerialPort(std::atomic<int>& reads) : m_reads(reads) {}
    int read(std::string& text) override
    {
        ++m_reads;
        return CSerialPort::read(text);
    }
    using CSerialPort::read;

private:
    std::atomic<int>& m_reads;
};

// A port that cannot be opened.
class UnopenablePort : public CSerialPort {
public:
    int open(std::wstring) override { return ERROR_FILE_NOT_FOUND; }
    using CSerialPort::open;
};

enum class InitPort { counting, unopenable, none };

// The flash process with the init string's port and pauses chosen here.
class SeamProcess : public CFlashProcess {
public:
    explicit SeamProcess(InitPort kind) : m_kind(kind) {}
    std::atomic<int> reads{0};
    std::atomic<int> pauses{0};

protected:
    InterfacePort* createInitStringPort(int) override
    {
        switch (m_kind) {
        case InitPort::counting: return new CountingSerialPort(reads);
        case InitPort::unopenable: return new UnopenablePort();
        case InitPort::none: return nullptr;
        }
        return nullptr;
    }
    // A millisecond in place of the pause: a reply that comes at all comes
    // within the hundred reads.
    void waitBeforeNextRead(DWORD) override
    {
        ++pauses;
        Sleep(1);
    }

private:
    InitPort m_kind;
};

using FirmwareInitString = FakeFirmwareTest;

// The library's default init string, answered with or without its final
// '.': with it one read takes the reply; without it the reply is read 100
// times (99 pauses between), and the string counts as sent either way.
TEST_F(FirmwareInitString, AReplyWithoutItsMarkCostsAHundredReads)
{
    vxsim::FlashableOptions options;
    options.id = "init-mark";
    vxsim::FlashableScanner scanner(options);
    std::string com;
    for (const auto& port : platform::listSerialPorts())
        if (port.devicePath == scanner.serialPath())
            com = "\\\\.\\" + port.comName;
    ASSERT_FALSE(com.empty());
    const std::wstring port = stringToWString(com);
    m_fake.control().initString = "\x16M\rVISMN42.";
    win_rs232_settings line{};
    line.dcb.BaudRate = 9600;
    line.dcb.ByteSize = 8;
    line.dcb.Parity = NOPARITY;
    line.dcb.StopBits = ONESTOPBIT;

    for (const bool mark : {true, false}) {
        SCOPED_TRACE(mark ? "with the mark" : "without the mark");
        scanner.setInitStringMark(mark);
        const int before = scanner.initStrings();
        SeamProcess process(InitPort::counting);
        ASSERT_TRUE(process.setVXFlashDllFile(stringToWString(fakeTemplate(2).flashDllFolder + "/libVXFLASH02.so")));
        process.setInterfaceValue(CIF_RS232);
        process.setPortFileNameValue(port.c_str());
        process.setWin32Rs232SettingsValue(line);
        ASSERT_TRUE(process.preInit(true));
        EXPECT_EQ(process.initString(), "\x16M\rVISMN42.");
        EXPECT_TRUE(process.sendInitString());
        EXPECT_TRUE(waitUntil([&] { return scanner.initStrings() == before + 1; }));
        if (mark) {
            EXPECT_LT(process.reads.load(), 100) << "read until the mark came";
        } else {
            EXPECT_EQ(process.reads.load(), 100);
            EXPECT_EQ(process.pauses.load(), 99);
        }
    }
}

// A failed init string fails the update with the port's own text; the
// point-of-sale mode switched on for the flash is switched off again, and
// the library never runs.
TEST_F(FirmwareInitString, AFailedInitStringSwitchesThePointOfSaleModeOff)
{
    const struct {
        InitPort port;
        const char* text;  // the path follows
    } cases[] = {
        {InitPort::unopenable, "Open port failure: "},
        {InitPort::none, "not supported interface"},
    };
    vxsim::FlashableOptions options;
    options.kind = vxsim::FlashableKind::hidPos;
    options.id = "init-pos";
    vxsim::FlashableScanner scanner(options);
    m_fake.control().initString = "\x16M\rVISMN42.";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        for (CDevice* found : m_found.devices)
            delete found;
        m_found.devices.clear();
        CDevice* device = connectFound({EIT_USB_HID_BARCODE_SCANNER});
        ASSERT_NE(device, nullptr);
        ASSERT_EQ(device->interfaceUsage, EIU_HID_POS);
        CFirmwareUpdaterHelper helper(new SeamProcess(c.port));
        HANDLE handle = m_connection.getHandle();
        ASSERT_EQ(helper.initializeForUpdater(device, &handle, fakeTemplate(device->product->flashType)), 0);
        helper.setConnection(&m_connection);
        const std::uint64_t before = scanner.timeline().back().order;
        EXPECT_EQ(helper.flashForUpdater(nullptr, "f.mocf"), 1);
        std::string text;
        helper.getLastError(text);
        const std::string expected =
            c.port == InitPort::unopenable ? std::string(c.text) + wstringToString(helper.portPath()) : c.text;
        EXPECT_EQ(text, expected);
        std::vector<int> modes;
        for (const auto& event : scanner.timeline())
            if (event.order > before && event.kind == Kind::feature && event.data.size() >= 2 && event.data[0] == 254)
                modes.push_back(event.data[1]);
        // The connection's own 0 when it lets go, then the update's 1 and 0.
        EXPECT_EQ(modes, (std::vector<int>{0, 1, 0}));
        EXPECT_EQ(scanner.bootloader().applicationHid()->posMode(), 0);
        EXPECT_TRUE(m_fake.callsStartingWith("FlashScanner").empty());
        EXPECT_FALSE(m_connection.isConnected());
    }
}

}  // namespace
