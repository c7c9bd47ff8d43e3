// The COM table and the SERIALCOMM view: real ports from a sysfs fixture
// tree, virtual ports from the runtime directory, numbers that stay.
#include "DebugCapture.h"
#include "SerialTestPeer.h"
#include "TestSupport.h"

#include "platform/debug.h"
#include "platform/registry.h"
#include "platform/serial.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>

namespace fs = std::filesystem;

namespace {

using vxtest::SerialTestPeer;

// A sysfs tree with class/tty entries pointing into devices/, as the kernel
// lays it out.
class SysfsTree {
public:
    SysfsTree() { ::setenv("VX_SYSFS_ROOT", m_dir.path().c_str(), 1); }

    // A tty whose device sits at devices/<devicePath>, bound to `driver`.
    void addTty(const std::string& name, const std::string& devicePath, const std::string& driver,
                const std::map<std::string, std::string>& files = {},
                const std::map<std::string, std::string>& parentFiles = {})
    {
        const fs::path device = m_dir.path() / "devices" / devicePath;
        fs::create_directories(device);
        const fs::path drivers = m_dir.path() / "bus" / "drivers" / driver;
        fs::create_directories(drivers);
        fs::remove(device / "driver");
        fs::create_symlink(drivers, device / "driver");
        for (const auto& [file, text] : parentFiles)
            std::ofstream(device.parent_path() / file) << text << "\n";
        const fs::path tty = m_dir.path() / "class" / "tty" / name;
        fs::create_directories(tty);
        fs::create_symlink(device, tty / "device");
        for (const auto& [file, text] : files)
            std::ofstream(tty / file) << text << "\n";
    }
    // A tty without a device (a virtual console).
    void addConsole(const std::string& name) { fs::create_directories(m_dir.path() / "class" / "tty" / name); }
    void remove(const std::string& name) { fs::remove_all(m_dir.path() / "class" / "tty" / name); }

private:
    vxtest::TempDir m_dir;
};

std::map<std::string, std::string> serialComm()
{
    std::map<std::string, std::string> values;
    for (const auto& [name, com] : platform::serialCommValues())
        values[name] = com;
    return values;
}

TEST(SerialComTable, RealPortsAreNamedByTheirKindAndKeepTheirNumbers)
{
    ::setenv("VX_MAKER_USB_VENDORS", "1a2b", 1);
    SysfsTree sys;
    sys.addConsole("tty1");
    sys.addTty("ttyS0", "pnp0/00:01/00:01:0/00:01:0.0", "port", {{"type", "4"}});
    sys.addTty("ttyS1", "pnp0/00:02/00:02:0/00:02:0.0", "port", {{"type", "0"}});  // an empty UART slot
    sys.addTty("ttyUSB0", "pci0/usb1/1-1/1-1:1.0/ttyUSB0", "ftdi_sio");
    sys.addTty("ttyACM0", "pci0/usb1/1-2/1-2:1.0", "cdc_acm", {}, {{"idVendor", "1a2b"}});
    sys.addTty("ttyACM1", "pci0/usb1/1-3/1-3:1.0", "cdc_acm", {}, {{"idVendor", "0403"}});

    // ttyS0 asks for COM1; the others take the lowest free numbers in the
    // order the folder lists them, so compare as a set.
    const auto values = serialComm();
    ASSERT_EQ(values.size(), 4u);
    EXPECT_EQ(values.at("\\Device\\Serial0"), "COM1");
    std::map<std::string, int> kinds;
    for (const auto& [name, com] : values) {
        const std::string number = std::to_string(std::stoi(com.substr(3)) - 1);
        ASSERT_EQ(name.substr(name.size() - number.size()), number) << name << " " << com;
        kinds[name.substr(0, name.size() - number.size())]++;
    }
    EXPECT_EQ(kinds, (std::map<std::string, int>{{"\\Device\\Serial", 1},
                                                 {"\\Device\\ftdi_sio", 1},
                                                 {"\\Device\\varnex_cdc_acmSerial", 1},
                                                 {"\\Device\\cdc_acm", 1}}));

    // A port that goes away keeps its number for when it comes back; a new
    // port does not take it.
    const std::string usbCom = [&] {
        for (const auto& p : platform::listSerialPorts())
            if (p.devicePath == "/dev/ttyUSB0")
                return p.comName;
        return std::string();
    }();
    ASSERT_FALSE(usbCom.empty());
    sys.remove("ttyUSB0");
    sys.addTty("ttyUSB1", "pci0/usb1/1-4/1-4:1.0/ttyUSB1", "pl2303");
    for (const auto& p : platform::listSerialPorts())
        EXPECT_NE(p.comName, usbCom) << p.devicePath;
    sys.remove("ttyUSB1");
    sys.addTty("ttyUSB0", "pci0/usb1/1-1/1-1:1.0/ttyUSB0", "ftdi_sio");
    bool found = false;
    for (const auto& p : platform::listSerialPorts())
        if (p.devicePath == "/dev/ttyUSB0") {
            EXPECT_EQ(p.comName, usbCom);
            EXPECT_FALSE(p.isVirtual);
            found = true;
        }
    EXPECT_TRUE(found);
}

TEST(SerialComTable, VirtualPortsTakeTheKindTheirDevicePresents)
{
    SysfsTree sys;  // no real ports
    SerialTestPeer rs232("scanner-a", "Serial");
    SerialTestPeer usb("scanner-b", "varnex_cdc_acmSerial");
    SerialTestPeer filter("scanner-c", "Serial_ptvd");
    SerialTestPeer other("scanner-d", "VCP");

    const auto values = serialComm();
    EXPECT_EQ(values, (std::map<std::string, std::string>{{"\\Device\\Serial0", "COM1"},
                                                          {"\\Device\\varnex_cdc_acmSerial1", "COM2"},
                                                          {"\\Device\\Serial_ptvd2", "COM3"},
                                                          {"\\Device\\VCP3", "COM4"}}));
    for (const auto& p : platform::listSerialPorts())
        EXPECT_TRUE(p.isVirtual);

    // Unplugged: gone from the view. Back under the same id, even with a new
    // pty: the same number.
    usb.hangUp();
    EXPECT_EQ(serialComm().count("\\Device\\varnex_cdc_acmSerial1"), 0u);
    SerialTestPeer usbAgain("scanner-b", "varnex_cdc_acmSerial");
    EXPECT_EQ(serialComm().at("\\Device\\varnex_cdc_acmSerial1"), "COM2");
}

TEST(SerialComTable, NumbersSurviveANewRunOfTheProcess)
{
    SysfsTree sys;
    {
        SerialTestPeer a("first");
        SerialTestPeer b("second");
        ASSERT_EQ(serialComm().size(), 2u);
    }
    // A later run finds only the second device: it keeps COM2, and a new
    // device does not get the first one's COM1.
    SerialTestPeer b("second");
    SerialTestPeer c("third");
    const auto values = serialComm();
    EXPECT_EQ(values, (std::map<std::string, std::string>{{"\\Device\\Serial1", "COM2"},
                                                          {"\\Device\\Serial2", "COM3"}}));
    EXPECT_TRUE(fs::exists(fs::path(platform::registryPath()).parent_path() / "serial-ports"));
}

TEST(SerialComTable, DescriptorsOfDeadOrBrokenDevicesAreIgnored)
{
    SysfsTree sys;
    const std::string dir = platform::runtimeDirectory() + "/serial";
    fs::create_directories(dir);
    // Nobody holds the lock of this one: its device died.
    std::ofstream(dir + "/dead.port") << "pty=/dev/pts/999\ncontrol=" << dir << "/dead.sock\ndevice=Serial\n";
    // Alive, but naming a kind with characters a kernel-device name cannot
    // have, or no pty.
    const std::string broken[] = {"pty=/dev/pts/998\ncontrol=/x\ndevice=Ser ial\n", "control=/x\ndevice=Serial\n"};
    std::vector<int> locks;
    for (std::size_t i = 0; i < std::size(broken); ++i) {
        const std::string path = dir + "/broken" + std::to_string(i) + ".port";
        std::ofstream(path) << broken[i];
        locks.push_back(::open(path.c_str(), O_RDONLY));
        ASSERT_EQ(::flock(locks.back(), LOCK_EX), 0);
    }
    SerialTestPeer live("live");
    const auto values = serialComm();
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values.begin()->second, "COM1");
    for (int fd : locks)
        ::close(fd);
}

TEST(SerialComTable, ComNamesResolveOnlyInTheirPlainForm)
{
    SysfsTree sys;
    SerialTestPeer live("live");
    COMMCONFIG config{};
    DWORD size = sizeof config;
    EXPECT_TRUE(GetDefaultCommConfigA("COM1", &config, &size));
    EXPECT_TRUE(GetDefaultCommConfigA("com1", &config, &size));
    for (const char* name : {"COM01", "COM", "COM1A", "LPT1", "COM2"}) {
        EXPECT_FALSE(GetDefaultCommConfigA(name, &config, &size)) << name;
        const std::string path = std::string("\\\\.\\") + name;
        EXPECT_EQ(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE)
            << path;
    }
}

// What a reader of HKLM\HARDWARE\DEVICEMAP\SERIALCOMM sees, value by value.
std::vector<std::pair<std::string, std::string>> readSerialCommKey()
{
    std::vector<std::pair<std::string, std::string>> values;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return values;
    DWORD maxName = 0;
    DWORD maxData = 0;
    EXPECT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName, &maxData,
                               nullptr, nullptr),
              ERROR_SUCCESS);
    for (DWORD i = 0;; ++i) {
        char name[1024] = {};
        BYTE data[1024] = {};
        DWORD nameSize = maxName + 1;
        DWORD dataSize = maxData;
        DWORD type = 0;
        if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data, &dataSize) != ERROR_SUCCESS)
            break;
        EXPECT_EQ(type, REG_SZ);
        values.emplace_back(name, reinterpret_cast<const char*>(data));
    }
    RegCloseKey(key);
    return values;
}

TEST(SerialComTable, TheRegistryKeyIsALiveView)
{
    SysfsTree sys;
    auto a = std::make_unique<SerialTestPeer>("a", "Serial");
    SerialTestPeer b("b", "Serial_ptvd");
    EXPECT_EQ(readSerialCommKey(), (std::vector<std::pair<std::string, std::string>>{
                                       {"\\Device\\Serial0", "COM1"}, {"\\Device\\Serial_ptvd1", "COM2"}}));
    a.reset();
    EXPECT_EQ(readSerialCommKey(),
              (std::vector<std::pair<std::string, std::string>>{{"\\Device\\Serial_ptvd1", "COM2"}}));
    // Any spelling of the key is the view.
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "hardware\\devicemap\\serialcomm", 0, KEY_QUERY_VALUE, &key),
              ERROR_SUCCESS);
    char data[32] = {};
    DWORD size = sizeof data;
    DWORD type = 0;
    EXPECT_EQ(RegQueryValueExA(key, "\\Device\\Serial_ptvd1", nullptr, &type, reinterpret_cast<BYTE*>(data), &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(data, "COM2");
    EXPECT_EQ(size, 5u);
    RegCloseKey(key);
}

}  // namespace

namespace {


// With all 255 numbers taken, a new port gets the number of the port that
// has been gone the longest (a table line of an older layer, without a
// time, counts as gone longest of all); a port present now keeps its own.
TEST(SerialComTable, AFullTableGivesANewPortTheNumberGoneLongest)
{
    SysfsTree sys;
    const std::string table = (fs::path(platform::registryPath()).parent_path() / "serial-ports").string();
    {
        std::ofstream out(table);
        for (int n = 1; n <= 255; ++n) {
            if (n == 200)
                out << "200 virtual:legacy\n";
            else if (n == 5)
                out << "5 virtual:present\t50\n";  // the oldest time, but here now
            else
                out << n << " virtual:gone-" << n << "\t" << (n == 17 ? 100 : 1000 + n) << "\n";
        }
    }
    vxtest::DebugCapture debug;
    SerialTestPeer present("present");
    SerialTestPeer first("first");
    EXPECT_EQ(serialComm(), (std::map<std::string, std::string>{{"\\Device\\Serial4", "COM5"},
                                                                {"\\Device\\Serial199", "COM200"}}));
    SerialTestPeer second("second");
    EXPECT_EQ(serialComm(), (std::map<std::string, std::string>{{"\\Device\\Serial4", "COM5"},
                                                                {"\\Device\\Serial16", "COM17"},
                                                                {"\\Device\\Serial199", "COM200"}}));
    EXPECT_EQ(debug.with("COM table").size(), 2u);
    EXPECT_EQ(debug.with("COM200 of virtual:legacy (last seen at 0) now names virtual:first").size(), 1u);
    EXPECT_EQ(debug.with("COM17 of virtual:gone-17 (last seen at 100) now names virtual:second").size(), 1u);

    // The table keeps the new owners, and a later listing agrees.
    const std::string text = vxtest::readFile(table);
    EXPECT_NE(text.find("17 virtual:second\t"), std::string::npos);
    EXPECT_EQ(text.find("virtual:gone-17\t"), std::string::npos);
    EXPECT_EQ(text.find("virtual:legacy"), std::string::npos);
    EXPECT_EQ(serialComm().size(), 3u);
}

}  // namespace
