// Open and claim of a serial scanner that keeps scanning, as one does
// after a release (which leaves it enabled): labels come around every sync
// ping, and the device is found and claimed every round (a round the
// simulated scanner was too late to answer in is run again). A scanner that
// misses its first pings is claimed while the claim's time-out lasts; one
// that never answers fails the claim with 112 within that time-out.
#include "SOFixtures.h"

#include "../sdk/discovery/DiscoveryFixture.h"

#include "CCommonSO.h"
#include "COPOSKestrel.h"
#include "RegistrySettings.h"
#include "SOHost.h"

#include <chrono>
#include <string>

using namespace sotest;

namespace {

class Kestrel : public COPOSKestrel {};

class ClaimWhileScanning : public vxtest::DiscoveryTest {
protected:
    ClaimWhileScanning()
    {
        SetSOHost(nullptr);
        kestrel.SetQueue(&rig.queue);
        common.SetFacade(&kestrel);
        common.SetDebug(&rig.debug);
        common.m_strDeviceKey = DeviceKeyPath("Scanner", "ScanningScanner");
    }
    ~ClaimWhileScanning() override
    {
        kestrel.SetInUse(false);
        kestrel.DisConnect();
        kestrel.Close();
    }

    // An RS-232 scanner on the wire at 9600 baud, labels around each ping.
    vxsim::VirtualSerialPort& plugScanning()
    {
        auto& scanner = plugWired("so-scanning", "SCANNING");
        scanner.scanAroundPing({"BEFORE"}, {"AFTER"});
        port = vxtest::comNameOf(scanner);
        return scanner;
    }
    // What a release and a close leave: not in use, disconnected, closed.
    void releaseAndClose()
    {
        kestrel.SetInUse(false);
        kestrel.DisConnect();
        common.m_nClaimed = 0;
        kestrel.Close();
    }

    EventRig rig{false};
    Kestrel kestrel;
    CCommonSO common;
    std::string port;
};

}  // namespace

TEST_F(ClaimWhileScanning, OpenAndClaimSucceedEveryRound)
{
    auto& scanner = plugScanning();
    vxtest::expectEveryRoundSucceeds(scanner, 20, [&]() -> std::string {
        std::string failure;
        if (common.InitFromRegistry("False", "", "", port) != 1)
            failure = "the open found no scanner";
        else if (const long result = common.ClaimDevice(10000); result != 0)
            failure = "the claim answered " + std::to_string(result);
        releaseAndClose();
        return failure;
    });
}

TEST_F(ClaimWhileScanning, AScannerThatMissesItsFirstPingsIsClaimed)
{
    auto& scanner = plugScanning();
    ASSERT_EQ(common.InitFromRegistry("False", "", "", port), 1);
    long result = -1;
    {
        vxtest::MissedPings missed(scanner, 3);
        result = common.ClaimDevice(30000);
    }
    EXPECT_EQ(result, 0);
    EXPECT_EQ(common.m_nClaimed, 1);
    EXPECT_TRUE(kestrel.IsConnected());
}

TEST_F(ClaimWhileScanning, AScannerThatNeverAnswersFailsTheClaimWithinItsTimeOut)
{
    auto& scanner = plugScanning();
    ASSERT_EQ(common.InitFromRegistry("False", "", "", port), 1);
    scanner.setSilent(true);
    const int before = vxtest::syncCommands(scanner);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(common.ClaimDevice(1500), 112);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(1450));
    EXPECT_LT(took, std::chrono::milliseconds(1500 + 15000));  // loosely: the machine may be busy
    EXPECT_TRUE(vxtest::waitUntil([&] { return vxtest::syncCommands(scanner) - before >= 2; }));
    EXPECT_FALSE(kestrel.IsConnected());
}
