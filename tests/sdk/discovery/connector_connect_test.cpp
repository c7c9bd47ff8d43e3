// Connectors against simulated scanners: each connectible kind connects and
// disconnects; keyboard and SurePOS records are refused; a second exclusive
// connection fails without harming the first; a point-of-sale scanner is
// switched off on disconnect, and one that was unplugged is let go.
#include "DiscoveryFixture.h"

#include "discovery/CSerialDevice.h"
#include "discovery/CSerialDeviceConnector.h"
#include "discovery/CSerialDeviceEnumerator.h"
#include "discovery/CUsbHidDevice.h"
#include "discovery/CUsbHidDeviceConnector.h"
#include "discovery/CUsbHidDeviceEnumerator.h"
#include "ports/CUsbHidBarcodeScanner.h"

#include <gtest/gtest.h>

#include <memory>

using vxtest::DeviceList;
using vxtest::searchTemplate;

namespace {

class Connectors : public vxtest::DiscoveryTest {
protected:
    void discover(const std::vector<int>& types)
    {
        const CDiscoveryTemplate search = searchTemplate(types);
        CUsbHidDeviceEnumerator hid(&search, &m_list.devices);
        ASSERT_EQ(hid.enumerate(), 0);
        for (int kind : {0, 1, 2}) {
            CSerialDeviceEnumerator serial(&search, &m_list.devices, kind);
            ASSERT_EQ(serial.enumerate(), 0);
        }
    }
    CDevice* byPort(const std::string& port)
    {
        for (CDevice* device : m_list.devices)
            if (device->portName == port)
                return device;
        ADD_FAILURE() << "no record for " << port;
        return nullptr;
    }
    // The connector the connection facade picks for the record's type.
    static std::unique_ptr<CDeviceConnector> connectorFor(CDevice* device)
    {
        if (device->interfaceType == EIT_USB_HID_BARCODE_SCANNER || device->interfaceType == EIT_USB_HID_KBD ||
            device->interfaceType == EIT_USB_HID_IBM_SUREPOS)
            return std::make_unique<CUsbHidDeviceConnector>(device, true, false);
        auto serial = std::make_unique<CSerialDeviceConnector>(device, false);
        serial->setUsbSerial(device->interfaceType == EIT_USB_SERIAL);
        return serial;
    }

    DeviceList m_list;
};

}  // namespace

TEST_F(Connectors, EveryConnectibleKindConnectsAndDisconnects)
{
    auto& rs232 = plugSerial("rs232", "rs232");
    auto& usb = plugSerial("usb-serial", "usb");
    auto& other = plugSerial("other-driver", "other");
    vxsim::HidModel lobModel = vxtest::hidScannerModel("hid-pos", "LOB", "SN-lob");
    lobModel.product = "Varnex Scanner";  // terminal id 131: usage 0
    auto& lob = plugHid(lobModel, "lob");
    auto& pos = plugHid(vxtest::hidScannerModel("hid-pos", "POS", "SN-pos"), "pos");
    discover({2, 0, 1, 5});

    using Features = std::vector<std::vector<std::uint8_t>>;
    struct Case {
        std::string port;
        int type;
        int usage;
        vxsim::HidScanner* hid;  // whose feature reports the row checks
        Features onConnect;      // feature reports the connect sent
        Features onDisconnect;   // and the disconnect
    };
    const Features posOn = {{0xFE, 1}};
    const Features posOff = {{0xFE, 0}};
    const Case cases[] = {
        {vxtest::comNameOf(rs232), EIT_RS232, EIU_LOB, nullptr, {}, {}},
        {vxtest::comNameOf(usb), EIT_USB_SERIAL, EIU_LOB, nullptr, {}, {}},
        {vxtest::comNameOf(other), EIT_OTHER_SERIAL, EIU_LOB, nullptr, {}, {}},
        // Report 254 is for the point-of-sale usage only: a line-of-business
        // scanner gets none.
        {lob.hostPath(), EIT_USB_HID_BARCODE_SCANNER, EIU_LOB, &lob, {}, {}},
        {pos.hostPath(), EIT_USB_HID_BARCODE_SCANNER, EIU_HID_POS, &pos, posOn, posOff},
    };
    // The feature reports sent since `from` of them.
    const auto featuresSince = [](vxsim::HidScanner* hid, std::size_t from) {
        const Features all = hid->featureReports();
        return Features(all.begin() + static_cast<std::ptrdiff_t>(from), all.end());
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.port);
        const std::size_t featuresBefore = c.hid != nullptr ? c.hid->featureReports().size() : 0;
        CDevice* device = byPort(c.port);
        ASSERT_NE(device, nullptr);
        ASSERT_EQ(device->interfaceType, c.type);
        ASSERT_EQ(device->interfaceUsage, c.usage);
        std::string error;
        auto connector = connectorFor(device);
        connector->setErrorMsg(&error);
        ASSERT_EQ(connector->connect(10000), 0) << error;
        ASSERT_NE(connector->getPort(), nullptr);
        EXPECT_TRUE(connector->getPort()->isOpened());
        EXPECT_NE(connector->getNativeHandle(), nullptr);

        std::unique_ptr<CDevice> copy;
        if (c.type <= EIT_USB_SERIAL || c.type == EIT_OTHER_SERIAL)
            copy = std::make_unique<CSerialDevice>();
        else
            copy = std::make_unique<CUsbHidDevice>();
        ASSERT_TRUE(connector->copyDevice(copy.get()));
        EXPECT_EQ(copy->interfaceType, c.type);
        EXPECT_EQ(copy->portName, c.port);
        ASSERT_NE(copy->product, nullptr);
        EXPECT_NE(copy->product, device->product);

        if (c.usage == EIU_HID_POS) {
            EXPECT_EQ(pos.posMode(), 1);
        }
        const std::size_t featuresConnected = c.hid != nullptr ? c.hid->featureReports().size() : 0;
        if (c.hid != nullptr) {
            EXPECT_EQ(featuresSince(c.hid, featuresBefore), c.onConnect);
        }
        EXPECT_EQ(connector->disconnect(), 0);
        if (c.hid != nullptr) {
            EXPECT_EQ(featuresSince(c.hid, featuresConnected), c.onDisconnect);
        }
        EXPECT_EQ(connector->getPort(), nullptr);
        EXPECT_EQ(connector->getNativeHandle(), nullptr);
        EXPECT_EQ(connector->disconnect(), 0);  // nothing left open
    }
    EXPECT_EQ(pos.posMode(), 0);
    EXPECT_EQ(lob.posMode(), 0);  // only the factory's questions switched it
}

TEST_F(Connectors, PreCheckRefusesWhatCannotBeConnected)
{
    auto& keyboard = plugHid(vxtest::hidScannerModel("hid-keyboard", "KBD", "SN-kbd"), "kbd");
    discover({4});
    CDevice* device = byPort(keyboard.hostPath());
    ASSERT_NE(device, nullptr);

    CUsbHidDevice surePos;
    surePos.interfaceType = EIT_USB_HID_IBM_SUREPOS;
    surePos.portName = keyboard.hostPath();
    struct Case {
        CDevice* device;
        bool breakSignal;
        const char* text;
    };
    const Case cases[] = {
        {device, false, "Device is not connectible."},
        {&surePos, false, "Device is not connectible."},
        {nullptr, false, "Device is NULL."},
        {device, true, "Not support break single yet."},
    };
    for (const Case& c : cases) {
        std::string error;
        CUsbHidDeviceConnector connector(c.device, true, c.breakSignal);
        connector.setErrorMsg(&error);
        EXPECT_EQ(connector.connect(0), 1);
        EXPECT_EQ(error, c.text);
        EXPECT_EQ(connector.getPort(), nullptr);
    }
}

TEST_F(Connectors, SecondExclusiveConnectorFailsAndTheFirstKeepsWorking)
{
    auto& rs232 = plugSerial("rs232", "rs232");
    auto& pos = plugHid(vxtest::hidScannerModel("hid-pos", "POS", "SN-pos"), "pos");
    discover({2, 0});

    {
        CDevice* device = byPort(vxtest::comNameOf(rs232));
        ASSERT_NE(device, nullptr);
        CSerialDeviceConnector first(device, false);
        ASSERT_EQ(first.connect(0), 0);
        std::string error;
        CSerialDeviceConnector second(device, false);
        second.setErrorMsg(&error);
        EXPECT_EQ(second.connect(0), 2);
        EXPECT_EQ(error, device->portName + " isn't available.");
        EXPECT_FALSE(first.getPort()->isDisconnected());
        const std::string text = "STILL-HERE";
        unsigned int written = 0;
        ASSERT_EQ(first.getPort()->write(reinterpret_cast<const unsigned char*>(text.data()),
                                         static_cast<int>(text.size()), &written),
                  0);
        ASSERT_TRUE(vxtest::waitUntil([&] {
            const auto bytes = rs232.received();
            return std::string(bytes.begin(), bytes.end()).find(text) != std::string::npos;
        }));
    }
    {
        CDevice* device = byPort(pos.hostPath());
        ASSERT_NE(device, nullptr);
        CUsbHidDeviceConnector first(device, true, false);
        ASSERT_EQ(first.connect(0), 0);
        std::string error;
        CUsbHidDeviceConnector second(device, true, false);
        second.setErrorMsg(&error);
        EXPECT_EQ(second.connect(0), 2);
        EXPECT_EQ(error, "Port isn't available. Port = " + pos.hostPath());
        EXPECT_EQ(pos.posMode(), 1);  // the failed connector did not switch the first one's scanner off
        EXPECT_FALSE(first.getPort()->isDisconnected());
        const std::string command = "\x16M\rDECHDR?!";
        unsigned int written = 0;
        ASSERT_EQ(first.getPort()->write(reinterpret_cast<const unsigned char*>(command.data()),
                                         static_cast<int>(command.size()), &written),
                  0);
        ASSERT_TRUE(vxtest::waitUntil([&] { return pos.receivedData().find("DECHDR?!") != std::string::npos; }));
        EXPECT_EQ(first.disconnect(), 0);
    }
}

TEST_F(Connectors, PointOfSaleScannerIsLetGoWhenUnpluggedButNotWhenItRefusesTheReport)
{
    auto& pos = plugHid(vxtest::hidScannerModel("hid-pos", "POS", "SN-pos"), "pos");
    discover({2});
    CDevice* device = byPort(pos.hostPath());
    ASSERT_NE(device, nullptr);

    {  // Present but refusing the off report: 2, and the port is kept.
        std::string error;
        CUsbHidDeviceConnector connector(device, true, false);
        connector.setErrorMsg(&error);
        ASSERT_EQ(connector.connect(0), 0);
        pos.setRefuseFeatures(true);
        EXPECT_EQ(connector.disconnect(), 2);
        EXPECT_EQ(error, "Error happens during send 254 report to HID interface.");
        EXPECT_NE(connector.getPort(), nullptr);
        pos.setRefuseFeatures(false);
        EXPECT_EQ(connector.disconnect(), 0);
    }
    {  // Unplugged: nothing to switch off; the port is closed.
        CUsbHidDeviceConnector connector(device, true, false);
        ASSERT_EQ(connector.connect(0), 0);
        pos.unplug();
        ASSERT_TRUE(vxtest::waitUntil([&] { return connector.getPort()->isDisconnected(); }));
        EXPECT_EQ(connector.disconnect(), 0);
        EXPECT_EQ(connector.getPort(), nullptr);
    }
}
