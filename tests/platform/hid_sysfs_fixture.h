// A fixture sysfs tree of hidraw interfaces in a temporary folder, laid out
// as the kernel lays it out (class/hidraw/<node>/device -> the HID device,
// below the USB interface and device that carry the ids and strings), and
// the enumeration pointed at it. A node's "device file" is a plain file:
// reading it gives its reports one after the other and then an end of file,
// which the layer takes for the device going away.
#pragma once

#include "TestSupport.h"

#include "platform/hid.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace vxtest {

using Bytes = std::vector<std::uint8_t>;

// Usage page 0x8C usage 2; input report 2, output report 0xFD, each 63
// data bytes; feature report 0xFE of one byte: lengths 64, 64 and 2.
inline Bytes scannerDescriptor(std::uint8_t usagePageLow = 0x8C, std::uint8_t usagePageHigh = 0x00)
{
    return {0x06, usagePageLow, usagePageHigh,  // usage page (two bytes)
            0x09, 0x02, 0xA1, 0x01,             // usage 2, application collection
            0x85, 0x02, 0x75, 0x08, 0x95, 0x3F, 0x09, 0x03, 0x81, 0x02,  // input, id 2
            0x85, 0xFD, 0x95, 0x3F, 0x09, 0x04, 0x91, 0x02,              // output, id 0xFD
            0x85, 0xFE, 0x95, 0x01, 0x09, 0x05, 0xB1, 0x02,              // feature, id 0xFE
            0xC0};
}

// A keyboard that does not number its reports: 8 input bytes, 1 output
// byte (the lights): lengths 9, 2 and 0.
inline Bytes keyboardDescriptor()
{
    return {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x75, 0x08, 0x95, 0x08, 0x05, 0x07, 0x19, 0xE0, 0x29, 0xFF,
            0x81, 0x00, 0x75, 0x01, 0x95, 0x08, 0x05, 0x08, 0x19, 0x01, 0x29, 0x08, 0x91, 0x02, 0xC0};
}

struct FixtureInterface {
    // The USB device's sysfs name (bus, then port chain); empty for a HID
    // device that is not on USB.
    std::string usbDevice = "1-2";
    unsigned interfaceNumber = 0;
    unsigned bus = 3;  // HID bus type (3 USB, 5 Bluetooth)
    std::uint16_t vendorId = 0x7A11;
    std::uint16_t productId = 0x0100;
    std::uint16_t release = 0x0123;
    Bytes descriptor = scannerDescriptor();
    std::optional<std::string> serial = "SN0001";
    std::optional<std::string> manufacturer = "Varnex";
    std::optional<std::string> product = "HID POS Scanner";
    // Non-USB devices: HID_NAME and HID_UNIQ of the uevent.
    std::string hidName;
    std::string hidUniq;
    // The device file's contents; none: no device file.
    std::optional<Bytes> node;
};

class HidSysfsFixture {
public:
    HidSysfsFixture()
    {
        platform::setHidSysfsRoot(sysfs().string());
        platform::setHidDeviceRoot(devices().string());
        std::filesystem::create_directories(sysfs() / "class" / "hidraw");
        std::filesystem::create_directories(devices());
    }
    ~HidSysfsFixture()
    {
        platform::setHidSysfsRoot("");
        platform::setHidDeviceRoot("");
    }
    HidSysfsFixture(const HidSysfsFixture&) = delete;
    HidSysfsFixture& operator=(const HidSysfsFixture&) = delete;

    std::filesystem::path sysfs() const { return m_dir.path() / "sys"; }
    std::filesystem::path devices() const { return m_dir.path() / "dev"; }

    // Adds one interface; answers its node name ("hidraw<n>").
    std::string add(const FixtureInterface& iface)
    {
        namespace fs = std::filesystem;
        const std::string node = "hidraw" + std::to_string(m_next++);
        char hidName[40];
        std::snprintf(hidName, sizeof hidName, "%04X:%04X:%04X.%04X", iface.bus, iface.vendorId, iface.productId,
                      m_next);
        fs::path hidDir;
        if (!iface.usbDevice.empty()) {
            const fs::path usb = sysfs() / "devices" / "pci0000:00" / "0000:00:14.0" / "usb1" / iface.usbDevice;
            fs::create_directories(usb);
            write(usb / "idVendor", hex4(iface.vendorId) + "\n");
            write(usb / "idProduct", hex4(iface.productId) + "\n");
            write(usb / "bcdDevice", hex4(iface.release) + "\n");
            if (iface.serial)
                write(usb / "serial", *iface.serial + "\n");
            if (iface.manufacturer)
                write(usb / "manufacturer", *iface.manufacturer + "\n");
            if (iface.product)
                write(usb / "product", *iface.product + "\n");
            char interface[16];
            std::snprintf(interface, sizeof interface, ":1.%u", iface.interfaceNumber);
            const fs::path usbInterface = usb / (iface.usbDevice + interface);
            fs::create_directories(usbInterface);
            char number[8];
            std::snprintf(number, sizeof number, "%02x\n", iface.interfaceNumber);
            write(usbInterface / "bInterfaceNumber", number);
            hidDir = usbInterface / hidName;
        } else {
            hidDir = sysfs() / "devices" / "virtual" / "misc" / "uhid" / hidName;
        }
        fs::create_directories(hidDir / "hidraw" / node);
        write(hidDir / "report_descriptor", std::string(iface.descriptor.begin(), iface.descriptor.end()));
        char id[40];
        std::snprintf(id, sizeof id, "%04X:%08X:%08X", iface.bus, iface.vendorId, iface.productId);
        write(hidDir / "uevent", "DRIVER=hid-generic\nHID_ID=" + std::string(id) + "\nHID_NAME=" + iface.hidName +
                                     "\nHID_PHYS=\nHID_UNIQ=" + iface.hidUniq + "\n");
        const fs::path classEntry = sysfs() / "class" / "hidraw" / node;
        fs::create_directory_symlink(hidDir / "hidraw" / node, classEntry);
        fs::create_directory_symlink(hidDir, hidDir / "hidraw" / node / "device");
        if (iface.node)
            write(devices() / node, std::string(iface.node->begin(), iface.node->end()));
        return node;
    }

    // Unplugs: the class entry and the device file go.
    void remove(const std::string& node)
    {
        std::filesystem::remove(sysfs() / "class" / "hidraw" / node);
        std::filesystem::remove(devices() / node);
    }

private:
    static std::string hex4(unsigned value)
    {
        char text[8];
        std::snprintf(text, sizeof text, "%04x", value);
        return text;
    }
    static void write(const std::filesystem::path& file, const std::string& bytes)
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << bytes;
    }

    TempDir m_dir;
    unsigned m_next = 0;
};

}  // namespace vxtest
