// The facade end to end over a simulated RS-232 scanner: discover, connect,
// records to the callback, menu commands with and without waiting, mode
// switches, disconnect.
#include "ApiFixture.h"

#include "discovery/CSerialDevice.h"
#include "simulator/menu_engine.h"

using namespace vxtest;

namespace {

class SerialFacadeTest : public ApiTest {
protected:
    vxsim::VirtualSerialPort& plugScanner() { return plugSerial("rs232", "api-serial", "SCANNER", "SN-SERIAL"); }
};

TEST_F(SerialFacadeTest, LabelsImagesAndMenuRepliesReachTheCaller)
{
    auto& scanner = plugScanner();
    CDevice* device = discoverOne({0});
    connectAndCollect(device);
    EXPECT_TRUE(m_connection.isConnected());

    scanner.scan("0123456789");
    scanner.sendImage("IMAGEBYTES");
    ASSERT_TRUE(waitUntil([&] { return m_sink.has("0123456789"); })) << ::testing::PrintToString(m_sink.snapshot());
    ASSERT_TRUE(waitUntil([&] { return m_sink.hasPrefix("2:"); }));

    int result = -1;
    std::unique_ptr<CMenuData> reply(m_collection.sendMenuCmdSync(&result, menuFrame("BEPLVL?!"), 3000));
    ASSERT_EQ(result, 0) << lastErrorOf(m_collection);
    ASSERT_NE(reply, nullptr);
    EXPECT_EQ(reply->response, 0);  // ACK
    EXPECT_NE(replyText(reply.get()).find("BEPLVL2"), std::string::npos) << replyText(reply.get());
    EXPECT_EQ(lastErrorOf(m_collection), "sendMenuCmdSync successful!");

    // Without waiting, the reply comes to the callback as a menu record.
    ASSERT_EQ(m_collection.sendMenuCmdAsync(menuFrame("BEPLVL?!")), 0);
    ASSERT_TRUE(waitUntil([&] { return m_sink.hasPrefix("3:BEPLVL"); })) << ::testing::PrintToString(m_sink.snapshot());

    EXPECT_EQ(m_collection.shutDown(), 0);
    EXPECT_EQ(m_connection.disconnect(), 0);
    EXPECT_EQ(lastErrorOf(m_connection), "Disconnect successfully!");
    EXPECT_FALSE(m_connection.isConnected());
}

TEST_F(SerialFacadeTest, SynchronousCommandCodes)
{
    auto& scanner = plugScanner();
    connectAndCollect(discoverOne({0}));
    int result = -1;

    // 0 ms never sends anything.
    EXPECT_EQ(m_collection.sendMenuCmdSync(&result, menuFrame("BEPLVL?!"), 0), nullptr);
    EXPECT_EQ(result, 2);
    EXPECT_EQ(lastErrorOf(m_collection), "wait until timeout before send data to device!");

    // A device that does not answer: the processor's time-out.
    vxsim::DataFaults silent;
    silent.silent = true;
    scanner.setDataFaults(silent);
    EXPECT_EQ(m_collection.sendMenuCmdSync(&result, menuFrame("BEPLVL?!"), 300), nullptr);
    EXPECT_EQ(result, 2);
    EXPECT_EQ(lastErrorOf(m_collection), "sendMsgSync wait until timeout!");
    scanner.setDataFaults({});

    // Raw mode: 6.
    ASSERT_EQ(m_collection.switchProcessorState(0), 0) << lastErrorOf(m_collection);
    EXPECT_EQ(m_collection.getCurrentState(), 0);
    EXPECT_EQ(m_collection.sendMenuCmdSync(&result, menuFrame("BEPLVL?!"), 1000), nullptr);
    EXPECT_EQ(result, 6);
    EXPECT_EQ(lastErrorOf(m_collection), "this call only works at identify mode!");
    // In raw mode a label arrives as its bytes.
    scanner.scan("RAWLABEL");
    EXPECT_TRUE(waitUntil([&] { return m_sink.hasPrefix("0:"); }));

    ASSERT_EQ(m_collection.switchProcessorState(1), 0) << lastErrorOf(m_collection);
    EXPECT_EQ(m_collection.getCurrentState(), 1);
    std::unique_ptr<CMenuData> reply(m_collection.sendMenuCmdSync(&result, menuFrame("BEPLVL?!"), 3000));
    EXPECT_EQ(result, 0) << lastErrorOf(m_collection);

    // Not initialised: 3, for every operation that needs the device.
    ASSERT_EQ(m_collection.shutDown(), 0);
    EXPECT_EQ(m_collection.sendMenuCmdSync(&result, menuFrame("BEPLVL?!"), 1000), nullptr);
    EXPECT_EQ(result, 3);
    EXPECT_EQ(lastErrorOf(m_collection), "data collection not been initialized!");
}

TEST_F(SerialFacadeTest, WriteFailureAfterTheDeviceIsGone)
{
    auto& scanner = plugScanner();
    connectAndCollect(discoverOne({0}));
    scanner.unplug();
    int result = -1;
    EXPECT_EQ(m_collection.sendMenuCmdSync(&result, menuFrame("BEPLVL?!"), 1000), nullptr);
    EXPECT_EQ(result, 5) << lastErrorOf(m_collection);
}

// What each mode of initialize sends about the decode header, the state it
// leaves, and shut-down putting back the setting read at initialize (the
// restore goes through the identify-mode exchange, so a raw-mode
// collection sends nothing).
TEST_F(SerialFacadeTest, InitializeModesAndTheDecodeHeaderAtShutDown)
{
    using Commands = std::vector<std::string>;
    struct Case {
        std::string stored;  // the device's DECHDR setting before initialize
        int mode;
        Commands atInitialize;
        int state;  // the processing state after initialize
        Commands atShutDown;
        bool headerAfter;  // the device's decode header after shut-down
    };
    const Case cases[] = {
        {"0", 1, {"DECHDR?", "DECHDR1"}, 1, {"DECHDR0"}, false},
        {"1", 1, {"DECHDR?"}, 1, {"DECHDR1"}, true},
        {"0", 0, {"DECHDR?"}, 0, {}, false},
        {"1", 0, {"DECHDR?"}, 0, {}, true},
        {"0", 2, {"DECHDR?"}, 1, {"DECHDR0"}, false},
        {"7", 2, {"DECHDR?"}, 1, {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("DECHDR " + c.stored + ", mode " + std::to_string(c.mode));
        vxsim::SerialModel model = serialScannerModel("rs232", "SCANNER", "SN-MODE");
        model.menu.settings["DECHDR"] = c.stored;
        vxsim::VirtualSerialPort scanner(model, "api-mode");
        ASSERT_TRUE(scanner.plug());
        auto device = serialRecord(EIT_RS232, comNameOf(scanner));
        CDataCollection collection;
        ASSERT_EQ(collection.initialize(device.get(), nullptr, c.mode, 3000), 0) << lastErrorOf(collection);
        EXPECT_EQ(scanner.menuCommands(), c.atInitialize);
        EXPECT_EQ(collection.getCurrentState(), c.state);
        const std::size_t before = scanner.menuCommands().size();
        EXPECT_EQ(collection.shutDown(), 0) << lastErrorOf(collection);
        const Commands commands = scanner.menuCommands();
        EXPECT_EQ(Commands(commands.begin() + static_cast<long>(before), commands.end()), c.atShutDown);
        EXPECT_EQ(scanner.decodeHeader(), c.headerAfter);
    }
}

// The stored decode-header answer decides what a switch to raw sends.
TEST_F(SerialFacadeTest, SwitchToRawFollowsTheStoredDecodeHeaderAnswer)
{
    struct Case {
        std::string stored;  // the device's DECHDR setting at initialize
        std::vector<std::string> sent;  // header commands on the switch to raw
    };
    for (const Case& c : {Case{"0", {"DECHDR0"}}, Case{"1", {"DECHDR1"}}, Case{"7", {}}}) {
        SCOPED_TRACE("DECHDR " + c.stored);
        vxsim::SerialModel model = serialScannerModel("rs232", "SCANNER", "SN-" + c.stored);
        model.menu.settings["DECHDR"] = c.stored;
        vxsim::VirtualSerialPort scanner(model, "api-dechdr-" + c.stored);
        ASSERT_TRUE(scanner.plug());
        auto device = serialRecord(EIT_RS232, comNameOf(scanner));
        CDataCollection collection;
        ASSERT_EQ(collection.initialize(device.get(), nullptr, 1, 3000), 0) << lastErrorOf(collection);
        std::size_t before = scanner.menuCommands().size();
        // A stored answer other than '0' or '1' still switches to raw.
        ASSERT_EQ(collection.switchProcessorState(0), 0) << lastErrorOf(collection);
        EXPECT_EQ(collection.getCurrentState(), 0);
        auto commands = scanner.menuCommands();
        std::vector<std::string> sent(commands.begin() + static_cast<long>(before), commands.end());
        EXPECT_EQ(sent, c.sent) << ::testing::PrintToString(sent);
        EXPECT_EQ(collection.shutDown(), 0);
    }
}

}  // namespace
