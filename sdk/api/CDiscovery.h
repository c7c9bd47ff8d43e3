// The SDK's public entry for finding scanners: runs the device enumerators
// over the interface kinds a template asks for, in its order, until enough
// devices are found, the time budget runs out or the caller cancels; lists
// raw ports (physical COM ports, HID interfaces, openable serial ports)
// without probing devices.
//
// Results: 0 success, 1 time-out, 2 cancelled, 4 break method refused, 5
// port query failed, 6 internal failure (no mutex, inconsistent port lists,
// an exception thrown by an enumerator), 7 not initialised; an enumerator's
// own code otherwise. The outcome's text is read with getLastError.
//
// Threads: enumerate runs on the caller's thread, one at a time per object;
// cancelEnumerate may be called from any thread while it runs. The
// last-error text has a lock of its own, so the two never write it at once.
// Several discoveries may run at once, in one process or in several: each
// port is probed by one of them at a time (CProbeMark), the others wait for
// it, so each finds every scanner that no connection holds.
#pragma once

#include "api/CDiscoveryTemplate.h"
#include "ports/HidDeviceInfo.h"

#include "platform/sync.h"
#include "platform/types.h"

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

class CDevice;

class CDiscovery {
public:
    CDiscovery();
    virtual ~CDiscovery();
    CDiscovery(const CDiscovery&) = delete;
    CDiscovery& operator=(const CDiscovery&) = delete;

    int initialize();
    int unInitialize();

    // Appends the devices found to `devices` (the caller owns them, also
    // after a failure; null: the search runs and keeps nothing). `timeout`
    // in ms covers the wait for another enumerate on this object and the
    // whole search.
    int enumerate(CDiscoveryTemplate discoveryTemplate, std::vector<CDevice*>* devices, DWORD timeout);
    // Asks a running enumerate to stop; returns at once.
    int cancelEnumerate();
    int getLastError(std::string& text);

    // Appends "<port> - <friendly name>" per physical COM port.
    int getPhysicalComPorts(std::vector<std::string>* ports);
    std::vector<HidDeviceInfo> listUsbHidPorts();
    // The USB-serial (true) or RS-232 (false) ports that can be opened
    // exclusively now.
    std::vector<std::string> listSerialPorts(bool usbSerial);

private:
    void setLastError(const std::string& text);
    void appendLastError(const std::string& text);
    std::string lastError();
    // Sets the text and logs it as a failure of `method`.
    int fail(const char* method, const std::string& text, int code);
    void logTimeCost(DWORD startTick);

    CDiscoveryTemplate m_template;
    std::string m_lastError;
    std::mutex m_lastErrorLock;
    unsigned char m_cancelFlag = 0;  // through the CancelFlag.h helpers only
    HANDLE m_mutex = nullptr;
    std::atomic<bool> m_initialized{false};
};
