// The simulated scanner's serial side: its byte-stream rules on their own,
// and its virtual port seen through the host's platform calls.
#include "TestSupport.h"
#include "serial_host.h"

#include "simulator/serial_filter_driver.h"
#include "simulator/serial_model.h"
#include "simulator/serial_responder.h"
#include "simulator/virtual_serial_port.h"

#include "platform/error.h"
#include "platform/file.h"
#include "platform/serial.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

const Bytes kSync = {0x16, 0x43, 0x0D, 0x00};
const Bytes kReply = {0x06, 0x15, 0x5E, 0x5F};

vxsim::HostLine line(unsigned baud, int data = 8, int parity = 0, int stop = 0)
{
    vxsim::HostLine l;
    l.known = true;
    l.baudRate = baud;
    l.dataBits = data;
    l.parity = parity;
    l.stopBits = stop;
    return l;
}

Bytes take(vxsim::SerialResponder& r, const Bytes& in, const vxsim::HostLine& l)
{
    return r.take(in.data(), in.size(), l);
}

TEST(SerialResponder, AnswersTheSyncOnlyOnItsOwnLine)
{
    const vxsim::SerialModel model = *vxsim::findSerialModel("rs232");
    vxsim::SerialResponder r(model);
    const struct {
        const char* name;
        vxsim::HostLine line;
        bool answers;
    } cases[] = {
        {"9600 8N1", line(9600), true},
        {"9600 8N2 (stop bits do not matter to a receiver)", line(9600, 8, 0, 2), true},
        {"115200 8N1", line(115200), false},
        {"9600 7N1", line(9600, 7), false},
        {"9600 8E1", line(9600, 8, 2), false},
        {"no settings yet", vxsim::HostLine{}, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(take(r, kSync, c.line), c.answers ? kReply : Bytes{}) << c.name;
}

TEST(SerialResponder, IgnoresDrainBytesAndJoinsASplitCommand)
{
    const vxsim::SerialModel model = *vxsim::findSerialModel("rs232");
    vxsim::SerialResponder r(model);
    const auto l = line(9600);
    EXPECT_EQ(take(r, {0x11, 0x06, 0x06, 0x11}, l), Bytes{});
    EXPECT_EQ(take(r, {0x11, 0x16, 0x43}, l), Bytes{});
    EXPECT_EQ(take(r, {0x0D}, l), kReply);
    // The padding NUL, then the host's ACK: nothing more.
    EXPECT_EQ(take(r, {0x00, 0x06}, l), Bytes{});
    // Two commands in one piece, without the padding between them.
    Bytes twice = {0x16, 0x43, 0x0D, 0x16, 0x43, 0x0D, 0x00};
    Bytes both = kReply;
    both.insert(both.end(), kReply.begin(), kReply.end());
    EXPECT_EQ(take(r, twice, l), both);
    // A command started at the wrong rate is lost.
    EXPECT_EQ(take(r, {0x16, 0x43}, line(19200)), Bytes{});
    EXPECT_EQ(take(r, {0x0D, 0x00}, l), Bytes{});
    EXPECT_EQ(r.pingsAnswered(), 3);

    r.setSilent(true);
    EXPECT_EQ(take(r, kSync, l), Bytes{});
}

TEST(SerialResponder, AUsbSerialDeviceIgnoresTheLine)
{
    const vxsim::SerialModel model = *vxsim::findSerialModel("usb-serial");
    vxsim::SerialResponder r(model);
    EXPECT_EQ(take(r, kSync, vxsim::HostLine{}), kReply);
    EXPECT_EQ(take(r, kSync, line(300, 7, 3)), kReply);
}

TEST(SerialModel, DpsCodesAndWireTime)
{
    vxsim::SerialModel m;
    ASSERT_TRUE(vxsim::applyDpsCode(4, &m));  // 7E2
    EXPECT_EQ(m.dataBits, 7);
    EXPECT_EQ(m.parity, 2);
    EXPECT_EQ(m.stopBits, 2);
    ASSERT_TRUE(vxsim::applyDpsCode(14, &m));  // 8, mark, 1
    EXPECT_EQ(m.parity, 3);
    EXPECT_FALSE(vxsim::applyDpsCode(15, &m));
    // 8N1 is 10 bits a byte; 7E2 is 11 (start, 7, parity, 2 stop).
    m = vxsim::SerialModel{};
    EXPECT_EQ(vxsim::wireMicroseconds(m, 96), 100'000);
    ASSERT_TRUE(vxsim::applyDpsCode(4, &m));
    m.baudRate = 1100;
    EXPECT_EQ(vxsim::wireMicroseconds(m, 10), 100'000);
    EXPECT_EQ(vxsim::findSerialModel("no such model"), nullptr);
}

TEST(SerialFilterDriverModel, ChecksItsRecordsAndAnswersWithoutADriver)
{
    vxsim::FilterDriverModel present;
    present.present = true;
    vxsim::SimulatedFilterDriver driver(present);
    vxsim::DeviceRequest bad;
    bad.code = 0x8023A004;
    bad.input = Bytes(24, 0);  // no interface GUID
    EXPECT_EQ(driver.handle(bad).error, vxsim::kErrorInvalidParameter);
    bad.code = 0x12345678;
    EXPECT_EQ(driver.handle(bad).error, vxsim::kErrorInvalidFunction);

    vxsim::SimulatedFilterDriver none(vxsim::FilterDriverModel{});
    vxsim::DeviceRequest query;
    query.code = 0x80232018;
    query.outputSize = 520;
    EXPECT_EQ(none.handle(query).error, vxsim::kErrorInvalidFunction);
    const auto answer = driver.handle(query);
    EXPECT_EQ(answer.error, 0u);
    // Four unused bytes, then "\\.\COM9" in UTF-16LE with its NUL.
    ASSERT_EQ(answer.output.size(), 4u + 2u * 9u);
    EXPECT_EQ(answer.output[4], '\\');
    EXPECT_EQ(answer.output[5], 0);
}

// The COM path of a simulated port, as the host finds it.
std::string pathOf(const vxsim::VirtualSerialPort& port)
{
    for (const auto& p : platform::listSerialPorts())
        if (p.devicePath == port.ptyPath())
            return "\\\\.\\" + p.comName;
    return {};
}

HANDLE openPort(const std::string& path)
{
    return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

TEST(SerialVirtualPort, PublishesItselfAndKeepsItsLinesUpWhileAttached)
{
    vxsim::VirtualSerialPort device(*vxsim::findSerialModel("filter-rs232"), "fd-scanner");
    ASSERT_TRUE(device.plug()) << device.lastError();
    bool listed = false;
    for (const auto& [name, com] : platform::serialCommValues())
        if (name.rfind("\\Device\\Serial_ptvd", 0) == 0)
            listed = true;
    EXPECT_TRUE(listed);

    HANDLE h = openPort(pathOf(device));
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(vxtest::waitUntil([&] { return device.hostConnected(); }));
    DWORD status = 0;
    ASSERT_TRUE(GetCommModemStatus(h, &status));
    EXPECT_EQ(status, MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON);
    CloseHandle(h);
    EXPECT_TRUE(vxtest::waitUntil([&] { return !device.hostConnected(); }));
}

TEST(SerialVirtualPort, UnpluggedAndPluggedBackUnderTheSameComName)
{
    auto model = *vxsim::findSerialModel("rs232");
    model.wireTime = false;
    vxsim::VirtualSerialPort device(model, "replug");
    ASSERT_TRUE(device.plug());
    const std::string path = pathOf(device);
    ASSERT_FALSE(path.empty());
    HANDLE h = openPort(path);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);

    device.unplug();
    EXPECT_FALSE(device.isPlugged());
    DWORD n = 0;
    EXPECT_FALSE(WriteFile(h, "x", 1, &n, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
    CloseHandle(h);
    EXPECT_EQ(openPort(path), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

    ASSERT_TRUE(device.plug());
    EXPECT_EQ(pathOf(device), path);
    h = openPort(path);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(simtest::setLineAndPolledReads(h, 9600));
    ASSERT_TRUE(WriteFile(h, kSync.data(), 4, &n, nullptr));
    std::string got;
    EXPECT_TRUE(simtest::readAtLeast(h, 4, got));
    EXPECT_EQ(got, std::string(kReply.begin(), kReply.end()));
    CloseHandle(h);
}

TEST(SerialVirtualPort, ChatterAndSilenceKnobs)
{
    auto model = *vxsim::findSerialModel("usb-serial");
    vxsim::VirtualSerialPort device(model, "knobs");
    ASSERT_TRUE(device.plug());
    HANDLE h = openPort(pathOf(device));
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    COMMTIMEOUTS t{MAXDWORD, 0, 0, 0, 0};
    ASSERT_TRUE(SetCommTimeouts(h, &t));
    auto readAll = [&] {
        std::string got;
        char b[64];
        DWORD r = 0;
        while (ReadFile(h, b, sizeof b, &r, nullptr) && r > 0)
            got.append(b, r);
        return got;
    };
    device.setChatter(true);
    std::string got;
    EXPECT_TRUE(vxtest::waitUntil([&] { return (got += readAll()).size() >= 3; }));
    EXPECT_EQ(got.find_first_not_of('x'), std::string::npos);
    device.setChatter(false);

    device.setSilent(true);
    DWORD n = 0;
    ASSERT_TRUE(WriteFile(h, kSync.data(), 4, &n, nullptr));
    EXPECT_TRUE(vxtest::waitUntil([&] { return device.received().size() >= 4; }));
    EXPECT_EQ(device.pingsAnswered(), 0);
    CloseHandle(h);
}

// Labels read as a sync command comes in go out around its answer, in
// order, and still go out when the answer does not.
TEST(SerialVirtualPort, LabelsAroundThePing)
{
    auto model = *vxsim::findSerialModel("rs232");
    vxsim::VirtualSerialPort device(model, "around");
    ASSERT_TRUE(device.plug());
    HANDLE h = openPort(pathOf(device));
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(simtest::setLineAndPolledReads(h, 9600));
    device.scanAroundPing({"BEFORE-1", "BEFORE-2"}, {"AFTER"});
    const vxsim::MenuEngine engine;
    const auto packet = [&](const std::string& label) {
        const Bytes bytes = engine.barcode(label);
        return std::string(bytes.begin(), bytes.end());
    };
    DWORD n = 0;
    ASSERT_TRUE(WriteFile(h, kSync.data(), 4, &n, nullptr));
    const std::string expected =
        packet("BEFORE-1") + packet("BEFORE-2") + std::string(kReply.begin(), kReply.end()) + packet("AFTER");
    std::string got;
    EXPECT_TRUE(simtest::readAtLeast(h, expected.size(), got));
    EXPECT_EQ(got, expected);

    device.setSilent(true);
    ASSERT_TRUE(WriteFile(h, kSync.data(), 4, &n, nullptr));
    const std::string unanswered = packet("BEFORE-1") + packet("BEFORE-2") + packet("AFTER");
    got.clear();
    EXPECT_TRUE(simtest::readAtLeast(h, unanswered.size(), got));
    EXPECT_EQ(got, unanswered);
    EXPECT_EQ(device.pingsAnswered(), 1);
    CloseHandle(h);
}

// With wire time on, a byte crosses the line in its time in both
// directions: at any moment, neither side has seen more bytes than the line
// can have carried since they were sent (9600 baud 8N1: 1.04 ms a byte).
TEST(SerialVirtualPort, EveryByteTakesItsWireTimeBothWays)
{
    using Clock = std::chrono::steady_clock;
    const vxsim::SerialModel model = *vxsim::findSerialModel("rs232");
    ASSERT_TRUE(model.wireTime);
    vxsim::VirtualSerialPort device(model, "wire");
    ASSERT_TRUE(device.plug());
    HANDLE h = openPort(pathOf(device));
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DCB dcb{};
    ASSERT_TRUE(GetCommState(h, &dcb));
    dcb.BaudRate = 9600;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    ASSERT_TRUE(SetCommState(h, &dcb));
    COMMTIMEOUTS t{MAXDWORD, 0, 0, 0, 0};
    ASSERT_TRUE(SetCommTimeouts(h, &t));
    ASSERT_TRUE(vxtest::waitUntil([&] { return device.hostLine().baudRate == 9600; }));
    const auto perByte = std::chrono::microseconds(vxsim::wireMicroseconds(model, 1000)) / 1000.0;
    constexpr std::size_t kBytes = 24;
    // The most bytes the line can have carried between `from` and `at`.
    auto carried = [&](Clock::time_point from, Clock::time_point at) {
        return static_cast<std::size_t>(std::chrono::duration<double, std::micro>(at - from) / perByte);
    };

    // Host to device: drain bytes, which the scanner takes without answering.
    const std::vector<unsigned char> xon(kBytes, 0x11);
    const auto written = Clock::now();
    DWORD n = 0;
    ASSERT_TRUE(WriteFile(h, xon.data(), static_cast<DWORD>(xon.size()), &n, nullptr));
    ASSERT_TRUE(vxtest::waitUntil([&] {
        const std::size_t seen = device.received().size();
        EXPECT_LE(seen, carried(written, Clock::now())) << "the scanner saw a byte before it crossed the line";
        return seen == kBytes;
    }));

    // Device to host.
    const std::vector<unsigned char> bytes(kBytes, 'y');
    const auto sent = Clock::now();
    device.send(bytes);
    std::size_t got = 0;
    ASSERT_TRUE(vxtest::waitUntil([&] {
        char b[64];
        DWORD r = 0;
        if (ReadFile(h, b, sizeof b, &r, nullptr))
            got += r;
        EXPECT_LE(got, carried(sent, Clock::now())) << "the host got a byte before it crossed the line";
        return got == kBytes;
    }));
    EXPECT_GE(device.deliveredAt() - sent, perByte * kBytes);
    EXPECT_LE(device.deliveredAt(), Clock::now());
    CloseHandle(h);
}

TEST(SerialVirtualPort, ANewHostConnectionReplacesAnOldOne)
{
    vxsim::VirtualSerialPort device(*vxsim::findSerialModel("rs232"), "reopen");
    ASSERT_TRUE(device.plug());
    const std::string path = pathOf(device);
    for (int i = 0; i < 3; ++i) {
        HANDLE h = openPort(path);
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << i;
        EXPECT_TRUE(vxtest::waitUntil([&] { return device.hostConnected() && device.dtr(); }));
        CloseHandle(h);
        EXPECT_TRUE(vxtest::waitUntil([&] { return !device.hostConnected() && !device.dtr(); }));
    }
}

}  // namespace
