// A flashable scanner's application as a host meets it on its serial port:
// the identity's answers, the ping, the init string with and without its
// mark, the flash commands answered by the bootloader underneath, frames
// split over writes or left unfinished, labels, and the timeline of what
// the host did.
#include "TestSupport.h"

#include "simulator/flashable.h"
#include "simulator/hid_scanner.h"
#include "simulator/virtual_serial_port.h"

#include "platform/error.h"
#include "platform/file.h"
#include "platform/serial.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Kind = vxsim::TimelineEvent::Kind;

const std::string kAckReply = "\x06";

// The host's end of the scanner's serial port, at the application's 9600 8N1.
class Host {
public:
    explicit Host(const vxsim::FlashableScanner& scanner)
    {
        std::string path;
        for (const auto& port : platform::listSerialPorts())
            if (port.devicePath == scanner.serialPath())
                path = "\\\\.\\" + port.comName;
        m_handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        DCB dcb{};
        GetCommState(m_handle, &dcb);
        dcb.BaudRate = 9600;
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        SetCommState(m_handle, &dcb);
        COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 0};
        SetCommTimeouts(m_handle, &timeouts);
    }
    ~Host() { close(); }
    bool opened() const { return m_handle != INVALID_HANDLE_VALUE; }
    void close()
    {
        if (m_handle != INVALID_HANDLE_VALUE)
            CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
    }
    void write(const std::string& bytes)
    {
        DWORD written = 0;
        WriteFile(m_handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
    // What arrives until it ends with `end` (bounded).
    std::string readUntil(const std::string& end)
    {
        std::string got;
        vxtest::waitUntil([&] {
            char buffer[512];
            DWORD read = 0;
            if (ReadFile(m_handle, buffer, sizeof buffer, &read, nullptr))
                got.append(buffer, read);
            return got.size() >= end.size() && got.compare(got.size() - end.size(), end.size(), end) == 0;
        });
        return got;
    }
    // What arrives within a moment (for answers that should not come).
    std::string readFor(std::chrono::milliseconds span)
    {
        std::string got;
        const auto until = std::chrono::steady_clock::now() + span;
        while (std::chrono::steady_clock::now() < until) {
            char buffer[512];
            DWORD read = 0;
            if (ReadFile(m_handle, buffer, sizeof buffer, &read, nullptr))
                got.append(buffer, read);
        }
        return got;
    }

private:
    HANDLE m_handle = INVALID_HANDLE_VALUE;
};

std::string menu(const std::string& command, char menuClass = 'M')
{
    return std::string("\x16") + menuClass + "\r" + command;
}

TEST(Flashable, TheApplicationAnswersTheHostAndPassesTheFlashCommandsOn)
{
    vxsim::FlashableOptions options;
    options.id = "flashable-answers";
    options.serialNumber = "SN-ANSWERS";
    vxsim::FlashableScanner scanner(options);
    Host host(scanner);
    ASSERT_TRUE(host.opened());

    host.write(std::string("\x16" "C\r\0", 4));
    EXPECT_EQ(host.readUntil("\x5E\x5F"), "\x06\x15\x5E\x5F");
    host.write(menu("SERNUM?!"));
    EXPECT_EQ(host.readUntil("!"), "SERNUMSN-ANSWERS" + kAckReply + "!");
    // The identity's listing to the host's query, the bootloader's record to
    // the flash library's.
    host.write(menu("P_INFO!"));
    const std::string listing = host.readUntil(kAckReply + "!");
    EXPECT_NE(listing.find("flash: 2\r\n"), std::string::npos) << listing;
    EXPECT_NE(listing.find("hw-sn: SN-ANSWERS\r\n"), std::string::npos) << listing;
    host.write(menu("P_INFO."));
    const std::string record = host.readUntil(kAckReply + ".");
    EXPECT_EQ(record.rfind("P_INFOfmt: 1\r\nmode: app\r\n", 0), 0u) << record;
    // A command split over several writes, and one whose frame never ended
    // before the next began.
    host.write("\x16M\rDEC");
    host.write("HDR?!");
    EXPECT_EQ(host.readUntil("!"), "DECHDR1" + kAckReply + "!");
    host.write(menu("BEPLVL?"));
    host.write(menu("BEPLVL?!"));
    EXPECT_EQ(host.readUntil("!"), "BEPLVL2" + kAckReply + "!");

    host.write(menu("VISMN42."));
    EXPECT_EQ(host.readUntil("."), "VISMN42" + kAckReply + ".");
    scanner.setInitStringMark(false);
    host.write(menu("VISMN42."));
    // The reply ends at its status byte; no terminator follows it.
    EXPECT_EQ(host.readUntil(kAckReply), "VISMN42" + kAckReply);
    EXPECT_EQ(host.readFor(std::chrono::milliseconds(200)), "");
    EXPECT_EQ(scanner.initStrings(), 2);

    scanner.setPingSilent(true);
    host.write(std::string("\x16" "C\r\0", 4));
    EXPECT_EQ(host.readFor(std::chrono::milliseconds(200)), "");

    const std::vector<std::string> commands = scanner.bootloader().commands();
    EXPECT_EQ(commands, std::vector<std::string>{"P_INFO."}) << "only the flash library's commands reach the bootloader";
    const std::vector<std::string> answered = scanner.menuCommands();
    EXPECT_NE(std::find(answered.begin(), answered.end(), "SERNUM?"), answered.end());
    EXPECT_EQ(std::find(answered.begin(), answered.end(), "P_INFO."), answered.end());
}

TEST(Flashable, LabelsFollowTheDecodeHeader)
{
    vxsim::FlashableOptions options;
    options.id = "flashable-labels";
    vxsim::FlashableScanner scanner(options);
    Host host(scanner);
    ASSERT_TRUE(host.opened());
    EXPECT_TRUE(vxtest::waitUntil([&] { return scanner.bootloader().serialPort()->hostConnected(); }));
    ASSERT_TRUE(scanner.scan("LABEL-1"));
    const std::string packet = host.readUntil("LABEL-1");
    EXPECT_EQ(packet.rfind("\x16\xFE", 0), 0u);
    EXPECT_NE(packet.find("MSGGET"), std::string::npos);
    host.write(menu("DECHDR0!"));
    host.readUntil("!");
    EXPECT_FALSE(scanner.decodeHeader());
    ASSERT_TRUE(scanner.scan("LABEL-2"));
    EXPECT_EQ(host.readUntil("LABEL-2"), "LABEL-2");
}

// Opens, bytes and closes of two hosts, in order, across the scanner's
// devices.
TEST(Flashable, TheTimelineKeepsTheHostsOrder)
{
    vxsim::FlashableOptions options;
    options.id = "flashable-timeline";
    vxsim::FlashableScanner scanner(options);
    for (const char* command : {"first!", "second!"}) {
        Host host(scanner);
        ASSERT_TRUE(host.opened());
        host.write(menu(command));
        EXPECT_TRUE(vxtest::waitUntil([&] {
            for (const auto& event : scanner.timeline())
                if (event.kind == Kind::bytes &&
                    std::string(event.data.begin(), event.data.end()).find(command) != std::string::npos)
                    return true;
            return false;
        }));
    }
    EXPECT_TRUE(vxtest::waitUntil([&] { return !scanner.bootloader().serialPort()->hostConnected(); }));
    std::string kinds;
    for (const auto& event : scanner.timeline()) {
        EXPECT_EQ(event.device, "flashable-timeline");
        if (event.kind == Kind::open)
            kinds += "O";
        else if (event.kind == Kind::close)
            kinds += "C";
        else if (event.kind == Kind::bytes && !kinds.empty() && kinds.back() != 'B')
            kinds += "B";
    }
    EXPECT_EQ(kinds, "OBCOBC");
    const auto timeline = scanner.timeline();
    for (std::size_t i = 1; i < timeline.size(); ++i)
        EXPECT_LT(timeline[i - 1].order, timeline[i].order);
}

}  // namespace
