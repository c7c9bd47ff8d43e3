// The SDK's public entry for opening one device that discovery found and
// for noticing when it goes away: connect picks a connector by the device's
// interface type, opens the port within a time budget, keeps a copy of the
// device record and starts a disconnect monitor that calls the caller's
// callback once when the device is lost.
//
// Results: 0 success (also a disconnect with nothing to do), 1 interface
// not connectible, 2 refused or failed after opening (and monitor
// operations without a fitting monitor), 3 time-out before connecting, 4
// not initialised; a connector's own code otherwise.
//
// Threads: connect, disconnect and isPortAvailable are serialised. The
// disconnect callback runs on a thread of the monitor's and may call
// disconnect (or destroy the connection after disconnect returned), also
// while the owner disconnects: no lock is held while the monitor is ended.
// The last-error text has a lock of its own.
#pragma once

#include "discovery/CDevice.h"
#include "discovery/CDisconnectMonitor.h"
#include "ports/InterfacePort.h"

#include "base/CCriticalSectionHolder.h"

#include "platform/types.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

class CDeviceConnector;

class CConnection {
public:
    CConnection();
    virtual ~CConnection();
    CConnection(const CConnection&) = delete;
    CConnection& operator=(const CConnection&) = delete;

    int initialize();
    int unInitialize();

    // `device` stays the caller's; `handle` receives the port's native
    // handle on success. `timeout` in ms.
    int connect(CDevice* device, HANDLE* handle, bool exclusive, bool breakSignal, DWORD timeout);
    int disconnect();
    // Stored for every later monitor too (also before the first connect);
    // `userData` comes back as the callback's first argument. A null
    // callback clears both: neither a later connection nor the running one
    // calls back with them once this has returned (the running monitor is
    // replaced; a serial monitor's mask starts again at 0xF0).
    int setDisconnectCallback(void* userData, DisconnectCallback callback);
    // Modem-signal mask of a serial monitor (0x10 CTS, 0x20 DSR, 0x40 RING,
    // 0x80 RLSD).
    int setMonitorMask(int mask);
    // Whether the port (a COM name or a HID path) can be opened now.
    int isPortAvailable(std::string port, bool* available);
    int getLastError(std::string& text);
    bool isConnected() const { return m_connected.load(); }
    // Whether the current (or last) connect asked for exclusive access.
    bool isExclusive() const { return m_exclusive.load(); }

    // The connected device's copy and port handle, for the data collection.
    CDevice* getDevice() const { return m_device; }
    HANDLE getHandle() const { return m_handle; }

private:
    bool preCheck(CDevice* device);
    // Called under m_lock.
    void startDeviceMonitor();
    // Forgets the callback and user data; a running monitor is replaced by
    // one without them.
    void clearDisconnectCallback();
    void setLastError(const std::string& text);
    int fail(const char* method, const std::string& text, int code, int bit);
    // Ends the monitor taken out of m_monitor; called without m_lock.
    static void endMonitor(CDisconnectMonitor* monitor);

    CDevice* m_device = nullptr;
    HANDLE m_handle = nullptr;
    void* m_userData = nullptr;
    DisconnectCallback m_callback = nullptr;
    std::string m_lastError;
    std::mutex m_lastErrorLock;
    bool m_breakSignal = false;
    std::atomic<bool> m_exclusive{false};
    CDisconnectMonitor* m_monitor = nullptr;
    InterfacePort* m_port = nullptr;
    std::atomic<bool> m_connected{false};
    std::atomic<bool> m_initialized{false};
    CDeviceConnector* m_connector = nullptr;
    // Guards the members above (not the text) for short steps; never held
    // while a monitor ends.
    std::unique_ptr<CCriticalSectionHolder> m_lock;
    // Serialises whole disconnects, so a port is let go only after its
    // monitor has ended; a callback may take it (the monitor's end never
    // waits for a callback).
    std::mutex m_disconnectSequence;
};
