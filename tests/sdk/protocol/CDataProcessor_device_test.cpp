// The data processor against the simulated scanner, on a virtual serial
// port and on a virtual HID interface: labels and images in order on the
// processing thread whatever the device does to its packets, synchronous
// messages and their status codes, state switches, the decode header,
// shut-down and a long run of labels. Also the receiver alone on a serial
// line.
#include "../ports/SerialSimulatorFixture.h"
#include "RecordSink.h"

#include "TestSupport.h"

#include "ports/CSerialPort.h"
#include "ports/CUsbHidBarcodeScanner.h"
#include "protocol/CDataProcessor.h"
#include "protocol/CDataReceiver.h"
#include "protocol/CMenuData.h"

#include "platform/sync.h"

#include "simulator/hid_model.h"
#include "simulator/hid_scanner.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

const std::string kMenuPrefix = "\x16M\r";
constexpr DWORD kReplyTimeout = 5000;

// One simulated scanner and the host's open port to it.
class Device {
public:
    virtual ~Device() = default;
    virtual InterfacePort* port() = 0;
    virtual void scan(const std::string& label) = 0;
    virtual void scanJoined(const std::vector<std::string>& labels) = 0;
    virtual void sendImage(const std::string& bytes, int format) = 0;
    // Bytes in the device's data stream as they are.
    virtual void sendRaw(const std::string& bytes) = 0;
    virtual void setFaults(const vxsim::DataFaults& faults) = 0;
    virtual void setMenu(const vxsim::MenuModel& menu) = 0;
    virtual std::vector<std::string> menuCommands() = 0;
    virtual bool decodeHeader() = 0;
    // Takes the device away: the host's writes fail from then on.
    virtual void unplug() = 0;
};

class SerialDevice : public Device {
public:
    SerialDevice() : m_scanner(vxtest::serialModel("rs232-115200"))
    {
        EXPECT_EQ(m_port.open(m_scanner.path()), 0);
        EXPECT_EQ(m_port.setup(115200, 8, 0, 0), 0);
        EXPECT_TRUE(vxtest::waitUntil([&] { return m_scanner->hostLine().baudRate == 115200; }));
    }
    InterfacePort* port() override { return &m_port; }
    void scan(const std::string& label) override { m_scanner->scan(label, 'e', "E0"); }
    void scanJoined(const std::vector<std::string>& labels) override { m_scanner->scanJoined(labels, 'e', "E0"); }
    void sendImage(const std::string& bytes, int format) override { m_scanner->sendImage(bytes, format); }
    void sendRaw(const std::string& bytes) override { m_scanner->send({bytes.begin(), bytes.end()}); }
    void setFaults(const vxsim::DataFaults& faults) override { m_scanner->setDataFaults(faults); }
    void setMenu(const vxsim::MenuModel& menu) override { m_scanner->setMenuModel(menu); }
    std::vector<std::string> menuCommands() override { return m_scanner->menuCommands(); }
    bool decodeHeader() override { return m_scanner->decodeHeader(); }
    void unplug() override { m_scanner->unplug(); }

private:
    vxtest::SimulatedSerialScanner m_scanner;
    CSerialPort m_port;
};

class HidDevice : public Device {
public:
    explicit HidDevice(unsigned reportIntervalUs = 200) : m_scanner(model(reportIntervalUs), "pos1")
    {
        EXPECT_TRUE(m_scanner.plug()) << m_scanner.lastError();
        const std::string path = m_scanner.hostPath();
        EXPECT_EQ(m_port.open(std::wstring(path.begin(), path.end())), 0);
        EXPECT_TRUE(vxtest::waitUntil([&] { return m_scanner.connections() == 1; }));
    }
    ~HidDevice() override { m_port.close(); }
    InterfacePort* port() override { return &m_port; }
    void scan(const std::string& label) override { EXPECT_TRUE(m_scanner.scan(label, 'e', "E0")); }
    void scanJoined(const std::vector<std::string>& labels) override
    {
        EXPECT_TRUE(m_scanner.scanJoined(labels, 'e', "E0"));
    }
    void sendImage(const std::string& bytes, int format) override { EXPECT_TRUE(m_scanner.sendImage(bytes, format)); }
    void sendRaw(const std::string& bytes) override { EXPECT_TRUE(m_scanner.sendMessage(bytes)); }
    void setFaults(const vxsim::DataFaults& faults) override { m_scanner.setDataFaults(faults); }
    void setMenu(const vxsim::MenuModel& menu) override { m_scanner.setMenuModel(menu); }
    std::vector<std::string> menuCommands() override { return m_scanner.menuCommands(); }
    bool decodeHeader() override { return m_scanner.decodeHeader(); }
    void unplug() override { m_scanner.unplug(); }

private:
    static vxsim::HidModel model(unsigned reportIntervalUs)
    {
        vxsim::HidModel m = *vxsim::findHidModel("hid-pos");
        m.reportIntervalUs = reportIntervalUs;
        return m;
    }
    vxsim::HidScanner m_scanner;
    CUsbHidBarcodeScanner m_port;
};

class ProcessorOnDevice : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override
    {
        if (std::string(GetParam()) == "serial")
            device = std::make_unique<SerialDevice>();
        else
            device = std::make_unique<HidDevice>();
    }
    void TearDown() override
    {
        processor.reset();
        device.reset();
    }
    void start(int state)
    {
        processor = std::make_unique<CDataProcessor>(device->port(), state, 0, 0, 0);
        std::string error;
        ASSERT_EQ(processor->setCallback(&sink, &Sink::callback, error), 0);
    }
    bool waitForRecords(std::size_t count, std::chrono::milliseconds bound = std::chrono::seconds(30))
    {
        return vxtest::waitUntil([&] { return sink.count() >= count; }, bound);
    }

    std::unique_ptr<Device> device;
    Sink sink;
    std::unique_ptr<CDataProcessor> processor;
};

TEST_P(ProcessorOnDevice, LabelsAndImagesArriveInOrderOnTheProcessingThreadWhateverThePackets)
{
    start(1);
    vxsim::DataFaults split;
    split.splitEvery = 3;
    vxsim::DataFaults garbage;
    garbage.garbage = "noise\x16\x41xyz";
    vxsim::DataFaults corrupt;
    corrupt.announcedLength = 0xFFFFFFF0u;  // more than any packet may hold

    device->scan("A-whole");
    device->setFaults(split);
    device->scan("B-split");
    device->sendImage(std::string(300, '\x7F'), 3);
    device->setFaults(garbage);
    device->scan("C-after-garbage");
    device->setFaults(corrupt);
    device->scan("lost-to-a-corrupt-length");
    device->setFaults({});
    device->scanJoined({"D-joined", "E-joined", "F-joined"});
    device->scan("");  // a record without a label

    ASSERT_TRUE(waitForRecords(8));
    const auto records = sink.snapshot();
    const std::vector<std::string> expected = {
        "A-whole", "B-split", "2:" + std::string(300, '\x7F'), "C-after-garbage", "D-joined", "E-joined", "F-joined", "",
    };
    EXPECT_EQ(records, expected);
    std::lock_guard<std::mutex> lock(sink.mutex);
    EXPECT_EQ(sink.barcodeIds.front(), "eE0");
    for (const auto& id : sink.threads)
        EXPECT_EQ(id, sink.threads.front());
    EXPECT_NE(sink.threads.front(), std::this_thread::get_id());
}

TEST_P(ProcessorOnDevice, SendMsgSyncReturnsTheReplyAndItsStatusCodes)
{
    vxsim::MenuModel menu;
    menu.rules.push_back({"SERNUM?", "", "S000042", vxsim::kMenuAck, true, true, true, false});
    device->setMenu(menu);
    start(1);
    std::string error;
    int status = -1;
    std::unique_ptr<CData> reply(processor->sendMsgSync(&status, kMenuPrefix + "SERNUM?.", kReplyTimeout, error));
    ASSERT_NE(reply, nullptr) << error;
    EXPECT_EQ(status, 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(reply->getData()), reply->getLength()),
              "SERNUM?S000042\x06.");
    auto* menuData = dynamic_cast<CMenuData*>(reply.get());
    ASSERT_NE(menuData, nullptr);
    EXPECT_EQ(menuData->response, 0);
    EXPECT_EQ(menuData->terminator, 0);

    // An unknown command comes back with ENQ.
    reply.reset(processor->sendMsgSync(&status, kMenuPrefix + "NOSUCH!", kReplyTimeout, error));
    ASSERT_NE(reply, nullptr) << error;
    EXPECT_EQ(dynamic_cast<CMenuData&>(*reply).response, 2);

    // A silent device: time-out; nothing reaches the callback.
    vxsim::DataFaults silent;
    silent.silent = true;
    device->setFaults(silent);
    EXPECT_EQ(processor->sendMsgSync(&status, kMenuPrefix + "SERNUM?.", 300, error), nullptr);
    EXPECT_EQ(status, 2);
    EXPECT_EQ(error, "sendMsgSync wait until timeout!");
    device->setFaults({});

    // Raw state: refused, nothing written.
    ASSERT_EQ(processor->switchProcessorState(0, false, false, error, kReplyTimeout), 0);
    const std::size_t commands = device->menuCommands().size();
    EXPECT_EQ(processor->sendMsgSync(&status, kMenuPrefix + "SERNUM?.", kReplyTimeout, error), nullptr);
    EXPECT_EQ(status, 6);
    EXPECT_EQ(error, "this call only works at identify mode!");
    ASSERT_EQ(processor->switchProcessorState(1, false, false, error, kReplyTimeout), 0);
    EXPECT_EQ(device->menuCommands().size(), commands);

    // The device is gone: the write fails.
    device->unplug();
    EXPECT_EQ(processor->sendMsgSync(&status, kMenuPrefix + "SERNUM?.", kReplyTimeout, error), nullptr);
    EXPECT_EQ(status, 5);
    EXPECT_EQ(processor->sendMsgAsync(kMenuPrefix + "SERNUM?.", error), 5);
    EXPECT_EQ(sink.count(), 0u);
}

TEST_P(ProcessorOnDevice, DecodeHeaderIsReadAndChangedAndDecidesWhatTheDeviceSends)
{
    start(1);
    std::string error;
    EXPECT_EQ(processor->getDecHdr(error, kReplyTimeout), 0x31) << error;

    // To raw with the header off: the device then sends bare labels.
    ASSERT_EQ(processor->switchProcessorState(0, true, false, error, kReplyTimeout), 0) << error;
    EXPECT_FALSE(device->decodeHeader());
    device->scan("BARE");
    ASSERT_TRUE(waitForRecords(1));
    EXPECT_EQ(sink.snapshot().back(), "0:BARE");

    // Back to identify with the header on: packets again.
    ASSERT_EQ(processor->switchProcessorState(1, true, true, error, kReplyTimeout), 0) << error;
    EXPECT_TRUE(device->decodeHeader());
    EXPECT_EQ(processor->getDecHdr(error, kReplyTimeout), 0x31) << error;
    device->scan("FRAMED");
    ASSERT_TRUE(waitForRecords(2));
    EXPECT_EQ(sink.snapshot().back(), "FRAMED");
    EXPECT_EQ(device->menuCommands(), (std::vector<std::string>{"DECHDR?", "DECHDR0", "DECHDR1", "DECHDR?"}));

    // A device that refuses the setting: the switch to identify is rolled back.
    vxsim::MenuModel refusing;
    refusing.settings.clear();
    refusing.refuseUnknown = true;
    device->setMenu(refusing);
    ASSERT_EQ(processor->switchProcessorState(0, false, false, error, kReplyTimeout), 0);
    EXPECT_EQ(processor->switchProcessorState(1, true, true, error, kReplyTimeout), 4);
    EXPECT_EQ(error, "can't turn on dechdr! restore state!");
    EXPECT_EQ(processor->getCurrentState(), 0);
}

TEST_P(ProcessorOnDevice, SwitchIsRefusedWhileAPacketIsHalfReceivedAndAnswersWhileDataFlows)
{
    start(1);
    const std::vector<unsigned char> packet =
        vxsim::MenuEngine().barcode("HALF", 'e', "E0");
    const std::string bytes(packet.begin(), packet.end());
    device->sendRaw(bytes.substr(0, 12));
    ASSERT_TRUE(vxtest::waitUntil([&] {
        std::string unparsed;
        processor->getLocalBuff(unparsed);
        return unparsed.size() == 12;
    }));
    std::string error;
    EXPECT_EQ(processor->switchProcessorState(0, false, false, error, kReplyTimeout), 4);
    EXPECT_EQ(error, "busy with identifying data now!");
    device->sendRaw(bytes.substr(12));
    ASSERT_TRUE(waitForRecords(1));
    EXPECT_EQ(sink.snapshot().front(), "HALF");

    // Labels keep coming while the state goes back and forth: every switch
    // answers 0 or 4, and nothing hangs.
    std::atomic<bool> scanning{true};
    std::thread scanner([&] {
        for (int i = 0; i < 200 && scanning; ++i)
            device->scan("FLOW" + std::to_string(i));
    });
    int state = 1;
    for (int i = 0; i < 40; ++i) {
        const int result = processor->switchProcessorState(1 - state, false, false, error, kReplyTimeout);
        ASSERT_TRUE(result == 0 || result == 4) << result;
        if (result == 0)
            state = 1 - state;
        EXPECT_EQ(processor->getCurrentState(), state);
    }
    scanning = false;
    scanner.join();
}

TEST_P(ProcessorOnDevice, ShutDownDeliversEveryChunkReadBeforeIt)
{
    start(1);
    {
        std::lock_guard<std::mutex> lock(sink.mutex);
        sink.block = true;
    }
    device->scan("FIRST");
    ASSERT_TRUE(vxtest::waitUntil([&] {
        std::lock_guard<std::mutex> lock(sink.mutex);
        return sink.blocked;
    }));
    // The rest is read and queued while the callback holds the thread.
    std::size_t bytes = 0;
    const int kMore = 20;
    for (int i = 0; i < kMore; ++i) {
        device->scan("QUEUED" + std::to_string(i));
        bytes += vxsim::MenuEngine().barcode("QUEUED" + std::to_string(i)).size();
    }
    ASSERT_TRUE(vxtest::waitUntil([&] { return processor->queuedBytes() == bytes; }));
    std::thread destroy([&] { processor.reset(); });
    sink.release();
    destroy.join();
    const auto records = sink.snapshot();
    ASSERT_EQ(records.size(), static_cast<std::size_t>(1 + kMore));
    for (int i = 0; i < kMore; ++i)
        EXPECT_EQ(records[1 + i], "QUEUED" + std::to_string(i));
}

TEST_P(ProcessorOnDevice, TenThousandLabelsBackToBackArriveCompleteAndInOrder)
{
    start(1);
    const int kLabels = 10000;
    for (int i = 0; i < kLabels; ++i)
        device->scan("L" + std::to_string(i));
    ASSERT_TRUE(waitForRecords(kLabels, std::chrono::seconds(120)));
    const auto records = sink.snapshot();
    ASSERT_EQ(records.size(), static_cast<std::size_t>(kLabels));
    for (int i = 0; i < kLabels; ++i)
        ASSERT_EQ(records[i], "L" + std::to_string(i)) << "at " << i;
}

INSTANTIATE_TEST_SUITE_P(Transports, ProcessorOnDevice, ::testing::Values("serial", "hid"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

// The receiver alone on a serial line.
TEST(CDataReceiverOnDevice, ABurstIsQueuedInOrderWithOneReleaseEachAndOneHandshakeAfterIt)
{
    vxtest::SimulatedSerialScanner scanner(vxtest::serialModel("rs232-115200"));
    CSerialPort port;
    ASSERT_EQ(port.open(scanner.path()), 0);
    ASSERT_EQ(port.setup(115200, 8, 0, 0), 0);
    ASSERT_TRUE(vxtest::waitUntil([&] { return scanner->hostLine().baudRate == 115200; }));
    HANDLE semaphore = CreateSemaphoreW(nullptr, 0, 256, nullptr);
    ASSERT_NE(semaphore, nullptr);
    {
        CDataReceiver receiver(semaphore, &port, 0, 1, 1);
        const std::vector<unsigned char> handshake = {0x11, 0x06};
        ASSERT_TRUE(vxtest::waitUntil([&] { return scanner->received() == handshake; }));

        std::vector<unsigned char> burst(10000);
        for (std::size_t i = 0; i < burst.size(); ++i)
            burst[i] = static_cast<unsigned char>(i * 7 + 3);
        scanner->send(burst);
        ASSERT_TRUE(vxtest::waitUntil([&] { return receiver.queuedBytes() == burst.size(); }));
        ASSERT_TRUE(vxtest::waitUntil([&] { return scanner->received().size() == 4; }));
        EXPECT_EQ(scanner->received(), (std::vector<unsigned char>{0x11, 0x06, 0x11, 0x06}));

        std::vector<unsigned char> joined;
        std::size_t records = 0;
        while (CData* record = receiver.getQHead()) {
            EXPECT_EQ(record->getType(), CData::kRaw);
            joined.insert(joined.end(), record->getData(), record->getData() + record->getLength());
            delete record;
            ++records;
        }
        EXPECT_EQ(joined, burst);
        EXPECT_GE(records, 3u);
        std::size_t releases = 0;
        while (WaitForSingleObject(semaphore, 0) == WAIT_OBJECT_0)
            ++releases;
        EXPECT_EQ(releases, records);
        EXPECT_EQ(receiver.getQAt(0), nullptr);

        // Records still queued when the receiver goes are deleted with it.
        receiver.pushQTail(new CData(10));
    }
    CloseHandle(semaphore);
}

}  // namespace
