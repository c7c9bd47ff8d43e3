// The management port of a simulated scanner behind the filter driver, seen
// through the host's platform calls: a channel of its own beside the COM
// port, held apart from it, that reaches the scanner at all times, on the
// line of whichever host rules it; labels wait while the driver's
// transaction mode is on.
#include "TestSupport.h"

#include "simulator/serial_model.h"
#include "simulator/virtual_serial_port.h"

#include "platform/error.h"
#include "platform/file.h"
#include "platform/serial.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

const Bytes kSync = {0x16, 0x43, 0x0D, 0x00};
const Bytes kReply = {0x06, 0x15, 0x5E, 0x5F};
constexpr DWORD kSetTransMode = 0x8023A004;

vxsim::SerialModel filterModel()
{
    vxsim::SerialModel model = *vxsim::findSerialModel("filter-rs232");
    model.wireTime = false;
    return model;
}

std::string comPathOf(const vxsim::VirtualSerialPort& port)
{
    for (const auto& listed : platform::listSerialPorts())
        if (listed.devicePath == port.ptyPath())
            return "\\\\.\\" + listed.comName;
    ADD_FAILURE() << "the simulated port has no COM name";
    return {};
}

// The management path of a filter-driver port that keeps the default bus
// and uniquifier, in the upper case the connector opens it in.
std::string managementPathOf(const vxsim::VirtualSerialPort& port)
{
    std::string path = "\\\\.\\{2ce3d77e-89ef-4ea6-9730-6fdf2a69508c}:serial\\virtual-" + port.id() + "1";
    std::transform(path.begin(), path.end(), path.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return path;
}

// A handle that closes itself.
class Port {
public:
    explicit Port(const std::string& path)
        : m_handle(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr)),
          m_error(m_handle == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS)
    {
        if (isOpen()) {
            COMMTIMEOUTS immediate{MAXDWORD, 0, 0, 0, 0};
            EXPECT_TRUE(SetCommTimeouts(m_handle, &immediate));
        }
    }
    ~Port() { close(); }
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    bool isOpen() const { return m_handle != INVALID_HANDLE_VALUE; }
    DWORD error() const { return m_error; }
    HANDLE handle() const { return m_handle; }
    void close()
    {
        if (isOpen())
            CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
    }
    void setBaud(DWORD baud)
    {
        DCB dcb{};
        ASSERT_TRUE(GetCommState(m_handle, &dcb));
        dcb.BaudRate = baud;
        ASSERT_TRUE(SetCommState(m_handle, &dcb));
    }
    bool write(const Bytes& bytes)
    {
        DWORD written = 0;
        return WriteFile(m_handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != FALSE &&
               written == bytes.size();
    }
    // Whatever has arrived by now.
    std::string readNow()
    {
        std::string got;
        char buffer[256];
        DWORD n = 0;
        while (ReadFile(m_handle, buffer, sizeof buffer, &n, nullptr) && n > 0)
            got.append(buffer, n);
        return got;
    }
    std::string readAtLeast(std::size_t count)
    {
        std::string got;
        EXPECT_TRUE(vxtest::waitUntil([&] { return (got += readNow()).size() >= count; })) << got.size();
        return got;
    }
    bool setTransactionMode(bool on)
    {
        unsigned char record[24] = {0xf8, 0xd1, 0x4d, 0x5b, 0x57, 0x1e, 0xa1, 0x4d,
                                    0x80, 0xdc, 0x9b, 0x96, 0x3b, 0x5d, 0x95, 0x9e, 24};
        record[20] = on ? 1 : 0;
        DWORD returned = 0;
        return DeviceIoControl(m_handle, kSetTransMode, record, sizeof record, nullptr, 0, &returned, nullptr) != FALSE;
    }

private:
    HANDLE m_handle;
    DWORD m_error;
};

std::size_t countSyncs(const Bytes& bytes)
{
    std::size_t count = 0;
    for (auto at = bytes.begin(); (at = std::search(at, bytes.end(), kSync.begin(), kSync.end())) != bytes.end();
         ++at)
        ++count;
    return count;
}

const std::string kReplyText(kReply.begin(), kReply.end());

TEST(ManagementPort, IsAChannelOfItsOwnHeldApartFromItsComPort)
{
    vxsim::VirtualSerialPort device(filterModel(), "mgmt");
    ASSERT_TRUE(device.plug()) << device.lastError();
    ASSERT_FALSE(device.managementPtyPath().empty());
    EXPECT_NE(device.managementPtyPath(), device.ptyPath());
    const std::string com = comPathOf(device);
    const std::string management = managementPathOf(device);

    Port first(management);
    ASSERT_TRUE(first.isOpen()) << first.error();
    EXPECT_TRUE(vxtest::waitUntil([&] { return device.managementConnected(); }));
    EXPECT_FALSE(device.hostConnected()) << "the COM port stays free";
    DWORD status = 0;
    EXPECT_TRUE(GetCommModemStatus(first.handle(), &status));
    EXPECT_EQ(status, static_cast<DWORD>(MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON)) << "the scanner's lines";

    Port second(management);
    EXPECT_FALSE(second.isOpen());
    EXPECT_EQ(second.error(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    Port lob(com);
    ASSERT_TRUE(lob.isOpen()) << lob.error();
    EXPECT_TRUE(vxtest::waitUntil([&] { return device.hostConnected(); }));
    Port lobAgain(com);
    EXPECT_EQ(lobAgain.error(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    first.close();
    EXPECT_TRUE(vxtest::waitUntil([&] { return !device.managementConnected(); }));
    EXPECT_TRUE(device.hostConnected());
    Port reopened(management);
    EXPECT_TRUE(reopened.isOpen()) << reopened.error();

    device.unplug();
    EXPECT_FALSE(reopened.write(kSync));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_EQ(Port(management).error(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(ManagementPort, ReachesTheScannerAtAllTimesWhileLabelsWaitForTheEndOfATransaction)
{
    vxsim::VirtualSerialPort device(filterModel(), "mgmtmode");
    ASSERT_TRUE(device.plug()) << device.lastError();
    Port management(managementPathOf(device));
    ASSERT_TRUE(management.isOpen()) << management.error();

    // Outside transaction mode as inside it.
    ASSERT_TRUE(management.write(kSync));
    EXPECT_EQ(management.readAtLeast(kReply.size()), kReplyText);
    ASSERT_TRUE(management.setTransactionMode(true));
    EXPECT_TRUE(device.filterDriverState().transactionMode);
    ASSERT_TRUE(management.write(kSync));
    EXPECT_EQ(management.readAtLeast(kReply.size()), kReplyText);
    EXPECT_EQ(device.pingsAnswered(), 2);
    EXPECT_TRUE(device.received().empty()) << "nothing leaks onto the COM port";

    // A label scanned during the transaction waits for its end. The ping
    // answered after the scan shows that the device has taken the label in.
    Port lob(comPathOf(device));
    ASSERT_TRUE(lob.isOpen()) << lob.error();
    ASSERT_TRUE(vxtest::waitUntil([&] { return device.hostConnected(); }));
    device.scan("LABEL-1");
    ASSERT_TRUE(management.write(kSync));
    EXPECT_EQ(management.readAtLeast(kReply.size()), kReplyText);
    EXPECT_EQ(lob.readNow(), "") << "held during the transaction";
    ASSERT_TRUE(management.setTransactionMode(false));
    const std::string label = lob.readAtLeast(7);
    EXPECT_NE(label.find("LABEL-1"), std::string::npos) << label;
    EXPECT_EQ(management.readNow(), "") << "a label goes to the COM port's host";

    // With the COM port free, the management port's host gets the labels.
    lob.close();
    ASSERT_TRUE(vxtest::waitUntil([&] { return !device.hostConnected(); }));
    device.scan("LABEL-2");
    const std::string second = management.readAtLeast(7);
    EXPECT_NE(second.find("LABEL-2"), std::string::npos) << second;
}

TEST(ManagementPort, AnswersOnTheLineOfTheHostThatHoldsTheComPort)
{
    // The scanner runs at 9600. While a host holds the COM port its settings
    // rule the one line; otherwise the management host's do.
    const struct {
        const char* name;
        DWORD lobBaud;  // 0: the COM port is free
        DWORD managementBaud;
        bool answered;
    } cases[] = {
        {"free port, management at the scanner's rate", 0, 9600, true},
        {"free port, management at another rate", 0, 115200, false},
        {"held at the scanner's rate, management at another", 9600, 115200, true},
        {"held at another rate, management at the scanner's", 115200, 9600, false},
    };
    vxsim::VirtualSerialPort device(filterModel(), "mgmtline");
    ASSERT_TRUE(device.plug()) << device.lastError();
    Port management(managementPathOf(device));
    ASSERT_TRUE(management.isOpen()) << management.error();
    ASSERT_TRUE(management.setTransactionMode(true));
    std::size_t syncs = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<Port> lob;
        if (c.lobBaud != 0) {
            lob.emplace(comPathOf(device));
            ASSERT_TRUE(lob->isOpen()) << lob->error();
            lob->setBaud(c.lobBaud);
        }
        management.setBaud(c.managementBaud);
        const int before = device.pingsAnswered();
        ASSERT_TRUE(management.write(kSync));
        ASSERT_TRUE(vxtest::waitUntil([&] { return countSyncs(device.managementReceived()) == syncs + 1; }));
        ++syncs;
        if (c.answered) {
            EXPECT_EQ(management.readAtLeast(kReply.size()), kReplyText);
        }
        EXPECT_EQ(device.pingsAnswered() - before, c.answered ? 1 : 0);
        if (lob.has_value()) {
            EXPECT_EQ(lob->readNow(), "") << "the answer goes where the question came from";
            lob.reset();
            ASSERT_TRUE(vxtest::waitUntil([&] { return !device.hostConnected(); }));
        }
    }
}

TEST(ManagementPort, APortWithoutTheFilterDriverHasNone)
{
    vxsim::SerialModel model = *vxsim::findSerialModel("rs232");
    model.wireTime = false;
    vxsim::VirtualSerialPort device(model, "plain");
    ASSERT_TRUE(device.plug()) << device.lastError();
    EXPECT_TRUE(device.managementPtyPath().empty());
    EXPECT_EQ(Port(managementPathOf(device)).error(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

}  // namespace
