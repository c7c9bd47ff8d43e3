// The service object's machinery against simulated scanners, serial and
// USB HID: the device of a registry entry found and the descriptor
// rewritten, the claim connecting it and setting up data collection, a
// menu command on the wire and its reply as the last response, a label as
// a DataEvent with its count, DirectIO 5001, and a disconnect racing a
// send.
#include "SOFixtures.h"

#include "../sdk/discovery/DiscoveryFixture.h"

#include "CCommonSO.h"
#include "COPOSKestrel.h"
#include "RegistrySettings.h"
#include "SOHost.h"

#include "platform/registry.h"

#include <thread>

using namespace sotest;

namespace {

class Kestrel : public COPOSKestrel {};

enum class Wire { serial, hid };

class SimulatedScannerTest : public vxtest::DiscoveryTest, public ::testing::WithParamInterface<Wire> {
protected:
    SimulatedScannerTest()
    {
        SetSOHost(nullptr);  // the COM class's: scans are counted in the registry
        kestrel.SetQueue(&rig.queue);
        common.SetFacade(&kestrel);
        common.SetDebug(&rig.debug);
        common.m_strDeviceKey = DeviceKeyPath("Scanner", "SimScanner");
        rig.queue.SetDeviceKey(common.m_strDeviceKey);
        HKEY key = nullptr;
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, common.m_strDeviceKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr);
        RegDeleteValueA(key, "GOODSCANCOUNT");  // also when the cases share one registry
        RegCloseKey(key);
    }
    ~SimulatedScannerTest() override
    {
        rig.queue.Shutdown();
        kestrel.SetInUse(false);
        kestrel.DisConnect();
        kestrel.Close();
    }

    // A scanner that also knows the check-digit setting "UPACKX".
    void plug()
    {
        if (GetParam() == Wire::serial) {
            vxsim::SerialModel model = vxtest::serialScannerModel("rs232-115200", "SIMSERIAL", "SN-SERIAL");
            model.menu.settings["UPACKX"] = "0";
            m_serial.push_back(std::make_unique<vxsim::VirtualSerialPort>(model, "so-serial"));
            ASSERT_TRUE(m_serial.back()->plug()) << m_serial.back()->lastError();
            port = vxtest::comNameOf(*m_serial.back());
        } else {
            vxsim::HidModel model = vxtest::hidScannerModel("hid-pos", "SIMHID", "SN-HID");
            model.product = "Varnex Scanner";  // the line-of-business interface
            model.menu.settings["UPACKX"] = "0";
            plugHid(model, "so-hid");
            port = "HID1";
        }
    }
    std::string wireBytes()
    {
        if (GetParam() == Wire::serial) {
            const auto bytes = m_serial.back()->received();
            return std::string(bytes.begin(), bytes.end());
        }
        return m_hid.back()->receivedData();
    }
    void scan(const std::string& label)
    {
        if (GetParam() == Wire::serial)
            m_serial.back()->scan(label, 'j', "Q1");
        else
            m_hid.back()->scan(label, 'j', "Q1");
    }
    // Finds the entry's scanner, claims it, and delivers its events.
    void openAndClaim(const std::string& autoDetect)
    {
        ASSERT_EQ(common.InitFromRegistry(autoDetect, "", "", port), 1);
        ASSERT_EQ(common.ClaimDevice(10000), 0);
        kestrel.SetInUse(true);
        ASSERT_TRUE(rig.queue.StartThread());
    }
    DWORD goodScans()
    {
        DWORD value = 0;
        ReadDeviceDword(common.m_strDeviceKey, "GOODSCANCOUNT", value);
        return value;
    }

    EventRig rig{false};
    Kestrel kestrel;
    CCommonSO common;
    std::string port;
};

TEST_P(SimulatedScannerTest, EntryFoundClaimedAndServed)
{
    plug();
    openAndClaim("False");
    if (GetParam() == Wire::serial) {
        EXPECT_STREQ(common.m_descriptor.GetType(), "RS232");
        EXPECT_EQ(common.m_descriptor.GetPort(), std::atoi(port.c_str() + 3) - 1);
    } else {
        EXPECT_STREQ(common.m_descriptor.GetType(), "USBHID");
        EXPECT_EQ(common.m_descriptor.GetPort(), 256);
    }
    EXPECT_TRUE(kestrel.IsConnected());
    EXPECT_EQ(common.m_nClaimed, 1);
    EXPECT_EQ(common.m_pDeviceInfo->GetInfo(), 0);
    EXPECT_EQ(common.m_pDeviceInfo->m_strInterface, GetParam() == Wire::serial ? "RS232" : "USBHID");
    EXPECT_EQ(common.m_pDeviceInfo->m_strSerialNumber, GetParam() == Wire::serial ? "SN-SERIAL" : "SN-HID");

    // A menu command goes out framed; its reply becomes the last response.
    rig.queue.ClearExchange();
    rig.queue.SetPendingRequest("UPACKX1.");
    ASSERT_EQ(kestrel.SendMenuCmdASynch("UPACKX1.", 0), 0);
    ASSERT_TRUE(vxtest::waitUntil([&] { return wireBytes().find("\x16M\rUPACKX1.") != std::string::npos; }));
    ASSERT_TRUE(vxtest::waitUntil([&] { return !rig.queue.GetLastResponse().empty(); }));
    EXPECT_NE(rig.queue.GetLastResponse().find("UPACKX1"), std::string::npos) << rig.queue.GetLastResponse();

    // A label reaches the owner as a DataEvent and is counted.
    rig.enable();
    scan("0123456789");
    ASSERT_TRUE(rig.owner.waitForCount(1));
    EXPECT_EQ(rig.owner.fired()[0], "D:j]Q10123456789");
    EXPECT_TRUE(vxtest::waitUntil([&] { return goodScans() == 1u; }));  // counted after it is queued

    // DirectIO 5001: an empty barcode becomes ErrorEvent 111/2.
    long number = 0;
    std::string text;
    EXPECT_EQ(common.DirectIO(5001, &number, &text), 106);
    rig.enable();
    ASSERT_TRUE(rig.owner.waitForCount(2));
    EXPECT_EQ(rig.owner.fired()[1], "E:111,2,2,12,0");
    EXPECT_EQ(goodScans(), 1u);

    // While in use, a disconnect leaves the device alone.
    EXPECT_EQ(kestrel.DisConnect(), 0);
    EXPECT_TRUE(kestrel.IsConnected());
    EXPECT_EQ(kestrel.SendMenuCmdASynch("BEPLVL?!", 0), 0);
    if (HasFailure()) for (const auto& l : rig.debug.lines()) std::cerr << l << "\n";
}

TEST_P(SimulatedScannerTest, AutoDetectFindsTheScanner)
{
    plug();
    ASSERT_EQ(common.InitFromRegistry("True", "", "", ""), 1);
    EXPECT_EQ(common.m_nAutoDetect, 1);
    ASSERT_EQ(common.ClaimDevice(10000), 0);
    // Looked for again while connected: answered from the connected port
    // alone, without a discovery.
    CConDescriptor again;
    if (GetParam() == Wire::serial) {
        EXPECT_STREQ(common.m_descriptor.GetType(), "RS232");
        const int number = std::atoi(port.c_str() + 3);
        EXPECT_EQ(common.m_descriptor.GetPort(), number - 1);
        again.SetType("RS232");
        again.SetPort(number - 1);
        EXPECT_EQ(kestrel.Enumerate(&again, 0, 1000), 0);
        again.SetPort(number);
        EXPECT_EQ(kestrel.Enumerate(&again, 0, 1000), 1005);
    } else {
        EXPECT_STREQ(common.m_descriptor.GetType(), "USBHID");
        again.SetType("USBHID");
        again.SetPort(256);
        EXPECT_EQ(kestrel.Enumerate(&again, 0, 1000), 1005);  // a device path is no COM name
    }
}

// One thread sends without pause while another disconnects: the lock keeps
// the data collection alive under every send (ASan watches).
TEST_P(SimulatedScannerTest, DisconnectWhileAnotherThreadSends)
{
    plug();
    openAndClaim("False");
    kestrel.SetInUse(false);
    std::atomic<bool> stop{false};
    std::atomic<int> sent{0};
    std::thread sender([&] {
        while (!stop.load()) {
            const int result = kestrel.SendMenuCmdASynch("BEPLVL?!", 0);
            EXPECT_TRUE(result == 0 || result == 1012 || result == 1006) << result;
            ++sent;
        }
    });
    ASSERT_TRUE(vxtest::waitUntil([&] { return sent.load() > 3; }));
    EXPECT_EQ(kestrel.DisConnect(), 0);
    EXPECT_FALSE(kestrel.IsConnected());
    const int before = sent.load();
    ASSERT_TRUE(vxtest::waitUntil([&] { return sent.load() > before + 3; }));
    stop = true;
    sender.join();
    EXPECT_EQ(kestrel.SendMenuCmdASynch("BEPLVL?!", 0), 1012);

    // Connected again on the same device.
    ASSERT_EQ(kestrel.Connect(10000, false), 0);
    EXPECT_TRUE(kestrel.IsConnected());
}

INSTANTIATE_TEST_SUITE_P(Wires, SimulatedScannerTest, ::testing::Values(Wire::serial, Wire::hid),
                         [](const auto& info) { return info.param == Wire::serial ? "Serial" : "Hid"; });

}  // namespace
