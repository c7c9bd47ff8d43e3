// Device enumerators against simulated scanners: every interface of every
// model gives one record of the right kind; the template's port, product
// and count limits hold; a stopped run answers its code and keeps what it
// found.
#include "DiscoveryFixture.h"

#include "base/CancelFlag.h"
#include "discovery/CSerialDevice.h"
#include "discovery/CSerialDeviceEnumerator.h"
#include "discovery/CUsbHidDevice.h"
#include "discovery/CUsbHidDeviceEnumerator.h"
#include "products/CProduct.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

using vxtest::DeviceList;
using vxtest::searchTemplate;

namespace {

class Enumerators : public vxtest::DiscoveryTest {
protected:
    // Runs the HID enumerator and the three serial ones, as discovery does.
    int runAll(const CDiscoveryTemplate& search, DeviceList& list, unsigned char* cancel = nullptr,
               DWORD budget = 0)
    {
        CUsbHidDeviceEnumerator hid(&search, &list.devices);
        hid.setCancelFlag(cancel);
        hid.setTimeout(budget);
        int result = hid.enumerate();
        for (int kind : {0, 1, 2}) {
            if (result != 0)
                break;
            CSerialDeviceEnumerator serial(&search, &list.devices, kind);
            serial.setCancelFlag(cancel);
            serial.setTimeout(budget);
            result = serial.enumerate();
        }
        return result;
    }

    static const CDevice* byPort(const DeviceList& list, const std::string& port)
    {
        for (const CDevice* device : list.devices)
            if (device->portName == port)
                return device;
        return nullptr;
    }
};

vxsim::HidModel surePos()
{
    vxsim::HidModel model = vxtest::hidScannerModel("hid-pos", "SUREPOS", "SN-sure");
    model.usagePage = 0xFF45;
    model.usage = 0x4B00;
    model.product = "Varnex SurePOS Interface";
    return model;
}

}  // namespace

TEST_F(Enumerators, EveryInterfaceOfEveryModelGivesOneRecordOfItsKind)
{
    auto& rs232 = plugSerial("rs232", "rs232");
    auto& fast = plugSerial("rs232-115200", "fast");
    auto& usb = plugSerial("usb-serial", "usb");
    auto& other = plugSerial("other-driver", "other");
    auto& pos = plugHid(vxtest::hidScannerModel("hid-pos", "POS", "SN-pos"), "pos");
    auto& qox = plugHid(vxtest::hidScannerModel("hid-qox", "QOX", "SN-qox"), "qox");
    auto& keyboard = plugHid(vxtest::hidScannerModel("hid-keyboard", "KBD", "SN-kbd"), "kbd");
    auto& sure = plugHid(surePos(), "sure");

    const CDiscoveryTemplate search = searchTemplate({2, 3, 4, 0, 1, 5});
    DeviceList list;
    ASSERT_EQ(runAll(search, list), 0);
    ASSERT_EQ(list.devices.size(), 8u);

    struct Expected {
        std::string port;
        int type;
        int usage;
        bool connectible;
        int baud;
    };
    const Expected table[] = {
        {vxtest::comNameOf(rs232), EIT_RS232, EIU_LOB, true, 9600},
        {vxtest::comNameOf(fast), EIT_RS232, EIU_LOB, true, 115200},
        {vxtest::comNameOf(usb), EIT_USB_SERIAL, EIU_LOB, true, -1},
        {vxtest::comNameOf(other), EIT_OTHER_SERIAL, EIU_LOB, true, 9600},
        {pos.hostPath(), EIT_USB_HID_BARCODE_SCANNER, EIU_HID_POS, true, 0},
        {qox.hostPath(), EIT_USB_HID_BARCODE_SCANNER, EIU_QOX, true, 0},
        {keyboard.hostPath(), EIT_USB_HID_KBD, EIU_LOB, false, 0},
        {sure.hostPath(), EIT_USB_HID_IBM_SUREPOS, EIU_LOB, false, 0},
    };
    for (const Expected& expected : table) {
        SCOPED_TRACE(expected.port);
        const CDevice* device = byPort(list, expected.port);
        ASSERT_NE(device, nullptr);
        EXPECT_EQ(device->interfaceType, expected.type);
        EXPECT_EQ(device->interfaceUsage, expected.usage);
        EXPECT_EQ(device->connectible, expected.connectible);
        EXPECT_EQ(device->fromFilterDriver, 0);
        EXPECT_EQ(device->mode, EDM_APP);
        if (const auto* serial = dynamic_cast<const CSerialDevice*>(device)) {
            EXPECT_EQ(serial->baudRate, expected.baud);
            if (expected.baud != -1) {  // "232WRD?" answers 2: 8 data bits, no parity, one stop bit
                EXPECT_EQ(serial->dataBits, 8);
                EXPECT_EQ(serial->parity, 0);
                EXPECT_EQ(serial->stopBits, 0);
            }
        } else {
            EXPECT_NE(dynamic_cast<const CUsbHidDevice*>(device), nullptr);
        }
        if (expected.connectible) {
            ASSERT_NE(device->product, nullptr);
            EXPECT_FALSE(device->product->serialNumber.empty());
        } else {
            EXPECT_EQ(device->product, nullptr);
        }
    }
    // The point-of-sale scanner was switched back after its questions.
    EXPECT_EQ(pos.posMode(), 0);
}

TEST_F(Enumerators, NamedPortsExclusionProductNamesAndMaxCountAreHonoured)
{
    auto& first = plugSerial("rs232", "a-first", "ALPHA");
    auto& second = plugSerial("rs232", "b-second", "BETA");
    auto& third = plugSerial("rs232", "c-third", "ALPHA");
    const std::string names[] = {vxtest::comNameOf(first), vxtest::comNameOf(second), vxtest::comNameOf(third)};

    auto lower = [](std::string text) {
        for (char& c : text)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    };
    CSerialDevice excluded;
    excluded.portName = lower(names[0]);

    struct Case {
        const char* what;
        std::vector<std::string> namedPorts;
        std::vector<CDevice*> exclusion;
        std::vector<std::string> products;
        int maxCount;
        std::vector<std::string> found;
    };
    const Case cases[] = {
        {"named ports, any case", {lower(names[2]), names[1]}, {}, {}, 0, {names[2], names[1]}},
        {"exclusion list with a null", {}, {nullptr, &excluded}, {}, 0, {names[1], names[2]}},
        {"product names", {}, {}, {"alpha"}, 0, {names[0], names[2]}},
        {"maximum count", {}, {}, {}, 2, {names[0], names[1]}},
        {"a named port that is absent", {"COM250"}, {}, {}, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CDiscoveryTemplate search = searchTemplate({0});
        search.namedPorts = c.namedPorts;
        search.exclusionList = c.exclusion;
        search.namedProducts = c.products;
        search.maxCount = c.maxCount;
        DeviceList list;
        CSerialDeviceEnumerator enumerator(&search, &list.devices, 0);
        EXPECT_EQ(enumerator.enumerate(), 0);
        std::vector<std::string> found;
        for (const CDevice* device : list.devices)
            found.push_back(device->portName);
        std::sort(found.begin(), found.end());
        std::vector<std::string> expected = c.found;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(found, expected);
    }
}

TEST_F(Enumerators, QuietModemLinesSkipThePortUnlessTheMaskIsEmpty)
{
    auto& port = plugSerial("rs232", "quiet");
    port.setModemLines(0);
    for (int mask : {0xF0, 0}) {
        SCOPED_TRACE(mask);
        CDiscoveryTemplate search = searchTemplate({0});
        search.modemSignalMask = mask;
        DeviceList list;
        CSerialDeviceEnumerator enumerator(&search, &list.devices, 0);
        EXPECT_EQ(enumerator.enumerate(), 0);
        EXPECT_EQ(list.devices.size(), mask == 0 ? 1u : 0u);
    }
}

TEST_F(Enumerators, CancelAndTimeOutEndTheRunWithTheirCodesAndKeepTheRecordsFound)
{
    plugSerial("rs232", "a-one");
    plugHid(vxtest::hidScannerModel("hid-pos", "POS", "SN-pos"), "pos");
    const CDiscoveryTemplate search = searchTemplate({2, 0});

    {  // Cancelled before the start: nothing is looked at.
        unsigned char cancel = 0;
        requestCancel(&cancel);
        DeviceList list;
        EXPECT_EQ(runAll(search, list, &cancel), 2);
        EXPECT_TRUE(list.devices.empty());
    }
    {  // Cancelled after the HID search: its record stays.
        unsigned char cancel = 0;
        DeviceList list;
        CUsbHidDeviceEnumerator hid(&search, &list.devices);
        hid.setCancelFlag(&cancel);
        ASSERT_EQ(hid.enumerate(), 0);
        ASSERT_EQ(list.devices.size(), 1u);
        requestCancel(&cancel);
        CSerialDeviceEnumerator serial(&search, &list.devices, 0);
        serial.setCancelFlag(&cancel);
        EXPECT_EQ(serial.enumerate(), 2);
        EXPECT_EQ(list.devices.size(), 1u);
    }
    {  // A budget spent during the HID search ends the run with 1.
        DeviceList list;
        CUsbHidDeviceEnumerator hid(&search, &list.devices);
        hid.setTimeout(1);
        ASSERT_TRUE(vxtest::waitUntil([&] { return hid.isTimeout(); }));
        EXPECT_EQ(hid.enumerate(), 1);
        CSerialDeviceEnumerator serial(&search, &list.devices, 0);
        serial.setTimeout(1);
        ASSERT_TRUE(vxtest::waitUntil([&] { return serial.isTimeout(); }));
        EXPECT_EQ(serial.enumerate(), 1);
        EXPECT_TRUE(list.devices.empty());
    }
}
