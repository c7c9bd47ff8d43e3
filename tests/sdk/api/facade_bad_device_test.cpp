// One bad device beside good ones: a serial line that never falls quiet and
// a point-of-sale HID interface whose reports cannot carry a 64-byte packet
// each cost the search a bounded moment, are named in the log, and hide
// none of the healthy scanners.
#include "ApiFixture.h"
#include "../SdkLogCapture.h"

#include "protocol/CHandshakingHandler.h"

#include "platform/time.h"

#include <algorithm>
#include <chrono>

using namespace vxtest;

namespace {

class BadDeviceTest : public ApiTest {};

TEST_F(BadDeviceTest, AChatteringPortAndShortReportsHideNoHealthyScanner)
{
    SdkLogCapture log;
    auto& chatty = plugSerial("rs232", "chatty", "CHATTY", "SN-CHATTY");
    auto& healthySerial = plugSerial("rs232", "healthy", "HEALTHY", "SN-HEALTHY");
    vxsim::HidModel shortModel = hidScannerModel("hid-pos", "SHORT", "SN-SHORT");
    shortModel.inputLength = 32;
    shortModel.outputLength = 32;
    auto& shortHid = plugHid(shortModel, "short-hid");
    auto& healthyHid = plugHid(hidScannerModel("hid-pos", "HID", "SN-HID"), "healthy-hid");
    const std::string chattyCom = comNameOf(chatty);
    const std::string healthyCom = comNameOf(healthySerial);

    // The drain judges the line by passes that wait 20 ms each before they
    // read. On a busy machine the simulated device's thread can be kept off
    // the processor that long, and its line then truly falls quiet for a
    // moment: such a search says nothing about a line that never does, so
    // it is run again.
    constexpr auto kLongestQuietMoment = std::chrono::milliseconds(20);
    constexpr int kAttempts = 8;
    for (int attempt = 1;; ++attempt) {
        SCOPED_TRACE(attempt);
        DeviceList found;
        SdkLogCapture::clear();
        chatty.setChatter(true);
        const std::size_t sentBefore = chatty.received().size();

        // A budget far beyond what the search needs: only the per-port bound
        // keeps it short.
        CDiscovery discovery;
        discovery.initialize();
        const DWORD start = GetTickCount();
        const int result = discovery.enumerate(searchTemplate({0, 2}), &found.devices, 300000);
        const DWORD took = platform::tickElapsed(start, GetTickCount());
        const auto gap = chatty.longestChatterGap();
        chatty.setChatter(false);
        if (gap >= kLongestQuietMoment) {
            ASSERT_LT(attempt, kAttempts) << "the simulated line kept falling quiet (for " << gap.count()
                                  << " ms): the machine is too busy for this test";
            continue;
        }

        auto foundAt = [&found](const std::string& port) -> const CDevice* {
            for (const CDevice* device : found.devices)
                if (device->portName == port)
                    return device;
            return nullptr;
        };
        EXPECT_EQ(result, 0) << lastErrorOf(discovery);
        EXPECT_NE(foundAt(healthyCom), nullptr);
        EXPECT_NE(foundAt(healthyHid.hostPath()), nullptr);
        EXPECT_EQ(foundAt(chattyCom), nullptr);
        EXPECT_EQ(foundAt(shortHid.hostPath()), nullptr);
        EXPECT_EQ(found.devices.size(), 2u);
        // The chattering port costs one drain (one XON opens each), not one
        // per line setting; the short interface costs nothing. The rest of
        // the bound is slack for a slow machine.
        const std::vector<unsigned char> all = chatty.received();
        const std::vector<unsigned char> sent(all.begin() + static_cast<std::ptrdiff_t>(sentBefore), all.end());
        EXPECT_EQ(std::count(sent.begin(), sent.end(), 0x11), 1);
        EXPECT_LT(took, CHandshakingHandler::kDrainLimitMs + 12000u);

        EXPECT_EQ(SdkLogCapture::count("port given up. Port=" + chattyCom), 1u);
        EXPECT_EQ(SdkLogCapture::count("interface skipped. Port=" + shortHid.hostPath()), 1u);
        EXPECT_EQ(SdkLogCapture::count("interface skipped. Port=" + healthyHid.hostPath()), 0u);
        EXPECT_EQ(SdkLogCapture::count("port given up. Port=" + healthyCom), 0u);
        // The short interface was never questioned.
        EXPECT_TRUE(shortHid.menuCommands().empty());
        break;
    }
}

}  // namespace
