// Disconnect monitors: a serial device whose modem lines drop and a HID
// device that is unplugged are each reported once, on a thread of their
// own; another HID device's removal is not; and deleting a monitor never
// lets a callback that had not begun run on, nor waits for one that runs.
#include "TestSupport.h"

#include "discovery/CSerialDisconnectMonitor.h"
#include "discovery/CUsbHidDisconnectMonitor.h"
#include "ports/CSerialPort.h"
#include "ports/CUsbHidPort.h"

#include "platform/dbt.h"
#include "platform/serial.h"
#include "simulator/hid_scanner.h"
#include "simulator/virtual_serial_port.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Reports {
    std::mutex mutex;
    std::vector<std::string> portNames;
    std::vector<std::thread::id> threads;
    std::atomic<bool> armed{false};  // set just before the expected event
    std::atomic<int> early{0};       // reports that came before it
};

void record(void* userData, std::string& portName)
{
    auto* reports = static_cast<Reports*>(userData);
    if (!reports->armed.load())
        ++reports->early;
    std::lock_guard lock(reports->mutex);
    reports->portNames.push_back(portName);
    reports->threads.push_back(std::this_thread::get_id());
}

std::size_t count(Reports& reports)
{
    std::lock_guard lock(reports.mutex);
    return reports.portNames.size();
}

std::wstring comPathOf(const vxsim::VirtualSerialPort& device)
{
    for (const auto& port : platform::listSerialPorts())
        if (port.devicePath == device.ptyPath()) {
            const std::string path = "\\\\.\\" + port.comName;
            return std::wstring(path.begin(), path.end());
        }
    return std::wstring();
}

vxsim::SerialModel fastModel()
{
    vxsim::SerialModel model = *vxsim::findSerialModel("rs232");
    model.wireTime = false;
    return model;
}

}  // namespace

TEST(SerialDisconnectMonitor, DroppedLinesAreReportedOnceWithUserDataAndPortName)
{
    vxsim::VirtualSerialPort device(fastModel(), "rs232");
    ASSERT_TRUE(device.plug()) << device.lastError();
    CSerialPort port;
    ASSERT_EQ(port.open(comPathOf(device)), 0);

    Reports reports;
    auto monitor = std::make_unique<CSerialDisconnectMonitor>("COM7");
    EXPECT_EQ(monitor->setCallback(nullptr), 1);
    EXPECT_EQ(monitor->setCallback(&record), 0);
    EXPECT_EQ(monitor->startThread(nullptr), 2);
    monitor->setUserData(&reports);
    ASSERT_EQ(monitor->startThread(&port), 0);

    // One line of the mask still up: present.
    device.setModemLines(vxsim::kLineCarrier);
    reports.armed = true;
    device.setModemLines(0);
    ASSERT_TRUE(vxtest::waitUntil([&] { return count(reports) == 1; }));
    device.setModemLines(vxsim::kLineCts);
    device.setModemLines(0);
    monitor.reset();  // the monitor thread has ended after its report
    EXPECT_EQ(count(reports), 1u);
    EXPECT_EQ(reports.early.load(), 0);
    std::lock_guard lock(reports.mutex);
    EXPECT_EQ(reports.portNames[0], "COM7");
    EXPECT_NE(reports.threads[0], std::this_thread::get_id());
}

TEST(SerialDisconnectMonitor, EmptyMaskReportsAtTheFirstPoll)
{
    vxsim::VirtualSerialPort device(fastModel(), "rs232");
    ASSERT_TRUE(device.plug()) << device.lastError();
    CSerialPort port;
    ASSERT_EQ(port.open(comPathOf(device)), 0);
    Reports reports;
    reports.armed = true;
    CSerialDisconnectMonitor monitor("COM1");
    monitor.setCallback(&record);
    monitor.setUserData(&reports);
    monitor.setMonitorMask(0);
    ASSERT_EQ(monitor.startThread(&port), 0);
    EXPECT_TRUE(vxtest::waitUntil([&] { return count(reports) == 1; }));
}

// Deleting a monitor that is watching ends its thread within about one
// poll interval, and a loss after that is never reported: a second monitor
// on the same port, still watching, reports it, so the deleted one had its
// chance by then.
TEST(SerialDisconnectMonitor, DeletingAWatchingMonitorReportsNothing)
{
    vxsim::VirtualSerialPort device(fastModel(), "rs232");
    ASSERT_TRUE(device.plug()) << device.lastError();
    CSerialPort port;
    ASSERT_EQ(port.open(comPathOf(device)), 0);
    Reports deleted;
    Reports watching;
    watching.armed = true;
    CSerialDisconnectMonitor witness("COM2");
    witness.setCallback(&record);
    witness.setUserData(&watching);
    ASSERT_EQ(witness.startThread(&port), 0);
    {
        auto monitor = std::make_unique<CSerialDisconnectMonitor>("COM1");
        monitor->setCallback(&record);
        monitor->setUserData(&deleted);
        ASSERT_EQ(monitor->startThread(&port), 0);
        const auto started = std::chrono::steady_clock::now();
        monitor.reset();
        // One poll interval is 5 ms; the bound only tells a monitor that
        // ends from one that waits out its 10 s step.
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
    }
    device.setModemLines(0);
    ASSERT_TRUE(vxtest::waitUntil([&] { return count(watching) == 1; }));
    EXPECT_EQ(count(deleted), 0u);
}

namespace {

// Starts callbacks by hand, to show what the gate does with them.
class GateProbe : public CDisconnectMonitor {
public:
    int setCallback(DisconnectCallback callback) override
    {
        m_callback = callback;
        return 0;
    }
    int startThread(InterfacePort*) override { return 0; }
    void report() { startCallbackThread(m_callback, "COM5"); }
    void deleting() { closeGate(); }

private:
    DisconnectCallback m_callback = nullptr;
};

struct Blocker {
    std::mutex mutex;
    std::condition_variable changed;
    bool entered = false;
    bool released = false;
    std::atomic<int> calls{0};
    std::atomic<bool> left{false};  // the callback's last touch of the blocker
};

void blockingCallback(void* userData, std::string&)
{
    auto* blocker = static_cast<Blocker*>(userData);
    ++blocker->calls;
    {
        std::unique_lock lock(blocker->mutex);
        blocker->entered = true;
        blocker->changed.notify_all();
        blocker->changed.wait(lock, [&] { return blocker->released; });
    }
    blocker->left = true;
}

}  // namespace

TEST(DisconnectCallbackGate, CallbackNotBegunBeforeDeletionIsNeverMade)
{
    // The user data is gone with the monitor: a callback that still ran
    // would read freed memory (the sanitizer build sees it).
    auto reports = std::make_unique<Reports>();
    auto probe = std::make_unique<GateProbe>();
    probe->setCallback(&record);
    probe->setUserData(reports.get());
    probe->deleting();
    probe->report();  // the callback thread begins after the gate closed
    probe.reset();
    reports.reset();
    // A second monitor's callback, started after, is made: once it has run,
    // the first thread has long had its chance.
    Reports later;
    later.armed = true;
    GateProbe second;
    second.setCallback(&record);
    second.setUserData(&later);
    second.report();
    EXPECT_TRUE(vxtest::waitUntil([&] { return count(later) == 1; }));
}

TEST(DisconnectCallbackGate, DeletionNeverWaitsForARunningCallback)
{
    Blocker blocker;
    auto probe = std::make_unique<GateProbe>();
    probe->setCallback(&blockingCallback);
    probe->setUserData(&blocker);
    probe->report();
    {
        std::unique_lock lock(blocker.mutex);
        ASSERT_TRUE(blocker.changed.wait_for(lock, std::chrono::seconds(20), [&] { return blocker.entered; }));
    }
    probe.reset();  // returns while the callback still runs
    {
        std::lock_guard lock(blocker.mutex);
        blocker.released = true;
        blocker.changed.notify_all();
    }
    EXPECT_EQ(blocker.calls.load(), 1);
    // The callback thread ends on its own; the blocker on this stack must
    // outlive its last touch (taking the mutex is not enough: the thread may
    // not have woken from its wait yet).
    EXPECT_TRUE(vxtest::waitUntil([&] { return blocker.left.load(); }));
}

TEST(UsbHidDisconnectMonitor, OwnUnplugIsReportedOnceAndAnotherDevicesIsNot)
{
    vxsim::HidScanner own(*vxsim::findHidModel("hid-pos"), "own");
    vxsim::HidScanner other(*vxsim::findHidModel("hid-pos"), "other");
    ASSERT_TRUE(own.plug()) << own.lastError();
    ASSERT_TRUE(other.plug()) << other.lastError();
    CUsbHidPort port;
    const std::string path = own.hostPath();
    ASSERT_EQ(port.open(std::wstring(path.begin(), path.end())), 0);

    Reports reports;
    auto monitor = std::make_unique<CUsbHidDisconnectMonitor>(path);
    monitor->setCallback(&record);
    monitor->setUserData(&reports);
    ASSERT_EQ(monitor->startThread(&port), 0);
    // Another monitor of the same window class runs beside it.
    auto bystander = std::make_unique<CUsbHidDisconnectMonitor>("other");
    CUsbHidPort otherPort;
    const std::string otherPath = other.hostPath();
    ASSERT_EQ(otherPort.open(std::wstring(otherPath.begin(), otherPath.end())), 0);
    bystander->setCallback(&record);
    Reports bystanderReports;
    bystanderReports.armed = true;
    bystander->setUserData(&bystanderReports);
    ASSERT_EQ(bystander->startThread(&otherPort), 0);

    // Both monitors listen before the removals they should see.
    ASSERT_TRUE(vxtest::waitUntil([] { return platform::deviceNotificationCount() == 2; }));
    other.unplug();
    ASSERT_TRUE(vxtest::waitUntil([&] { return count(bystanderReports) == 1; }));
    reports.armed = true;
    own.unplug();
    ASSERT_TRUE(vxtest::waitUntil([&] { return count(reports) == 1; }));
    monitor.reset();
    bystander.reset();
    EXPECT_EQ(count(reports), 1u);
    EXPECT_EQ(reports.early.load(), 0);
    std::lock_guard lock(reports.mutex);
    EXPECT_EQ(reports.portNames[0], path);
}
