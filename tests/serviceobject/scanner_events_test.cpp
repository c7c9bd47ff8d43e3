// The scanner service object's events and device losses through its
// exported interface: ErrorEvent answers, power statuses under PowerNotify,
// the menu exchange shared by the event-window thread and the host, a
// deadline across the tick count's wrap, and the reconnection thread.
#include "ScannerHost.h"

#include "COPOSKestrel.h"

#include "../platform/DebugCapture.h"

#include "platform/time.h"

#include <chrono>
#include <fstream>
#include <thread>

using namespace sotest;

namespace {

class ScannerEvents : public ScannerHostTest, public ::testing::WithParamInterface<Wire> {
protected:
    void openClaimEnable(const char* poll = "250", const char* debugType = "0")
    {
        ASSERT_EQ(open(poll, debugType), 0);
        ASSERT_EQ(CScannerWrapper::ScannerClaimDevice(kClaimTimeout), 0);
        ASSERT_EQ(CScannerWrapper::ScannerSetPropertyNumber(13, 1), 0);  // PowerNotify
        ASSERT_EQ(CScannerWrapper::ScannerSetPropertyNumber(3, 1), 0);
    }
    void unplugDevice()
    {
        if (m_wire == Wire::serial)
            m_serial.back()->unplug();
        else
            m_hid.back()->unplug();
    }
    void plugDevice()
    {
        if (m_wire == Wire::serial)
            ASSERT_TRUE(m_serial.back()->plug());
        else
            ASSERT_TRUE(m_hid.back()->plug());
    }
    CScannerDataQ& queue() { return *mgr().Queue(); }
};

TEST_P(ScannerEvents, ErrorEventAnswersAndTheStatusesAClearKeeps)
{
    plug(GetParam());
    openClaimEnable();
    SBarcodeRecord label;
    label.m_cCodeId = 'j';
    label.m_aim[0] = 'C';
    label.m_aim[1] = '0';
    label.m_label[0] = 'L';
    label.m_nLength = 1;
    // While the application handles the error, a label and a status wait
    // behind it.
    std::atomic<int> errors{0};
    events.during = [&](const std::string& text) {
        if (text.rfind("E:", 0) == 0 && errors++ < 2) {
            queue().AddToQ(&label, 0, 1);
            queue().ProcessSUE(2100);
        }
    };
    events.errorResponse = 12;  // clear: the input goes, the status stays
    ASSERT_EQ(CScannerWrapper::ScannerSetPropertyNumber(2, 1), 0);
    queue().AddToQ(2L);
    ASSERT_TRUE(events.waitFor("S:2100"));
    EXPECT_EQ(events.list(), (std::vector<std::string>{"E:111,2,2", "S:2100"}));
    EXPECT_EQ(number(12), 0);
    EXPECT_EQ(number(9), 2);

    events.errorResponse = 13;  // continue input: the error state stays, the label follows
    queue().AddToQ(2L);
    ASSERT_TRUE(events.waitFor("D:0"));
    EXPECT_EQ(events.count("E:111,2,2"), 2);
    EXPECT_EQ(number(9), 4);

    events.errorResponse = 11;  // retry: nothing more until the application acts
    ASSERT_EQ(CScannerWrapper::ScannerSetPropertyNumber(2, 1), 0);
    queue().AddToQ(2L);
    ASSERT_TRUE(events.waitFor("E:111,2,2", 3));
    EXPECT_EQ(number(9), 4);
    ASSERT_EQ(CScannerWrapper::ScannerClearInput(), 0);
    EXPECT_EQ(number(9), 2);
    events.during = nullptr;
}

TEST_P(ScannerEvents, PowerStatusesOnlyWhileEnabledWithPowerNotify)
{
    vxtest::DebugCapture log;
    plug(GetParam());
    openClaimEnable("250", "Default");
    EXPECT_EQ(number(14), 2001);
    EXPECT_EQ(CScannerWrapper::ScannerSetPropertyNumber(13, 0), 106);  // not while enabled
    queue().ProcessSUE(2004);
    ASSERT_TRUE(events.waitFor("S:2004"));
    // A status behind a 2001 is delivered too, when the signals both came
    // with were used up while events were frozen: the thaw delivers the 2001
    // alone, and only its firing can let the status behind it go.
    ASSERT_EQ(CScannerWrapper::ScannerSetPropertyNumber(4, 1), 0);
    queue().ProcessSUE(2001);
    queue().ProcessSUE(2100);
    ASSERT_TRUE(vxtest::waitUntil([&] { return log.with("Freeze events enabled").size() >= 2; }));
    ASSERT_EQ(CScannerWrapper::ScannerSetPropertyNumber(4, 0), 0);
    ASSERT_TRUE(events.waitFor("S:2100"));
    EXPECT_EQ(events.list(), (std::vector<std::string>{"S:2004", "S:2001", "S:2100"}));

    ASSERT_EQ(CScannerWrapper::ScannerSetPropertyNumber(3, 0), 0);
    EXPECT_EQ(number(14), 2000);
    queue().ProcessSUE(2004);
    queue().ProcessSUE(2001);
    queue().ProcessSUE(2100);
    ASSERT_TRUE(events.waitFor("S:2100", 2));
    EXPECT_EQ(events.count("S:2004"), 1);
    EXPECT_EQ(events.count("S:2001"), 1);
}

TEST_P(ScannerEvents, AnUnpluggedScannerReportsLossAndReturnThenIsClaimedAgain)
{
    plug(GetParam());
    openClaimEnable();
    unplugDevice();
    ASSERT_TRUE(events.waitFor("S:2004"));
    EXPECT_EQ(CScannerWrapper::ScannerCheckHealth(1), 107);
    plugDevice();
    ASSERT_TRUE(events.waitFor("S:2001"));
    ASSERT_TRUE(vxtest::waitUntil([&] { return !mgr().Reconnection().IsRunning(); }));
    EXPECT_EQ(events.list(), (std::vector<std::string>{"S:2004", "S:2001"}));
    // Back but not claimed again: the lost connection cannot take an update.
    { std::ofstream("fw.bin") << "firmware"; }
    EXPECT_EQ(CScannerWrapper::ScannerUpdateFirmware("fw.bin"), 111);

    ASSERT_EQ(CScannerWrapper::ScannerReleaseDevice(), 0);
    EXPECT_FALSE(mgr().Reconnection().HasThread());
    ASSERT_EQ(CScannerWrapper::ScannerClaimDevice(kClaimTimeout), 0);
    ASSERT_EQ(CScannerWrapper::ScannerSetPropertyNumber(3, 1), 0);
    ASSERT_EQ(CScannerWrapper::ScannerSetPropertyNumber(2, 1), 0);
    scan("BACK");
    ASSERT_TRUE(events.waitFor("D:0"));
}

TEST_P(ScannerEvents, ReleaseDuringTheSearchEndsTheThreadAndTheNextLossIsReported)
{
    plug(GetParam());
    openClaimEnable("10000");
    unplugDevice();
    ASSERT_TRUE(events.waitFor("S:2004"));
    ASSERT_EQ(CScannerWrapper::ScannerReleaseDevice(), 0);
    EXPECT_FALSE(mgr().Reconnection().HasThread());
    EXPECT_FALSE(mgr().Reconnection().IsRunning());
    plugDevice();
    EXPECT_EQ(number(12), 0);
    EXPECT_EQ(queue().Count(), 0);

    // Open again (the device was lost), claim, and lose it again.
    ASSERT_EQ(CScannerWrapper::ScannerCloseService(), 0);
    ASSERT_EQ(CScannerWrapper::ScannerOpenService("SimScanner", "False", port.c_str(), "", "", "0", "0"), 0);
    ASSERT_EQ(CScannerWrapper::ScannerClaimDevice(kClaimTimeout), 0);
    ASSERT_EQ(CScannerWrapper::ScannerSetPropertyNumber(13, 1), 0);
    ASSERT_EQ(CScannerWrapper::ScannerSetPropertyNumber(3, 1), 0);
    unplugDevice();
    ASSERT_TRUE(events.waitFor("S:2004", 2));
    EXPECT_EQ(events.count("S:2001"), 0);
    EXPECT_TRUE(mgr().Reconnection().IsRunning());
}

INSTANTIATE_TEST_SUITE_P(Wires, ScannerEvents, ::testing::Values(Wire::serial, Wire::hid), wireName);

// The event-window thread's AutoDisable and the host's DirectIO 18 share the
// menu exchange: the window's command waits until the host has its reply.
TEST_F(ScannerHostTest, AutoDisableWaitsForTheHostsExchange)
{
    plug(Wire::serial, [](vxsim::MenuModel& menu) { menu.rules.push_back(quietRule("SLOWCM")); });
    ASSERT_EQ(open(), 0);
    ASSERT_EQ(CScannerWrapper::ScannerClaimDevice(kClaimTimeout), 0);
    ASSERT_EQ(CScannerWrapper::ScannerSetPropertyNumber(3, 1), 0);
    ASSERT_EQ(CScannerWrapper::ScannerSetPropertyNumber(10, 1), 0);

    long result = -1;
    long count = 64;
    BSTR text = platform::bstrFromAnsi("SLOWCM");
    std::thread host([&] { result = CScannerWrapper::ScannerDirectIO(18, &count, &text); });
    ASSERT_TRUE(waitForWire(std::string("\x16M\rSLOWCM.")));
    const std::size_t from = wire().size();
    scan("RACE");  // AutoDisable: the window thread wants the exchange now
    ASSERT_TRUE(vxtest::waitUntil([&] { return mgr().ExchangesWaiting() == 1; }));
    EXPECT_EQ(wire().size(), from);  // nothing sent while the host's exchange runs
    m_serial.back()->send({'S', 'L', 'O', 'W', 'C', 'M', 0x06, '.'});
    host.join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(platform::ansiFromBstr(text), "SLOWCM\x06.");
    SysFreeString(text);
    ASSERT_TRUE(vxtest::waitUntil([&] { return number(3) == 0; }));
    // The host's DirectIO sends DeviceEnabled again within its exchange;
    // the window's disable follows it, so the device ends disabled.
    const std::string disable = "\x16" "0\r.;\x16" "0\r.";
    const std::string enable = "\x16" "1\r.;\x16" "1\r.";
    EXPECT_EQ(wire().substr(from), enable + disable);
}

std::atomic<DWORD> g_tickOffset{0};
DWORD realTicks()
{
    using namespace std::chrono;
    return static_cast<DWORD>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}
// The real clock moved to just before the wrap.
DWORD wrappingTicks()
{
    return realTicks() + g_tickOffset.load();
}

TEST_F(ScannerHostTest, AReplyWaitedForAcrossTheTickWrap)
{
    plug(Wire::serial);
    ASSERT_EQ(open(), 0);
    ASSERT_EQ(CScannerWrapper::ScannerClaimDevice(kClaimTimeout), 0);
    // The deadline lies past the wrap of the 32-bit tick count.
    g_tickOffset = 0xFFFFFFF0u - realTicks();
    platform::setTickSourceForTesting(&wrappingTicks);
    std::string reply;
    const int result = mgr().SendCmdToDevice("BEPLVL?.", &reply, 5000, 0);
    platform::setTickSourceForTesting(nullptr);
    EXPECT_EQ(result, 0);
    EXPECT_NE(reply.find("BEPLVL"), std::string::npos);
    EXPECT_EQ(mgr().SendCmdToDevice("BEPLVL?.", &reply, -1, 0), CScannerMgr::kTimedOut);
}

}  // namespace
