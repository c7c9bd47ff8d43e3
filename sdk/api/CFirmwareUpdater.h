// The SDK's public entry for updating a connected device's firmware: checks
// the connection (or a device record and its open port), loads the device's
// flash library from the caller's folder, and runs one update with progress
// reports and a cancel from another thread.
//
// Results: 0 success, 1 invalid connection or a failed step, 2 flash library
// missing or not loadable (intialize) or file refused as bad or
// incompatible (flashFirmware), 3 getFileVersion refused by the library,
// 4 the device is blocked by another update, 5 not initialised. Every
// operation leaves a text for getLastError.
//
// Threads: intialize, flashFirmware, getDllVersion and getFileVersion are
// serialised by a lock: one update per object at a time, and the version
// calls wait for a running update. cancelFlash, getLastError and
// unInitialize take no lock: a cancel reaches a running flash at once. Two
// updates of one device (from another object or process) are kept apart by
// the machine-wide device block; updates of two devices in one process run
// in turn. The progress callback runs on the thread inside flashFirmware.
#pragma once

#include "api/CFirmwareUpdaterTemplate.h"

#include "base/CCriticalSectionHolder.h"
#include "discovery/CDevice.h"

#include "platform/types.h"

#include "VXFLASH02.h"

#include <atomic>
#include <mutex>
#include <string>

class CConnection;
class CFirmwareUpdaterHelper;

class CFirmwareUpdater {
public:
    CFirmwareUpdater();
    virtual ~CFirmwareUpdater();
    CFirmwareUpdater(const CFirmwareUpdater&) = delete;
    CFirmwareUpdater& operator=(const CFirmwareUpdater&) = delete;

    // The connection must be connected with exclusive access; it stays the
    // caller's and is disconnected when the update begins.
    int intialize(CConnection* connection, CFirmwareUpdaterTemplate updaterTemplate);
    // `handle` points at the open handle of the device's port, which the
    // update closes; both stay the caller's and must outlive the update.
    int intialize(CDevice* device, HANDLE* handle, CFirmwareUpdaterTemplate updaterTemplate);
    // `user` comes back as the first argument of every progress callback.
    int flashFirmware(void* user, std::string firmwareFile);
    int cancelFlash();
    int getDllVersion(std::string& version);
    int getFileVersion(std::string firmwareFile, fileversion_type* version);
    int getLastError(std::string& text);
    int unInitialize();

private:
    void setLastError(const std::string& text);
    int fail(const char* method, const std::string& text, int code, int bit);
    // The worker's text becomes the facade's.
    int failWithWorkerText(const char* method, int code);

    CFirmwareUpdaterHelper* m_helper = nullptr;
    CCriticalSectionHolder* m_lock = nullptr;
    std::string m_lastError;
    std::mutex m_lastErrorLock;
    std::atomic<bool> m_initialized{false};
    // A connection's handle, kept here for the worker to point at.
    HANDLE m_connectionHandle = nullptr;
};
