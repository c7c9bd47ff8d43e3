// The port for one USB HID interface: whole input and output reports moved
// with overlapped I/O, bounded by a read and a write time-out; feature
// reports; the input queue; removal. Its static operations list the HID
// interfaces present and read one interface's identity.
//
// Results: 0, 6 when the port is not opened, 5 for an open by handle on an
// opened port, 87 when the caller's buffer is shorter than the device's
// report (nothing is transferred), 997 for a read or write that timed out
// (count 0), 1167 once the device is gone, otherwise the platform's code of
// the failing call. A failed transfer always leaves the count 0.
//
// Threads: one read, one write and isDisconnected may run at the same time
// on one port (a receive thread, a writer, a disconnect monitor); each
// returns its own code and the last error is stored atomically. Two reads
// or two writes must not overlap, and open, close and the destructor must
// not run while anything else does.
#pragma once

#include "base/CLogRepeats.h"
#include "ports/HidDeviceInfo.h"
#include "ports/InterfacePort.h"

#include "platform/file.h"
#include "platform/hid.h"

#include <atomic>
#include <string>
#include <vector>

class CUsbHidPort : public InterfacePort {
public:
    // Shared, closed on destruction.
    CUsbHidPort();
    // `exclusive`: the port's own handle is opened with share mode 0, so no
    // other read/write open of the interface can exist beside it.
    explicit CUsbHidPort(bool exclusive);
    // `closeOnDestroy` false leaves the handles open after destruction, so
    // that the device handle can be handed to another owner.
    CUsbHidPort(bool exclusive, bool closeOnDestroy);
    ~CUsbHidPort() override;

    CUsbHidPort(const CUsbHidPort&) = delete;
    CUsbHidPort& operator=(const CUsbHidPort&) = delete;

    // Adopts a handle opened (for overlapped I/O) by another port; never
    // closes it.
    int open(HANDLE handle) override;
    // Opens an interface path. An opened port stays as it is and answers 0.
    int open(std::wstring path) override;
    int close() override;
    // Not offered at this level: answers 0 and leaves the text alone.
    int read(std::string& text) override;
    // One input report into `buffer`, which must hold the device's input
    // report length (`size` below it: 87).
    int read(unsigned char* buffer, int size, unsigned int* count) override;
    // One output report from `buffer`, which must hold the device's output
    // report length (`length` below it: 87).
    int write(const unsigned char* buffer, int length, unsigned int* count) override;
    // Empties the input queue.
    int flush() override;
    bool isOpened() override;
    int getLastError() override;
    // True when the port is closed or the device no longer answers.
    bool isDisconnected() override;
    HANDLE getHandle() override;

    // What the platform answers for the feature report; false when closed.
    bool setFeature(unsigned char* report, int length);
    // Milliseconds; taken at the next read or write.
    void setTimeout(DWORD readTimeout, DWORD writeTimeout);

    // The opened interface's identity; 6 when not opened (not stored).
    int GetDeviceInfo(HidDeviceInfo& info);
    // The identity of the interface at `path`, read through a probe open.
    static int GetDeviceInfo(std::wstring path, HidDeviceInfo& info);
    // Fills everything but `path`; leaves the record alone when the
    // attributes or capabilities cannot be read.
    static void GetDeviceInfoByHandle(HANDLE handle, HidDeviceInfo& info);
    // Every present interface that matches the non-zero filters and whose
    // attributes, capabilities and three strings can be read.
    static std::vector<HidDeviceInfo> listHidDevice(int vendorId, int productId, int usage, int usagePage);

    bool GetDeviceCapabilities(HANDLE* handle, HIDP_CAPS* caps);
    int PrepareForOverlappedTransfer(std::wstring path);

protected:
    // Logs `label` and the bytes as "%2x " each at the hex-dump bit.
    static void dumpBytes(const char* method, const char* label, const unsigned char* bytes, std::size_t count);
    int storeError(int code);
    bool isDeviceHandlePresent() const { return m_hDevice != nullptr; }

    // Failures that a gone device repeats on every poll, logged once each
    // with a count.
    CLogRepeats m_repeats;

private:
    bool createEvents();
    void closeEvents();
    // Finishes an overlapped transfer started on `overlapped`: waits up to
    // `timeout`, cancels on expiry and answers 0 (count set), 997 for a
    // time-out, or the transfer's own error.
    int finishTransfer(BOOL started, OVERLAPPED& overlapped, HANDLE event, DWORD timeout, DWORD& count,
                       bool reading);

    HANDLE m_hOverlapped = nullptr;
    HANDLE m_hDevice = nullptr;
    std::atomic<int> m_nLastError{0};
    HIDP_CAPS m_caps{};
    bool m_bOpened = false;
    std::wstring m_wsPath;
    HANDLE m_hReadEvent = nullptr;
    HANDLE m_hWriteEvent = nullptr;
    OVERLAPPED m_readOverlapped{};
    OVERLAPPED m_writeOverlapped{};
    bool m_bExclusive = false;
    bool m_bCloseOnDestroy = true;
    std::atomic<DWORD> m_dwReadTimeout{90};
    std::atomic<DWORD> m_dwWriteTimeout{150};
};
