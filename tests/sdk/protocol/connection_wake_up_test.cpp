// Eight scanners connected at once: a label on one wakes only that
// connection's processing thread, never the threads of the other seven.
#include "../ports/SerialSimulatorFixture.h"
#include "RecordSink.h"

#include "TestSupport.h"

#include "ports/CSerialPort.h"
#include "protocol/CDataProcessor.h"

#include "platform/sync.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

// A simulated scanner, the host's port to it and a data processor in
// identify state collecting its labels.
struct Connection {
    explicit Connection(const std::string& id) : scanner(vxtest::serialModel("rs232-115200"), id)
    {
        EXPECT_EQ(port.open(scanner.path()), 0);
        EXPECT_EQ(port.setup(115200, 8, 0, 0), 0);
        processor = std::make_unique<CDataProcessor>(&port, 1, 0, 0, 0);
        std::string error;
        EXPECT_EQ(processor->setCallback(&sink, &Sink::callback, error), 0) << error;
    }
    ~Connection()
    {
        processor.reset();
        port.close();
    }

    vxtest::SimulatedSerialScanner scanner;
    CSerialPort port;
    Sink sink;
    std::unique_ptr<CDataProcessor> processor;
};

TEST(ConnectionWakeUps, ALabelWakesOnlyItsOwnConnectionsThread)
{
    constexpr int kConnections = 8;
    const std::size_t blockedBefore = platform::blockedWaitCount();
    std::vector<std::unique_ptr<Connection>> connections;
    for (int i = 0; i < kConnections; ++i)
        connections.push_back(std::make_unique<Connection>("scanner-" + std::to_string(i)));
    // Every processing thread waits for its receiver's semaphore.
    ASSERT_TRUE(vxtest::waitUntil([&] { return platform::blockedWaitCount() == blockedBefore + kConnections; }));

    for (int k : {3, 0, 7, 5}) {
        const std::string label = "LABEL-" + std::to_string(k);
        const std::uint64_t before = platform::waitWakeUpCount();
        connections[k]->scanner->scan(label, 'e', "E0");
        ASSERT_TRUE(vxtest::waitUntil([&] { return connections[k]->sink.count() == 1; })) << label;
        // Its processing thread is back on its wait: the label is done.
        ASSERT_TRUE(vxtest::waitUntil([&] { return platform::blockedWaitCount() == blockedBefore + kConnections; }));
        // One wake-up per chunk the receiver queued; a label this short
        // arrives in one or two reads. Waking every connection's thread
        // would count eight or more.
        const std::uint64_t wakeUps = platform::waitWakeUpCount() - before;
        EXPECT_GE(wakeUps, 1u) << label;
        EXPECT_LE(wakeUps, 2u) << label;
        EXPECT_EQ(connections[k]->sink.snapshot(), std::vector<std::string>{label});
        for (int i = 0; i < kConnections; ++i) {
            if (i != k) {
                EXPECT_EQ(connections[i]->sink.count(), 0u) << "connection " << i;
            }
        }
        std::lock_guard lock(connections[k]->sink.mutex);
        connections[k]->sink.labels.clear();
    }
}

}  // namespace
