// The device tree behind SetupAPI: COM-port and HID devices with their
// instance ids, device keys and descriptions, the filter driver's children,
// and CreateFile on their management paths.
#include "TestSupport.h"

#include "platform/error.h"
#include "platform/hid.h"
#include "platform/registry.h"
#include "platform/runtime.h"
#include "platform/setupapi.h"
#include "platform/sync.h"
#include "platform/file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/file.h>
#include <fstream>
#include <memory>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A descriptor file published the way a device publishes it: written under
// another name, locked, renamed into place, and held for the device's life.
class Descriptor {
public:
    Descriptor(const std::string& folder, const std::string& name, const std::string& text)
    {
        const std::string dir = platform::runtimeDirectory() + "/" + folder;
        fs::create_directories(dir);
        m_path = dir + "/" + name;
        const std::string temporary = dir + "/." + name + ".tmp";
        m_fd = ::open(temporary.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        EXPECT_EQ(::write(m_fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
        EXPECT_EQ(::flock(m_fd, LOCK_EX), 0);
        EXPECT_EQ(::rename(temporary.c_str(), m_path.c_str()), 0);
    }
    ~Descriptor() { unplug(); }
    void unplug()
    {
        if (m_fd < 0)
            return;
        ::unlink(m_path.c_str());
        ::close(m_fd);
        m_fd = -1;
    }

private:
    std::string m_path;
    int m_fd = -1;
};

std::string serialText(const std::string& kind, const std::string& extra = std::string())
{
    return "pty=/dev/null\ncontrol=/nonexistent\ndevice=" + kind + "\n" + extra;
}

std::string hidText(const std::string& extra = std::string())
{
    return "socket=none.sock\nvendorId=0x7a11\nproductId=0x0100\ninterface=1\nusagePage=0x8c\nusage=2\n"
           "inputLength=64\noutputLength=64\nfeatureLength=2\nproduct=Scanner\n" +
           extra;
}

struct Device {
    std::string instanceId;
    std::string path;
    std::string description;
    std::string portName;    // "" when the key has none
    std::string uniquifier;  // "" when the key has none
};

std::string keyText(HKEY key, const wchar_t* name)
{
    BYTE buffer[512] = {};
    DWORD size = sizeof buffer - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, buffer, &size) != ERROR_SUCCESS)
        return std::string();
    EXPECT_EQ(type, REG_SZ);
    std::string text;
    for (const auto* c = reinterpret_cast<const wchar_t*>(buffer); *c != 0; ++c)
        text.push_back(static_cast<char>(*c));
    return text;
}

// Every device of a class as SetupAPI shows it.
std::vector<Device> devicesOf(const GUID& interfaceClass)
{
    std::vector<Device> devices;
    HDEVINFO set = SetupDiGetClassDevsW(&interfaceClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    EXPECT_NE(set, INVALID_HANDLE_VALUE);
    for (DWORD i = 0;; ++i) {
        SP_DEVINFO_DATA info{};
        info.cbSize = sizeof info;
        if (!SetupDiEnumDeviceInfo(set, i, &info)) {
            EXPECT_EQ(GetLastError(), ERROR_NO_MORE_ITEMS);
            break;
        }
        Device device;
        char id[520] = {};
        EXPECT_TRUE(SetupDiGetDeviceInstanceIdA(set, &info, id, sizeof id, nullptr));
        device.instanceId = id;

        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        EXPECT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &interfaceClass, i, &data));
        char storage[1024] = {};
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage);
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        SP_DEVINFO_DATA owner{};
        owner.cbSize = sizeof owner;
        EXPECT_TRUE(SetupDiGetDeviceInterfaceDetailA(set, &data, detail, sizeof storage, nullptr, &owner));
        EXPECT_EQ(owner.DevInst, info.DevInst);  // one interface per device
        device.path = detail->DevicePath;

        char description[256] = {};
        DWORD type = 0;
        EXPECT_TRUE(SetupDiGetDeviceRegistryPropertyA(set, &info, SPDRP_DEVICEDESC, &type,
                                                      reinterpret_cast<BYTE*>(description), sizeof description,
                                                      nullptr));
        device.description = description;

        HKEY key = SetupDiOpenDevRegKey(set, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        EXPECT_NE(key, reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE));
        device.portName = keyText(key, L"PortName");
        device.uniquifier = keyText(key, L"Uniquifier");
        RegCloseKey(key);
        devices.push_back(device);
    }
    SetupDiDestroyDeviceInfoList(set);
    return devices;
}

const std::string kBus = "{91e7af5c-8de2-4342-806a-c87cd5541e9d}\\{2b78b334-a58f-4e88-8926-74aecf3219e8}\\";

class SysfsRoot {
public:
    SysfsRoot() { ::setenv("VX_SYSFS_ROOT", m_dir.path().c_str(), 1); }
    ~SysfsRoot() { ::unsetenv("VX_SYSFS_ROOT"); }
    // A 16550 port: ttySn with a device and a UART type.
    void addUart(const std::string& name)
    {
        const fs::path device = m_dir.path() / "devices" / "platform" / name;
        fs::create_directories(device);
        const fs::path tty = m_dir.path() / "class" / "tty" / name;
        fs::create_directories(tty);
        fs::create_symlink(device, tty / "device");
        std::ofstream(tty / "type") << "4\n";
    }

private:
    vxtest::TempDir m_dir;
};

}  // namespace

TEST(DeviceTree, ComPortClassListsEveryPortWithItsNameKeyAndDescription)
{
    SysfsRoot sysfs;
    sysfs.addUart("ttyS0");
    Descriptor plain("serial", "rs232.port", serialText("Serial"));
    Descriptor usb("serial", "usb.port", serialText("varnex_cdc_acmSerial"));
    Descriptor filtered("serial", "fd.port", serialText("Serial_ptvd", "uniquifier=42\n"));
    Descriptor cdc("serial", "fdcdc.port", serialText("Serial_ptvd", "filter-bus=usbcdc\n"));
    Descriptor other("serial", "vcp.port", serialText("VCP", "description=Other Maker Port\n"));

    const std::vector<Device> devices = devicesOf(GUID_DEVINTERFACE_COMPORT);
    ASSERT_EQ(devices.size(), 6u);
    // By COM number: the UART asks for COM1, the virtual ports follow in id
    // order (fd, fdcdc, rs232, usb, vcp).
    EXPECT_EQ(devices[0].portName, "COM1");
    EXPECT_EQ(devices[0].instanceId, "TTY\\TTYS0");
    EXPECT_EQ(devices[0].description, "Communications Port");
    EXPECT_EQ(devices[0].uniquifier, "");

    const auto byId = [&](const std::string& tail) -> const Device* {
        for (const Device& d : devices)
            if (d.instanceId.size() >= tail.size() && d.instanceId.compare(d.instanceId.size() - tail.size(),
                                                                              tail.size(), tail) == 0)
                return &d;
        return nullptr;
    };
    const Device* fd = byId("SERIAL\\VIRTUAL-FD");
    ASSERT_NE(fd, nullptr);
    EXPECT_EQ(fd->instanceId, kBus + "SERIAL\\VIRTUAL-FD");
    EXPECT_EQ(fd->uniquifier, "42");
    const Device* fdCdc = byId("USBCDC\\VIRTUAL-FDCDC");
    ASSERT_NE(fdCdc, nullptr);
    EXPECT_EQ(fdCdc->uniquifier, "1");
    const Device* rs232 = byId("VIRTUAL\\SERIAL\\RS232");
    ASSERT_NE(rs232, nullptr);
    EXPECT_EQ(rs232->description, "Communications Port");
    EXPECT_EQ(rs232->uniquifier, "");
    const Device* vcp = byId("VIRTUAL\\SERIAL\\VCP");
    ASSERT_NE(vcp, nullptr);
    EXPECT_EQ(vcp->description, "Other Maker Port");
    EXPECT_EQ(byId("VIRTUAL\\SERIAL\\USB")->description, "USB Serial Device");

    std::vector<std::string> names;
    for (const Device& d : devices)
        names.push_back(d.portName);
    EXPECT_EQ(names, (std::vector<std::string>{"COM1", "COM2", "COM3", "COM4", "COM5", "COM6"}));
}

TEST(DeviceTree, DeviceKeyFollowsTheDeviceAsItIsNow)
{
    SysfsRoot sysfs;
    // A port published again without its uniquifier loses the value.
    {
        Descriptor filtered("serial", "fd.port", serialText("Serial_ptvd"));
        ASSERT_EQ(devicesOf(GUID_DEVINTERFACE_COMPORT).at(0).uniquifier, "1");
    }
    Descriptor bare("serial", "fd.port", serialText("Serial_ptvd", "uniquifier=\n"));
    const auto devices = devicesOf(GUID_DEVINTERFACE_COMPORT);
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].portName, "COM1");
    EXPECT_EQ(devices[0].uniquifier, "");
}

TEST(DeviceTree, FilterDriverHidChildCarriesTheBusInItsIdAndPath)
{
    SysfsRoot sysfs;
    Descriptor plain("hid", "pos.hid", hidText());
    Descriptor child("hid", "qox.hid", hidText("filterDriver=1\nuniquifier=7\n"));
    GUID hidClass;
    HidD_GetHidGuid(&hidClass);
    const auto devices = devicesOf(hidClass);
    ASSERT_EQ(devices.size(), 2u);

    const Device& pos = devices[0].path.find("virtual-pos") != std::string::npos ? devices[0] : devices[1];
    const Device& qox = &pos == &devices[0] ? devices[1] : devices[0];
    EXPECT_EQ(pos.instanceId, "HID\\VID_7A11&PID_0100&MI_01\\VIRTUAL-POS");
    EXPECT_EQ(pos.path.find("vid_"), 8u);
    EXPECT_EQ(pos.uniquifier, "");

    EXPECT_EQ(qox.instanceId, kBus + "VID_7A11&PID_0100&MI_01\\VIRTUAL-QOX");
    EXPECT_GT(qox.path.find("vid_"), 20u);
    EXPECT_EQ(qox.path, "\\\\?\\{91e7af5c-8de2-4342-806a-c87cd5541e9d}#{2b78b334-a58f-4e88-8926-74aecf3219e8}#"
                        "vid_7a11&pid_0100&mi_01#virtual-qox#{4d1e55b2-f16f-11cf-88cb-001111000030}");
    EXPECT_EQ(qox.uniquifier, "7");

    // The interface opens by its own path in any case, and by its
    // management path in any case.
    for (const std::string& path :
         {qox.path, std::string("\\\\.\\{2CE3D77E-89EF-4EA6-9730-6FDF2A69508C}:VID_7A11&PID_0100&MI_01\\VIRTUAL-QOX7"),
          std::string("\\\\.\\{2ce3d77e-89ef-4ea6-9730-6fdf2a69508c}:vid_7a11&pid_0100&mi_01\\virtual-qox7")}) {
        HANDLE probe = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                   nullptr);
        EXPECT_NE(probe, INVALID_HANDLE_VALUE) << path;
        if (probe != INVALID_HANDLE_VALUE)
            CloseHandle(probe);
    }
    HANDLE missing = CreateFileA("\\\\.\\{2ce3d77e-89ef-4ea6-9730-6fdf2a69508c}:vid_7a11&pid_0100&mi_01\\virtual-qox8",
                                 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(missing, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(DeviceTree, SetIsASnapshotAndRejectsBadRecords)
{
    SysfsRoot sysfs;
    auto pos = std::make_unique<Descriptor>("hid", "pos.hid", hidText());
    GUID hidClass;
    HidD_GetHidGuid(&hidClass);
    HDEVINFO set = SetupDiGetClassDevsW(&hidClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    ASSERT_NE(set, INVALID_HANDLE_VALUE);
    pos->unplug();  // the set still shows it

    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    ASSERT_TRUE(SetupDiEnumDeviceInfo(set, 0, &info));
    DWORD needed = 0;
    wchar_t small[4] = {};
    EXPECT_FALSE(SetupDiGetDeviceInstanceIdW(set, &info, small, 4, &needed));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(needed, std::string("HID\\VID_7A11&PID_0100&MI_01\\VIRTUAL-POS").size() + 1);
    EXPECT_FALSE(SetupDiEnumDeviceInfo(set, 1, &info));
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_ITEMS);

    SP_DEVINFO_DATA wrong{};
    wrong.cbSize = sizeof wrong;
    wrong.DevInst = 5;
    EXPECT_EQ(SetupDiOpenDevRegKey(set, &wrong, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ),
              reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    ASSERT_TRUE(SetupDiEnumDeviceInfo(set, 0, &info));
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set, &info, 0x1F, nullptr, nullptr, 0, nullptr));
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
    EXPECT_FALSE(SetupDiEnumDeviceInfo(set, 0, &info));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}
