// Device factories: the HID interface table, the line codes of "232WRD?",
// and clones of a scanner's record between its interfaces, which must
// describe the interface they are made for.
#include "DiscoveryFixture.h"

#include "discovery/CSerialDevice.h"
#include "discovery/CSerialDeviceEnumerator.h"
#include "discovery/CSerialDeviceFactory.h"
#include "discovery/CUsbHidDevice.h"
#include "discovery/CUsbHidDeviceEnumerator.h"
#include "discovery/CUsbHidDeviceFactory.h"
#include "discovery/CUsbHidTable.h"
#include "ports/CUsbHidPort.h"
#include "products/CProduct.h"

#include <gtest/gtest.h>

#include <cstring>

using vxtest::DeviceList;
using vxtest::searchTemplate;

namespace {
class FactoryClones : public vxtest::DiscoveryTest {};
}  // namespace

TEST(UsbHidTable, UsageAndPageGiveUsageAndInterfaceType)
{
    struct Case {
        int usage;
        int page;
        int deviceUsage;
        int type;
    };
    const Case cases[] = {
        {2, 0xFF8C, EIU_QOX, EIT_USB_HID_BARCODE_SCANNER},  {2, 0x0001, EIU_LOB, EIT_USB_HID_BARCODE_SCANNER},
        {0x4B00, 0x0001, EIU_LOB, EIT_USB_HID_IBM_SUREPOS}, {0x4A00, 0xFF8C, EIU_LOB, EIT_USB_HID_IBM_SUREPOS},
        {6, 0x0001, EIU_LOB, EIT_USB_HID_KBD},              {1, 0xFF8C, EIU_UNKNOWN, EIT_UNKNOWN},
    };
    for (const Case& c : cases) {
        HidDeviceInfo info;
        info.usage = c.usage;
        info.usagePage = c.page;
        EXPECT_EQ(CUsbHidTable::getDeviceUsage(info), c.deviceUsage) << c.usage << "/" << c.page;
        EXPECT_EQ(CUsbHidTable::getInterfaceType(info), c.type) << c.usage << "/" << c.page;
    }
}

TEST(SerialDeviceFactory, LineCodesMapToDataBitsParityAndStopBits)
{
    struct Case {
        int code, dataBits, parity, stopBits;
    };
    const Case known[] = {{0, 7, 0, 0}, {2, 8, 0, 0}, {4, 7, 2, 2}, {8, 8, 1, 0}, {11, 8, 4, 0}, {13, 7, 3, 2}};
    for (const Case& c : known) {
        int dataBits = -1, parity = -1, stopBits = -1;
        ASSERT_TRUE(CSerialDeviceFactory::dpsCodeSettings(c.code, &dataBits, &parity, &stopBits)) << c.code;
        EXPECT_EQ(dataBits, c.dataBits) << c.code;
        EXPECT_EQ(parity, c.parity) << c.code;
        EXPECT_EQ(stopBits, c.stopBits) << c.code;
    }
    int a = 0, b = 0, c = 0;
    for (int code : {-1, 14, 15})
        EXPECT_FALSE(CSerialDeviceFactory::dpsCodeSettings(code, &a, &b, &c)) << code;
}

TEST(UsbHidDeviceFactory, FilterDriverPathsAreToldByWhereVidStarts)
{
    EXPECT_FALSE(CUsbHidDeviceFactory::isGeneratedByFilterDriver(std::string(20, 'x') + "vid_7a11"));
    EXPECT_TRUE(CUsbHidDeviceFactory::isGeneratedByFilterDriver(std::string(21, 'x') + "vid_7a11"));
    EXPECT_FALSE(CUsbHidDeviceFactory::isGeneratedByFilterDriver(std::string(40, 'x')));
}

// A scanner seen first on a HID interface and then on its RS-232 port: the
// serial record is cloned from the HID one and must be connected as a
// serial device, on its own port.
TEST_F(FactoryClones, SerialCloneOfAHidRecordBecomesAnRs232Record)
{
    auto& hid = plugHid(vxtest::hidScannerModel("hid-pos", "DUO", "SN-duo"), "duo-hid");
    auto& serial = plugSerial("rs232", "duo-serial", "DUO", "SN-duo");
    const CDiscoveryTemplate search = searchTemplate({2, 0});
    DeviceList list;
    CUsbHidDeviceEnumerator hidSearch(&search, &list.devices);
    ASSERT_EQ(hidSearch.enumerate(), 0);
    CSerialDeviceEnumerator serialSearch(&search, &list.devices, 0);
    ASSERT_EQ(serialSearch.enumerate(), 0);
    ASSERT_EQ(list.devices.size(), 2u);

    const auto* record = dynamic_cast<const CSerialDevice*>(list.devices[1]);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->interfaceType, EIT_RS232);
    EXPECT_EQ(record->interfaceUsage, EIU_LOB);
    EXPECT_EQ(record->portName, vxtest::comNameOf(serial));
    EXPECT_EQ(record->baudRate, 9600);
    ASSERT_NE(record->product, nullptr);
    EXPECT_NE(record->product, list.devices[0]->product);
    EXPECT_EQ(record->product->serialNumber, "SN-duo");
    EXPECT_EQ(list.devices[0]->portName, hid.hostPath());
}

TEST(SerialDeviceFactory, PlainCloneKeepsTheSourceTypeAndCopyWithAPortResetsForeignTypes)
{
    PORTINFO none;
    std::memset(&none, 0, sizeof none);
    for (int type : {EIT_RS232, EIT_USB_SERIAL, EIT_USB_HID_BARCODE_SCANNER, EIT_OTHER_SERIAL}) {
        SCOPED_TRACE(type);
        CUsbHidDevice hidSource;
        hidSource.interfaceType = type;
        hidSource.portName = "source";
        hidSource.CDevice::product = new CProduct();
        hidSource.CDevice::product->productType = 1;
        CDevice* source = &hidSource;

        CSerialDevice plain;
        CDevice* destination = &plain;
        CSerialDeviceFactory cloner(nullptr, false);
        ASSERT_EQ(cloner.copyDevice(source, destination), 0);
        EXPECT_EQ(plain.interfaceType, type);

        // A factory with a port record at level 2 copies without queries.
        CSerialDevice probed;
        destination = &probed;
        CSerialDeviceFactory factory(&none, false);
        factory.setDeviceInfoLevel(2);
        ASSERT_EQ(factory.copyDevice(source, destination), 0);
        EXPECT_EQ(probed.interfaceType, type == EIT_OTHER_SERIAL ? EIT_OTHER_SERIAL : EIT_RS232);
        ASSERT_NE(probed.product, nullptr);
    }
}

// A HID interface verified against a record of its USB-serial sibling
// describes the HID interface; a quick product (kind 0) is cloned too.
TEST_F(FactoryClones, VerifyingHidCopyTakesTheInterfaceTypeAndClonesQuickProducts)
{
    auto& scanner = plugHid(vxtest::hidScannerModel("hid-pos", "DUO", "SN-duo"), "duo");
    const std::string path = scanner.hostPath();
    HidDeviceInfo info;
    ASSERT_EQ(CUsbHidPort::GetDeviceInfo(std::wstring(path.begin(), path.end()), info), 0);
    for (int productType : {0, 1}) {
        SCOPED_TRACE(productType);
        CSerialDevice sibling;
        sibling.interfaceType = EIT_USB_SERIAL;
        sibling.interfaceUsage = EIU_LOB;
        sibling.fromFilterDriver = 1;
        sibling.connectible = true;
        sibling.portName = "COM4";
        sibling.product = new CProduct();
        sibling.product->productType = productType;
        sibling.product->serialNumber = "SN-duo";
        CDevice* source = &sibling;
        CUsbHidDevice copy;
        CDevice* destination = &copy;
        CUsbHidDeviceFactory factory(info, nullptr);
        factory.setFilterInterfaceUsage({0, 1, 2});
        ASSERT_EQ(factory.copyDevice(source, destination, false), 0);
        EXPECT_EQ(copy.interfaceType, EIT_USB_HID_BARCODE_SCANNER);
        EXPECT_EQ(copy.fromFilterDriver, 0);
        EXPECT_EQ(copy.interfaceUsage, EIU_HID_POS);
        EXPECT_EQ(copy.portName, scanner.hostPath());
        ASSERT_NE(copy.CDevice::product, nullptr);
        EXPECT_EQ(copy.CDevice::product->productType, productType);
        EXPECT_EQ(copy.CDevice::product->terminalId, 131);
        EXPECT_EQ(scanner.posMode(), 0);
    }
}
