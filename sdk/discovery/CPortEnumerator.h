// Which ports exist before any device is opened: serial ports from the live
// SERIALCOMM key, sorted into classes by the kernel device behind each one;
// the management ports behind the remote-management filter driver; the
// present COM-port interfaces with their descriptions; and the maker's USB
// HID interfaces.
//
// Stateless: every call builds fresh lists; callers make an instance on the
// stack for one question, on any thread. The calls are slow (registry,
// device tree, opening ports) and run on the caller's thread.
#pragma once

#include "ports/HidDeviceInfo.h"

#include <string>
#include <vector>

// The maker's two USB vendor ids come from the build (VX_MAKER_USB_VENDOR_IDS
// in the top-level CMakeLists.txt), shared with the simulated scanner's models.
#if !defined(VX_MAKER_USB_VENDOR_ID_1) || !defined(VX_MAKER_USB_VENDOR_ID_2)
#error "the maker's USB vendor ids are a build setting (VX_MAKER_USB_VENDOR_IDS)"
#endif

class CPortEnumerator {
public:
    // Port classes of enumerateCOM (bits of its mask).
    static constexpr int kStandardSerial = 0x1;
    static constexpr int kMakerUsbSerial = 0x2;
    static constexpr int kFilterDriverSerial = 0x4;
    static constexpr int kFilterDriverUsbSerial = 0x8;
    static constexpr int kOtherSerial = 0x20;

    static constexpr int kMakerVendorId1 = VX_MAKER_USB_VENDOR_ID_1;
    static constexpr int kMakerVendorId2 = VX_MAKER_USB_VENDOR_ID_2;

    CPortEnumerator() = default;
    virtual ~CPortEnumerator() = default;

    // The present COM-port interfaces whose "PortName" is "COM" and a number
    // (any letter case, kept as stored), with their descriptions, appended
    // in parallel. False (last error set, lists untouched) when the device
    // list cannot be made.
    virtual bool enumeratePhysicalCOM(std::vector<std::string>& names, std::vector<std::string>& descriptions);
    // The COM names of the SERIALCOMM values whose class bit is in `mask`,
    // in the key's value order, each at most once.
    virtual std::vector<std::string> enumerateCOM(int mask);
    virtual std::vector<std::string> enumerateSerialQZT();
    virtual std::vector<std::string> enumerateSerialOthers();
    // Ports of other drivers whose value name contains one of the patterns
    // (compared lower-cased); the name need not contain "\device\".
    virtual std::vector<std::string> enumerateSerialOthersWithPattern(std::vector<std::string> patterns);
    virtual std::vector<std::string> enumerateUsbSerialQZT();
    // The maker's HID interfaces: the first vendor id's, then the second's.
    virtual std::vector<HidDeviceInfo> enumerateUsbHid();
    virtual std::vector<std::string> enumerateUsbHidPath();
    // Filter-driver ports that do not sit on a port of another driver.
    virtual std::vector<std::string> enumerateFDSerial();
    virtual std::vector<std::string> enumerateFDSerialQOX();
    virtual std::vector<std::string> enumerateFDUsbSerial();
    virtual std::vector<std::string> enumerateFDUsbSerialQOX();
    // Filter-driver ports that sit on a port of another driver (each is
    // opened to ask the driver); opens nothing when no such port exists.
    virtual std::vector<std::string> enumerateFDSerialOthers();
    virtual std::vector<std::string> enumerateFDSerialOthersQOX();
    // Whether `path` is the path of a present maker's HID interface
    // (whole string, any letter case).
    virtual bool isUsbHidDeviceExist(std::string path);

    // Not empty and only the digits '0'-'9' (and ':' with `allowColon`).
    static bool isNumber(const std::wstring& text, bool allowColon);

private:
    // Walks SERIALCOMM: calls `accept` with each REG_SZ value's name and
    // data (lower-cased) and the data as stored; appends the stored data when
    // it answers true. A registry failure is logged at bit 0x8 under
    // `method`, with its code, and ends the walk.
    template <typename Accept>
    std::vector<std::string> walkSerialComm(const char* method, Accept accept);
    std::vector<std::string> qoxPortsOf(const std::vector<std::string>& ports);
};
