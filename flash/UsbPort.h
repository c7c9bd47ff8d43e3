// The flash library's USB HID port, on the platform layer's HID, SetupAPI
// and overlapped-file calls. A device is opened once as a probe (identity
// and capabilities) and twice more for reading and writing. Used on the
// engine's thread only.
#pragma once

#include "Log.h"

#include "platform/file.h"
#include "platform/hid.h"

#include <cstddef>
#include <cstdint>
#include <string>

#if !defined(VX_MAKER_USB_VENDOR_ID_1)
#error "the maker's USB vendor ids are a build setting (VX_MAKER_USB_VENDOR_IDS)"
#endif

// The maker's USB vendor id: a bootloader or application device of another
// vendor is refused.
constexpr std::uint16_t kFlashVendorId = VX_MAKER_USB_VENDOR_ID_1;

class Usb {
public:
    explicit Usb(Log* log) : m_log(log) {}
    virtual ~Usb();
    Usb(const Usb&) = delete;
    Usb& operator=(const Usb&) = delete;

    bool FindHidDevice(std::uint16_t vendorId, std::uint16_t productId, unsigned interfaceNumber,
                       bool matchInterface);
    bool OpenUSBPort(const std::string& path);
    // The same for a name as the host gave it; a name that names no file
    // (see FileNameText) is not opened.
    bool OpenUSBPort(const std::u16string& path);
    // Reads one input report into `buffer` without its report id, at most
    // `size` bytes (the rest of `buffer` zeroed); returns the bytes read
    // from the device (0 on time-out).
    std::size_t ReadReport(std::uint8_t* buffer, std::size_t size, DWORD timeoutMs);
    // Sends one output report (report id first), zero-padded to the
    // device's output length; waits at most 5000 ms.
    std::size_t WriteReport(const std::uint8_t* bytes, std::size_t count);
    void Close();
    bool isOpen() const { return m_open; }
    const HIDP_CAPS& caps() const { return m_caps; }

private:
    bool PrepareForOverlappedTransfer(const std::string& path);

    Log* m_log;
    bool m_open = false;
    HANDLE m_device = INVALID_HANDLE_VALUE;
    HANDLE m_read = INVALID_HANDLE_VALUE;
    HANDLE m_write = INVALID_HANDLE_VALUE;
    HANDLE m_readEvent = nullptr;
    HANDLE m_writeEvent = nullptr;
    OVERLAPPED m_readOverlapped{};
    OVERLAPPED m_writeOverlapped{};
    HIDP_CAPS m_caps{};
    std::string m_detailPath;
    std::uint8_t m_outBuffer[265] = {};
};
