// The simulated bootloader scanner as a strict peer: a host that speaks its
// protocol wrongly gets no answer (or NAK where the protocol has one), and
// the scanner's log names what it refused. Each case speaks to it through
// the platform's serial and HID calls, as any host would, and then shows
// with a command the scanner does answer that nothing was answered before.
#include "simulator/bootloader.h"

#include "TestSupport.h"
#include "scoped_handle.h"

#include "platform/error.h"
#include "platform/file.h"
#include "platform/hid.h"
#include "platform/serial.h"
#include "platform/sync.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

using vxsim::BootLink;
using vxsim::BootloaderScanner;

using simtest::Handle;

// Waits until the scanner's log holds a refusal that contains `text`.
::testing::AssertionResult refused(const BootloaderScanner& scanner, const std::string& text)
{
    const bool found = vxtest::waitUntil([&] {
        const auto lines = scanner.refusals();
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; });
    });
    if (found)
        return ::testing::AssertionSuccess();
    std::string log;
    for (const std::string& line : scanner.log())
        log += "\n  " + line;
    return ::testing::AssertionFailure() << "no refusal \"" << text << "\" in the log:" << log;
}

// A host on the scanner's serial port.
class SerialHost {
public:
    explicit SerialHost(const BootloaderScanner& scanner)
    {
        for (const auto& port : platform::listSerialPorts())
            if (port.devicePath == scanner.serialPath())
                m_handle.reset(CreateFileA(("\\\\.\\" + port.comName).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                           nullptr, OPEN_EXISTING, 0, nullptr));
        if (m_handle.get() == INVALID_HANDLE_VALUE)
            m_handle.release();
    }
    bool open() const { return m_handle != nullptr; }

    void line(DWORD baud, BYTE dataBits = 8, BYTE parity = NOPARITY)
    {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        GetCommState(m_handle.get(), &dcb);
        dcb.BaudRate = baud;
        dcb.ByteSize = dataBits;
        dcb.Parity = parity;
        dcb.StopBits = ONESTOPBIT;
        dcb.fBinary = 1;
        EXPECT_TRUE(SetCommState(m_handle.get(), &dcb));
    }

    void send(const std::string& bytes)
    {
        DWORD written = 0;
        EXPECT_TRUE(WriteFile(m_handle.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    }

    // Up to `count` bytes, waiting at most a generous bound for them.
    std::string read(std::size_t count)
    {
        std::string got;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (got.size() < count && std::chrono::steady_clock::now() < deadline) {
            COMMTIMEOUTS timeouts{MAXDWORD, MAXDWORD, 200, 0, 0};
            SetCommTimeouts(m_handle.get(), &timeouts);
            char buffer[256];
            DWORD n = 0;
            if (!ReadFile(m_handle.get(), buffer, static_cast<DWORD>(std::min(count - got.size(), sizeof buffer)), &n,
                          nullptr))
                break;
            got.append(buffer, n);
        }
        return got;
    }

private:
    Handle m_handle;
};

const std::string kSyn = "\x16";
const std::string kProbe = "\x16" "C\r";
const std::string kPinfo = "\x16M\rP_INFO.";
const std::string kBtlpro = "\x16Y\rBTLPRO*.";
const std::string kBtlproReply = "BTLPRO*V1\x06.";
const std::string kEsc = "\x1B";
const std::string kAck = "\x06";
const std::string kDc1 = "\x11";
const std::string kNak = "\x15";

// The application at 9600 8N1 takes menu commands only in their own form
// and at its own line.
TEST(BootloaderPeer, ApplicationRefusesCommandsOutOfForm)
{
    const struct {
        const char* name;
        DWORD baud;
        BYTE dataBits;
        std::string bytes;
        std::string refusal;
    } cases[] = {
        {"class letter of another command", 9600, 8, "\x16Y\rP_INFO.", "class 'Y' for P_INFO."},
        {"no CR after the class letter", 9600, 8, "\x16MP_INFO.", "no CR after the class letter 'M'"},
        {"another rate", 19200, 8, kPinfo, "bytes at 19200 8N"},
        {"seven data bits", 9600, 7, kPinfo, "bytes at 9600 7N"},
        {"relay outside flash mode", 9600, 8, "\x16Y\rNEWBLIABBL.", "NEWBLI outside flash mode"},
        {"stray byte", 9600, 8, "X", "byte 'X' outside a frame"},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        vxsim::BootloaderOptions options;
        options.id = "app-form-" + std::to_string(n++);
        options.appLine.baudRate = 9600;
        BootloaderScanner scanner(options);
        SerialHost host(scanner);
        ASSERT_TRUE(host.open());
        host.line(c.baud, c.dataBits);
        host.send(c.bytes);
        EXPECT_TRUE(refused(scanner, c.refusal));
        // Nothing was answered: the first byte back answers the probe.
        host.line(9600);
        host.send(kProbe);
        EXPECT_EQ(host.read(1), kAck);
        EXPECT_TRUE(scanner.commands().empty());
    }
}

// The bootloader works at 115200 8N1 only, and takes no operation before its
// handshake: BTLPRO, ESC, then ACK.
TEST(BootloaderPeer, BootloaderRefusesOperationsOutOfTurn)
{
    const struct {
        const char* name;
        std::string before;  // at 115200, after BTLPRO was acknowledged ("" for none)
        std::string bytes;
        std::string answer;
        std::string refusal;
    } cases[] = {
        {"an erase before the handshake", kBtlpro, "E", kNak, "'E' before the handshake"},
        {"ACK before ESC", kBtlpro, kAck, kNak, "ACK before the handshake"},
        {"an unknown operation", kBtlpro + kEsc + kAck, "Q", kNak, "'Q' as an operation"},
        {"data without DC1", kBtlpro + kEsc + kAck + "P", std::string(1, '\0'), kNak, "where DC1 opens the data"},
        {"the sync probe", "", kProbe, "", "sync probe"},
        {"an application command", "", "\x16M\rTRGMOD0;TRGITG1!", "", "command TRGMOD0;TRGITG1!"},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BootloaderScanner scanner(BootLink::rs232, true, "boot-turn-" + std::to_string(n++));
        SerialHost host(scanner);
        ASSERT_TRUE(host.open());
        host.line(115200);
        if (!c.before.empty()) {
            host.send(kBtlpro);
            EXPECT_EQ(host.read(kBtlproReply.size()), kBtlproReply);
            const std::string rest = c.before.substr(kBtlpro.size());
            for (char b : rest) {
                host.send(std::string(1, b));
                EXPECT_EQ(host.read(1), kDc1);
            }
        }
        host.send(c.bytes);
        if (!c.answer.empty()) {
            EXPECT_EQ(host.read(c.answer.size()), c.answer);
        }
        EXPECT_TRUE(refused(scanner, c.refusal));
    }

    // At the application's rate the bootloader hears garbage; at its own it
    // opens the session.
    BootloaderScanner scanner(BootLink::rs232, true, "boot-rate");
    SerialHost host(scanner);
    ASSERT_TRUE(host.open());
    host.line(9600);
    host.send(kBtlpro);
    EXPECT_TRUE(refused(scanner, "bytes at 9600 8N"));
    host.line(115200);
    host.send(kBtlpro);
    EXPECT_EQ(host.read(kBtlproReply.size()), kBtlproReply);
    EXPECT_EQ(scanner.bootloaderBaud(), 115200u);
}

// The relay keeps the bootloader's rules: no operation before ESC and ACK,
// and commands of 1, 4 or 18 bytes.
TEST(BootloaderPeer, RelayRefusesOperationsOutOfTurn)
{
    const std::string nak = "NEWBLI\x15\x06.";
    const std::string ok = "NEWBLI\x11\x06.";
    const struct {
        const char* name;
        std::vector<std::string> before;
        std::string command;
        std::string refusal;
    } cases[] = {
        {"ACK before ESC", {}, "\x16Y\rNEWBLIABAG.", "ACK before the handshake"},
        {"erase before the handshake", {}, "\x16Y\rNEWBLIABEF.", "'E' before the handshake"},
        {"two bytes as an operation", {"\x16Y\rNEWBLIABBL.", "\x16Y\rNEWBLIABAG."}, "\x16Y\rNEWBLIACEFEF.",
         "2 bytes as an operation"},
        {"length that disagrees", {}, "\x16Y\rNEWBLIACBL.", "NEWBLI length 2 for 1 bytes"},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BootloaderScanner scanner(BootLink::rs232, false, "relay-turn-" + std::to_string(n++));
        SerialHost host(scanner);
        ASSERT_TRUE(host.open());
        host.line(115200);
        host.send("\x16Y\rNEWBLS.");
        EXPECT_EQ(host.read(9), "NEWBLS\x11\x06.");
        for (const std::string& command : c.before) {
            host.send(command);
            EXPECT_EQ(host.read(ok.size()), ok);
        }
        host.send(c.command);
        EXPECT_EQ(host.read(nak.size()), nak);
        EXPECT_TRUE(refused(scanner, c.refusal));
    }
}

// A host on a HID interface of the scanner.
class HidHost {
public:
    explicit HidHost(const std::string& path)
        : m_handle(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr))
    {
        if (m_handle.get() == INVALID_HANDLE_VALUE)
            m_handle.release();
    }
    bool open() const { return m_handle != nullptr; }

    // One output report: id 0xFD, the count, the bytes, zeros to 64.
    void send(const std::string& bytes, std::uint8_t id = 0xFD, int count = -1)
    {
        std::vector<std::uint8_t> report(64, 0);
        report[0] = id;
        report[1] = static_cast<std::uint8_t>(count < 0 ? bytes.size() : static_cast<std::size_t>(count));
        std::copy(bytes.begin(), bytes.end(), report.begin() + 2);
        sendRaw(report);
    }
    void sendRaw(const std::vector<std::uint8_t>& report)
    {
        DWORD written = 0;
        EXPECT_TRUE(WriteFile(m_handle.get(), report.data(), static_cast<DWORD>(report.size()), &written, nullptr));
    }

    // The payload of the next input report (its count bytes from offset 5).
    std::string read()
    {
        Handle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        OVERLAPPED overlapped{};
        overlapped.hEvent = event.get();
        std::uint8_t report[64] = {};
        DWORD count = 0;
        if (!ReadFile(m_handle.get(), report, sizeof report, &count, &overlapped)) {
            if (GetLastError() != ERROR_IO_PENDING)
                return "<error>";
            if (WaitForSingleObject(event.get(), 10000) != WAIT_OBJECT_0)
                CancelIo(m_handle.get());
            if (!GetOverlappedResult(m_handle.get(), &overlapped, &count, TRUE))
                return "<none>";
        }
        if (count < 5)
            return "<short>";
        return std::string(reinterpret_cast<const char*>(report) + 5, std::min<std::size_t>(report[1], count - 5));
    }

private:
    Handle m_handle;
};

class BootloaderPeerHid : public ::testing::Test {
protected:
    void SetUp() override { platform::setHidSysfsRoot(m_noDevices.path().string()); }
    vxtest::TempDir m_noDevices;
};

// Every output report holds id 0xFD, a count of at most 62, zeros behind it,
// and one whole command for the application.
TEST_F(BootloaderPeerHid, ApplicationRefusesReportsOutOfForm)
{
    std::vector<std::uint8_t> junkBehind(64, 0);
    junkBehind[0] = 0xFD;
    junkBehind[1] = 3;
    junkBehind[2] = 'a';
    junkBehind[10] = 'x';
    const struct {
        const char* name;
        std::string bytes;
        std::uint8_t id;
        int count;
        std::string refusal;
    } cases[] = {
        {"another report id", kPinfo, 0xFC, -1, "id 0xfc"},
        {"a count above 62", kPinfo, 0xFD, 63, "count 63"},
        {"two commands in one report", kPinfo + kPinfo, 0xFD, -1, "more than one command"},
        {"half a command", kPinfo.substr(0, 6), 0xFD, -1, "without a whole command"},
        {"class letter of another command", "\x16Y\rVISMN40.", 0xFD, -1, "class 'Y' for VISMN40."},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BootloaderScanner scanner(BootLink::hid, false, "hid-form-" + std::to_string(n++));
        HidHost host(scanner.hidPath());
        ASSERT_TRUE(host.open());
        host.send(c.bytes, c.id, c.count);
        EXPECT_TRUE(refused(scanner, c.refusal));
        host.send(kProbe);
        EXPECT_EQ(host.read(), kAck);
    }
    BootloaderScanner scanner(BootLink::hid, false, "hid-form-junk");
    HidHost host(scanner.hidPath());
    ASSERT_TRUE(host.open());
    host.sendRaw(junkBehind);
    EXPECT_TRUE(refused(scanner, "bytes behind its count"));
}

// The bootloader's HID device takes its single bytes one per report and a
// block's data in reports of 62; a report of another size gets NAK.
TEST_F(BootloaderPeerHid, BootloaderRefusesDataInReportsOfAnotherSize)
{
    BootloaderScanner scanner(BootLink::hid, true, "hid-sizes");
    HidHost host(scanner.hidPath());
    ASSERT_TRUE(host.open());
    host.send(kBtlpro);
    EXPECT_EQ(host.read(), kBtlproReply);
    host.send(kEsc + kAck);
    EXPECT_EQ(host.read(), kNak);
    EXPECT_TRUE(refused(scanner, "report of 2 bytes where 1 belong"));
    for (const std::string& b : {kEsc, kAck, std::string("P")}) {
        host.send(b);
        EXPECT_EQ(host.read(), kDc1);
    }
    host.send(kDc1);
    host.send(std::string("\x1D\x00\x00\x00", 4));
    host.send(std::string(32, '\x5A'));
    EXPECT_EQ(host.read(), kNak);
    EXPECT_TRUE(refused(scanner, "report of 32 bytes where 62 belong"));
    EXPECT_TRUE(scanner.blocks().empty());
}

}  // namespace
