// The termios serial backend, driven through virtual ports: the host side
// opens the pty's slave end exactly as it opens a real tty.
#include "PlatformTestSupport.h"
#include "SerialTestPeer.h"
#include "TestSupport.h"

#include "platform/error.h"
#include "platform/file.h"
#include "platform/serial.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace {

using vxtest::SerialTestPeer;

class SerialPort : public ::testing::Test {
protected:
    void SetUp() override
    {
        // No real ports: an empty sysfs tree.
        ::setenv("VX_SYSFS_ROOT", m_sysfs.path().c_str(), 1);
    }

    // The "\\.\COMn" path of the port whose tty is `ttyPath`.
    static std::string pathOf(const std::string& ttyPath)
    {
        for (const auto& port : platform::listSerialPorts())
            if (port.devicePath == ttyPath)
                return "\\\\.\\" + port.comName;
        ADD_FAILURE() << "no COM port for " << ttyPath;
        return {};
    }

    static HANDLE open(const std::string& path)
    {
        return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    }

    static void setTimeouts(HANDLE h, DWORD interval, DWORD multiplier, DWORD constant, DWORD writeMultiplier = 0,
                            DWORD writeConstant = 0)
    {
        COMMTIMEOUTS t{interval, multiplier, constant, writeMultiplier, writeConstant};
        ASSERT_TRUE(SetCommTimeouts(h, &t));
    }

    static std::string readSome(HANDLE h, DWORD size, BOOL* ok = nullptr)
    {
        std::string buffer(size, '\0');
        DWORD got = 0;
        const BOOL rc = ReadFile(h, buffer.data(), size, &got, nullptr);
        if (ok != nullptr)
            *ok = rc;
        buffer.resize(got);
        return buffer;
    }

    vxtest::TempDir m_sysfs;
};

TEST(SerialLayout, RecordsKeepThePlatformBitPositions)
{
    // The flash library copies the record byte for byte: the bit fields must
    // sit where the platform puts them.
    DCB dcb{};
    dcb.fBinary = 1;
    dcb.fParity = 1;
    dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
    dcb.fRtsControl = RTS_CONTROL_TOGGLE;
    dcb.fAbortOnError = 1;
    DWORD flags = 0;
    std::memcpy(&flags, reinterpret_cast<const char*>(&dcb) + 8, sizeof flags);
    EXPECT_EQ(flags, 0x1u | 0x2u | (2u << 4) | (3u << 12) | (1u << 14));

    COMSTAT stat{};
    stat.fTxim = 1;
    DWORD statFlags = 0;
    std::memcpy(&statFlags, &stat, sizeof statFlags);
    EXPECT_EQ(statFlags, 1u << 6);
}

TEST_F(SerialPort, UnknownPortIsNotFound)
{
    EXPECT_EQ(open("\\\\.\\COM42"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(SerialPort, DataFlowsBothWaysAndTheNameIgnoresCase)
{
    SerialTestPeer peer("loop");
    std::string path = pathOf(peer.slavePath());
    for (char& c : path)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    HANDLE h = open(path);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << GetLastError();
    setTimeouts(h, MAXDWORD, 0, 0);

    DWORD written = 0;
    ASSERT_TRUE(WriteFile(h, "\x16\x43\x0d\x00", 4, &written, nullptr));
    EXPECT_EQ(written, 4u);
    EXPECT_EQ(peer.read(4), std::string("\x16\x43\x0d\x00", 4));

    peer.write(std::string("\x06\x15\x5e\x5f", 4));
    std::string got;
    ASSERT_TRUE(vxtest::waitUntil([&] { return (got += readSome(h, 16)).size() >= 4; }));
    EXPECT_EQ(got, std::string("\x06\x15\x5e\x5f", 4));
    CloseHandle(h);
}

TEST_F(SerialPort, SecondOpenInThisProcessIsDeniedAndTheFirstKeepsWorking)
{
    SerialTestPeer peer("exclusive");
    const std::string path = pathOf(peer.slavePath());
    HANDLE first = open(path);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);

    EXPECT_EQ(open(path), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);

    DWORD written = 0;
    ASSERT_TRUE(WriteFile(first, "ok", 2, &written, nullptr));
    EXPECT_EQ(peer.read(2), "ok");

    // Closing hands the port to the next opener.
    CloseHandle(first);
    HANDLE again = open(path);
    EXPECT_NE(again, INVALID_HANDLE_VALUE);
    CloseHandle(again);
}

// The child half of the cross-process test: opens the port named in the
// environment and exits with the open's error code.
TEST(SerialChild, OpenPort)
{
    const char* path = std::getenv("VX_SERIAL_CHILD_PATH");
    if (path == nullptr)
        GTEST_SKIP() << "runs only as the child of SecondOpenFromAnotherProcessIsDenied";
    HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    std::_Exit(h == INVALID_HANDLE_VALUE ? static_cast<int>(GetLastError()) : 0);
}

TEST_F(SerialPort, SecondOpenFromAnotherProcessIsDenied)
{
    SerialTestPeer peer("shared");
    const std::string path = pathOf(peer.slavePath());
    HANDLE h = open(path);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);

    auto runChild = [&]() {
        const std::string program = std::filesystem::read_symlink("/proc/self/exe").string();
        std::vector<std::string> env;
        for (char** e = environ; *e != nullptr; ++e)
            env.emplace_back(*e);
        env.push_back("VX_SERIAL_CHILD_PATH=" + path);
        std::vector<char*> envp;
        for (auto& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        std::string filter = "--gtest_filter=SerialChild.OpenPort";
        char* argv[] = {const_cast<char*>(program.c_str()), filter.data(), nullptr};
        pid_t pid = 0;
        if (::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, envp.data()) != 0)
            return -1;
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };

    EXPECT_EQ(runChild(), static_cast<int>(ERROR_ACCESS_DENIED));
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(h, "still", 5, &written, nullptr));
    EXPECT_EQ(peer.read(5), "still");

    CloseHandle(h);
    EXPECT_EQ(runChild(), 0);
}

TEST_F(SerialPort, ReadTimeoutsFollowTheirRecord)
{
    SerialTestPeer peer("timeouts");
    HANDLE h = open(pathOf(peer.slavePath()));
    ASSERT_NE(h, INVALID_HANDLE_VALUE);

    // Interval MAXDWORD, totals 0: at once, with nothing, successfully.
    setTimeouts(h, MAXDWORD, 0, 0);
    BOOL ok = FALSE;
    EXPECT_EQ(readSome(h, 8, &ok), "");
    EXPECT_TRUE(ok);

    // A total constant bounds a read that cannot be filled: success with
    // what arrived.
    setTimeouts(h, 0, 0, 30);
    peer.write("abc");
    std::string got;
    ASSERT_TRUE(vxtest::waitUntil([&] { return (got += readSome(h, 10, &ok)).size() >= 3; }));
    EXPECT_TRUE(ok);
    EXPECT_EQ(got, "abc");

    // The same with interval MAXDWORD and a constant (the bound the SDK's
    // read mode set-up can ask for).
    setTimeouts(h, MAXDWORD, 0, 30);
    EXPECT_EQ(readSome(h, 10, &ok), "");
    EXPECT_TRUE(ok);

    // MAXDWORD, MAXDWORD, constant: returns as soon as something is there.
    setTimeouts(h, MAXDWORD, MAXDWORD, 20000);
    peer.write("z");
    EXPECT_EQ(readSome(h, 10, &ok), "z");

    // All zero: waits for the full count, across several arrivals.
    setTimeouts(h, 0, 0, 0);
    std::string whole;
    std::atomic<bool> done{false};
    std::thread reader([&] {
        whole = readSome(h, 6);
        done.store(true);
    });
    peer.write("123");
    EXPECT_FALSE(done.load());  // never early, however the threads run
    peer.write("456");
    ASSERT_TRUE(vxtest::waitUntil([&] { return done.load(); }));
    reader.join();
    EXPECT_EQ(whole, "123456");
    CloseHandle(h);
}

TEST_F(SerialPort, WriteThatTimesOutSucceedsWithWhatWasTaken)
{
    SerialTestPeer peer("stalled");  // never reads: the pty fills up
    HANDLE h = open(pathOf(peer.slavePath()));
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    setTimeouts(h, MAXDWORD, 0, 0, 0, 30);
    std::vector<char> big(256 * 1024, 'w');
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(h, big.data(), static_cast<DWORD>(big.size()), &written, nullptr));
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, big.size());
    CloseHandle(h);
}

TEST_F(SerialPort, CancelIoEndsAWaitingRead)
{
    SerialTestPeer peer("cancel");
    HANDLE h = open(pathOf(peer.slavePath()));
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    setTimeouts(h, 0, 0, 0);
    std::atomic<int> result{-1};
    std::atomic<DWORD> error{0};
    std::thread reader([&] {
        char b[4];
        DWORD got = 0;
        const BOOL ok = ReadFile(h, b, 4, &got, nullptr);
        error.store(GetLastError());
        result.store(ok);
    });
    // Cancel until the read has ended: it may not have begun at the first
    // cancel, and a cancel only ends the waits running at that moment.
    ASSERT_TRUE(vxtest::waitUntil([&] {
        CancelIo(h);
        return result.load() != -1;
    }));
    reader.join();
    EXPECT_EQ(result.load(), FALSE);
    EXPECT_EQ(error.load(), ERROR_OPERATION_ABORTED);
    CloseHandle(h);
}

struct LineCase {
    const char* name;
    DWORD baud;
    BYTE byteSize;
    BYTE parity;
    BYTE stopBits;
    bool valid;
};

TEST_F(SerialPort, LineSettingsReachTheDeviceWholeAndThePtyAsRateAnd8N1)
{
    SerialTestPeer peer("line");
    HANDLE h = open(pathOf(peer.slavePath()));
    ASSERT_NE(h, INVALID_HANDLE_VALUE);

    const LineCase cases[] = {
        {"9600 8N1", 9600, 8, NOPARITY, ONESTOPBIT, true},
        {"14400 7E1 (not a standard rate)", 14400, 7, EVENPARITY, ONESTOPBIT, true},
        {"115200 7O2", 115200, 7, ODDPARITY, TWOSTOPBITS, true},
        {"2400 7 mark 1", 2400, 7, MARKPARITY, ONESTOPBIT, true},
        {"300 8 space 1", 300, 8, SPACEPARITY, ONESTOPBIT, true},
        {"5 bits, 1.5 stop", 1200, 5, NOPARITY, ONE5STOPBITS, true},
        {"rate -1", 0xFFFFFFFFu, 8, NOPARITY, ONESTOPBIT, false},
        {"rate 0", 0, 8, NOPARITY, ONESTOPBIT, false},
        {"byte size -1", 9600, 0xFF, NOPARITY, ONESTOPBIT, false},
        {"byte size 9", 9600, 9, NOPARITY, ONESTOPBIT, false},
        {"parity -1", 9600, 8, 0xFF, ONESTOPBIT, false},
        {"stop bits -1", 9600, 8, NOPARITY, 0xFF, false},
        {"8 bits, 1.5 stop", 9600, 8, NOPARITY, ONE5STOPBITS, false},
        {"5 bits, 2 stop", 9600, 5, NOPARITY, TWOSTOPBITS, false},
    };
    for (const LineCase& c : cases) {
        SCOPED_TRACE(c.name);
        DCB before{};
        ASSERT_TRUE(GetCommState(h, &before));
        const std::size_t linesBefore = peer.count("LINE");
        DCB dcb = before;
        dcb.BaudRate = c.baud;
        dcb.ByteSize = c.byteSize;
        dcb.Parity = c.parity;
        dcb.fParity = c.parity != NOPARITY;
        dcb.StopBits = c.stopBits;
        const BOOL ok = SetCommState(h, &dcb);
        DCB after{};
        ASSERT_TRUE(GetCommState(h, &after));
        if (!c.valid) {
            EXPECT_FALSE(ok);
            EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
            EXPECT_EQ(std::memcmp(&after, &before, sizeof(DCB)), 0);
            EXPECT_EQ(peer.count("LINE"), linesBefore);
            continue;
        }
        ASSERT_TRUE(ok) << GetLastError();
        EXPECT_EQ(after.BaudRate, c.baud);
        EXPECT_EQ(after.ByteSize, c.byteSize);
        EXPECT_EQ(after.Parity, c.parity);
        EXPECT_EQ(after.StopBits, c.stopBits);
        const std::string expected = "LINE baud=" + std::to_string(c.baud) + " data=" + std::to_string(c.byteSize) +
                                     " parity=" + std::to_string(c.parity) + " stop=" + std::to_string(c.stopBits);
        EXPECT_EQ(peer.last("LINE").compare(0, expected.size(), expected), 0) << peer.last("LINE");

        // The pty itself runs at the rate with 8N1.
        const termios2 t = peer.ptySettings();
        EXPECT_EQ(t.c_ospeed, c.baud);
        EXPECT_EQ(t.c_cflag & CSIZE, static_cast<unsigned>(CS8));
        EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB), 0u);
    }
    CloseHandle(h);
}

TEST_F(SerialPort, OutputLinesAndBreakReachTheDevice)
{
    SerialTestPeer peer("signals");
    HANDLE h = open(pathOf(peer.slavePath()));
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    // An open raises DTR and RTS, as the platform's default configuration has it.
    EXPECT_EQ(peer.last("SIGNALS"), "SIGNALS dtr=1 rts=1");

    ASSERT_TRUE(EscapeCommFunction(h, CLRDTR));
    EXPECT_EQ(peer.last("SIGNALS"), "SIGNALS dtr=0 rts=1");
    DCB dcb{};
    ASSERT_TRUE(GetCommState(h, &dcb));
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    ASSERT_TRUE(SetCommState(h, &dcb));
    EXPECT_EQ(peer.last("SIGNALS"), "SIGNALS dtr=1 rts=0");  // the DCB's DTR control is still "enable"

    ASSERT_TRUE(SetCommBreak(h));
    EXPECT_EQ(peer.last("BREAK"), "BREAK 1");
    ASSERT_TRUE(ClearCommBreak(h));
    EXPECT_EQ(peer.last("BREAK"), "BREAK 0");
    EXPECT_FALSE(EscapeCommFunction(h, 77));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    CloseHandle(h);
}

TEST_F(SerialPort, ModemStatusComesFromTheDevice)
{
    SerialTestPeer peer("modem");
    peer.setLines(MS_CTS_ON | MS_DSR_ON);
    HANDLE h = open(pathOf(peer.slavePath()));
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD status = 0;
    ASSERT_TRUE(GetCommModemStatus(h, &status));
    EXPECT_EQ(status, MS_CTS_ON | MS_DSR_ON);

    peer.setLines(MS_RLSD_ON | MS_RING_ON);
    EXPECT_TRUE(vxtest::waitUntil([&] {
        return GetCommModemStatus(h, &status) && status == (MS_RLSD_ON | MS_RING_ON);
    }));
    CloseHandle(h);
}

TEST_F(SerialPort, UnpluggedDeviceAnswersDeviceNotConnected)
{
    SerialTestPeer peer("unplug");
    HANDLE h = open(pathOf(peer.slavePath()));
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    setTimeouts(h, MAXDWORD, 0, 0);
    peer.hangUp();

    char b[4];
    DWORD n = 0;
    EXPECT_FALSE(ReadFile(h, b, 4, &n, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
    EXPECT_FALSE(WriteFile(h, "x", 1, &n, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
    DWORD status = 0;
    EXPECT_FALSE(GetCommModemStatus(h, &status));
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
    CloseHandle(h);

    EXPECT_TRUE(platform::listSerialPorts().empty());
}

TEST_F(SerialPort, UnpluggedDeviceEndsAWaitingRead)
{
    SerialTestPeer peer("unplug-wait");
    HANDLE h = open(pathOf(peer.slavePath()));
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    setTimeouts(h, 0, 0, 0);
    std::atomic<DWORD> error{0};
    std::thread reader([&] {
        char b[4];
        DWORD got = 0;
        if (!ReadFile(h, b, 4, &got, nullptr))
            error.store(GetLastError());
    });
    peer.hangUp();
    reader.join();
    EXPECT_EQ(error.load(), ERROR_DEVICE_NOT_CONNECTED);
    CloseHandle(h);
}

TEST_F(SerialPort, DeviceRequestsGoToTheDeviceAndNeverOverrunTheAnswerBuffer)
{
    SerialTestPeer peer("ioctl");
    HANDLE h = open(pathOf(peer.slavePath()));
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    unsigned char in[3] = {0xAB, 0x00, 0x7F};
    unsigned char out[6];
    std::memset(out, 0xEE, sizeof out);
    DWORD returned = 99;

    // A port without the driver refuses as a device that does not know the
    // request.
    EXPECT_FALSE(DeviceIoControl(h, 0x8023A004, in, 3, out, 4, &returned, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_FUNCTION);
    EXPECT_EQ(returned, 0u);
    EXPECT_EQ(peer.last("IOCTL"), "IOCTL code=8023a004 out=4 in=ab007f");

    peer.setIoctlReply("OK out=0102030405060708");
    EXPECT_TRUE(DeviceIoControl(h, 0x80232018, nullptr, 0, out, 4, &returned, nullptr));
    EXPECT_EQ(returned, 4u);
    EXPECT_EQ(std::vector<unsigned char>(out, out + 6),
              (std::vector<unsigned char>{1, 2, 3, 4, 0xEE, 0xEE}));
    CloseHandle(h);
}

TEST_F(SerialPort, PurgeDropsWhatWaitsAndQueueCountsShowIt)
{
    SerialTestPeer peer("purge");
    HANDLE h = open(pathOf(peer.slavePath()));
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    setTimeouts(h, MAXDWORD, 0, 0);
    peer.write("stale");
    COMSTAT stat{};
    DWORD errors = 1;
    ASSERT_TRUE(vxtest::waitUntil([&] { return ClearCommError(h, &errors, &stat) && stat.cbInQue == 5; }));
    EXPECT_EQ(errors, 0u);
    ASSERT_TRUE(PurgeComm(h, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR));
    EXPECT_EQ(readSome(h, 8), "");
    EXPECT_FALSE(PurgeComm(h, 0x10));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    CloseHandle(h);
}

TEST_F(SerialPort, WaitCommEventSeesInputModemChangesAndAMaskChange)
{
    SerialTestPeer peer("events");
    HANDLE h = open(pathOf(peer.slavePath()));
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD mask = 0;
    EXPECT_FALSE(WaitCommEvent(h, &mask, nullptr));  // no mask set
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    ASSERT_TRUE(SetCommMask(h, EV_RXCHAR | EV_CTS));
    DWORD got = 0;
    ASSERT_TRUE(GetCommMask(h, &got));
    EXPECT_EQ(got, EV_RXCHAR | EV_CTS);

    peer.write("a");
    ASSERT_TRUE(WaitCommEvent(h, &mask, nullptr));
    EXPECT_EQ(mask, EV_RXCHAR);
    PurgeComm(h, PURGE_RXCLEAR);

    std::atomic<DWORD> seen{0xFFFFFFFF};
    std::thread waiter([&] {
        DWORD m = 0;
        if (WaitCommEvent(h, &m, nullptr))
            seen.store(m);
    });
    // The wait reports a change from the lines at its start, which the
    // test cannot see begin: toggle CTS until it has reported one.
    bool cts = false;
    EXPECT_TRUE(vxtest::waitUntil([&] {
        peer.setLines(MS_DSR_ON | (cts ? MS_CTS_ON : 0));
        cts = !cts;
        return seen.load() != 0xFFFFFFFF;
    }));
    CancelIo(h);
    waiter.join();
    EXPECT_EQ(seen.load(), EV_CTS);

    seen.store(0xFFFFFFFF);
    std::thread waiter2([&] {
        DWORD m = 5;
        if (WaitCommEvent(h, &m, nullptr))
            seen.store(m);
    });
    // A new mask ends the wait with no event; it may begin after the first
    // mask change, so change until it has ended.
    EXPECT_TRUE(vxtest::waitUntil([&] {
        SetCommMask(h, EV_RXCHAR);
        return seen.load() != 0xFFFFFFFF;
    }));
    CancelIo(h);
    waiter2.join();
    EXPECT_EQ(seen.load(), 0u);
    CloseHandle(h);
}

TEST_F(SerialPort, DefaultConfigurationByName)
{
    SerialTestPeer peer("defaults");
    SerialTestPeer bare("bare", "Serial", false);
    const std::string com = pathOf(peer.slavePath()).substr(4);
    const std::string bareCom = pathOf(bare.slavePath()).substr(4);

    COMMCONFIG config{};
    DWORD size = sizeof config - 1;
    EXPECT_FALSE(GetDefaultCommConfigA(com.c_str(), &config, &size));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(size, sizeof(COMMCONFIG));

    std::wstring lower(com.begin(), com.end());
    for (auto& c : lower)
        c = static_cast<wchar_t>(std::towlower(c));
    ASSERT_TRUE(GetDefaultCommConfigW(lower.c_str(), &config, &size));
    EXPECT_EQ(config.dwSize, sizeof(COMMCONFIG));
    EXPECT_EQ(config.dcb.BaudRate, 9600u);
    EXPECT_EQ(config.dcb.ByteSize, 8);

    EXPECT_FALSE(GetDefaultCommConfigA(bareCom.c_str(), &config, &size));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(GetDefaultCommConfigA("COM200", &config, &size));

    // SetCommConfig applies the configuration's DCB.
    HANDLE h = open("\\\\.\\" + com);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    config.dcb.BaudRate = 19200;
    ASSERT_TRUE(SetCommConfig(h, &config, size));
    DCB dcb{};
    ASSERT_TRUE(GetCommState(h, &dcb));
    EXPECT_EQ(dcb.BaudRate, 19200u);
    CloseHandle(h);
}

TEST_F(SerialPort, CommCallsOnOtherHandlesAnswerInvalidHandle)
{
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DCB dcb{};
    EXPECT_FALSE(GetCommState(event, &dcb));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(PurgeComm(nullptr, PURGE_RXCLEAR));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    CloseHandle(event);
}

TEST_F(SerialPort, QueueSizesBeyondTheLimitAreRefused)
{
    SerialTestPeer peer("queues");
    HANDLE h = open(pathOf(peer.slavePath()));
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(SetupComm(h, 4096, 4096));
    EXPECT_FALSE(SetupComm(h, 0xFFFFFFFFu, 4096));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    CloseHandle(h);
}

}  // namespace
