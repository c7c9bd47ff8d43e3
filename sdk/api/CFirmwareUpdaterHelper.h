// The firmware update worker behind CFirmwareUpdater: checks the device
// record and the caller's open port, finds and loads the device's flash
// library ("<folder>/libVXFLASH0<flash type>.so"), hands the library its
// settings, and runs one update: the machine-wide device block
// "Global\QZT_DEVICE_BLOCK_<serial number>", a check that the device still
// answers, the port freed, HID feature report 254 = 1 around the flash for
// a point-of-sale HID device, the library's init string, the flash, and
// report 254 = 0.
//
// Threads: every operation runs on its caller's thread; the facade
// serialises them. The facade's cancel reaches the flash process directly.
// The last-error text has a lock of its own.
#pragma once

#include "api/CFirmwareUpdaterTemplate.h"
#include "api/CFlashProcess.h"

#include "discovery/CDevice.h"
#include "ports/InterfacePort.h"

#include "platform/types.h"

#include <mutex>
#include <string>

class CConnection;

class CFirmwareUpdaterHelper {
public:
    CFirmwareUpdaterHelper();
    // Takes `process` (owned; a test's own, say) in place of a new one.
    explicit CFirmwareUpdaterHelper(CFlashProcess* process);
    ~CFirmwareUpdaterHelper();
    CFirmwareUpdaterHelper(const CFirmwareUpdaterHelper&) = delete;
    CFirmwareUpdaterHelper& operator=(const CFirmwareUpdaterHelper&) = delete;

    // 0 ready, 1 failure, 2 flash library missing or not loadable. `handle`
    // points at the open handle of the device's port; the worker keeps the
    // pointer (and may close the handle it points at) until the next call.
    int initializeForUpdater(CDevice* device, HANDLE* handle, CFirmwareUpdaterTemplate updaterTemplate);
    // 0 flashed, 1 failure, 2 file refused as bad or incompatible, 4 the
    // device is blocked by another update. The port stays closed after it.
    int flashForUpdater(void* user, std::string firmwareFile);
    // The connection to disconnect before flashing (none: the handle is
    // closed instead); initializeForUpdater forgets it.
    void setConnection(CConnection* connection) { m_connection = connection; }

    bool preCheck(CDevice* device, HANDLE handle);
    bool setDebugInfo(int type, int level, const std::string& fileName);
    bool findDll(int flashType, const std::string& folder);
    bool setWin232(HANDLE handle);
    bool verifyDevice();
    bool pingDevice(InterfacePort* port, bool usbSerial);
    bool send254Report(unsigned char value);
    void closeDeviceHandle();
    // Opens the device's port again and stores its handle where the handle
    // pointer points, left open for the caller.
    bool getDeviceHandle();

    CFlashProcess* getFlashProcess() const { return m_flashProcess; }
    int getLastError(std::string& text);
    // The library path findDll chose and the port path handed to the
    // library.
    std::wstring flashLibraryPath() const { return m_dllPath; }
    std::wstring portPath() const { return m_portPath; }

private:
    bool verifyForSerialDevice(bool usbSerial);
    bool verifyForUsbHidDevice();
    bool getHandleFromSerial();
    bool getHandleFromUsbHid();
    void setLastError(const std::string& text);
    // Stores and logs (at `bit`) a failure of `method`; false.
    bool fail(const char* method, const std::string& text, int bit);
    // The flash process's text becomes the worker's, logged under `method`.
    void takeProcessError(const char* method);

    CConnection* m_connection = nullptr;
    int m_interfaceType = EIT_UNKNOWN;
    HANDLE* m_handle = nullptr;
    std::string m_lastError;
    std::mutex m_lastErrorLock;
    CFlashProcess* m_flashProcess = nullptr;
    int m_logTarget = 0;
    const std::wstring* m_logFileField = nullptr;
    int m_logLevel = 0;
    bool m_filterDriver = false;
    bool m_report254 = false;
    std::wstring m_protocolFile;
    std::wstring m_logFile;
    std::wstring m_firmwareFile;
    std::wstring m_dllPath;
    std::wstring m_portPath;
    std::string m_blockEventName;
};
