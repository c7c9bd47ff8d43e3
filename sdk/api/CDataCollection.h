// The SDK's public facade for collecting data from one connected device:
// adopts the connection's port handle (or opens the port itself), creates
// the connection's data processor, puts a line-of-business port behind the
// remote-management filter driver into the driver's wrapper mode, reads the
// device's decode-header setting and turns it on (mode 1) or switches the
// processor to raw (mode 0). Records then reach the caller's callback;
// menu commands go out with or without waiting for the reply. shutDown
// undoes what initialize changed and frees the processor and the port.
//
// Results (EDataCollectionReturn): 0 success, 1 bad parameter, 2 time-out,
// 3 not initialised, 4 internal failure, 5 port not opened or set-up
// failed; the processor's own codes pass through unchanged (5 write
// failed, 6 not in identify mode for sendMenuCmdSync).
//
// Threads: a lock serialises the operations; sendMenuCmdSync takes only the
// mutex, so one synchronous exchange runs at a time and never holds the
// lock; initialize and shutDown take the mutex and then the lock, so they
// never free or replace the port or processor under an exchange. The
// destructor waits for an exchange still under way. The last-error text
// has a lock of its own. The data callback runs on the processing thread
// and must not shut the collection down or switch its state.
#pragma once

#include "discovery/CDevice.h"
#include "ports/InterfacePort.h"
#include "products/SyncMenuChannel.h"
#include "protocol/CDataParser.h"
#include "protocol/CDataProcessor.h"
#include "protocol/CMenuData.h"

#include "base/CCriticalSectionHolder.h"
#include "base/CData.h"

#include "platform/types.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CConnection;

enum EDataCollectionReturn {
    EDCR_SUCCESS = 0,
    EDCR_PARAMETER = 1,
    EDCR_TIMEOUT = 2,
    EDCR_NOT_INITIALIZED = 3,
    EDCR_INTERNAL = 4,
    EDCR_PORT = 5,
};

class CDataCollection : public SyncMenuChannel {
public:
    CDataCollection();
    ~CDataCollection() override;
    CDataCollection(const CDataCollection&) = delete;
    CDataCollection& operator=(const CDataCollection&) = delete;

    // `mode` 1 identify with the decode header on, 0 raw; `timeout` bounds
    // each menu exchange of the set-up.
    int initialize(CConnection* connection, int mode, DWORD timeout);
    // `handle` (may be null: the port is opened from the device path) is
    // adopted, never closed here. `device` must outlive the collection's
    // initialised state.
    int initialize(CDevice* device, HANDLE handle, int mode, DWORD timeout);
    int shutDown();
    int setCallback(void* user, DataCallback callback);
    int setPattern(std::vector<std::string> patterns);
    static std::vector<std::string> getDefaultPattern();
    int getLastError(std::string& text);

    // `command` is written as given (SYN 'M' CR, the command, its mark).
    // The reply record belongs to the caller.
    CMenuData* sendMenuCmdSync(int* result, std::string command, DWORD timeout) override;
    int sendMenuCmdAsync(std::string command);
    // 0 raw, 1 identify.
    int switchProcessorState(int state);
    int getCurrentState();
    int flush();
    int getSubProductDetails(DWORD timeout);
    int getLibraryVersion(std::string& version);
    void injectData(CData* record);
    void getLocalBuff(std::string& buffer);

private:
    // Frees the processor, then the port; takes no lock.
    void deleteResource();
    int setUpEnv(CDevice* device, HANDLE handle);
    int openPort(CDevice* device, HANDLE handle, int* cts, int* xon, int* ack);
    int openSerialPort(const std::string& path, HANDLE handle);
    int openUsbHidPort(const std::string& path, HANDLE handle);
    // Keeps the new `port` (owned) as the port, adopting `handle` or else
    // opening `path`; a failure frees it and answers 5 with `failure`.
    int adoptPort(InterfacePort* port, const std::string& path, HANDLE handle, const char* method,
                  const char* failure);
    // The whole tear-down once the mutex is held.
    int shutDownHeld();
    // Switches the driver's wrapper mode off when initialize switched it on.
    bool restoreWrapper();

    // The steps the processor operations share: the success text, the
    // lock (held while `work` runs), the initialised check and the
    // processor; `work` returns its code and may write the text, which
    // becomes the last-error text when the code is not 0.
    using ProcessorWork = std::function<int(CDataProcessor& processor, std::string& text)>;
    int onProcessor(const char* method, const char* successText, const ProcessorWork& work);
    void setLastError(const std::string& text);
    int fail(const char* method, const std::string& text, int code);

    std::atomic<CDevice*> m_device{nullptr};
    std::atomic<InterfacePort*> m_port{nullptr};
    std::atomic<CDataProcessor*> m_processor{nullptr};
    std::atomic<int> m_currentState{1};
    HANDLE m_mutex = nullptr;
    std::atomic<bool> m_initialized{false};
    bool m_touchDecHdr = true;
    bool m_lobInterface = false;
    bool m_wrapperWasOn = false;
    std::string m_lastError;
    std::mutex m_lastErrorLock;
    std::unique_ptr<CCriticalSectionHolder> m_lock;
    int m_hidReadTimeout = 100;
    int m_decHdrAnswer = 0;
};
