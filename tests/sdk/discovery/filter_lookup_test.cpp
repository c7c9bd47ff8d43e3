// Management ports behind the filter driver: the serial lookup by COM name,
// the HID lookup by interface path and the list of HID children.
#include "TestSupport.h"

#include "discovery/CSerialFilterDriver.h"
#include "discovery/CUsbHidFilterDriver.h"
#include "ports/CSerialPort.h"

#include "platform/runtime.h"
#include "simulator/virtual_serial_port.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/file.h>
#include <unistd.h>
#include <vector>

namespace {

// A descriptor published as a device does; the test plays the device.
class Published {
public:
    Published(const std::string& folder, const std::string& file, const std::string& text)
    {
        const std::string dir = platform::runtimeDirectory() + "/" + folder;
        std::filesystem::create_directories(dir);
        m_path = dir + "/" + file;
        const std::string temporary = dir + "/." + file + ".tmp";
        m_fd = ::open(temporary.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        EXPECT_EQ(::write(m_fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
        EXPECT_EQ(::flock(m_fd, LOCK_EX), 0);
        EXPECT_EQ(::rename(temporary.c_str(), m_path.c_str()), 0);
    }
    ~Published()
    {
        ::unlink(m_path.c_str());
        ::close(m_fd);
    }

private:
    std::string m_path;
    int m_fd = -1;
};

std::string port(const std::string& kind, const std::string& extra = std::string())
{
    return "pty=/dev/null\ncontrol=/nonexistent\ndevice=" + kind + "\n" + extra;
}

std::string hid(unsigned interface, const std::string& extra = std::string())
{
    return "socket=x.sock\nvendorId=0x7a11\nproductId=0x0100\nusagePage=0x8c\nusage=2\ninterface=" +
           std::to_string(interface) + "\n" + extra;
}

const std::string kHead = "\\\\.\\{2ce3d77e-89ef-4ea6-9730-6fdf2a69508c}:";

class FilterLookup : public ::testing::Test {
protected:
    FilterLookup() { ::setenv("VX_SYSFS_ROOT", m_sysfs.path().c_str(), 1); }
    ~FilterLookup() override { ::unsetenv("VX_SYSFS_ROOT"); }
    vxtest::TempDir m_sysfs;
};

}  // namespace

TEST_F(FilterLookup, SerialLookupFindsTheChildByItsPortNameInAnyCase)
{
    Published plain("serial", "a-rs232.port", port("Serial"));
    Published child("serial", "b-fd.port", port("Serial_ptvd", "uniquifier=0042\n"));
    Published withoutUniquifier("serial", "c-fd.port", port("Serial_ptvd", "uniquifier=\n"));
    // A port whose device claims a uniquifier but whose id is too short to
    // carry the driver's bus: no management port, and no exception.
    Published shortId("serial", "d-odd.port", port("Serial", "instance-id=ACPI\\PNP0501\\1\nuniquifier=1\n"));

    struct Case {
        std::string name;
        std::string expected;
    };
    const Case cases[] = {
        {"COM2", kHead + "serial\\virtual-b-fd0042"},
        {"com2", kHead + "serial\\virtual-b-fd0042"},
        {"COM1", ""},   // no filter-driver child, no uniquifier
        {"COM3", ""},   // the child has no uniquifier value
        {"COM4", ""},   // an id shorter than the bus
        {"COM99", ""},  // no such port
        {"", ""},
    };
    for (const Case& c : cases) {
        CSerialFilterDriver driver;
        EXPECT_EQ(driver.getFDQoxPort(c.name), c.expected) << c.name;
    }
}

TEST_F(FilterLookup, ManagementPathOpensTheManagementPortInAnyCase)
{
    vxsim::SerialModel model = *vxsim::findSerialModel("filter-rs232");
    model.wireTime = false;
    vxsim::VirtualSerialPort device(model, "fd");
    ASSERT_TRUE(device.plug()) << device.lastError();
    std::string path = CSerialFilterDriver().getFDQoxPort("COM1");
    ASSERT_EQ(path, kHead + "serial\\virtual-fd1");
    // The connector upper-cases the path before it opens it.
    for (char& c : path)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    CSerialPort serial;
    ASSERT_EQ(serial.open(std::wstring(path.begin(), path.end())), 0);
    EXPECT_TRUE(vxtest::waitUntil([&] { return device.managementConnected(); }));
    serial.close();
}

TEST_F(FilterLookup, HidChildrenAreListedInOrderUntilOneLacksItsUniquifier)
{
    Published pos("hid", "a-pos.hid", hid(0));
    Published first("hid", "b-qox.hid", hid(1, "filterDriver=1\nuniquifier=1\n"));
    Published second("hid", "c-qox.hid", hid(2, "filterDriver=1\nuniquifier=22\n"));
    const std::string firstQox = kHead + "VID_7A11&PID_0100&MI_01\\VIRTUAL-B-QOX1";
    const std::string secondQox = kHead + "VID_7A11&PID_0100&MI_02\\VIRTUAL-C-QOX22";
    EXPECT_EQ(CUsbHidFilterDriver::listQoxHidDevice(), (std::vector<std::string>{firstQox, secondQox}));

    const std::string childPath =
        "\\\\?\\{91e7af5c-8de2-4342-806a-c87cd5541e9d}#{2b78b334-a58f-4e88-8926-74aecf3219e8}#"
        "vid_7a11&pid_0100&mi_02#virtual-c-qox#{4d1e55b2-f16f-11cf-88cb-001111000030}";
    std::string upper = childPath;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(CUsbHidFilterDriver().getFDQoxPort(childPath), secondQox);
    EXPECT_EQ(CUsbHidFilterDriver().getFDQoxPort(upper), secondQox);
    // A HID interface that is no filter-driver child is never matched.
    EXPECT_EQ(CUsbHidFilterDriver().getFDQoxPort(
                  "\\\\?\\hid#vid_7a11&pid_0100&mi_00#virtual-a-pos#{4d1e55b2-f16f-11cf-88cb-001111000030}"),
              "");

    // A child without its value ends the list there.
    Published broken("hid", "b-qoy.hid", hid(1, "filterDriver=1\nuniquifier=\n"));
    EXPECT_EQ(CUsbHidFilterDriver::listQoxHidDevice(), (std::vector<std::string>{firstQox}));
}
