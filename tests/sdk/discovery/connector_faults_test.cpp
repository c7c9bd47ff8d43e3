// Connector paths that fail part-way: a second connector whose open is
// refused leaves the first connection whole in both directions, a HID
// connect that fails after switching the point-of-sale mode on switches it
// off again, and filter-driver HID interfaces are found under their path.
#include "DiscoveryFixture.h"

#include "discovery/CSerialDevice.h"
#include "discovery/CSerialDeviceConnector.h"
#include "discovery/CSerialDeviceEnumerator.h"
#include "discovery/CUsbHidDeviceConnector.h"
#include "discovery/CUsbHidDeviceEnumerator.h"
#include "ports/CSerialPort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>

using vxtest::DeviceList;
using vxtest::searchTemplate;

namespace {

class ConnectorFaults : public vxtest::DiscoveryTest {};

// Reads from `port` until `wanted` has arrived or `bound` has passed.
std::string readUntil(CSerialPort* port, const std::string& wanted, std::chrono::seconds bound)
{
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (got.find(wanted) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        unsigned char buffer[256];
        unsigned int n = 0;
        if (port->read(buffer, sizeof buffer, &n) != 0)
            break;
        got.append(reinterpret_cast<const char*>(buffer), n);
    }
    return got;
}

}  // namespace

TEST_F(ConnectorFaults, LabelAfterASecondConnectorsRefusedOpenIsReadByTheFirst)
{
    // The catalogue model as it is, wire time included.
    vxsim::SerialModel model = vxtest::serialScannerModel("rs232", "SCANNER", "SN-rs232");
    model.wireTime = true;
    m_serial.push_back(std::make_unique<vxsim::VirtualSerialPort>(model, "rs232"));
    auto& rs232 = *m_serial.back();
    ASSERT_TRUE(rs232.plug()) << rs232.lastError();
    DeviceList list;
    const CDiscoveryTemplate search = searchTemplate({0});
    CSerialDeviceEnumerator enumerator(&search, &list.devices, 0);
    ASSERT_EQ(enumerator.enumerate(), 0);
    ASSERT_EQ(list.devices.size(), 1u);
    CDevice* device = list.devices.front();

    CSerialDeviceConnector first(device, false);
    ASSERT_EQ(first.connect(0), 0);
    auto* port = dynamic_cast<CSerialPort*>(first.getPort());
    ASSERT_NE(port, nullptr);
    // A read returns with the first bytes, or with none after 200 ms.
    ASSERT_EQ(port->setupReadTimeouts(MAXDWORD, 200, MAXDWORD), 0);
    {
        std::string error;
        CSerialDeviceConnector second(device, false);
        second.setErrorMsg(&error);
        ASSERT_EQ(second.connect(0), 2);
    }
    EXPECT_TRUE(rs232.hostConnected());
    const std::string text = "STILL-HERE";
    unsigned int written = 0;
    ASSERT_EQ(port->write(reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()), &written), 0);
    ASSERT_TRUE(vxtest::waitUntil([&] {
        const auto bytes = rs232.received();
        return std::string(bytes.begin(), bytes.end()).find(text) != std::string::npos;
    }));
    rs232.scan("LABEL-AFTER-REFUSAL");
    EXPECT_NE(readUntil(port, "LABEL-AFTER-REFUSAL", std::chrono::seconds(20)).find("LABEL-AFTER-REFUSAL"),
              std::string::npos);
    EXPECT_EQ(first.disconnect(), 0);
}

TEST_F(ConnectorFaults, FailedHidConnectSwitchesThePointOfSaleModeOffAgain)
{
    auto& pos = plugHid(vxtest::hidScannerModel("hid-pos", "POS", "SN-pos"), "pos");
    DeviceList list;
    const CDiscoveryTemplate search = searchTemplate({2});
    CUsbHidDeviceEnumerator enumerator(&search, &list.devices);
    ASSERT_EQ(enumerator.enumerate(), 0);
    ASSERT_EQ(list.devices.size(), 1u);

    pos.clearObservations();  // the probe switches the mode on and off too
    pos.setPosOnAnswerLost(true);
    std::string error;
    CUsbHidDeviceConnector connector(list.devices.front(), true, false);
    connector.setErrorMsg(&error);
    EXPECT_EQ(connector.connect(0), 2);
    EXPECT_EQ(error, "Error happens during send 254(1) report to HID interface.");
    EXPECT_EQ(connector.getPort(), nullptr);
    const std::vector<std::vector<std::uint8_t>> expected = {{0xFE, 1}, {0xFE, 0}};
    std::vector<std::vector<std::uint8_t>> sent;
    for (const auto& report : pos.featureReports())
        sent.emplace_back(report.begin(), report.begin() + std::min<std::size_t>(2, report.size()));
    EXPECT_EQ(sent, expected);
    EXPECT_EQ(pos.posMode(), 0);
}

TEST_F(ConnectorFaults, FilterDriverHidInterfacesAreFoundUnderTheDriversPath)
{
    auto& lob = plugHid(vxtest::hidScannerModel("hid-filter-pos", "FDPOS", "SN-fd"), "fdpos");
    DeviceList list;
    const CDiscoveryTemplate search = searchTemplate({2});
    CUsbHidDeviceEnumerator enumerator(&search, &list.devices);
    ASSERT_EQ(enumerator.enumerate(), 0);
    ASSERT_EQ(list.devices.size(), 1u);
    const CDevice* device = list.devices.front();
    EXPECT_EQ(device->portName, lob.hostPath());
    EXPECT_EQ(device->fromFilterDriver, 1);
    EXPECT_EQ(device->interfaceType, EIT_USB_HID_BARCODE_SCANNER);
}
