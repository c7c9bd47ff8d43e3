// The data processor on a scripted port: delivery, synchronous messages,
// state switches, the decode header, flushing and shut-down.
#include "FakePort.h"
#include "RecordSink.h"

#include "TestSupport.h"

#include "base/CBarcodeData.h"
#include "protocol/CDataProcessor.h"
#include "protocol/CMenuData.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

const std::string kSynM = "\x16M\r";

CData* chunk(const std::string& bytes)
{
    auto* record = new CData(static_cast<DWORD>(bytes.size()));
    record->fillData(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<DWORD>(bytes.size()), 0);
    return record;
}

class ProcessorTest : public ::testing::Test {
protected:
    void start(int state, int xon = 0, int ack = 0)
    {
        processor = std::make_unique<CDataProcessor>(&port, state, 0, xon, ack);
        std::string error;
        ASSERT_EQ(processor->setCallback(&sink, &Sink::callback, error), 0);
    }
    // Answers each write that ends with `command` by `reply`.
    void answer(const std::string& command, const std::string& reply)
    {
        port.onWrite = [this, command, reply](const std::string& bytes) {
            if (bytes.size() >= command.size() && bytes.compare(bytes.size() - command.size(), command.size(), command) == 0) {
                port.push(reply);
            }
        };
    }

    FakePort port;
    Sink sink;
    std::unique_ptr<CDataProcessor> processor;
};

TEST_F(ProcessorTest, TenThousandLabelsArriveCompleteAndInOrderOnTheProcessingThread)
{
    start(1);
    const int kLabels = 10000;
    std::string stream;
    for (int i = 0; i < kLabels; ++i) {
        stream += synPacket(barcodePayload("LABEL" + std::to_string(i)));
    }
    // Cut into chunks that do not follow packet borders.
    for (std::size_t at = 0; at < stream.size(); at += 777) {
        port.push(stream.substr(at, 777));
    }
    ASSERT_TRUE(vxtest::waitUntil([&] { return sink.count() >= static_cast<std::size_t>(kLabels); },
                                  std::chrono::seconds(60)));
    const auto labels = sink.snapshot();
    ASSERT_EQ(labels.size(), static_cast<std::size_t>(kLabels));
    for (int i = 0; i < kLabels; ++i) {
        ASSERT_EQ(labels[i], "LABEL" + std::to_string(i));
    }
    std::lock_guard<std::mutex> lock(sink.mutex);
    for (const auto& id : sink.threads) {
        ASSERT_EQ(id, sink.threads.front());
    }
    EXPECT_NE(sink.threads.front(), std::this_thread::get_id());
}

TEST_F(ProcessorTest, RawStateDeliversEachChunkUnchanged)
{
    start(0);
    port.push(synPacket("X"));
    ASSERT_TRUE(vxtest::waitUntil([&] { return sink.count() == 1; }));
    EXPECT_EQ(sink.snapshot()[0], "0:" + synPacket("X"));
}

TEST_F(ProcessorTest, SendMsgSyncReturnsTheReplyAndItsStatusCodes)
{
    start(1);
    std::string error;
    int status = -1;

    answer("DECHDR?!", "DECHDR1\x06!");
    std::unique_ptr<CData> reply(processor->sendMsgSync(&status, kSynM + "DECHDR?!", 5000, error));
    ASSERT_NE(reply, nullptr);
    EXPECT_EQ(status, 0);
    auto* menu = dynamic_cast<CMenuData*>(reply.get());
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->response, 0);
    EXPECT_EQ(port.writes().back(), kSynM + "DECHDR?!");
    EXPECT_EQ(sink.count(), 0u);  // the reply went to the waiter, not to the callback

    port.onWrite = nullptr;
    EXPECT_EQ(processor->sendMsgSync(&status, "QUIET!", 50, error), nullptr);
    EXPECT_EQ(status, 2);
    EXPECT_EQ(error, "sendMsgSync wait until timeout!");

    port.writeResult = 31;
    EXPECT_EQ(processor->sendMsgSync(&status, "FAIL!", 1000, error), nullptr);
    EXPECT_EQ(status, 5);
    EXPECT_EQ(error.rfind("write to the interface port failed! Error Code is: 31", 0), 0u) << error;
    EXPECT_EQ(processor->sendMsgAsync("FAIL!", error), 5);
    EXPECT_EQ(error, "not fully write to the interface port!, expected length:5, actual length:0");
    port.writeResult = 0;

    ASSERT_EQ(processor->switchProcessorState(0, false, false, error, 1000), 0);
    const auto writesBefore = port.writes().size();
    EXPECT_EQ(processor->sendMsgSync(&status, "RAW!", 1000, error), nullptr);
    EXPECT_EQ(status, 6);
    EXPECT_EQ(error, "this call only works at identify mode!");
    EXPECT_EQ(port.writes().size(), writesBefore);
    EXPECT_EQ(processor->sendMsgAsync("ASYNC!", error), 0);  // works in raw state too
    EXPECT_EQ(port.writes().back(), "ASYNC!");
}

// A reply left over from an earlier call must never answer a later one.
TEST_F(ProcessorTest, ALateOrExtraReplyGoesToTheCallbackAndNeverAnswersTheNextCall)
{
    start(1);
    std::string error;
    int status = -1;
    answer("FIRST!", "ONE\x06.TWO\x06.");  // two replies to one command
    std::unique_ptr<CData> first(processor->sendMsgSync(&status, "FIRST!", 5000, error));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(first->getData()), first->getLength()), "ONE\x06.");
    ASSERT_TRUE(vxtest::waitUntil([&] { return sink.count() == 1; }));
    EXPECT_EQ(sink.snapshot()[0], "3:TWO\x06.");

    port.onWrite = nullptr;
    EXPECT_EQ(processor->sendMsgSync(&status, "SECOND!", 50, error), nullptr);
    EXPECT_EQ(status, 2);

    // A reply that comes after the time-out goes to the callback.
    port.push("LATE\x06!");
    ASSERT_TRUE(vxtest::waitUntil([&] { return sink.count() == 2; }));
    EXPECT_EQ(sink.snapshot()[1], "3:LATE\x06!");
}

TEST_F(ProcessorTest, AsyncSendWithoutAPortFails)
{
    CDataProcessor orphan(nullptr, 1, 0, 0, 0);
    std::string error;
    int status = -1;
    EXPECT_EQ(orphan.sendMsgAsync("X!", error), 4);
    EXPECT_EQ(orphan.sendMsgSync(&status, "X!", 10, error), nullptr);
    EXPECT_EQ(status, 4);
}

// A list with an empty ending is bad input, not a busy parser; the list in
// use stays and still ends replies.
TEST_F(ProcessorTest, PatternListWithAnEmptyEntryIsRefused)
{
    start(1);
    std::string error;
    ASSERT_EQ(processor->setPattern({"\x06."}, error), 0) << error;
    ASSERT_EQ(processor->setPattern({"\x06@", ""}, error), 1);
    EXPECT_EQ(error, "invalid pattern parameter, it has empty value.");
    port.push("A\x06@B\x06.");
    ASSERT_TRUE(vxtest::waitUntil([&] { return sink.count() == 1; }));
    EXPECT_EQ(sink.snapshot()[0], "3:A\x06@B\x06.");
}

TEST_F(ProcessorTest, SwitchIsRefusedWhileAPacketIsHalfReceived)
{
    start(1);
    std::string error;
    const std::string packet = synPacket(barcodePayload("HALF"));
    processor->injectData(chunk(packet.substr(0, 12)));
    ASSERT_TRUE(vxtest::waitUntil([&] {
        std::string held;
        processor->getLocalBuff(held);
        return held.size() == 12;
    }));
    EXPECT_EQ(processor->switchProcessorState(0, false, false, error, 100), 4);
    EXPECT_EQ(error, "busy with identifying data now!");
    EXPECT_EQ(processor->getCurrentState(), 1);
    processor->injectData(chunk(packet.substr(12)));
    ASSERT_TRUE(vxtest::waitUntil([&] { return sink.count() == 1; }));
    EXPECT_EQ(processor->switchProcessorState(0, false, false, error, 100), 0);
    EXPECT_EQ(processor->getCurrentState(), 0);
    EXPECT_EQ(processor->switchProcessorState(0, false, false, error, 100), 0);
    // Any non-zero state means identify.
    EXPECT_EQ(processor->switchProcessorState(7, false, false, error, 100), 0);
    EXPECT_EQ(processor->getCurrentState(), 1);
    port.push(synPacket(barcodePayload("AFTER")));
    ASSERT_TRUE(vxtest::waitUntil([&] { return sink.count() == 2; }));
    EXPECT_EQ(sink.snapshot()[1], "AFTER");
}

TEST_F(ProcessorTest, DecodeHeaderIsReadAndChanged)
{
    start(0);
    std::string error;
    port.onWrite = [this](const std::string& bytes) {
        if (bytes == kSynM + "DECHDR?!") port.push("DECHDR1\x06!");
        if (bytes == kSynM + "DECHDR1!") port.push("DECHDR1\x15!");  // refused
        if (bytes == kSynM + "DECHDR0!") port.push("DECHDR0\x06!");
    };
    EXPECT_EQ(processor->switchProcessorState(1, true, true, error, 2000), 4);
    EXPECT_EQ(error, "can't turn on dechdr! restore state!");
    EXPECT_EQ(processor->getCurrentState(), 0);

    ASSERT_EQ(processor->switchProcessorState(1, false, false, error, 2000), 0);
    EXPECT_EQ(processor->getDecHdr(error, 2000), 0x31);
    EXPECT_FALSE(processor->changeDecHdr(true, error, 2000));
    EXPECT_EQ(error, "can't set the dechdr setting! menu response is not ACK!");
    EXPECT_TRUE(processor->changeDecHdr(false, error, 2000));
    EXPECT_EQ(processor->switchProcessorState(0, true, false, error, 2000), 0);
    EXPECT_EQ(port.writes().back(), kSynM + "DECHDR0!");
    EXPECT_EQ(sink.count(), 0u);
}

TEST_F(ProcessorTest, HandshakeBytesGoOutAtStartAndAroundEachSend)
{
    start(1, 1, 1);
    ASSERT_TRUE(vxtest::waitUntil([&] { return port.written().size() >= 2; }));
    EXPECT_EQ(port.written().substr(0, 2), "\x11\x06");
    std::string error;
    ASSERT_EQ(processor->sendMsgAsync("CMD!", error), 0);
    const auto writes = port.writes();
    ASSERT_GE(writes.size(), 5u);
    EXPECT_EQ(writes[writes.size() - 3], "\x11");
    EXPECT_EQ(writes[writes.size() - 2], "\x06");
    EXPECT_EQ(writes.back(), "CMD!");
}

// A chunk whose count is taken while a flush holds parsing off is dropped
// with its count, so later chunks are parsed as they come.
TEST_F(ProcessorTest, FlushDropsHeldChunksWithTheirCounts)
{
    start(1);
    sink.block = true;
    processor->injectData(chunk(synPacket(barcodePayload("BEFORE"))));
    ASSERT_TRUE(vxtest::waitUntil([&] { std::lock_guard<std::mutex> l(sink.mutex); return sink.blocked; }));
    processor->injectData(chunk(synPacket(barcodePayload("HELD"))));
    std::string error;
    int flushResult = -1;
    std::thread flusher([&] { flushResult = processor->flushLocalBuff(error); });
    ASSERT_TRUE(vxtest::waitUntil([&] { return processor->isHolding(); }));
    sink.release();
    flusher.join();
    EXPECT_EQ(flushResult, 0);
    EXPECT_EQ(port.flushes(), 1);
    processor->injectData(chunk(synPacket(barcodePayload("AFTER"))));
    ASSERT_TRUE(vxtest::waitUntil([&] { return sink.count() >= 2; }));
    EXPECT_EQ(sink.snapshot(), (std::vector<std::string>{"BEFORE", "AFTER"}));

    port.flushResult = 5;
    EXPECT_EQ(processor->flushLocalBuff(error), 5);
    EXPECT_EQ(error, "flush to interface port failed!");
}

TEST_F(ProcessorTest, ShutDownDeliversEveryChunkAnnouncedBeforeIt)
{
    start(1);
    for (int i = 0; i < 200; ++i) {
        processor->injectData(chunk(synPacket(barcodePayload("Q" + std::to_string(i)))));
    }
    processor.reset();
    const auto labels = sink.snapshot();
    ASSERT_EQ(labels.size(), 200u);
    EXPECT_EQ(labels.back(), "Q199");
}

TEST_F(ProcessorTest, LocalBuffHoldsTheBytesNotYetRecognised)
{
    start(1);
    processor->injectData(chunk(synPacket("P") + "PARTIAL"));
    ASSERT_TRUE(vxtest::waitUntil([&] { return sink.count() == 1; }));
    std::string out = "|tail";
    processor->getLocalBuff(out);
    EXPECT_EQ(out, "PARTIAL|tail");
}

}  // namespace
