// The receive loop's log when reads keep failing: an unplugged device fails
// every read, one every 5 ms, and the log gets one line when that starts
// and one with the count when it ends, not a line per read.
#include "../ports/SerialSimulatorFixture.h"
#include "../SdkLogCapture.h"
#include "FakePort.h"

#include "TestSupport.h"

#include "ports/CSerialPort.h"
#include "protocol/CDataReceiver.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace {

// The receive loop's lines about failed reads, in order.
std::vector<std::string> readErrors()
{
    return vxtest::SdkLogCapture::linesWith("read interface error!");
}

const std::string kFirst = "CDataReceiver::threadRoutine, read interface error!";

std::string countLine(int count)
{
    return "CDataReceiver::threadRoutine, read interface error! " + std::to_string(count) + " times in a row.";
}

// A serial port that counts the reads that failed.
class CountingSerialPort : public CSerialPort {
public:
    int read(unsigned char* buffer, int size, unsigned int* count) override
    {
        const int result = CSerialPort::read(buffer, size, count);
        if (result != 0 && result != 1460 && result != 997)
            ++failures;
        return result;
    }
    using CSerialPort::read;
    std::atomic<int> failures{0};
};

// A scripted port whose reads fail with a chosen code, counted per code,
// and that counts its "no data yet" answers.
class FailingPort : public FakePort {
public:
    int read(unsigned char* buffer, int size, unsigned int* count) override
    {
        const int code = failWith.load();
        if (code != 0) {
            *count = 0;
            (code == 31 ? failed31 : failed1167)++;
            return code;
        }
        const int result = FakePort::read(buffer, size, count);
        if (result == 1460)
            ++idle;
        return result;
    }
    using FakePort::read;
    std::atomic<int> failWith{0};  // 31 or 1167; 0: the scripted chunks
    std::atomic<int> failed31{0};
    std::atomic<int> failed1167{0};
    std::atomic<int> idle{0};
};

TEST(CDataReceiverLog, AnUnpluggedDeviceIsLoggedOnceAndOnceMoreWithTheCountAtTheEnd)
{
    vxtest::SdkLogCapture log;  // "read interface error!" is in the default mask
    vxtest::SimulatedSerialScanner scanner(vxtest::serialModel("rs232-115200"));
    CountingSerialPort port;
    ASSERT_EQ(port.open(scanner.path()), 0);
    {
        CDataReceiver receiver(nullptr, &port, 0, 0, 0);
        scanner->unplug();
        ASSERT_TRUE(vxtest::waitUntil([&] { return port.failures.load() >= 40; }));
        EXPECT_EQ(readErrors(), std::vector<std::string>{kFirst});
    }
    EXPECT_EQ(readErrors(), (std::vector<std::string>{kFirst, countLine(port.failures.load())}));
}

// Another failure ends a run, and so does data; "no data yet" does not.
TEST(CDataReceiverLog, AnotherFailureOrDataEndsARun)
{
    vxtest::SdkLogCapture log;  // "read interface error!" is in the default mask
    FailingPort port;
    CDataReceiver receiver(nullptr, &port, 0, 0, 0);

    port.failWith = 31;
    ASSERT_TRUE(vxtest::waitUntil([&] { return port.failed31.load() >= 10; }));
    EXPECT_EQ(readErrors(), std::vector<std::string>{kFirst});

    port.failWith = 1167;
    ASSERT_TRUE(vxtest::waitUntil([&] { return port.failed1167.load() >= 5; }));
    const int run31 = port.failed31.load();
    EXPECT_EQ(readErrors(), (std::vector<std::string>{kFirst, countLine(run31), kFirst}));

    const int idleBefore = port.idle.load();
    port.failWith = 0;
    ASSERT_TRUE(vxtest::waitUntil([&] { return port.idle.load() >= idleBefore + 5; }));
    port.failWith = 1167;
    const int before = port.failed1167.load();
    ASSERT_TRUE(vxtest::waitUntil([&] { return port.failed1167.load() >= before + 5; }));
    port.push("DATA");
    port.failWith = 0;
    ASSERT_TRUE(vxtest::waitUntil([&] { return receiver.queuedBytes() == 4; }));
    EXPECT_EQ(readErrors(),
              (std::vector<std::string>{kFirst, countLine(run31), kFirst, countLine(port.failed1167.load())}));
}

}  // namespace
