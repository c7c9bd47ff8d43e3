// HID interfaces inside the layer: what both backends (hidraw in
// platform/linux, sockets in platform/virtual) provide, and what the handle
// object of hid.cpp builds on.
//
// A backend lists its interfaces (HidInterface: identity plus how to reach
// the device) and opens a connection to one (HidTransport). hid.cpp does the
// rest the same way for both: paths, sharing, the per-handle input queue,
// overlapped reads, removal.
#pragma once

#include "linux/internal/hid_descriptor.h"
#include "platform/hid.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct HidIdentity {
    std::string path;  // as listed (lower case)
    USHORT vendorId = 0;
    USHORT productId = 0;
    USHORT versionNumber = 0;
    HidReportLayout layout;
    // False when the report descriptor could not be read or parsed: the
    // interface is listed, but HidD_GetPreparsedData fails on it.
    bool layoutKnown = true;
    // Absent: the device has no such string (the string call fails).
    std::optional<std::wstring> serialNumber;
    std::optional<std::wstring> manufacturer;
    std::optional<std::wstring> product;
};

// One open connection to a device. Used by one handle: receive only from
// that handle's reader thread; the other calls from any thread, at the same
// time as receive.
class HidTransport {
public:
    virtual ~HidTransport() = default;

    // A descriptor that poll() reports readable (or hung up) when receive
    // has something to do.
    virtual int pollDescriptor() const = 0;

    enum class Received { nothing, report, gone };
    // Takes what the device sent. `report` receives an input report exactly
    // InputReportByteLength long, report-id byte first. `gone`: the device
    // went away; the transport is dead from then on.
    virtual Received receive(std::vector<BYTE>& report) = 0;

    // Each answers 0 or the error code.
    virtual DWORD sendOutputReport(const BYTE* report, std::size_t length) = 0;
    virtual DWORD setFeature(const BYTE* report, std::size_t length) = 0;
    virtual DWORD getFeature(BYTE* report, std::size_t length) = 0;
    // A device request (DeviceIoControl) with its input bytes; `out` gets
    // at most `outSize` bytes of the answer. Only a device behind the
    // remote-management filter driver knows any: the default refuses.
    virtual DWORD deviceRequest(DWORD /*code*/, const BYTE* /*in*/, std::size_t /*inSize*/, std::vector<BYTE>& /*out*/,
                                std::size_t /*outSize*/)
    {
        return ERROR_INVALID_FUNCTION;
    }
};

class HidInterface {
public:
    virtual ~HidInterface() = default;
    HidIdentity identity;

    // Whether the device is still there (what a probe handle answers).
    virtual bool present() const = 0;
    // A new connection; null with the last error set.
    virtual std::unique_ptr<HidTransport> connect() const = 0;
};

using HidInterfaces = std::vector<std::shared_ptr<HidInterface>>;

// The interfaces of each backend, sorted by path.
HidInterfaces listHidrawInterfaces();
HidInterfaces listVirtualHidInterfaces();

// Every present interface: the real ones, then the virtual ones.
HidInterfaces listHidInterfaces();

// The interface whose path equals `path` ignoring letter case, or null.
std::shared_ptr<HidInterface> findHidInterface(const std::string& path);

// "\\?\hid#vid_%04x&pid_%04x&mi_%02x#<location>#{hid class}", lower case.
std::string makeHidPath(USHORT vendorId, USHORT productId, unsigned interfaceNumber, const std::string& location);

// Lower-case ASCII copy.
std::string lowerCase(std::string text);

// UTF-8 text (as sysfs and the virtual descriptor files hold it) as a wide
// string; a malformed byte stands for itself.
std::wstring wideFromUtf8(const std::string& text);

}  // namespace platform
