// Device records: their defaults, copies that never share a product, and the
// deep copy that the factories and the bridge use.
#include "discovery/CDevice.h"
#include "discovery/CSerialDevice.h"
#include "discovery/CUsbHidDevice.h"
#include "products/CHubProduct.h"
#include "products/CProduct.h"

#include <gtest/gtest.h>

#include <memory>
#include <type_traits>

namespace {

static_assert(!std::is_copy_constructible_v<CDevice>);
static_assert(!std::is_copy_constructible_v<CUsbHidDevice>);
static_assert(!std::is_copy_constructible_v<CSerialDevice>);

TEST(DeviceRecord, NewRecordsAndProductsHoldTheirDefaults)
{
    CSerialDevice serial;
    EXPECT_EQ(serial.mode, -1);
    EXPECT_EQ(serial.fromFilterDriver, -1);
    EXPECT_EQ(serial.interfaceType, -1);
    EXPECT_EQ(serial.interfaceUsage, -1);
    EXPECT_EQ(serial.product, nullptr);
    EXPECT_EQ(serial.portName, "");
    EXPECT_FALSE(serial.connectible);
    EXPECT_EQ(serial.baudRate, -1);
    EXPECT_EQ(serial.parity, -1);
    EXPECT_EQ(serial.dataBits, -1);
    EXPECT_EQ(serial.stopBits, -1);
    EXPECT_EQ(serial.charDelay + serial.functionDelay + serial.messageDelay, 0);
    EXPECT_EQ(serial.ctsHandshaking + serial.xonXoff + serial.ackNakHandshaking, 0);

    CUsbHidDevice hid;
    EXPECT_EQ(hid.productId + hid.vendorId + hid.usage + hid.usagePage, 0);
    EXPECT_EQ(hid.inputReportLength + hid.outputReportLength, 0);
    EXPECT_EQ(hid.product + hid.manufacturer + hid.serialNumber, "");

    CProduct product;
    EXPECT_EQ(product.architecture, -1);
    EXPECT_EQ(product.productType, 0);
    EXPECT_EQ(product.flashType, -1);
    EXPECT_EQ(product.terminalId, -1);
    EXPECT_TRUE(product.features.empty());
    EXPECT_EQ(product.name + product.description + product.deviceAddress + product.productInfo + product.serialNumber
                  + product.appSoftwarePartNumber + product.appVersion + product.appDate + product.appTime
                  + product.bootSoftwarePartNumber + product.bootVersion + product.bootDate + product.bootTime,
              "");
}

TEST(DeviceRecord, HidSettingsComeFromTheInterfaceIdentity)
{
    HidDeviceInfo info;
    info.path = "/hid/vid_0c2e&pid_0b61&mi_00";
    info.productId = 0x0B61;
    info.vendorId = 0x0C2E;
    info.usage = 0x4B00;
    info.usagePage = 0x8C;
    info.inputReportLength = 64;
    info.outputReportLength = 64;
    info.product = L"HID POS Scanner";
    info.manufacturer = L"Maker";
    info.serialNumber = L"12345";
    CUsbHidDevice hid;
    hid.setHidSettings(info);
    EXPECT_EQ(hid.portName, info.path);
    EXPECT_EQ(hid.productId, 0x0B61);
    EXPECT_EQ(hid.vendorId, 0x0C2E);
    EXPECT_EQ(hid.usage, 0x4B00);
    EXPECT_EQ(hid.usagePage, 0x8C);
    EXPECT_EQ(hid.inputReportLength, 64);
    EXPECT_EQ(hid.outputReportLength, 64);
    EXPECT_EQ(hid.product, "HID POS Scanner");
    EXPECT_EQ(hid.manufacturer, "Maker");
    EXPECT_EQ(hid.serialNumber, "12345");
}

CHubProduct* makeHub()
{
    auto* hub = new CHubProduct();
    hub->productType = PT_HUB;
    hub->name = "BASE";
    hub->features = {13, 17};
    for (const char* address : {"#1", "#2"}) {
        CProduct sub;
        sub.productType = PT_SUB_EXTERNAL;
        sub.deviceAddress = address;
        hub->subProducts.push_back(sub);
    }
    return hub;
}

TEST(DeviceRecord, AssignmentCopiesEverythingButTheProduct)
{
    CSerialDevice source;
    source.mode = 1;
    source.fromFilterDriver = 0;
    source.interfaceType = EIT_RS232;
    source.interfaceUsage = EIU_QOX;
    source.portName = "COM3";
    source.connectible = true;
    source.baudRate = 9600;
    source.parity = 2;
    source.product = makeHub();

    CSerialDevice destination;
    auto* own = new CProduct();
    destination.product = own;
    destination = source;
    EXPECT_EQ(destination.product, own);
    EXPECT_EQ(destination.mode, 1);
    EXPECT_EQ(destination.fromFilterDriver, 0);
    EXPECT_EQ(destination.interfaceType, EIT_RS232);
    EXPECT_EQ(destination.interfaceUsage, EIU_QOX);
    EXPECT_EQ(destination.portName, "COM3");
    EXPECT_TRUE(destination.connectible);
    EXPECT_EQ(destination.baudRate, 9600);
    EXPECT_EQ(destination.parity, 2);

    CDevice empty;
    empty = source;
    EXPECT_EQ(empty.product, nullptr);
}

TEST(DeviceRecord, DeepCopyClonesTheProductByItsKind)
{
    struct Case {
        int kind;
        bool hub;       // the source's product is a CHubProduct
        bool copied;    // the result
        bool product;   // the destination ends with a product
        bool hubCopy;   // ... that is a CHubProduct
    } cases[] = {
        {PT_QUICK, false, true, true, false},  {PT_NORMAL, false, true, true, false}, {PT_HUB, true, true, true, true},
        {PT_HUB, false, true, false, false},   {PT_SUB_UNKNOWN, false, false, false, false},
        {PT_SUB_EXTERNAL, false, false, false, false}, {PT_SUB_INTERNAL_VIRTUAL, false, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        auto source = std::make_unique<CUsbHidDevice>();
        source->portName = "/hid/1";
        source->vendorId = 0x0C2E;
        source->CDevice::product = c.hub ? makeHub() : new CProduct();
        source->CDevice::product->productType = c.kind;
        source->CDevice::product->serialNumber = "S1";

        CUsbHidDevice destination;
        destination.CDevice::product = new CProduct();  // replaced by the copy
        EXPECT_EQ(copyDeviceRecord(*source, destination), c.copied);
        EXPECT_EQ(destination.portName, "/hid/1");
        EXPECT_EQ(destination.vendorId, 0x0C2E);
        ASSERT_EQ(destination.CDevice::product != nullptr, c.product);
        if (!c.product) {
            continue;
        }
        EXPECT_NE(destination.CDevice::product, source->CDevice::product);
        EXPECT_EQ(dynamic_cast<CHubProduct*>(destination.CDevice::product) != nullptr, c.hubCopy);
        // Nothing is shared: the source goes, the copy stays whole.
        source.reset();
        EXPECT_EQ(destination.CDevice::product->serialNumber, "S1");
        EXPECT_EQ(destination.CDevice::product->productType, c.kind);
        if (c.hubCopy) {
            auto* hub = static_cast<CHubProduct*>(destination.CDevice::product);
            ASSERT_EQ(hub->subProducts.size(), 2u);
            EXPECT_EQ(hub->subProducts[1].deviceAddress, "#2");
            EXPECT_EQ(hub->features, (std::vector<int>{13, 17}));
        }
    }
}

TEST(DeviceRecord, DeepCopyAcrossRecordKindsTakesTheDevicePartOnly)
{
    CUsbHidDevice source;
    source.interfaceType = EIT_USB_HID_BARCODE_SCANNER;
    source.interfaceUsage = EIU_LOB;
    source.portName = "/hid/2";
    source.vendorId = 7;
    CSerialDevice destination;
    destination.baudRate = 115200;
    EXPECT_TRUE(copyDeviceRecord(source, destination));
    EXPECT_EQ(destination.interfaceType, EIT_USB_HID_BARCODE_SCANNER);
    EXPECT_EQ(destination.portName, "/hid/2");
    EXPECT_EQ(destination.baudRate, 115200);
    EXPECT_EQ(destination.product, nullptr);
}

TEST(DeviceRecord, ChangingOneHubCopyLeavesTheOtherAlone)
{
    CDevice first;
    first.product = makeHub();
    CDevice second;
    ASSERT_TRUE(copyDeviceRecord(first, second));
    auto* a = static_cast<CHubProduct*>(first.product);
    auto* b = static_cast<CHubProduct*>(second.product);
    a->subProducts[0].name = "changed";
    a->subProducts.pop_back();
    a->features.push_back(1);
    EXPECT_EQ(b->subProducts.size(), 2u);
    EXPECT_EQ(b->subProducts[0].name, "");
    EXPECT_EQ(b->features, (std::vector<int>{13, 17}));

    CHubProduct assigned;
    assigned = *b;
    b->subProducts.clear();
    EXPECT_EQ(assigned.subProducts.size(), 2u);
}

}  // namespace
