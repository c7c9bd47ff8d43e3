// The handshaking drain that empties a serial port before a ping or a menu
// command, on the simulated scanner.
#include "SerialSimulatorFixture.h"
#include "TestSupport.h"

#include "base/CancelFlag.h"
#include "ports/CSerialPort.h"
#include "protocol/CHandshakingHandler.h"

#include "platform/time.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

namespace {

using vxtest::serialModel;
using vxtest::SimulatedSerialScanner;
using Bytes = std::vector<unsigned char>;

class Drain : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(port.open(scanner.path()), 0);
        ASSERT_EQ(port.setup(9600, 2u), 0);
    }

    SimulatedSerialScanner scanner{serialModel("rs232")};
    CSerialPort port;
};

TEST_F(Drain, AQuietLineTakesOnePass)
{
    CHandshakingHandler drain(&port);
    EXPECT_TRUE(drain.clearPortData());
    EXPECT_TRUE(vxtest::waitUntil([&] { return scanner->received() == Bytes({0x11, 0x06}); }));
}

TEST_F(Drain, WhatTheScannerHeldIsDiscarded)
{
    scanner->send(Bytes(300, 'q'));
    COMSTAT stat{};
    DWORD errors = 0;
    ASSERT_TRUE(vxtest::waitUntil([&] {
        return ClearCommError(port.getHandle(), &errors, &stat) && stat.cbInQue == 300;
    }));
    CHandshakingHandler drain(&port);
    EXPECT_TRUE(drain.clearPortData());
    std::string text;
    EXPECT_EQ(port.read(text), 0);
    EXPECT_EQ(text, "");
    // A second pass (XON, ACK, ACK), which found the line quiet.
    EXPECT_TRUE(vxtest::waitUntil([&] { return scanner->received() == Bytes({0x11, 0x06, 0x06}); }));
}

// A port whose every read brings data: a line that never falls quiet, with
// no dependence on how fast a device thread gets to run.
class EndlessPort : public CSerialPort {
public:
    bool isOpened() override { return true; }
    int read(unsigned char* buffer, int size, unsigned int* count) override
    {
        ++reads;
        const int n = size < 16 ? size : 16;
        std::fill(buffer, buffer + n, 'x');
        *count = static_cast<unsigned>(n);
        return 0;
    }
    int write(const unsigned char*, int length, unsigned int* count) override
    {
        if (count != nullptr)
            *count = static_cast<unsigned>(length);
        return 0;
    }
    std::atomic<int> reads{0};
};

TEST(DrainEndless, WithoutABudgetTheDrainEndsAfterItsLimit)
{
    EndlessPort port;
    CHandshakingHandler drain(&port);
    const DWORD start = GetTickCount();
    EXPECT_FALSE(drain.clearPortData());
    EXPECT_FALSE(drain.clearPortData(2));
    // It did not give up at once: it drained for its limit.
    EXPECT_GE(platform::tickElapsed(start, GetTickCount()), 2 * CHandshakingHandler::kDrainLimitMs);
    EXPECT_TRUE(drain.neverQuiet());
}

TEST(DrainEndless, AShortBudgetEndsItFirst)
{
    EndlessPort port;
    CHandshakingHandler drain(&port);
    drain.setTimeout(200);
    EXPECT_FALSE(drain.clearPortData());
    EXPECT_TRUE(drain.isTimeout());
    EXPECT_FALSE(drain.neverQuiet());
}

// A long budget (a whole discovery's) is not the drain's to spend on one
// line: the limit ends it all the same.
TEST(DrainEndless, ALongBudgetDoesNotStretchTheLimit)
{
    EndlessPort port;
    CHandshakingHandler drain(&port);
    drain.setTimeout(300'000);
    const DWORD start = GetTickCount();
    EXPECT_FALSE(drain.clearPortData());
    const DWORD took = platform::tickElapsed(start, GetTickCount());
    EXPECT_GE(took, CHandshakingHandler::kDrainLimitMs);
    EXPECT_LT(took, CHandshakingHandler::kDrainLimitMs + 5000);
    EXPECT_TRUE(drain.neverQuiet());
    EXPECT_FALSE(drain.isTimeout());
}

TEST(DrainEndless, ACancelFromAnotherThreadEndsIt)
{
    EndlessPort port;
    unsigned char cancel = 0;
    CHandshakingHandler drain(&port);
    drain.setCancelFlag(&cancel);
    drain.setTimeout(600'000);  // so that only the cancel can end it
    std::atomic<int> result{-1};
    std::thread worker([&] { result.store(drain.clearPortData() ? 1 : 0); });
    ASSERT_TRUE(vxtest::waitUntil([&] { return port.reads.load() > 0; }));
    requestCancel(&cancel);
    worker.join();
    EXPECT_EQ(result.load(), 0);
}

TEST_F(Drain, NoPortNoDrain)
{
    CHandshakingHandler drain(nullptr);
    EXPECT_FALSE(drain.clearPortData());
    EXPECT_FALSE(drain.clearPortData(2));
}

TEST_F(Drain, TheHandshakingModesSendTheirBytes)
{
    ASSERT_EQ(port.setupRTS(RTS_CONTROL_DISABLE), 0);
    ASSERT_FALSE(scanner->rts());
    CHandshakingHandler drain(&port);
    EXPECT_TRUE(drain.clearPortData(1));
    EXPECT_TRUE(scanner->rts());
    EXPECT_TRUE(scanner->received().empty());

    EXPECT_TRUE(drain.clearPortData(3));
    EXPECT_TRUE(vxtest::waitUntil([&] { return scanner->received() == Bytes({0x11}); }));

    EXPECT_TRUE(drain.clearPortData(2));
    EXPECT_TRUE(vxtest::waitUntil([&] { return scanner->received() == Bytes({0x11, 0x06}); }));
}

}  // namespace
