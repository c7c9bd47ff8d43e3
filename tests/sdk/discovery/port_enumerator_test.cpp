// Port lists: SERIALCOMM classes, the filter driver's management ports, the
// COM-port interfaces with descriptions, the maker's HID interfaces; and
// the discovery template's normalisation.
#include "TestSupport.h"

#include "api/CDiscoveryTemplate.h"
#include "discovery/CPortEnumerator.h"

#include "platform/runtime.h"
#include "platform/serial.h"
#include "simulator/hid_scanner.h"
#include "simulator/virtual_serial_port.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <sys/file.h>
#include <unistd.h>
#include <vector>

namespace {

// A virtual serial port's descriptor, published as a device does (the test
// plays the device; nothing opens these ports).
class PortDescriptor {
public:
    PortDescriptor(const std::string& id, const std::string& kind, const std::string& extra = std::string())
    {
        const std::string dir = platform::runtimeDirectory() + "/serial";
        std::filesystem::create_directories(dir);
        m_path = dir + "/" + id + ".port";
        const std::string temporary = dir + "/." + id + ".tmp";
        m_fd = ::open(temporary.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        const std::string text = "pty=/dev/null\ncontrol=/nonexistent\ndevice=" + kind + "\n" + extra;
        EXPECT_EQ(::write(m_fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
        EXPECT_EQ(::flock(m_fd, LOCK_EX), 0);
        EXPECT_EQ(::rename(temporary.c_str(), m_path.c_str()), 0);
    }
    ~PortDescriptor()
    {
        ::unlink(m_path.c_str());
        ::close(m_fd);
    }

private:
    std::string m_path;
    int m_fd = -1;
};

// No real ports: an empty sysfs tree.
class NoRealPorts : public ::testing::Test {
protected:
    NoRealPorts() { ::setenv("VX_SYSFS_ROOT", m_sysfs.path().c_str(), 1); }
    ~NoRealPorts() override { ::unsetenv("VX_SYSFS_ROOT"); }

    // id -> "COMn".
    static std::map<std::string, std::string> comNames()
    {
        std::map<std::string, std::string> names;
        for (const auto& [kernel, com] : platform::serialCommValues())
            names[kernel] = com;
        return names;
    }

    vxtest::TempDir m_sysfs;
};

using Names = std::vector<std::string>;

}  // namespace

TEST_F(NoRealPorts, SerialPortsAreSortedIntoTheirClasses)
{
    // Ids in COM order: a..f take COM1..COM6.
    PortDescriptor standard("a-rs232", "Serial");
    PortDescriptor makerUsb("b-usb", "varnex_cdc_acmSerial");
    PortDescriptor filter("c-fd", "Serial_ptvd");
    PortDescriptor filterCdc("d-fdcdc", "Serial_ptvd", "filter-bus=usbcdc\n");
    PortDescriptor other("e-vcp", "VCP");
    PortDescriptor filterWithoutChild("f-fd", "Serial_ptvd", "uniquifier=\n");

    CPortEnumerator ports;
    EXPECT_EQ(ports.enumerateSerialQZT(), (Names{"COM1"}));
    EXPECT_EQ(ports.enumerateUsbSerialQZT(), (Names{"COM2"}));
    // A filter-driver port is never a standard port, and one whose
    // management port cannot be found is in no filter-driver class.
    EXPECT_EQ(ports.enumerateCOM(0x4), (Names{"COM3"}));
    EXPECT_EQ(ports.enumerateFDUsbSerial(), (Names{"COM4"}));
    EXPECT_EQ(ports.enumerateSerialOthers(), (Names{"COM5"}));
    // Nothing sits on the "other" port, so no port is opened to ask.
    EXPECT_EQ(ports.enumerateFDSerialOthers(), Names{});
    EXPECT_EQ(ports.enumerateFDSerial(), (Names{"COM3"}));
    // Several bits: each port once, in value order.
    EXPECT_EQ(ports.enumerateCOM(0x23), (Names{"COM1", "COM2", "COM5"}));
    EXPECT_EQ(ports.enumerateCOM(0x3F), (Names{"COM1", "COM2", "COM3", "COM4", "COM5"}));
    EXPECT_EQ(ports.enumerateCOM(0x10), Names{});

    EXPECT_EQ(ports.enumerateFDSerialQOX(),
              (Names{"\\\\.\\{2ce3d77e-89ef-4ea6-9730-6fdf2a69508c}:serial\\virtual-c-fd1"}));
    EXPECT_EQ(ports.enumerateFDUsbSerialQOX(),
              (Names{"\\\\.\\{2ce3d77e-89ef-4ea6-9730-6fdf2a69508c}:usbcdc\\virtual-d-fdcdc1"}));

    // Patterns select ports of other drivers by their kernel-device name.
    struct Case {
        Names patterns;
        Names expected;
    };
    const Case cases[] = {
        {{}, {}},
        {{""}, {"COM5"}},
        {{"VCP"}, {"COM5"}},
        {{"nothing", "\\device\\v"}, {"COM5"}},
        {{"serial"}, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ports.enumerateSerialOthersWithPattern(c.patterns), c.expected) << ::testing::PrintToString(c.patterns);
}

TEST_F(NoRealPorts, FilterDriverPortOnAnOtherDriversPortIsListedApart)
{
    PortDescriptor other("a-vcp", "VCP");
    const std::string otherCom = comNames().at("\\Device\\VCP0");
    vxsim::SerialModel model = *vxsim::findSerialModel("filter-rs232");
    model.wireTime = false;
    model.filterDriver.present = true;
    model.filterDriver.originalPort = "\\\\.\\" + otherCom;
    vxsim::VirtualSerialPort onOther(model, "b-fd");
    ASSERT_TRUE(onOther.plug()) << onOther.lastError();
    vxsim::SerialModel plainModel = model;
    plainModel.filterDriver.originalPort = "\\\\.\\COM77";
    vxsim::VirtualSerialPort onSerial(plainModel, "c-fd");
    ASSERT_TRUE(onSerial.plug()) << onSerial.lastError();

    CPortEnumerator ports;
    EXPECT_EQ(ports.enumerateFDSerialOthers(), (Names{"COM2"}));
    EXPECT_EQ(ports.enumerateFDSerial(), (Names{"COM3"}));
    EXPECT_EQ(ports.enumerateFDSerialOthersQOX(),
              (Names{"\\\\.\\{2ce3d77e-89ef-4ea6-9730-6fdf2a69508c}:serial\\virtual-b-fd1"}));
}

TEST_F(NoRealPorts, PhysicalPortsComeWithTheirDescriptions)
{
    PortDescriptor standard("a-rs232", "Serial");
    PortDescriptor other("b-vcp", "VCP", "description=Other Maker Port\n");
    std::vector<std::string> names{"kept"};
    std::vector<std::string> descriptions{"kept"};
    ASSERT_TRUE(CPortEnumerator().enumeratePhysicalCOM(names, descriptions));
    EXPECT_EQ(names, (Names{"kept", "COM1", "COM2"}));
    EXPECT_EQ(descriptions, (Names{"kept", "Communications Port", "Other Maker Port"}));
}

TEST(PortEnumerator, IsNumberAcceptsDigitsAndColonsWhenAsked)
{
    struct Case {
        std::wstring text;
        bool allowColon;
        bool expected;
    };
    const Case cases[] = {
        {L"12", false, true}, {L"12:34", true, true}, {L"12:34", false, false},
        {L"", false, false},  {L"", true, false},     {L"1A", false, false},
        {L"X", true, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CPortEnumerator::isNumber(c.text, c.allowColon), c.expected);
}

TEST(PortEnumerator, MakersHidInterfacesAreListedAndFoundInAnyCase)
{
    vxsim::HidModel model = *vxsim::findHidModel("hid-pos");
    model.vendorId = CPortEnumerator::kMakerVendorId2;
    vxsim::HidScanner second(model, "second");
    model.vendorId = CPortEnumerator::kMakerVendorId1;
    vxsim::HidScanner first(model, "first");
    model.vendorId = 0x1234;
    vxsim::HidScanner stranger(model, "stranger");
    for (auto* scanner : {&first, &second, &stranger})
        ASSERT_TRUE(scanner->plug()) << scanner->lastError();

    CPortEnumerator ports;
    EXPECT_EQ(ports.enumerateUsbHidPath(), (Names{first.hostPath(), second.hostPath()}));
    std::string upper = first.hostPath();
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_TRUE(ports.isUsbHidDeviceExist(upper));
    EXPECT_FALSE(ports.isUsbHidDeviceExist(first.hostPath() + "x"));
    EXPECT_FALSE(ports.isUsbHidDeviceExist(stranger.hostPath()));
    first.unplug();
    EXPECT_FALSE(ports.isUsbHidDeviceExist(first.hostPath()));
}

TEST(DiscoveryTemplate, DefaultsFillOnlyListsLeftEmpty)
{
    CDiscoveryTemplate fresh;
    EXPECT_EQ(fresh.deviceInfoLevel, 1);
    EXPECT_EQ(fresh.modemSignalMask, 0xF0);
    EXPECT_EQ(fresh.maxCount, 0);
    fresh.setDefaultValues();
    EXPECT_EQ(fresh.baudRates, (std::vector<int>{115200, 9600, 38400, 57600, 19200}));
    EXPECT_EQ(fresh.dpsSettings, (std::vector<int>{2, 0}));
    EXPECT_EQ(fresh.interfaceTypes, (std::vector<int>{2, 3, 4, 1, 0}));
    EXPECT_EQ(fresh.interfaceUsages, (std::vector<int>{0, 1, 2}));
    const CDiscoveryTemplate once = fresh;
    fresh.setDefaultValues();
    EXPECT_EQ(fresh.baudRates, once.baudRates);
    EXPECT_EQ(fresh.interfaceTypes, once.interfaceTypes);

    CDiscoveryTemplate given;
    given.baudRates = {-1, -1};
    given.dpsSettings = {-1, 5, -1};
    given.interfaceTypes = {5, 5};
    given.interfaceUsages = {-1, 9600, -1};
    given.modemSignalMask = 0;
    given.namedPorts = {"COM1"};
    const CDiscoveryTemplate original = given;
    CDiscoveryTemplate copy = given;
    copy.setDefaultValues();
    EXPECT_EQ(copy.baudRates, (std::vector<int>{115200, 9600, 38400, 57600, 19200}));
    EXPECT_EQ(copy.dpsSettings, (std::vector<int>{5}));
    EXPECT_EQ(copy.interfaceTypes, (std::vector<int>{5, 5}));
    EXPECT_EQ(copy.interfaceUsages, (std::vector<int>{9600}));
    EXPECT_EQ(copy.modemSignalMask, 0);
    EXPECT_EQ(copy.namedPorts, (Names{"COM1"}));
    // The record the copy came from is untouched.
    EXPECT_EQ(given.baudRates, original.baudRates);
    EXPECT_EQ(given.dpsSettings, original.dpsSettings);
}
