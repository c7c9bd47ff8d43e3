// Synchronous exchanges take turns on one processor: while one waits for
// its reply, a second command and a state switch wait for it within their
// own time-outs and write nothing; the waiting exchange keeps its reply.
#include "FakePort.h"
#include "RecordSink.h"

#include "TestSupport.h"

#include "protocol/CDataProcessor.h"

#include "platform/time.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <thread>

namespace {

std::string textOf(const CData* record)
{
    return record == nullptr ? std::string()
                             : std::string(reinterpret_cast<const char*>(record->getData()), record->getLength());
}

bool wrote(FakePort& port, const std::string& message)
{
    const auto writes = port.writes();
    return std::find(writes.begin(), writes.end(), message) != writes.end();
}

TEST(ProcessorExchange, OthersWaitForTheExchangeUnderWayWithinTheirOwnTimeOuts)
{
    FakePort port;
    Sink sink;
    CDataProcessor processor(&port, 1, 0, 0, 0);
    std::string error;
    ASSERT_EQ(processor.setCallback(&sink, &Sink::callback, error), 0);

    // The first exchange is written and waits for its reply.
    std::atomic<int> firstStatus{-1};
    std::string firstReply;
    std::thread first([&] {
        int status = -1;
        std::string text;
        std::unique_ptr<CData> reply(processor.sendMsgSync(&status, "FIRST?.", 20000, text));
        firstReply = textOf(reply.get());
        firstStatus = status;
    });
    ASSERT_TRUE(vxtest::waitUntil([&] { return wrote(port, "FIRST?."); }));

    const struct {
        const char* name;
        bool isSwitch;
        int expected;
    } waiters[] = {
        {"a second command", false, 2},
        {"a state switch", true, 4},
    };
    for (const auto& waiter : waiters) {
        SCOPED_TRACE(waiter.name);
        const DWORD start = GetTickCount();
        int result = -1;
        std::string text;
        if (waiter.isSwitch) {
            result = processor.switchProcessorState(0, true, false, text, 300);
        } else {
            std::unique_ptr<CData> reply(processor.sendMsgSync(&result, "SECOND?.", 300, text));
            EXPECT_EQ(reply, nullptr);
        }
        const DWORD took = platform::tickElapsed(start, GetTickCount());
        EXPECT_EQ(result, waiter.expected);
        EXPECT_EQ(text, "wait for another operation timeout!");
        EXPECT_GE(took, 290u);
        EXPECT_LT(took, 10000u);
    }
    // Neither wrote anything, and the state stayed.
    EXPECT_EQ(port.writes(), std::vector<std::string>{"FIRST?."});
    EXPECT_EQ(processor.getCurrentState(), 1);
    EXPECT_EQ(firstStatus.load(), -1);

    port.push("FIRST1\x06.");
    first.join();
    EXPECT_EQ(firstStatus.load(), 0);
    EXPECT_EQ(firstReply, "FIRST1\x06.");

    // The turn is free again.
    port.onWrite = [&port](const std::string& bytes) {
        if (bytes == "THIRD?.")
            port.push("THIRD2\x06.");
    };
    int status = -1;
    std::unique_ptr<CData> third(processor.sendMsgSync(&status, "THIRD?.", 5000, error));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(textOf(third.get()), "THIRD2\x06.");
    EXPECT_EQ(sink.count(), 0u);
}

}  // namespace
