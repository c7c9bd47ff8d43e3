// The facade end to end over a simulated HID point-of-sale scanner:
// discover, connect with exclusive access (the scanner enters its
// point-of-sale mode), labels and images to the callback, menu commands
// with and without waiting, mode switches, disconnect.
#include "ApiFixture.h"

#include "discovery/CUsbHidDevice.h"
#include "products/CProduct.h"
#include "simulator/menu_engine.h"

using namespace vxtest;

namespace {

class HidFacadeTest : public ApiTest {
protected:
    vxsim::HidScanner& plugScanner(const std::string& id)
    {
        return plugHid(hidScannerModel("hid-pos", "HIDSCANNER", "SN-" + id), id);
    }
    int sync(const std::string& command, DWORD timeout, std::string* reply = nullptr)
    {
        int result = -1;
        std::unique_ptr<CMenuData> record(m_collection.sendMenuCmdSync(&result, menuFrame(command), timeout));
        EXPECT_EQ(record != nullptr, result == 0) << command;
        if (reply != nullptr)
            *reply = replyText(record.get());
        return result;
    }
};

TEST_F(HidFacadeTest, LabelsImagesAndMenuRepliesReachTheCaller)
{
    auto& scanner = plugScanner("api-hid");
    CDevice* device = discoverOne({2});
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->interfaceType, EIT_USB_HID_BARCODE_SCANNER);
    connectAndCollect(device, true);
    EXPECT_TRUE(m_connection.isConnected());
    EXPECT_EQ(scanner.posMode(), 1);
    ASSERT_NE(m_connection.getDevice(), nullptr);
    ASSERT_NE(m_connection.getDevice()->product, nullptr);
    EXPECT_EQ(m_connection.getDevice()->product->serialNumber, "SN-api-hid");

    // A label longer than one report's data area comes in one record.
    const std::string longLabel(150, 'L');
    scanner.scan("0123456789");
    scanner.scan(longLabel);
    scanner.sendImage("IMAGEBYTES");
    ASSERT_TRUE(waitUntil([&] { return m_sink.has("0123456789") && m_sink.has(longLabel); }))
        << ::testing::PrintToString(m_sink.snapshot());
    ASSERT_TRUE(waitUntil([&] { return m_sink.hasPrefix("2:"); }));

    std::string reply;
    ASSERT_EQ(sync("BEPLVL?!", 3000, &reply), 0) << lastErrorOf(m_collection);
    EXPECT_NE(reply.find("BEPLVL2"), std::string::npos) << reply;
    EXPECT_EQ(lastErrorOf(m_collection), "sendMenuCmdSync successful!");

    ASSERT_EQ(m_collection.sendMenuCmdAsync(menuFrame("BEPLVL?!")), 0);
    EXPECT_EQ(lastErrorOf(m_collection), "sendMenuCmdAsync successful!");
    ASSERT_TRUE(waitUntil([&] { return m_sink.hasPrefix("3:BEPLVL"); })) << ::testing::PrintToString(m_sink.snapshot());

    // The serial monitor's mask has no meaning for a HID scanner.
    EXPECT_EQ(m_connection.setMonitorMask(0x20), 2);
    EXPECT_EQ(lastErrorOf(m_connection), "This API only apply for Serial Device monitor.....");

    EXPECT_EQ(m_collection.shutDown(), 0);
    EXPECT_EQ(m_connection.disconnect(), 0) << lastErrorOf(m_connection);
    EXPECT_EQ(lastErrorOf(m_connection), "Disconnect successfully!");
    EXPECT_FALSE(m_connection.isConnected());
    // Leaving the point-of-sale mode is the connector's last request.
    EXPECT_EQ(scanner.posMode(), 0);
}

TEST_F(HidFacadeTest, SynchronousCommandCodesAndModeSwitches)
{
    auto& scanner = plugScanner("api-hid-codes");
    connectAndCollect(discoverOne({2}), true);

    EXPECT_EQ(sync("BEPLVL?!", 0), 2);
    EXPECT_EQ(lastErrorOf(m_collection), "wait until timeout before send data to device!");

    vxsim::DataFaults silent;
    silent.silent = true;
    scanner.setDataFaults(silent);
    EXPECT_EQ(sync("BEPLVL?!", 300), 2);
    EXPECT_EQ(lastErrorOf(m_collection), "sendMsgSync wait until timeout!");
    scanner.setDataFaults({});

    ASSERT_EQ(m_collection.switchProcessorState(0), 0) << lastErrorOf(m_collection);
    EXPECT_EQ(lastErrorOf(m_collection), "switchProcessorState successful!");
    EXPECT_EQ(m_collection.getCurrentState(), 0);
    EXPECT_EQ(sync("BEPLVL?!", 1000), 6);
    EXPECT_EQ(lastErrorOf(m_collection), "this call only works at identify mode!");
    // Raw: what the scanner sends reaches the callback as raw records.
    scanner.scan("RAWLABEL");
    EXPECT_TRUE(waitUntil([&] { return m_sink.hasPrefix("0:"); })) << ::testing::PrintToString(m_sink.snapshot());
    // A switch to the state that holds already does nothing and succeeds.
    EXPECT_EQ(m_collection.switchProcessorState(0), 0);

    ASSERT_EQ(m_collection.switchProcessorState(1), 0) << lastErrorOf(m_collection);
    EXPECT_EQ(m_collection.getCurrentState(), 1);
    EXPECT_TRUE(scanner.decodeHeader());
    scanner.scan("AGAIN");
    EXPECT_TRUE(waitUntil([&] { return m_sink.has("AGAIN"); })) << ::testing::PrintToString(m_sink.snapshot());
    EXPECT_EQ(sync("BEPLVL?!", 3000), 0) << lastErrorOf(m_collection);

    EXPECT_EQ(m_collection.flush(), 0) << lastErrorOf(m_collection);

    // Gone: the write fails.
    scanner.unplug();
    EXPECT_EQ(sync("BEPLVL?!", 1000), 5) << lastErrorOf(m_collection);

    ASSERT_EQ(m_collection.shutDown(), 0);
    EXPECT_EQ(sync("BEPLVL?!", 1000), 3);
    EXPECT_EQ(lastErrorOf(m_collection), "data collection not been initialized!");
}

// Exclusive access keeps a second connection off the scanner, while the
// first one goes on collecting; a shared second connection after the first
// has let go works.
TEST_F(HidFacadeTest, ExclusiveAccessKeepsOthersOff)
{
    auto& scanner = plugScanner("api-hid-excl");
    CDevice* device = discoverOne({2});
    connectAndCollect(device, true);

    CConnection second;
    second.initialize();
    HANDLE handle = nullptr;
    EXPECT_NE(second.connect(device, &handle, false, false, 5000), 0);
    EXPECT_EQ(lastErrorOf(second).rfind("Port isn't available.", 0), 0u) << lastErrorOf(second);
    EXPECT_FALSE(second.isConnected());
    EXPECT_EQ(handle, nullptr);

    scanner.scan("STILLMINE");
    EXPECT_TRUE(waitUntil([&] { return m_sink.has("STILLMINE"); }));

    ASSERT_EQ(m_collection.shutDown(), 0);
    ASSERT_EQ(m_connection.disconnect(), 0);
    EXPECT_EQ(second.connect(device, &handle, false, false, 5000), 0) << lastErrorOf(second);
    EXPECT_TRUE(second.isConnected());
    EXPECT_EQ(second.disconnect(), 0);
}

}  // namespace
