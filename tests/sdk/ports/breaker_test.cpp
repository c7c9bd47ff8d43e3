// The serial sync ping: against a scripted port where the number of reads
// matters, and against the simulated scanner end to end.
#include "SerialSimulatorFixture.h"
#include "TestSupport.h"

#include "base/CancelFlag.h"
#include "ports/CBreaker.h"
#include "ports/CSerialPort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <vector>

namespace {

using vxtest::serialModel;
using vxtest::SimulatedSerialScanner;

using Bytes = std::vector<unsigned char>;

// A serial port whose reads after the SYNC command follow a script (one
// entry per read; an empty entry is a read that finds nothing) and that
// records what is written. Before the SYNC the line is quiet, so the drain
// ends after one pass.
class ScriptedSerialPort : public CSerialPort {
public:
    bool isOpened() override { return true; }
    int getBaudrate() override
    {
        ++baudQueries;
        return baud;
    }
    int write(const unsigned char* buffer, int length, unsigned int* count) override
    {
        written.insert(written.end(), buffer, buffer + length);
        if (length >= 2 && buffer[0] == 0x16 && buffer[1] == 0x43)
            synced = true;
        if (count != nullptr)
            *count = writeResult == 0 ? static_cast<unsigned>(length) : 0;
        return writeResult;
    }
    int read(unsigned char* buffer, int size, unsigned int* count) override
    {
        *count = 0;
        if (!synced)
            return 0;
        ++readsAfterSync;
        if (script.empty())
            return 0;
        const Bytes chunk = script.front();
        script.pop_front();
        const std::size_t n = std::min(chunk.size(), static_cast<std::size_t>(size));
        std::copy_n(chunk.begin(), n, buffer);
        *count = static_cast<unsigned>(n);
        return 0;
    }

    int baud = 9600;
    int baudQueries = 0;
    int writeResult = 0;
    bool synced = false;
    int readsAfterSync = 0;
    std::deque<Bytes> script;
    Bytes written;
};

// Any port that is not a serial one.
class OtherPort : public InterfacePort {
public:
    int open(HANDLE) override { return 0; }
    int open(std::wstring) override { return 0; }
    int close() override { return 0; }
    int read(std::string&) override { return 0; }
    int read(unsigned char*, int, unsigned int* count) override
    {
        *count = 0;
        return 0;
    }
    int write(const unsigned char*, int, unsigned int*) override { return 0; }
    int flush() override { return 0; }
    bool isOpened() override { return true; }
    int getLastError() override { return 0; }
    HANDLE getHandle() override { return nullptr; }
};

PORTINFO recordFor(InterfacePort* port)
{
    PORTINFO info{};
    info.port = port;
    return info;
}

TEST(BreakerVerify, AcceptsBothSignaturesAndNothingElse)
{
    const struct {
        Bytes answer;
        bool accepted;
    } cases[] = {
        {{0x06, 0x15, 0x5E, 0x5F}, true},
        {{0x06, 0x15, 0xDE, 0xDF}, true},
        {{0x06, 0x15, 0x5E, 0x5F, 0x99, 0x99}, true},  // only four bytes count
        {{0x06, 0x15, 0x5E, 0xDF}, false},
        {{0x06, 0x15, 0xDE, 0x5F}, false},
        {{0x15, 0x06, 0x5E, 0x5F}, false},
        {{0x06, 0x06, 0x5E, 0x5F}, false},
        {{0x00, 0x00, 0x00, 0x00}, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CBreaker::verifyPing(c.answer.data()), c.accepted) << int(c.answer[2]) << " " << int(c.answer[3]);
}

TEST(BreakerScripted, AReplySplitAcrossReadsIsJoinedAndReadingStopsAtFourBytes)
{
    ScriptedSerialPort port;
    port.script = {{0x06}, {}, {0x15, 0x5E}, {}, {0x5F}, {0x01}};
    PORTINFO info = recordFor(&port);
    CBreaker breaker(&info);
    EXPECT_TRUE(breaker.ping(false, false));
    EXPECT_EQ(port.readsAfterSync, 5);
    // XON and ACK of the drain, SYNC, then ACK.
    EXPECT_EQ(port.written, (Bytes{0x11, 0x06, 0x16, 0x43, 0x0D, 0x00, 0x06}));
}

// A data packet as a scanner sends a label: SYN, 0xFE, the payload's
// length (4 bytes, little-endian), CR, the payload.
Bytes packet(const std::string& payload)
{
    Bytes bytes = {0x16, 0xFE};
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<unsigned char>((payload.size() >> (8 * i)) & 0xFF));
    bytes.push_back(0x0D);
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    return bytes;
}

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A scanner that is scanning sends labels before, between and after the
// answer: the answer is found outside them, never inside a packet's
// payload, and the read stops once it is in.
TEST(BreakerScripted, TheAnswerIsFoundAmongDataPackets)
{
    const Bytes answer = {0x06, 0x15, 0x5E, 0x5F};
    const Bytes label = packet("MSGGET\x11\0\0\0dE0\0" "0123456789012");
    const Bytes holdsAnswer = packet(std::string("\x06\x15\x5E\x5F", 4));
    const struct {
        const char* name;
        std::deque<Bytes> script;
        bool answered;
        int reads;  // after the SYNC
    } cases[] = {
        {"a label, then the answer", {label + answer}, true, 1},
        {"labels and the answer in pieces",
         {Bytes(label.begin(), label.begin() + 3), Bytes(label.begin() + 3, label.end()) + label, {}, Bytes{0x06, 0x15},
          Bytes{0x5E, 0x5F}},
         true, 5},
        {"the answer, then a label", {answer + label}, true, 1},
        {"the answer between two labels", {label, answer, label}, true, 2},
        {"the answer only inside a packet's payload", {holdsAnswer, label}, false, 2 + 8},
        {"inside a payload, then outside", {holdsAnswer + answer}, true, 1},
        {"a SYN that starts no header, then the answer", {Bytes{0x16} + answer}, true, 1 + 8},
        {"a near miss among labels", {label + Bytes{0x06, 0x15, 0x5E, 0xDF} + label}, false, 1 + 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedSerialPort port;
        port.script = c.script;
        PORTINFO info = recordFor(&port);
        CBreaker breaker(&info);
        EXPECT_EQ(breaker.ping(false, false), c.answered);
        EXPECT_EQ(port.readsAfterSync, c.reads);
    }
}

// A line that keeps sending packets without an answer is given up after a
// bounded number of bytes, not when it falls quiet.
TEST(BreakerScripted, ALineFullOfLabelsWithoutAnAnswerIsGivenUp)
{
    ScriptedSerialPort port;
    const Bytes label = packet(std::string(57, 'L'));  // 64 bytes, one read each
    for (std::size_t i = 0; i < CBreaker::kAnswerSearchLimit / label.size() + 10; ++i)
        port.script.push_back(label);
    PORTINFO info = recordFor(&port);
    CBreaker breaker(&info);
    EXPECT_FALSE(breaker.ping(false, false));
    EXPECT_EQ(static_cast<std::size_t>(port.readsAfterSync), CBreaker::kAnswerSearchLimit / label.size());
}

struct SilentCase {
    int baud;
    bool usbSerial;
    int readCount;
};

TEST(BreakerScripted, ASilentDeviceGivesUpAfterTheReadCountForItsRate)
{
    const SilentCase cases[] = {
        {300, false, 384}, {600, false, 192}, {1200, false, 96}, {2400, false, 48}, {4800, false, 16},
        {9600, false, 8},  {19200, false, 8}, {38400, false, 5}, {57600, false, 5}, {115200, false, 5},
        {14400, false, 6}, {9600, true, 6},
    };
    for (const SilentCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.baud) + (c.usbSerial ? " usb" : ""));
        ScriptedSerialPort port;
        port.baud = c.baud;
        PORTINFO info = recordFor(&port);
        info.readCount = 1234;
        CBreaker breaker(&info);
        EXPECT_FALSE(breaker.ping(c.usbSerial, false));
        EXPECT_EQ(port.readsAfterSync, c.readCount);
        EXPECT_EQ(info.readCount, c.readCount);
        EXPECT_EQ(info.readDelay, 2);
        EXPECT_EQ(port.baudQueries, c.usbSerial ? 0 : 1);
    }
}

TEST(BreakerScripted, ReadRawTakesTheCountFromTheRecordAndANegativeDelayAsNone)
{
    ScriptedSerialPort port;
    port.synced = true;
    port.script = {{}, {0x41}, {}, {}, {0x42, 0x43}};
    PORTINFO info = recordFor(&port);
    info.readCount = 3;
    info.readDelay = -1;  // would be a sleep of weeks taken as unsigned
    CBreaker breaker(&info);
    unsigned char buffer[8] = {};
    unsigned count = 0;
    breaker.readRaw(buffer, sizeof buffer, &count, 0);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 3), "ABC");
    // Data restarts the count: 5 scripted reads, then 3 empty ones.
    EXPECT_EQ(port.readsAfterSync, 8);
}

TEST(BreakerScripted, APresetCancelWritesNothing)
{
    ScriptedSerialPort port;
    port.script = {{0x06, 0x15, 0x5E, 0x5F}};
    PORTINFO info = recordFor(&port);
    unsigned char cancel = 0;
    requestCancel(&cancel);
    CBreaker breaker(&info);
    breaker.setCancelFlag(&cancel);
    EXPECT_FALSE(breaker.ping(false, false));
    EXPECT_TRUE(port.written.empty());
    EXPECT_EQ(port.baudQueries, 0);
}

TEST(BreakerScripted, RefusesWhatIsNotAnOpenSerialPort)
{
    CBreaker noRecord(nullptr);
    EXPECT_FALSE(noRecord.ping(false, false));

    PORTINFO empty = recordFor(nullptr);
    CBreaker noPort(&empty);
    EXPECT_FALSE(noPort.ping(false, false));

    CSerialPort closed;
    PORTINFO closedInfo = recordFor(&closed);
    CBreaker closedBreaker(&closedInfo);
    EXPECT_FALSE(closedBreaker.ping(false, false));

    OtherPort other;
    PORTINFO otherInfo = recordFor(&other);
    otherInfo.readCount = 77;
    CBreaker otherBreaker(&otherInfo);
    EXPECT_FALSE(otherBreaker.ping(false, false));
    EXPECT_EQ(otherInfo.readCount, 77);  // refused before anything changed

    EXPECT_FALSE(otherBreaker.detect());
    otherBreaker.restore();
}

TEST(BreakerScripted, AFailedSyncWriteGivesFalse)
{
    ScriptedSerialPort port;
    port.writeResult = 5;
    port.script = {{0x06, 0x15, 0x5E, 0x5F}};
    PORTINFO info = recordFor(&port);
    CBreaker breaker(&info);
    EXPECT_FALSE(breaker.ping(false, false));
    EXPECT_EQ(port.readsAfterSync, 0);
}

// Opens the simulated scanner's port, sets the line and pings.
bool pingAt(SimulatedSerialScanner& scanner, int baud, unsigned dps, bool usbSerial = false,
            bool filterDriverPort = false)
{
    CSerialPort port;
    EXPECT_EQ(port.open(scanner.path()), 0);
    if (!usbSerial) {
        EXPECT_EQ(port.setup(baud, dps), 0);
    }
    PORTINFO info = recordFor(&port);
    CBreaker breaker(&info);
    return breaker.ping(usbSerial, filterDriverPort);
}

TEST(BreakerSimulated, AScannerAnswersOnlyAtItsOwnRateAndFraming)
{
    SimulatedSerialScanner scanner(serialModel("rs232", true));  // 9600 8N1, with wire time
    EXPECT_TRUE(pingAt(scanner, 9600, 2));
    EXPECT_FALSE(pingAt(scanner, 115200, 2));
    EXPECT_FALSE(pingAt(scanner, 9600, 0));  // 7N1
    EXPECT_FALSE(pingAt(scanner, 9600, 5));  // 8E1
    EXPECT_TRUE(pingAt(scanner, 9600, 2));
    EXPECT_EQ(scanner->pingsAnswered(), 2);
}

TEST(BreakerSimulated, ANonStandardRateAndTheOtherSignature)
{
    auto model = serialModel("rs232");
    model.baudRate = 14400;
    model.pingReply = {0x06, 0x15, 0xDE, 0xDF};
    SimulatedSerialScanner scanner(model);
    EXPECT_TRUE(pingAt(scanner, 14400, 2));
    EXPECT_FALSE(pingAt(scanner, 9600, 2));
}

TEST(BreakerSimulated, ANearMissIsRefused)
{
    auto model = serialModel("rs232");
    model.pingReply = {0x06, 0x15, 0x5E, 0xDF};
    SimulatedSerialScanner scanner(model);
    EXPECT_FALSE(pingAt(scanner, 9600, 2));
    EXPECT_EQ(scanner->pingsAnswered(), 1);
}

TEST(BreakerSimulated, AUsbSerialScannerIgnoresTheLine)
{
    SimulatedSerialScanner scanner(serialModel("usb-serial"));
    EXPECT_TRUE(pingAt(scanner, 0, 0, true));
}

TEST(BreakerSimulated, ASilentScannerGivesFalse)
{
    SimulatedSerialScanner scanner(serialModel("rs232"));
    scanner->setSilent(true);
    EXPECT_FALSE(pingAt(scanner, 9600, 2));
}

TEST(BreakerSimulated, AtLowRatesAFilterDriverPortResetsTheTransactionTimeoutFirst)
{
    auto model = serialModel("filter-rs232");
    model.baudRate = 4800;
    SimulatedSerialScanner scanner(model);
    ASSERT_TRUE(pingAt(scanner, 4800, 2, false, true));
    std::vector<std::uint32_t> codes;
    for (const auto& r : scanner->requests())
        codes.push_back(r.code);
    EXPECT_EQ(codes, (std::vector<std::uint32_t>{0x8023A004, 0x8023A008, 0x8023A00C, 0x8023A004}));
    EXPECT_EQ(scanner->filterDriverState().transactionTimeout, 20000u);

    // Without the flag no request is made.
    const std::size_t before = scanner->requests().size();
    EXPECT_TRUE(pingAt(scanner, 4800, 2, false, false));
    EXPECT_EQ(scanner->requests().size(), before);
}

// The simulated scanner, on the wire at 9600 baud, reads labels as each
// sync command comes in, before or after its answer or both; every ping of
// many rounds finds the answer.
TEST(BreakerSimulated, AScanningScannerAnswersEveryPing)
{
    SimulatedSerialScanner scanner(serialModel("rs232", true));
    const struct {
        const char* name;
        std::vector<std::string> before;
        std::vector<std::string> after;
    } cases[] = {
        {"before", {"012345678905"}, {}},
        {"after", {}, {"012345678905"}},
        {"before and after", {"ONE", "TWO"}, {"THREE"}},
    };
    for (const auto& c : cases) {
        scanner->scanAroundPing(c.before, c.after);
        int answered = 0;
        for (int round = 0; round < 20; ++round)
            answered += pingAt(scanner, 9600, 2) ? 1 : 0;
        EXPECT_EQ(answered, 20) << c.name;
    }
    EXPECT_EQ(scanner->pingsAnswered(), 60);
}

TEST(BreakerSimulated, AFailedTransactionResetWritesNothing)
{
    auto model = serialModel("filter-rs232");
    model.baudRate = 2400;
    SimulatedSerialScanner scanner(model);
    scanner->failRequest(0x8023A008);
    EXPECT_FALSE(pingAt(scanner, 2400, 2, false, true));
    EXPECT_TRUE(scanner->received().empty());
}

}  // namespace
