// Tear-down under way elsewhere: device loss while labels flow, disconnect
// from the loss callback, a destructor that meets a synchronous exchange,
// a collection that outlives its connection's handle, the filter driver's
// wrapper mode after a failed set-up, a hub's sub-products.
#include "ApiFixture.h"
#include "../SdkLogCapture.h"

#include "discovery/CSerialDevice.h"
#include "base/StringUtils.h"
#include "ports/CSerialPort.h"
#include "products/CHubProduct.h"
#include "simulator/identity_model.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

using namespace vxtest;

namespace {

struct LossCounter {
    std::atomic<int> calls{0};
    CConnection* connection = nullptr;  // disconnected from the callback when set
    std::atomic<int> disconnectResult{-1};
    std::atomic<void*> lastUser{nullptr};

    static void callback(void* user, std::string&)
    {
        auto* counter = static_cast<LossCounter*>(user);
        counter->lastUser = user;
        if (counter->connection != nullptr)
            counter->disconnectResult = counter->connection->disconnect();
        counter->calls++;
    }
};

class LifecycleTest : public ApiTest {};

// Unplugged while labels flow: one callback, then the same objects find,
// connect and collect from the scanner plugged back.
TEST_F(LifecycleTest, SerialScannerUnpluggedAndPluggedBack)
{
    auto& scanner = plugSerial("rs232", "api-replug", "SCANNER", "SN-REPLUG");
    connectAndCollect(discoverOne({0}));
    LossCounter loss;
    ASSERT_EQ(m_connection.setDisconnectCallback(&loss, &LossCounter::callback), 0);
    scanner.scan("BEFORE");
    ASSERT_TRUE(waitUntil([&] { return m_sink.has("BEFORE"); }));
    std::atomic<bool> scanning{true};
    std::thread labels([&] {
        while (scanning)
            if (scanner.isPlugged())
                scanner.scan("FLOW");
    });
    ASSERT_TRUE(waitUntil([&] { return m_sink.has("FLOW"); }));
    scanning = false;
    labels.join();
    scanner.unplug();
    ASSERT_TRUE(waitUntil([&] { return loss.calls.load() == 1; }));

    EXPECT_EQ(m_collection.shutDown(), 0);
    EXPECT_EQ(m_connection.disconnect(), 0) << lastErrorOf(m_connection);
    EXPECT_EQ(loss.calls.load(), 1);

    ASSERT_TRUE(scanner.plug());
    for (CDevice* device : m_found.devices)
        delete device;
    m_found.devices.clear();
    CDevice* device = discoverOne({0});
    ASSERT_NE(device, nullptr);
    HANDLE handle = nullptr;
    ASSERT_EQ(m_connection.connect(device, &handle, true, false, 10000), 0) << lastErrorOf(m_connection);
    ASSERT_EQ(m_collection.initialize(&m_connection, 1, 3000), 0) << lastErrorOf(m_collection);
    ASSERT_EQ(m_collection.setCallback(&m_sink, &RecordSink::callback), 0);
    scanner.scan("AFTER");
    EXPECT_TRUE(waitUntil([&] { return m_sink.has("AFTER"); }));
}

TEST_F(LifecycleTest, HidPosScannerUnpluggedAndPluggedBack)
{
    auto& scanner = plugHid(hidScannerModel("hid-pos", "SCANNER", "SN-HIDREPLUG"), "api-hid-replug");
    connectAndCollect(discoverOne({2}));
    LossCounter loss;
    ASSERT_EQ(m_connection.setDisconnectCallback(&loss, &LossCounter::callback), 0);
    scanner.scan("BEFORE");
    ASSERT_TRUE(waitUntil([&] { return m_sink.has("BEFORE"); }));
    scanner.unplug();
    ASSERT_TRUE(waitUntil([&] { return loss.calls.load() == 1; }));
    EXPECT_EQ(m_collection.shutDown(), 0);
    // Report 254 cannot reach a scanner that is gone: the port is let go.
    EXPECT_EQ(m_connection.disconnect(), 0) << lastErrorOf(m_connection);
    EXPECT_FALSE(m_connection.isConnected());

    ASSERT_TRUE(scanner.plug());
    for (CDevice* device : m_found.devices)
        delete device;
    m_found.devices.clear();
    CDevice* device = discoverOne({2});
    ASSERT_NE(device, nullptr);
    HANDLE handle = nullptr;
    ASSERT_EQ(m_connection.connect(device, &handle, true, false, 10000), 0) << lastErrorOf(m_connection);
    ASSERT_EQ(m_collection.initialize(&m_connection, 1, 3000), 0) << lastErrorOf(m_collection);
    ASSERT_EQ(m_collection.setCallback(&m_sink, &RecordSink::callback), 0);
    scanner.scan("AFTER");
    EXPECT_TRUE(waitUntil([&] { return m_sink.has("AFTER"); }));
}

// A loss callback that disconnects its connection once the test lets it.
struct LatchedDisconnect {
    CConnection* connection = nullptr;
    std::mutex mutex;
    std::condition_variable changed;
    bool entered = false;
    bool released = false;
    std::atomic<int> result{-1};
    std::atomic<bool> finished{false};

    static void callback(void* user, std::string&)
    {
        auto* latch = static_cast<LatchedDisconnect*>(user);
        {
            std::unique_lock lock(latch->mutex);
            latch->entered = true;
            latch->changed.notify_all();
            latch->changed.wait(lock, [latch] { return latch->released; });
        }
        latch->result = latch->connection->disconnect();
        latch->finished = true;
    }
    bool waitEntered()
    {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(20), [this] { return entered; });
    }
    void release()
    {
        std::lock_guard lock(mutex);
        released = true;
        changed.notify_all();
    }
};

// The loss callback disconnects while the owner disconnects too, both at
// once: the callback has entered and waits on a latch, the owner's thread
// releases it and disconnects. Both answer 0, exactly one of them does the
// work (the other finds nothing connected), and nothing is freed twice
// (the sanitizer builds watch that). A mask of 0 makes the serial monitor
// report the loss at its next poll. Many rounds, for the orders in which
// the two may meet.
TEST_F(LifecycleTest, CallbackDisconnectsWhileTheOwnerDisconnects)
{
    // At 1200 baud the connector's ping waits long enough for a loaded
    // machine; the race, not the ping, is what the rounds are about.
    vxsim::SerialModel model = serialScannerModel("rs232", "SCANNER", "SN-RACE");
    model.baudRate = 1200;
    m_serial.push_back(std::make_unique<vxsim::VirtualSerialPort>(model, "api-race"));
    ASSERT_TRUE(m_serial.back()->plug()) << m_serial.back()->lastError();
    auto device = serialRecord(EIT_RS232, comNameOf(*m_serial.back()));
    device->baudRate = 1200;
    CConnection connection;
    connection.initialize();
    SdkLogCapture log(logbit::trace);
    constexpr int kRounds = 200;
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        HANDLE handle = nullptr;
        ASSERT_EQ(connection.connect(device.get(), &handle, true, false, 10000), 0) << lastErrorOf(connection);
        LatchedDisconnect latch;
        latch.connection = &connection;
        ASSERT_EQ(connection.setDisconnectCallback(&latch, &LatchedDisconnect::callback), 0);
        SdkLogCapture::clear();
        ASSERT_EQ(connection.setMonitorMask(0), 0);
        ASSERT_TRUE(latch.waitEntered());
        latch.release();
        const int ownerResult = connection.disconnect();
        ASSERT_TRUE(waitUntil([&] { return latch.finished.load(); }));
        EXPECT_EQ(ownerResult, 0);
        EXPECT_EQ(latch.result.load(), 0);
        EXPECT_FALSE(connection.isConnected());
        ASSERT_EQ(SdkLogCapture::count("CConnection::disconnect, We are not connected currently."), 1u)
            << "exactly one of the two disconnects does the work";
    }
}

// What setDisconnectCallback keeps: a pair given before connect is called
// on a later connection's loss with its user data; a null callback clears
// it, for a later connection and for the running monitor alike. A mask of
// 0 makes the serial monitor's next poll count the device as gone; a
// monitor without a callback says so in the log instead of calling back.
TEST_F(LifecycleTest, DisconnectCallbackAcrossConnections)
{
    plugSerial("rs232", "api-callbacks", "SCANNER", "SN-CALLBACKS");
    CDevice* device = discoverOne({0});
    ASSERT_NE(device, nullptr);
    using Step = std::function<void(CConnection&, LossCounter&)>;
    const Step set = [](CConnection& c, LossCounter& loss) {
        ASSERT_EQ(c.setDisconnectCallback(&loss, &LossCounter::callback), 0);
    };
    const Step clear = [](CConnection& c, LossCounter&) {
        ASSERT_EQ(c.setDisconnectCallback(nullptr, nullptr), 0);
        EXPECT_EQ(lastErrorOf(c), "Set disconnection callback successfully!");
    };
    const Step none = [](CConnection&, LossCounter&) {};
    const auto both = [](Step first, Step second) {
        return [first, second](CConnection& c, LossCounter& loss) {
            first(c, loss);
            second(c, loss);
        };
    };
    struct Case {
        const char* name;
        Step beforeConnect;
        Step whileConnected;
        bool reported;
    };
    const Case cases[] = {
        {"callback before connect", set, none, true},
        {"callback cleared before connect", both(set, clear), none, false},
        {"callback cleared while connected", set, clear, false},
        {"callback given again after clearing", set, both(clear, set), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SdkLogCapture log;
        LossCounter loss;
        CConnection connection;
        connection.initialize();
        c.beforeConnect(connection, loss);
        HANDLE handle = nullptr;
        ASSERT_EQ(connection.connect(device, &handle, true, false, 10000), 0) << lastErrorOf(connection);
        c.whileConnected(connection, loss);
        ASSERT_EQ(connection.setMonitorMask(0), 0);
        if (c.reported) {
            EXPECT_TRUE(waitUntil([&] { return loss.calls.load() == 1; }));
            EXPECT_EQ(loss.lastUser.load(), &loss);
        } else {
            EXPECT_TRUE(waitUntil(
                [] { return SdkLogCapture::count("CSerialDisconnectMonitor::threadRoutine, null call back pointer!") == 1; }));
            EXPECT_EQ(loss.calls.load(), 0);
        }
        EXPECT_EQ(connection.disconnect(), 0) << lastErrorOf(connection);
    }
}

// The callback alone disconnects: the object can be connected again.
TEST_F(LifecycleTest, CallbackDisconnectLeavesAReusableConnection)
{
    auto& scanner = plugSerial("rs232", "api-cbdisc", "SCANNER", "SN-CB");
    connectAndCollect(discoverOne({0}));
    ASSERT_EQ(m_collection.shutDown(), 0);
    LossCounter loss;
    loss.connection = &m_connection;
    ASSERT_EQ(m_connection.setDisconnectCallback(&loss, &LossCounter::callback), 0);
    scanner.unplug();
    ASSERT_TRUE(waitUntil([&] { return loss.calls.load() == 1; }));
    EXPECT_EQ(loss.disconnectResult.load(), 0);
    EXPECT_FALSE(m_connection.isConnected());
}

// Disconnecting first closes the handle the collection adopted: the
// collection's reads and writes fail, it never reaches whatever the process
// opens next, and shutDown still succeeds.
TEST_F(LifecycleTest, CollectionOutlivesItsConnectionsHandle)
{
    plugSerial("rs232", "api-first", "SCANNER", "SN-FIRST");
    connectAndCollect(discoverOne({0}));
    ASSERT_EQ(m_connection.disconnect(), 0);
    auto& other = plugSerial("rs232", "api-second", "OTHER", "SN-SECOND");
    CSerialPort port;
    ASSERT_EQ(port.open(stringToWString("\\\\.\\" + comNameOf(other))), 0);
    int result = -1;
    EXPECT_EQ(m_collection.sendMenuCmdSync(&result, menuFrame("BEPLVL?!"), 500), nullptr);
    EXPECT_NE(result, 0);
    EXPECT_TRUE(other.received().empty());
    EXPECT_EQ(m_collection.shutDown(), 0);
    EXPECT_TRUE(other.received().empty());
}

// The destructor meets a synchronous exchange that holds the mutex longer
// than shutDown waits: it waits for the exchange, then frees everything.
TEST_F(LifecycleTest, DestructorWaitsForASynchronousExchange)
{
    auto& scanner = plugSerial("rs232", "api-dtor", "SCANNER", "SN-DTOR");
    CDevice* device = discoverOne({0});
    m_connection.initialize();
    HANDLE handle = nullptr;
    ASSERT_EQ(m_connection.connect(device, &handle, true, false, 10000), 0);
    auto collection = std::make_unique<CDataCollection>();
    ASSERT_EQ(collection->initialize(&m_connection, 1, 3000), 0) << lastErrorOf(*collection);
    vxsim::DataFaults silent;
    silent.silent = true;
    scanner.setDataFaults(silent);
    // Set-up has sent commands of its own: the exchange holds the mutex once
    // the device has seen its command.
    std::atomic<int> result{-1};
    std::thread exchange([&] {
        int code = -1;
        CDataCollection* raw = collection.get();
        std::unique_ptr<CMenuData> reply(raw->sendMenuCmdSync(&code, menuFrame("BEPLVL?!"), 4500));
        result = code;
    });
    ASSERT_TRUE(waitUntil([&] {
        const std::vector<std::string> commands = scanner.menuCommands();
        return std::any_of(commands.begin(), commands.end(),
                           [](const std::string& command) { return command.find("BEPLVL") != std::string::npos; });
    }));
    EXPECT_EQ(collection->shutDown(), 2);
    EXPECT_EQ(lastErrorOf(*collection), "wait for another operation timeout!");
    collection.reset();  // waits for the exchange
    EXPECT_EQ(result.load(), 2);
    exchange.join();
}

// A line-of-business port behind the filter driver: a failed set-up
// switches the wrapper mode it switched on off again.
TEST_F(LifecycleTest, FailedInitializeSwitchesTheWrapperOffAgain)
{
    vxsim::SerialModel model = serialScannerModel("filter-rs232", "SCANNER", "SN-FD");
    model.menu.rules.clear();
    vxsim::VirtualSerialPort scanner(model, "api-fd");
    ASSERT_TRUE(scanner.plug());
    vxsim::DataFaults silent;
    silent.silent = true;
    scanner.setDataFaults(silent);
    auto device = serialRecord(EIT_RS232, comNameOf(scanner));
    device->fromFilterDriver = 1;
    CDataCollection collection;
    EXPECT_EQ(collection.initialize(device.get(), nullptr, 1, 300), 4);
    EXPECT_FALSE(scanner.filterDriverState().wrapper);
    EXPECT_FALSE(scanner.requests().empty());
}

TEST_F(LifecycleTest, SubProductDetailsOfAHub)
{
    vxsim::SerialModel model = *vxsim::findSerialModel("rs232");
    model.wireTime = false;
    model.menu = vxsim::identityMenu(*vxsim::findIdentityModel("hub-single"));
    m_serial.push_back(std::make_unique<vxsim::VirtualSerialPort>(model, "api-hub"));
    ASSERT_TRUE(m_serial.back()->plug());
    CDevice* device = discoverOne({0});
    connectAndCollect(device);
    ASSERT_NE(m_connection.getDevice(), nullptr);
    auto* hub = dynamic_cast<CHubProduct*>(m_connection.getDevice()->product);
    ASSERT_NE(hub, nullptr);
    EXPECT_EQ(m_collection.getSubProductDetails(20000), 0) << lastErrorOf(m_collection);
    EXPECT_FALSE(hub->subProducts.empty());
}

}  // namespace
