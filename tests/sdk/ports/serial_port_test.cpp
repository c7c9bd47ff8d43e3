// CSerialPort's lifetime, opening, reading, writing and error reporting, on
// a virtual port served by the simulated scanner.
#include "SerialSimulatorFixture.h"
#include "TestSupport.h"

#include "ports/CSerialPort.h"

#include "platform/error.h"
#include "platform/file.h"
#include "platform/serial.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace {

using vxtest::serialModel;
using vxtest::SimulatedSerialScanner;

std::vector<unsigned char> bytes(std::initializer_list<int> values)
{
    std::vector<unsigned char> out;
    for (int v : values)
        out.push_back(static_cast<unsigned char>(v));
    return out;
}

TEST(SerialPortLifetime, OperationsBeforeOpenAnswerNotOpenedWithCountZero)
{
    CSerialPort port;
    unsigned char buffer[8] = {};
    unsigned int count = 77;
    EXPECT_EQ(port.read(buffer, sizeof buffer, &count), 6);
    EXPECT_EQ(count, 0u);
    count = 77;
    EXPECT_EQ(port.write(buffer, sizeof buffer, &count), 6);
    EXPECT_EQ(count, 0u);
    std::string text = "left over";
    EXPECT_EQ(port.read(text), 6);
    EXPECT_EQ(text, "");
    EXPECT_EQ(port.flush(), 6);
    EXPECT_EQ(port.getLastError(), 6);
    EXPECT_FALSE(port.isOpened());
    EXPECT_EQ(port.getHandle(), nullptr);
    EXPECT_EQ(port.cancelCommIo(), 0);
    EXPECT_EQ(port.close(), 0);  // closing a closed port is harmless
    EXPECT_EQ(port.getLastError(), 0);
}

TEST(SerialPortLifetime, OpenTwiceGives1247AndTheFirstHandleKeepsWorking)
{
    SimulatedSerialScanner scanner(serialModel("rs232"));
    CSerialPort port;
    ASSERT_EQ(port.open(scanner.path()), 0);
    const HANDLE first = port.getHandle();
    EXPECT_EQ(port.open(scanner.path()), 1247);
    EXPECT_EQ(port.getLastError(), 1247);
    EXPECT_EQ(port.getHandle(), first);

    const auto data = bytes({0x41, 0x42});
    unsigned int count = 0;
    EXPECT_EQ(port.write(data.data(), 2, &count), 0);
    EXPECT_EQ(count, 2u);
    EXPECT_TRUE(vxtest::waitUntil([&] { return scanner->received() == data; }));
}

TEST(SerialPortLifetime, SecondPortOnTheSameComPortIsDenied)
{
    SimulatedSerialScanner scanner(serialModel("rs232"));
    CSerialPort first;
    ASSERT_EQ(first.open(scanner.path()), 0);
    CSerialPort second;
    EXPECT_EQ(second.open(scanner.path()), 5);
    EXPECT_EQ(second.getLastError(), 5);
    EXPECT_FALSE(second.isOpened());
    EXPECT_TRUE(first.isOpened());

    // Lower case opens the same port.
    std::wstring lower = scanner.path();
    for (auto& c : lower)
        c = static_cast<wchar_t>(std::towlower(c));
    EXPECT_EQ(second.open(lower), 5);

    first.close();
    EXPECT_EQ(second.open(lower), 0);
}

// The child half: opens the port named in the environment and exits with
// the result of open.
TEST(SerialPortChild, Open)
{
    const char* path = std::getenv("VX_SERIAL_CHILD_PATH");
    if (path == nullptr)
        GTEST_SKIP() << "runs only as the child of SecondProcessIsDenied";
    CSerialPort port;
    const std::string narrow(path);
    std::_Exit(port.open(std::wstring(narrow.begin(), narrow.end())));
}

TEST(SerialPortLifetime, SecondProcessIsDenied)
{
    SimulatedSerialScanner scanner(serialModel("rs232"));
    CSerialPort port;
    ASSERT_EQ(port.open(scanner.path()), 0);

    const std::string program = std::filesystem::read_symlink("/proc/self/exe").string();
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e)
        env.emplace_back(*e);
    env.push_back("VX_SERIAL_CHILD_PATH=\\\\.\\" + scanner.comName());
    std::vector<char*> envp;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string filter = "--gtest_filter=SerialPortChild.Open";
    char* argv[] = {const_cast<char*>(program.c_str()), filter.data(), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, envp.data()), 0);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 5);
    EXPECT_TRUE(port.isOpened());
}

TEST(SerialPortLifetime, OpenWorksWithoutADefaultConfiguration)
{
    auto model = serialModel("rs232");
    model.defaultConfig = false;
    SimulatedSerialScanner scanner(model);
    CSerialPort port;
    EXPECT_EQ(port.open(scanner.path()), 0);
    EXPECT_TRUE(port.isOpened());
}

TEST(SerialPortLifetime, AnAdoptedHandleSurvivesCloseAndDestruction)
{
    SimulatedSerialScanner scanner(serialModel("rs232"));
    const std::wstring path = scanner.path();
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    {
        CSerialPort port;
        EXPECT_EQ(port.open(handle), 0);
        EXPECT_EQ(port.getHandle(), handle);
        EXPECT_EQ(port.close(), 0);
        EXPECT_FALSE(port.isOpened());
        EXPECT_EQ(port.open(handle), 0);
    }  // destroyed while holding the adopted handle
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(handle, "z", 1, &written, nullptr));
    EXPECT_TRUE(vxtest::waitUntil([&] { return scanner->received() == bytes({'z'}); }));
    EXPECT_TRUE(CloseHandle(handle));
}

TEST(SerialPortLifetime, DestroyingAPortBuiltNotToCloseLeavesItsHandleOpen)
{
    SimulatedSerialScanner scanner(serialModel("rs232"));
    HANDLE handle = nullptr;
    {
        CSerialPort port(0);
        ASSERT_EQ(port.open(scanner.path()), 0);
        handle = port.getHandle();
    }
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(handle, "k", 1, &written, nullptr));
    EXPECT_TRUE(CloseHandle(handle));

    {
        CSerialPort port;  // closes on destruction
        ASSERT_EQ(port.open(scanner.path()), 0);
        handle = port.getHandle();
    }
    EXPECT_FALSE(WriteFile(handle, "k", 1, &written, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(SerialPortIo, StringReadKeepsTheTextBetweenLeadingZerosAndTheNextZero)
{
    SimulatedSerialScanner scanner(serialModel("usb-serial"));
    CSerialPort port;
    ASSERT_EQ(port.open(scanner.path()), 0);
    scanner->send(bytes({0x00, 0x00, 0x41, 0x42, 0x00, 0x43}));
    // The six bytes may come in pieces; the first read that has the text
    // has all that matters.
    COMSTAT stat{};
    DWORD errors = 0;
    ASSERT_TRUE(vxtest::waitUntil([&] { return ClearCommError(port.getHandle(), &errors, &stat) && stat.cbInQue == 6; }));
    std::string text = "x";
    EXPECT_EQ(port.read(text), 0);
    EXPECT_EQ(text, "AB");

    // Nothing waiting: success, empty.
    EXPECT_EQ(port.read(text), 0);
    EXPECT_EQ(text, "");
}

TEST(SerialPortIo, WriteOfNothingMakesNoCall)
{
    SimulatedSerialScanner scanner(serialModel("rs232"));
    CSerialPort port;
    ASSERT_EQ(port.open(scanner.path()), 0);
    unsigned int count = 5;
    EXPECT_EQ(port.write(nullptr, 0, &count), 0);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(port.write(nullptr, 0, nullptr), 0);
    unsigned char buffer[4];
    EXPECT_EQ(port.read(buffer, -1, &count), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(port.write(buffer, -1, &count), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(count, 0u);
}

TEST(SerialPortIo, AWriteTheDriverTakesInPiecesResumesAtTheFirstUnwrittenByte)
{
    // The device takes bytes no faster than 115200 baud, so a buffer larger
    // than the pty holds goes out over several passes, each bounded by the
    // write time-out.
    SimulatedSerialScanner scanner(serialModel("rs232-115200", true));
    CSerialPort port;
    ASSERT_EQ(port.open(scanner.path()), 0);
    ASSERT_EQ(port.setup(115200, 2u), 0);
    COMMTIMEOUTS timeouts{};
    ASSERT_EQ(port.getTimeout(&timeouts), 0);
    timeouts.WriteTotalTimeoutConstant = 20;
    ASSERT_EQ(port.setTimeout(timeouts), 0);

    std::vector<unsigned char> data(64 * 1024);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<unsigned char>(i % 251);
    unsigned int count = 0;
    EXPECT_EQ(port.write(data.data(), static_cast<int>(data.size()), &count), 0);
    // Twelve passes do not carry 64 KiB at that rate: a partial count, and
    // success all the same.
    ASSERT_GT(count, 0u);
    ASSERT_LT(count, data.size());
    const std::vector<unsigned char> expected(data.begin(), data.begin() + count);
    std::vector<unsigned char> received;
    EXPECT_TRUE(vxtest::waitUntil([&] {
        received = scanner->received();
        return received.size() >= count;
    }));
    EXPECT_TRUE(received == expected) << "the device got " << received.size() << " bytes, the count says " << count;
}

TEST(SerialPortIo, AGoneDeviceAnswers1167)
{
    SimulatedSerialScanner scanner(serialModel("rs232"));
    CSerialPort port;
    ASSERT_EQ(port.open(scanner.path()), 0);
    scanner->unplug();
    unsigned char buffer[4];
    unsigned int count = 9;
    EXPECT_EQ(port.read(buffer, 4, &count), 1167);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(port.write(buffer, 4, &count), 1167);
    EXPECT_FALSE(port.isSignalOn(0xF0));
    EXPECT_EQ(port.getLastError(), 1167);
    EXPECT_TRUE(port.isOpened());
    EXPECT_EQ(port.close(), 0);
}

TEST(SerialPortIo, EachThreadGetsItsOwnResult)
{
    // The disconnect monitor polls the lines while other threads read and
    // write: a failure on one thread must not turn up as another's result.
    SimulatedSerialScanner scanner(serialModel("rs232"));
    CSerialPort port;
    ASSERT_EQ(port.open(scanner.path()), 0);
    std::atomic<bool> stop{false};
    std::atomic<int> foreignResults{0};
    std::thread failing([&] {
        while (!stop.load()) {
            // Rate 0 cannot be set: 87 every time.
            if (port.setup(0, 8, 0, 0) != ERROR_INVALID_PARAMETER)
                foreignResults.fetch_add(1);
        }
    });
    std::thread reading([&] {
        unsigned char buffer[16];
        unsigned int count = 0;
        while (!stop.load()) {
            if (port.read(buffer, sizeof buffer, &count) != 0)
                foreignResults.fetch_add(1);
            if (!port.isSignalOn(0xF0))
                foreignResults.fetch_add(1);
        }
    });
    for (int i = 0; i < 2000; ++i) {
        if (port.getBaudrate() <= 0)
            foreignResults.fetch_add(1);
    }
    stop.store(true);
    failing.join();
    reading.join();
    EXPECT_EQ(foreignResults.load(), 0);
}

}  // namespace
