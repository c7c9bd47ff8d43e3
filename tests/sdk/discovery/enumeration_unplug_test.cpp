// Devices that go away while discovery runs: the HID enumerator's clean-up
// drops exactly the HID records whose interface is gone, and a device
// unplugged in the middle of being identified leaves no record behind, while
// the run goes on to the other devices and ends.
#include "DiscoveryFixture.h"

#include "discovery/CSerialDevice.h"
#include "discovery/CSerialDeviceEnumerator.h"
#include "discovery/CUsbHidDevice.h"
#include "discovery/CUsbHidDeviceEnumerator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <thread>

using vxtest::DeviceList;
using vxtest::searchTemplate;

namespace {

class EnumerationUnplug : public vxtest::DiscoveryTest {};

template <typename Record>
CDevice* record(int type, const std::string& port)
{
    auto* device = new Record();
    device->interfaceType = type;
    device->portName = port;
    return device;
}

std::string upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

// Unplugs `device` on a thread of its own as soon as the host has sent it a
// menu command, while the enumeration runs on the test's thread. The device
// answers no menu command, so it cannot be identified before it goes,
// however late the unplug comes.
template <typename Device>
class UnplugOnFirstCommand {
public:
    explicit UnplugOnFirstCommand(Device& device) : m_device(device)
    {
        vxsim::DataFaults silent;
        silent.silent = true;
        device.setDataFaults(silent);
        m_thread = std::thread([this] {
            m_seen = vxtest::waitUntil([this] { return !m_device.menuCommands().empty() || m_stop.load(); }) &&
                     !m_stop.load();
            m_device.unplug();
        });
    }
    ~UnplugOnFirstCommand() { finish(); }
    // Waits for the unplug; true when it followed a command.
    bool finish()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        return m_seen;
    }

private:
    Device& m_device;
    std::atomic<bool> m_stop{false};
    bool m_seen = false;
    std::thread m_thread;
};

}  // namespace

TEST_F(EnumerationUnplug, CleanUpDropsOnlyTheHidRecordsWhoseInterfaceIsGone)
{
    auto& present = plugHid(vxtest::hidScannerModel("hid-pos", "POS", "SN-1"), "present");
    auto& gone = plugHid(vxtest::hidScannerModel("hid-pos", "POS", "SN-2"), "gone");
    const std::string gonePath = gone.hostPath();
    gone.unplug();

    const CDiscoveryTemplate search = searchTemplate({2});
    DeviceList list;
    CDevice* keptHid = record<CUsbHidDevice>(EIT_USB_HID_BARCODE_SCANNER, upper(present.hostPath()));
    CDevice* serial = record<CSerialDevice>(EIT_RS232, "COM1");
    CDevice* hidKindOnSerialRecord = record<CSerialDevice>(EIT_USB_HID_BARCODE_SCANNER, gonePath);
    list.devices = {record<CUsbHidDevice>(EIT_USB_HID_BARCODE_SCANNER, gonePath),
                    keptHid,
                    nullptr,
                    record<CUsbHidDevice>(EIT_USB_HID_IBM_SUREPOS, gonePath),
                    record<CUsbHidDevice>(EIT_USB_HID_KBD, "\\\\?\\hid#vid_7a11&pid_0100&mi_09#nowhere#{x}"),
                    serial,
                    hidKindOnSerialRecord};
    CUsbHidDeviceEnumerator hid(&search, &list.devices);
    hid.deleteDisconnectedDevice();
    EXPECT_EQ(list.devices, (std::vector<CDevice*>{keptHid, nullptr, serial, hidKindOnSerialRecord}));
}

TEST_F(EnumerationUnplug, HidDeviceUnpluggedWhileIdentifiedLeavesNoRecordAndTheRunGoesOn)
{
    auto& leaving = plugHid(vxtest::hidScannerModel("hid-pos", "LEAVING", "SN-a"), "a-leaving");
    plugHid(vxtest::hidScannerModel("hid-pos", "STAYING", "SN-b"), "b-staying");
    const std::string stayingPath = m_hid.back()->hostPath();
    UnplugOnFirstCommand unplug(leaving);

    const CDiscoveryTemplate search = searchTemplate({2});
    DeviceList list;
    CUsbHidDeviceEnumerator hid(&search, &list.devices);
    EXPECT_EQ(hid.enumerate(), 0);
    EXPECT_TRUE(unplug.finish());
    ASSERT_EQ(list.devices.size(), 1u);
    EXPECT_EQ(list.devices[0]->portName, stayingPath);
}

TEST_F(EnumerationUnplug, SerialDeviceUnpluggedWhileIdentifiedLeavesNoRecordAndTheRunGoesOn)
{
    auto& leaving = plugSerial("rs232", "leaving", "LEAVING", "SN-a");
    auto& staying = plugSerial("rs232", "staying", "STAYING", "SN-b");
    const std::string stayingCom = vxtest::comNameOf(staying);
    UnplugOnFirstCommand unplug(leaving);

    const CDiscoveryTemplate search = searchTemplate({0});
    DeviceList list;
    CSerialDeviceEnumerator serial(&search, &list.devices, CSerialDeviceEnumerator::kRs232);
    EXPECT_EQ(serial.enumerate(), 0);
    EXPECT_TRUE(unplug.finish());
    ASSERT_EQ(list.devices.size(), 1u);
    EXPECT_EQ(list.devices[0]->portName, stayingCom);
}
