// The remote-management (Qox) port behind the filter driver as a caller of
// the facade uses it: discovery finds its record, a connection opens it,
// and data collection runs on it like on any serial scanner, labels,
// synchronous menu commands and the decode header included.
#include "ApiFixture.h"

#include "discovery/CSerialDevice.h"
#include "products/CProduct.h"

#include <algorithm>

using namespace vxtest;

namespace {

class QoxFacadeTest : public ApiTest {};

TEST_F(QoxFacadeTest, ManagementPortIsDiscoveredConnectedAndCollectedFrom)
{
    vxsim::SerialModel model = serialScannerModel("filter-rs232", "MANAGED", "SN-MANAGED");
    model.menu.settings["DECHDR"] = "0";
    m_serial.push_back(std::make_unique<vxsim::VirtualSerialPort>(model, "api-qox"));
    vxsim::VirtualSerialPort& scanner = *m_serial.back();
    ASSERT_TRUE(scanner.plug()) << scanner.lastError();

    CDiscoveryTemplate search = searchTemplate({0});
    search.interfaceUsages = {1};
    CDiscovery discovery;
    discovery.initialize();
    ASSERT_EQ(discovery.enumerate(search, &m_found.devices, 30000), 0) << lastErrorOf(discovery);
    ASSERT_EQ(m_found.devices.size(), 1u);
    CDevice* qox = m_found.devices[0];
    EXPECT_EQ(qox->interfaceUsage, EIU_QOX);
    EXPECT_EQ(qox->fromFilterDriver, 1);
    ASSERT_NE(qox->product, nullptr);
    EXPECT_EQ(qox->product->serialNumber, "SN-MANAGED");

    connectAndCollect(qox, true, 1);
    EXPECT_TRUE(scanner.managementConnected());
    EXPECT_FALSE(scanner.hostConnected()) << "the line-of-business port stays free";
    EXPECT_FALSE(scanner.filterDriverState().transactionMode);
    EXPECT_TRUE(scanner.decodeHeader()) << "identify mode turns the decode header on";

    scanner.scan("MANAGED-LABEL");
    EXPECT_TRUE(waitUntil([&] { return m_sink.has("MANAGED-LABEL"); })) << ::testing::PrintToString(m_sink.snapshot());

    int result = -1;
    std::unique_ptr<CMenuData> reply(m_collection.sendMenuCmdSync(&result, menuFrame("REV_SW?!"), 3000));
    ASSERT_EQ(result, 0) << lastErrorOf(m_collection);
    ASSERT_NE(reply, nullptr);
    EXPECT_EQ(reply->response, 0);  // ACK
    EXPECT_EQ(replyText(reply.get()).rfind("REV_SW", 0), 0u) << replyText(reply.get());

    EXPECT_EQ(m_collection.shutDown(), 0) << lastErrorOf(m_collection);
    EXPECT_FALSE(scanner.decodeHeader()) << "the answer read at initialize is put back";
    EXPECT_EQ(m_connection.disconnect(), 0) << lastErrorOf(m_connection);
    EXPECT_TRUE(waitUntil([&] { return !scanner.managementConnected(); }));
    const auto commands = scanner.menuCommands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "DECHDR0"), 1) << ::testing::PrintToString(commands);
}

}  // namespace
