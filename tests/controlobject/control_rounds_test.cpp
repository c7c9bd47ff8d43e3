// A till's scanner keeps scanning while the application opens, claims,
// enables, disables, releases and closes it over and over: an application
// thread hosts the real control and service object against a simulated
// scanner (RS-232, and a USB HID line-of-business scanner) that scans a
// numbered label every 100 ms throughout.
#include "ControlFixtures.h"
#include "DiscoveryFixture.h"
#include "EventFixtures.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using controltest::Container;
using controltest::Sink;
using platform::DispatchArg;
namespace id = controltest;

constexpr char kRoundsDevice[] = "RoundsScanner";
constexpr int kRounds = 50;

enum class Wire { serial, hidLob };

// Scans "N" followed by its number, one label every 100 ms, until stopped;
// `scanned` is the number of the next label.
class Scanning {
public:
    template <typename Scan>
    explicit Scanning(Scan scan)
        : m_thread([this, scan] {
              std::unique_lock lock(m_mutex);
              while (!m_stop) {
                  lock.unlock();
                  scan(label(scanned.load()));
                  ++scanned;
                  lock.lock();
                  m_wake.wait_for(lock, std::chrono::milliseconds(100), [this] { return m_stop; });
              }
          })
    {
    }
    ~Scanning()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
    static std::string label(long number)
    {
        char text[16];
        std::snprintf(text, sizeof text, "N%06ld", number);
        return text;
    }
    std::atomic<long> scanned{0};

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::thread m_thread;
};

// An application's thread hosting the control, with handlers that note
// "D:" and the ScanData of each DataEvent (read inside the handler) and
// "S:" and the status of each StatusUpdateEvent, in order. With
// `reenable`, each DataEvent handler turns data events on again.
class Application {
public:
    explicit Application(bool reenable = false)
    {
        m_sink.onInvoke = [this, reenable](DISPID event, DISPPARAMS& params) {
            std::string text;
            if (event == 101) {
                text = "D:" + control().text(id::ScanData);
                if (reenable)
                    control().put(id::DataEventEnabled, DispatchArg::boolean(true));
            } else if (event == 105) {
                text = "S:" + std::to_string(params.rgvarg[0].lVal);
            } else {
                return;
            }
            std::lock_guard lock(m_mutex);
            m_seen.push_back(text);
        };
        m_container = std::make_unique<Container>(std::vector<Sink*>{&m_sink});
    }
    // Runs `work` on the application's thread.
    void run(std::function<void()> work) { m_container->run(std::move(work)); }
    // Open and ClaimDevice, each answering 0.
    void openAndClaim()
    {
        run([this] {
            ASSERT_EQ(control().open(kRoundsDevice), 0);
            ASSERT_EQ(control().call(id::ClaimDevice, {DispatchArg::i4(10000)}), 0);
        });
    }
    // Then PowerNotify on and the device enabled, each answering 0.
    void enableWithPowerNotify()
    {
        run([this] {
            control().put(id::PowerNotify, DispatchArg::i4(1));
            EXPECT_EQ(control().get(id::ResultCode), 0);
            control().put(id::DeviceEnabled, DispatchArg::boolean(true));
            EXPECT_EQ(control().get(id::ResultCode), 0);
            EXPECT_EQ(control().get(id::PowerState), 2001);
        });
    }
    // Used on the application's thread only.
    const controltest::Control& control() const { return *m_container->control; }
    // What the handlers noted of one kind ("D:" or "S:"), without the kind.
    std::vector<std::string> seen(const std::string& kind)
    {
        std::lock_guard lock(m_mutex);
        std::vector<std::string> found;
        for (const std::string& text : m_seen)
            if (text.compare(0, kind.size(), kind) == 0)
                found.push_back(text.substr(kind.size()));
        return found;
    }
    bool saw(const std::string& text)
    {
        std::lock_guard lock(m_mutex);
        return std::find(m_seen.begin(), m_seen.end(), text) != m_seen.end();
    }

private:
    Sink m_sink;
    std::mutex m_mutex;
    std::vector<std::string> m_seen;
    std::unique_ptr<Container> m_container;
};

// DirectIO 19: the command time-out in milliseconds ("0" the entry's).
LONG CommandTimeOut(const controltest::Control& control, const char* milliseconds)
{
    LONG data = 0;
    BSTR text = platform::bstrFromAnsi(milliseconds);
    const LONG result =
        control.call(id::DirectIO, {DispatchArg::i4(19), DispatchArg::i4Ref(&data), DispatchArg::bstrRef(&text)});
    SysFreeString(text);
    return result;
}

// A device entry for one simulated scanner.
class ScannerEntryTest : public vxtest::DiscoveryTest {
protected:
    // `asProgram`: the HID scanner as the simulator program serves it (its
    // catalogue identity, which leaves the device-type query unanswered,
    // and its report pace); otherwise one that answers every identity query
    // at once.
    void plug(Wire wire, bool asProgram = true)
    {
        if (wire == Wire::serial) {
            serial = &plugSerial("rs232-115200", "rounds", "SIMSERIAL", "SN-ROUNDS");
            writeEntry(vxtest::comNameOf(*serial));
        } else {
            hid = &plugHid(asProgram ? *vxsim::findHidModel("hid-lob")
                                     : vxtest::hidScannerModel("hid-lob", "SIMLOB", "SN-LOB"),
                           "rounds-lob");
            writeEntry("HID1");
        }
    }
    // Registers the control and the service object; the entry names `port`.
    void writeEntry(const std::string& port)
    {
        ASSERT_EQ(controltest::RegisterLibrary("libVXOPOSScanner.so"), S_OK);
        ASSERT_EQ(controltest::RegisterLibrary("libVXKestrelSO.so"), S_OK);
        const std::string key = std::string(controltest::kScannerKey) + "\\" + kRoundsDevice;
        controltest::SetText(key, nullptr, "VX.ScannerSO");
        controltest::SetText(key, "AUTODETECT", "False");
        controltest::SetText(key, "PORT", port);
    }
    void scan(const std::string& label)
    {
        if (serial != nullptr)
            serial->scan(label);
        else
            hid->scan(label);
    }

    vxsim::VirtualSerialPort* serial = nullptr;
    vxsim::HidScanner* hid = nullptr;
};

class RoundsTest : public ScannerEntryTest, public ::testing::WithParamInterface<Wire> {
protected:
    void SetUp() override { plug(GetParam()); }
};

class HeldLabelsTest : public ScannerEntryTest, public ::testing::WithParamInterface<Wire> {
protected:
    void SetUp() override { plug(GetParam(), false); }
};

// Every call answers 0; each round's one DataEvent carries a label scanned
// in that round, no later than the first one scanned once data events were
// on (so that one was not lost), and no label comes twice or out of order.
// Before enabling, each round waits until the disabled scanner has read a
// label: the enable's two answers then come with labels between them.
TEST_P(RoundsTest, FiftyRoundsWhileTheScannerScans)
{
    Application application;
    auto dataEvents = [&] { return application.seen("D:").size(); };
    Scanning scanning([this](const std::string& label) { scan(label); });

    long previous = -1;
    for (int round = 0; round < kRounds && !HasFatalFailure(); ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const long claimedFrom = scanning.scanned.load();
        long eventsFrom = 0;
        application.openAndClaim();
        if (HasFatalFailure())
            break;
        const long heldFrom = scanning.scanned.load();
        ASSERT_TRUE(vxtest::waitUntil([&] { return scanning.scanned.load() > heldFrom; }));
        application.run([&] {
            const auto& control = application.control();
            control.put(id::DeviceEnabled, DispatchArg::boolean(true));
            ASSERT_EQ(control.get(id::ResultCode), 0);
            ASSERT_NE(control.get(id::DeviceEnabled), 0);
            control.put(id::DataEventEnabled, DispatchArg::boolean(true));
            ASSERT_EQ(control.get(id::ResultCode), 0);
            eventsFrom = scanning.scanned.load();
        });
        if (HasFatalFailure())
            break;
        ASSERT_TRUE(vxtest::waitUntil([&] { return dataEvents() > static_cast<std::size_t>(round); }));
        application.run([&] {
            const auto& control = application.control();
            control.put(id::DeviceEnabled, DispatchArg::boolean(false));
            EXPECT_EQ(control.get(id::ResultCode), 0);
            EXPECT_EQ(control.get(id::DeviceEnabled), 0);
            EXPECT_EQ(control.call(id::ReleaseDevice), 0);
            EXPECT_EQ(control.call(id::Close), 0);
        });
        // One DataEvent a round: data events went off with it.
        ASSERT_EQ(dataEvents(), static_cast<std::size_t>(round + 1));
        const std::string data = application.seen("D:").back();
        ASSERT_EQ(data.substr(0, 4), "d]E0") << data;
        const long number = std::atol(data.c_str() + 5);
        EXPECT_EQ(data.substr(4), Scanning::label(number));
        EXPECT_GE(number, claimedFrom) << data;
        EXPECT_LE(number, eventsFrom) << data;
        EXPECT_GT(number, previous) << data;
        previous = number;
    }
    EXPECT_EQ(dataEvents(), static_cast<std::size_t>(kRounds));
}

// Labels read while the claimed scanner was disabled come between the two
// answers of the enable sequence: the enable holds, and the labels arrive
// as DataEvents once each, in order.
TEST_P(HeldLabelsTest, EnableHoldsWithLabelsBetweenItsAnswers)
{
    Application application(true);
    application.openAndClaim();
    ASSERT_FALSE(HasFatalFailure());
    application.run([&] { application.control().put(id::DataEventEnabled, DispatchArg::boolean(true)); });
    for (const char* label : {"HELD1", "HELD2", "HELD3"})
        scan(label);
    application.run([&] {
        application.control().put(id::DeviceEnabled, DispatchArg::boolean(true));
        EXPECT_EQ(application.control().get(id::ResultCode), 0);
        EXPECT_NE(application.control().get(id::DeviceEnabled), 0);
    });
    scan("AFTER");
    const std::vector<std::string> expected{"d]E0HELD1", "d]E0HELD2", "d]E0HELD3", "d]E0AFTER"};
    ASSERT_TRUE(vxtest::waitUntil([&] { return application.seen("D:").size() >= expected.size(); }));
    application.run([&] {
        EXPECT_EQ(application.seen("D:"), expected);
        application.control().put(id::DeviceEnabled, DispatchArg::boolean(false));
        EXPECT_EQ(application.control().get(id::ResultCode), 0);
        EXPECT_EQ(application.control().call(id::Close), 0);
    });
}

// The answers to a switch come too late (the scanner takes the host's bytes
// only later): the switch fails, and the scanner is switched back, so that
// it does what DeviceEnabled reads once it takes the commands. Each case
// has a scanner of its own: the late answers of one case's switches cannot
// be told from a later exchange's own and must not meet it.
class FailedSwitchTest : public ScannerEntryTest, public ::testing::WithParamInterface<bool> {};

TEST_P(FailedSwitchTest, LeavesTheScannerAsDeviceEnabledReads)
{
    plug(Wire::serial);
    auto switches = [&] {
        std::vector<std::string> seen;
        for (const std::string& command : serial->menuCommands())
            if (command == "0" || command == "1")
                seen.push_back(command);
        return seen;
    };
    {
        const bool enable = GetParam();
        Application application;
        application.openAndClaim();
        ASSERT_FALSE(HasFatalFailure());
        if (!enable) {
            application.run([&] {
                application.control().put(id::DeviceEnabled, DispatchArg::boolean(true));
                EXPECT_EQ(application.control().get(id::ResultCode), 0);
            });
        }
        const std::size_t before = switches().size();
        serial->setReadingPaused(true);
        application.run([&] {
            const auto& control = application.control();
            EXPECT_EQ(CommandTimeOut(control, "300"), 0);
            control.put(id::DeviceEnabled, DispatchArg::boolean(enable));
            EXPECT_EQ(control.get(id::ResultCode), 112);
            EXPECT_EQ(control.get(id::DeviceEnabled) != 0, !enable);
        });
        serial->setReadingPaused(false);
        // The switch and the one back, two switches each.
        ASSERT_TRUE(vxtest::waitUntil([&] { return switches().size() >= before + 4; }));
        EXPECT_EQ(switches().back(), enable ? "0" : "1");
        // In time, the switch holds.
        application.run([&] {
            const auto& control = application.control();
            EXPECT_EQ(CommandTimeOut(control, "0"), 0);
            control.put(id::DeviceEnabled, DispatchArg::boolean(enable));
            EXPECT_EQ(control.get(id::ResultCode), 0);
            EXPECT_EQ(control.get(id::DeviceEnabled) != 0, enable);
        });
        EXPECT_TRUE(vxtest::waitUntil([&] { return switches().back() == (enable ? "1" : "0"); }));
        application.run([&] { EXPECT_EQ(application.control().call(id::Close), 0); });
    }
}

INSTANTIATE_TEST_SUITE_P(Switches, FailedSwitchTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Enable" : "Disable"; });

// A line-of-business HID scanner unplugged while enabled, with labels
// waiting for the next DataEventEnabled: StatusUpdateEvent 2004 does not
// wait behind them, then 2001 once it is back; claimed again, it serves
// labels.
TEST_F(ScannerEntryTest, AnUnpluggedHidLineOfBusinessScannerGoesOffAndComesBack)
{
    plug(Wire::hidLob);
    Application application;
    application.openAndClaim();
    ASSERT_FALSE(HasFatalFailure());
    application.enableWithPowerNotify();
    {
        Scanning scanning([this](const std::string& label) { scan(label); });
        application.run([&] { application.control().put(id::DataEventEnabled, DispatchArg::boolean(true)); });
        ASSERT_TRUE(vxtest::waitUntil([&] { return scanning.scanned.load() > 3; }));
    }
    hid->unplug();
    ASSERT_TRUE(vxtest::waitUntil([&] { return application.saw("S:2004"); }));
    application.run([&] { EXPECT_EQ(application.control().get(id::PowerState), 2004); });
    ASSERT_TRUE(hid->plug());
    ASSERT_TRUE(vxtest::waitUntil([&] { return application.saw("S:2001"); }));
    EXPECT_EQ(application.seen("S:"), (std::vector<std::string>{"2004", "2001"}));

    // Claimed again, the scanner is served as before.
    application.run([&] {
        const auto& control = application.control();
        EXPECT_EQ(control.call(id::ReleaseDevice), 0);
        ASSERT_EQ(control.call(id::ClaimDevice, {DispatchArg::i4(10000)}), 0);
        control.put(id::DeviceEnabled, DispatchArg::boolean(true));
        EXPECT_EQ(control.get(id::ResultCode), 0);
        control.put(id::DataEventEnabled, DispatchArg::boolean(true));
    });
    ASSERT_TRUE(hid->scan("BACK1"));
    ASSERT_TRUE(vxtest::waitUntil([&] { return application.saw("D:d]E0BACK1"); }));
    application.run([&] { EXPECT_EQ(application.control().call(id::Close), 0); });
}

// With a short command time-out (500 ms, DirectIO 19), an RS-232 scanner
// unplugged and plugged back is still found: 2004, then 2001.
TEST_F(ScannerEntryTest, AScannerBackAfterAShortCommandTimeOutIsFound)
{
    // As the simulator program serves it: 9600 baud, every byte in its time.
    m_serial.push_back(std::make_unique<vxsim::VirtualSerialPort>(*vxsim::findSerialModel("rs232"), "short-timeout"));
    serial = m_serial.back().get();
    ASSERT_TRUE(serial->plug());
    writeEntry(vxtest::comNameOf(*serial));

    Application application;
    application.openAndClaim();
    ASSERT_FALSE(HasFatalFailure());
    application.enableWithPowerNotify();
    application.run([&] { EXPECT_EQ(CommandTimeOut(application.control(), "500"), 0); });
    serial->unplug();
    ASSERT_TRUE(vxtest::waitUntil([&] { return application.saw("S:2004"); }));
    ASSERT_TRUE(serial->plug());
    ASSERT_TRUE(vxtest::waitUntil([&] { return application.saw("S:2001"); }, std::chrono::seconds(40)));
    application.run([&] { EXPECT_EQ(application.control().call(id::Close), 0); });
}

// One application's round, run as a process of its own by the test below
// against the entry and the scanner of its parent (same registry and
// runtime directory). With VX_ABRUPT set it ends without releasing or
// closing, as a killed application does, leaving the scanner disabled.
TEST_F(ScannerEntryTest, DISABLED_OneRoundAsAnotherProcess)
{
    Application application;
    application.openAndClaim();
    ASSERT_FALSE(HasFatalFailure());
    application.run([&] {
        const auto& control = application.control();
        control.put(id::DeviceEnabled, DispatchArg::boolean(true));
        ASSERT_EQ(control.get(id::ResultCode), 0);
        control.put(id::DataEventEnabled, DispatchArg::boolean(true));
        ASSERT_EQ(control.get(id::ResultCode), 0);
    });
    if (HasFatalFailure())
        return;
    ASSERT_TRUE(vxtest::waitUntil([&] { return !application.seen("D:").empty(); }));
    application.run([&] {
        const auto& control = application.control();
        control.put(id::DeviceEnabled, DispatchArg::boolean(false));
        EXPECT_EQ(control.get(id::ResultCode), 0);
        if (std::getenv("VX_ABRUPT") != nullptr)
            std::_Exit(0);
        EXPECT_EQ(control.call(id::ReleaseDevice), 0);
        EXPECT_EQ(control.call(id::Close), 0);
    });
}

// Two applications in turn, each a process of its own, against one running
// scanner that keeps scanning: the second opens, claims and reads as the
// first did, although the first ended abruptly.
TEST_P(RoundsTest, ASecondApplicationProcessUsesTheSameScanner)
{
    Scanning scanning([this](const std::string& label) { scan(label); });
    const std::string command = "'" + vxtest::programDirectory() +
                                "/controlobject_tests' --gtest_also_run_disabled_tests "
                                "--gtest_filter=ScannerEntryTest.DISABLED_OneRoundAsAnotherProcess > /dev/null 2>&1";
    for (int host = 1; host <= 2; ++host)
        EXPECT_EQ(std::system(((host == 1 ? "VX_ABRUPT=1 " : "") + command).c_str()), 0) << "application " << host;
}

std::string WireName(const ::testing::TestParamInfo<Wire>& info)
{
    return info.param == Wire::serial ? "Serial" : "HidLob";
}

INSTANTIATE_TEST_SUITE_P(Wires, RoundsTest, ::testing::Values(Wire::serial, Wire::hidLob), WireName);
INSTANTIATE_TEST_SUITE_P(Wires, HeldLabelsTest, ::testing::Values(Wire::serial, Wire::hidLob), WireName);

}  // namespace
