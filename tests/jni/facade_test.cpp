// The bridge's facade without a Java VM: what it does with the SDK's
// records and objects (the forwarders find no VM and deliver nothing).
#include "CSDKKestrel.h"

#include "base/CBarcodeData.h"
#include "protocol/CImageData.h"
#include "protocol/CMenuData.h"

#include "simulator/hid_model.h"
#include "simulator/hid_scanner.h"
#include "simulator/identity_model.h"

#include <gtest/gtest.h>

#include <string>

namespace {

int g_deleted = 0;

template <class Base>
struct Counted : Base {
    using Base::Base;
    ~Counted() override { ++g_deleted; }
};

CData* typed(CData* record, int type)
{
    record->setType(type);
    return record;
}

// Every record handed to the data callback is the callback's: forwarded or
// not, it is deleted.
TEST(JniFacade, DataCallbackDeletesEveryRecordItIsGiven)
{
    const unsigned char label[] = {'d', 'E', '0', 0, 'A', 'B', 'C'};
    const unsigned char reply[] = {'B', 'E', 'P', '2', 0x06, '!'};
    const struct {
        const char* name;
        CData* record;
    } cases[] = {
        {"raw", new Counted<CData>(label, sizeof label)},
        {"barcode", new Counted<CBarcodeData>(label, sizeof label)},
        {"barcode without its fields", new Counted<CBarcodeData>(label, 2)},
        {"image", new Counted<CImageData>(label, sizeof label)},
        {"menu", new Counted<CMenuData>(reply, sizeof reply)},
        {"empty menu", new Counted<CMenuData>(static_cast<DWORD>(0))},
        {"kind 1 that is no barcode", typed(new Counted<CData>(label, sizeof label), CData::kBarcode)},
        {"kind 2 that is no image", typed(new Counted<CData>(label, sizeof label), CData::kImage)},
        {"kind 3 that is no menu reply", typed(new Counted<CBarcodeData>(label, sizeof label), CData::kMenuResponse)},
        {"unknown kind", typed(new Counted<CData>(label, sizeof label), 9)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (auto* barcode = dynamic_cast<CBarcodeData*>(c.record))
            barcode->parseData();
        if (auto* menu = dynamic_cast<CMenuData*>(c.record))
            menu->parse();
        g_deleted = 0;
        CSDKKestrel::DataCallback(nullptr, c.record);
        EXPECT_EQ(g_deleted, 1);
    }
    CSDKKestrel::DataCallback(nullptr, nullptr);
}

vxsim::HidModel lobModel(const std::string& serial)
{
    vxsim::HidModel model = *vxsim::findHidModel("hid-lob");
    vxsim::IdentityModel identity = *vxsim::findIdentityModel("arch2");
    identity.device.serialNumber = serial;
    model.serialNumber = serial;
    // The identity's answers, but the line-of-business terminal id.
    identity.device.terminalId = "131";
    model.menu = vxsim::identityMenu(identity, model.menu);
    return model;
}

// A search that finds several devices keeps the first and frees the rest
// (a sanitizer build reports what is left).
TEST(JniFacade, EnumerateKeepsTheFirstOfSeveralDevices)
{
    vxsim::HidScanner first(lobModel("LOB00001"), "lob-first");
    vxsim::HidScanner second(lobModel("LOB00002"), "lob-second");
    ASSERT_TRUE(first.plug());
    ASSERT_TRUE(second.plug());
    CSDKKestrel kestrel;
    PortSearch search;
    search.interfaceType = 3;  // no kinds of its own: the SDK's defaults, no limit
    ASSERT_EQ(kestrel.Enumerate(30000, search), 0);
    DeviceInformation information;
    kestrel.GetDeviceInformaion(information);
    EXPECT_TRUE(information.portName == first.hostPath() || information.portName == second.hostPath())
        << information.portName;
    ASSERT_EQ(kestrel.Enumerate(30000, search), 0);
}

// A reconnect that fails keeps nothing half-open: the next connect tries
// the device for real and fails while it is gone.
TEST(JniFacade, AFailedReconnectLeavesNothingConnected)
{
    vxsim::HidScanner scanner(lobModel("LOB00003"), "lob-reconnect");
    ASSERT_TRUE(scanner.plug());
    CSDKKestrel kestrel;
    PortSearch search;
    search.interfaceType = 2;
    search.portName = scanner.hostPath();
    ASSERT_EQ(kestrel.Enumerate(30000, search), 0);
    ASSERT_EQ(kestrel.ConnectDevice(10000), 0);
    scanner.unplug();
    const int reconnect = kestrel.ReconnectDevice();
    EXPECT_TRUE(reconnect == 3 || reconnect == 7) << reconnect;
    const int connect = kestrel.ConnectDevice(2000);
    EXPECT_TRUE(connect == 3 || connect == 7) << connect;
    EXPECT_EQ(kestrel.DisconnectDevice(), 9);
    ASSERT_TRUE(scanner.plug());
    EXPECT_EQ(kestrel.ConnectDevice(10000), 0);
    EXPECT_EQ(kestrel.DisconnectDevice(), 0);
}

}  // namespace
