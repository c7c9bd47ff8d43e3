// A scanner that keeps scanning while a host finds and connects it (a
// release leaves it enabled): its labels come before and after the sync
// ping's answer, or at any moment, and the search (its queries included)
// and the connect find their answers every round (a search that failed
// while the simulated scanner ran too late to answer is run again). A
// scanner that misses pings is pinged again while the connect's time-out
// lasts; one that never answers fails within that time-out.
#include "../SdkLogCapture.h"
#include "DiscoveryFixture.h"

#include "discovery/CSerialDevice.h"
#include "discovery/CSerialDeviceConnector.h"
#include "discovery/CSerialDeviceEnumerator.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

using vxtest::DeviceList;
using vxtest::searchTemplate;

namespace {

const char* const kPingAgain = "No answer to the ping: pinging again until the time-out.";

class ScanningScanner : public vxtest::DiscoveryTest {
protected:
    // Finds the scanner once, before it starts scanning.
    CDevice* find()
    {
        const CDiscoveryTemplate search = searchTemplate({0});
        CSerialDeviceEnumerator enumerator(&search, &m_list.devices, 0);
        EXPECT_EQ(enumerator.enumerate(), 0);
        EXPECT_EQ(m_list.devices.size(), 1u);
        return m_list.devices.empty() ? nullptr : m_list.devices.front();
    }

    DeviceList m_list;
};

}  // namespace

TEST_F(ScanningScanner, TheSearchFindsItEveryRound)
{
    auto& scanner = plugWired("rs232");
    scanner.scanAroundPing({"BEFORE-1", "BEFORE-2"}, {"AFTER"});
    const CDiscoveryTemplate search = searchTemplate({0});
    vxtest::expectEveryRoundSucceeds(scanner, 20, [&]() -> std::string {
        DeviceList list;
        CSerialDeviceEnumerator enumerator(&search, &list.devices, 0);
        enumerator.setTimeout(20000);
        if (const int result = enumerator.enumerate(); result != 0)
            return "the search answered " + std::to_string(result);
        if (list.devices.size() != 1 || list.devices.front()->product == nullptr)
            return "the search found " + std::to_string(list.devices.size()) + " devices, not the scanner";
        return {};
    });
}

// Labels at any moment, not only around the pings: the search's queries
// meet them too.
TEST_F(ScanningScanner, TheSearchFindsItWhileItScansOnItsOwn)
{
    auto& scanner = plugWired("rs232");
    std::atomic<bool> stop{false};
    std::thread scanning([&] {
        for (int n = 0; !stop.load(); ++n) {
            scanner.scan("LABEL-" + std::to_string(n));
            // Paced by the wire: the next label once this one is out.
            const auto sent = std::chrono::steady_clock::now();
            vxtest::waitUntil([&] { return stop.load() || scanner.deliveredAt() >= sent; });
            std::this_thread::sleep_for(std::chrono::milliseconds(60));
        }
    });
    const CDiscoveryTemplate search = searchTemplate({0});
    int found = 0;
    for (int round = 0; round < 10; ++round) {
        DeviceList list;
        CSerialDeviceEnumerator enumerator(&search, &list.devices, 0);
        enumerator.setTimeout(20000);  // a query that never ends fails the round, not the program
        EXPECT_EQ(enumerator.enumerate(), 0);
        found += list.devices.size() == 1 && list.devices.front()->product != nullptr ? 1 : 0;
    }
    stop = true;
    scanning.join();
    EXPECT_EQ(found, 10);
}

// Without a time-out the connect pings once: that one ping must find its
// answer among the labels.
TEST_F(ScanningScanner, TheConnectFindsTheAnswerEveryRound)
{
    auto& scanner = plugWired("rs232");
    CDevice* device = find();
    ASSERT_NE(device, nullptr);
    scanner.scanAroundPing({"BEFORE-1", "BEFORE-2"}, {"AFTER"});
    int connected = 0;
    for (int round = 0; round < 20; ++round) {
        std::string error;
        CSerialDeviceConnector connector(device, false);
        connector.setErrorMsg(&error);
        // Every ping's answer has labels around it, so a ping again after a
        // miss on a busy machine finds no answer that the first could not.
        const int result = connector.connect(5000);
        EXPECT_EQ(result, 0) << error;
        connected += result == 0 ? 1 : 0;
        EXPECT_EQ(connector.disconnect(), 0);
    }
    EXPECT_EQ(connected, 20);
}

// A scanner that misses its first pings (busy, here: silent until a third
// sync command has come in) is connected within the time-out.
TEST_F(ScanningScanner, TheConnectPingsAgainWhileItsTimeOutLasts)
{
    auto& scanner = plugWired("rs232");
    CDevice* device = find();
    ASSERT_NE(device, nullptr);
    scanner.scanAroundPing({"LABEL"}, {});
    const int before = vxtest::syncCommands(scanner);
    std::string error;
    CSerialDeviceConnector connector(device, false);
    connector.setErrorMsg(&error);
    int result = -1;
    {
        vxtest::MissedPings missed(scanner, 3);
        result = connector.connect(30000);
    }
    EXPECT_EQ(result, 0) << error;
    EXPECT_GE(vxtest::syncCommands(scanner) - before, 4);
    EXPECT_EQ(connector.disconnect(), 0);
}

TEST_F(ScanningScanner, AScannerThatNeverAnswersFailsWithinTheTimeOut)
{
    auto& scanner = plugWired("rs232");
    CDevice* device = find();
    ASSERT_NE(device, nullptr);
    scanner.scanAroundPing({"LABEL"}, {"LABEL"});
    scanner.setSilent(true);
    vxtest::SdkLogCapture log(0x0C);

    const int before = vxtest::syncCommands(scanner);
    std::string error;
    CSerialDeviceConnector connector(device, false);
    connector.setErrorMsg(&error);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(connector.connect(1500), 2);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(error, "Ping device failure...");
    // It pinged for the whole time-out, more than once, and gave up soon
    // after (loosely: the machine may be busy).
    EXPECT_GE(took, std::chrono::milliseconds(1450));
    EXPECT_LT(took, std::chrono::milliseconds(1500 + 15000));
    EXPECT_TRUE(vxtest::waitUntil([&] { return vxtest::syncCommands(scanner) - before >= 2; }));
    EXPECT_EQ(connector.getPort(), nullptr);
    EXPECT_EQ(vxtest::SdkLogCapture::count(kPingAgain), 1u);

    // Without a time-out, one ping decides.
    vxtest::SdkLogCapture::clear();
    CSerialDeviceConnector untimed(device, false);
    untimed.setErrorMsg(&error);
    EXPECT_EQ(untimed.connect(0), 2);
    EXPECT_EQ(vxtest::SdkLogCapture::count(kPingAgain), 0u);
}
