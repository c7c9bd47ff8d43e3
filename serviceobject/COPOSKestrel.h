// The service object's one road into the scanning SDK (one instance per
// process): finds the configured scanner through discovery, connects it,
// sets up data collection with its own data callback, sends menu commands
// (framed SYN 'M' CR unless raw), and turns every record the SDK delivers
// into work for the scanner's event queue. It also reads the debug and SDK
// log settings and the reconnection poll period, and owns the debug output.
//
// Results: 0 success, 3 no data collection, 1001 discovery failed or found
// nothing, 1005 port type not supported, another port already connected,
// no device found or connection failed, 1006 command refused, 1012 SDK
// object missing or not set up (or a break probe asked for); the SDK's own
// codes from SwitchProcessorState and ShutDownDataCollection.
//
// Threads: COM threads, the reconnection and firmware threads and the
// SDK's processing thread (the data callback) call in. One lock covers
// creating, using and deleting the connection and the data collection, both
// sends included, so no thread frees them under another; the data callback
// never takes it (shutting the collection down waits for the callback). A
// discovery runs under a lock of its own, so CancelEnumerate can stop it
// from another thread. The in-use and connected flags are atomic.
#pragma once

#include "CConDescriptor.h"

#include "api/CDiscoveryTemplate.h"
#include "discovery/CDisconnectMonitor.h"

#include "platform/types.h"

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

class CConnection;
class CData;
class CDataCollection;
class CDevice;
class CDiscovery;
class CScannerDataQ;
class ZRIDbgBase;

class COPOSKestrel {
public:
    // The process's instance, created on first use.
    static COPOSKestrel* GetInstance();
    // Deletes the instance; the next GetInstance makes a new one.
    static void ReleaseInstance();

    virtual ~COPOSKestrel();
    COPOSKestrel(const COPOSKestrel&) = delete;
    COPOSKestrel& operator=(const COPOSKestrel&) = delete;

    // Debug settings from the registry key (below HKEY_LOCAL_MACHINE), or
    // given as texts by a program bound to the exported interface. Nothing
    // happens once a debug output exists.
    void InitDebugger(const char* keyPath);
    void InitDebuggerFromSettings(const char* debugType, const char* logFile, const char* fwDebugLevel,
                                  const char* fwDebugType, const char* fwDebugFile, const char* fwProtocolFile,
                                  const char* sdkDebugLevel);
    void ReadPollFrequency();
    // 250 and above taken, above 9999 as 10000; below 250 ignored.
    void SetPollFrequency(unsigned milliseconds);
    unsigned GetPollFrequency() const { return m_pollPeriod.load(); }
    void Trace(const char* text);

    // Hands out the debug output (owned here) and sets the SDK log level.
    int Open(ZRIDbgBase** debug);
    // Forgets the device and the discovery, unless the device is in use.
    void Close();

    int Enumerate(const CConDescriptor* descriptor, int autoDetect, int timeout);
    int CancelEnumerate();
    int Connect(int timeout, bool breakProbe);
    int setDisconnectCallBack();
    int InitializeDataCollection();
    // Always 0; does nothing while the device is in use.
    int DisConnect();
    int ShutDownDataCollection();
    int SwitchProcessorState(int state);
    int SendMenuCmdASynch(const std::string& command, int raw);
    int SendMenuCmdSynch(const std::string& command, std::string* response, int timeout, int raw);
    int ReConnect();
    int UpgradeFirmware(const std::string& fileName);

    // The data callback registered with the data collection; `user` is the
    // instance that registered it.
    static void SdkDataCallBack(void* user, CData* record);
    // Takes ownership of `record`.
    void AsynchCallBack(CData* record);

    // The queue that receives barcodes and replies (not owned; set at
    // OpenService, cleared at CloseService).
    void SetQueue(CScannerDataQ* queue) { m_pQueue.store(queue); }
    CScannerDataQ* GetQueue() const { return m_pQueue.load(); }
    void SetInUse(bool inUse) { m_inUse = inUse ? 1 : 0; }
    bool IsInUse() const { return m_inUse.load() != 0; }
    bool IsConnected() const { return m_connected.load() != 0; }
    void SetDisconnectCallback(DisconnectCallback callback) { m_disconnectCallback = callback; }

    // The device found by the last successful Enumerate: its interface
    // kind and port name, and a copy of its record (for the device
    // information); false when none is known.
    bool GetDeviceRecord(CDevice& copy);
    bool HasDevice();
    // The connection (for the firmware updater); valid under the SDK lock.
    CConnection* GetConnection() const { return m_pConnection; }
    std::recursive_mutex& SdkLock() { return m_sdkLock; }
    bool HasDiscovery();

    ZRIDbgBase* GetDebug() const { return m_pDebug; }

    // The flash-library and SDK log settings, as decimal texts.
    std::string FWDebugLevel() const { return m_strFWDebugLevel; }
    std::string FWDebugType() const { return m_strFWDebugType; }
    std::string FWDebugFile() const { return m_strFWDebugFile; }
    std::string FWProtocolFile() const { return m_strFWProtocolFile; }
    std::string SDKDebugLevel() const { return m_strSDKDebugLevel; }

    // The discovery request for a descriptor: 0, or 1005 for a port type
    // that cannot be searched. `portName` receives "COM" and port + 1.
    int BuildDiscoveryTemplate(const CConDescriptor& descriptor, int autoDetect, CDiscoveryTemplate& search,
                               std::string& portName);
    static void FillDiscoveryDefaults(CDiscoveryTemplate& search);
    // The nine default reply endings and the six digit reply patterns.
    static std::vector<std::string> ReplyPatterns();
    // While an enable or disable sequence is answered, each switch's answer
    // ('1' ACK, '0' NAK ...) is a reply of its own: the scanner may send
    // labels between the two answers, and a label would otherwise swallow
    // the answer before it. Off again afterwards, since other replies hold
    // such pairs inside them ("UPACKX1" ACK "."). 0, 1012 without a data
    // collection, 1006 when the list could not be changed.
    int TakeSwitchAnswers(bool separately);

protected:
    COPOSKestrel();
    // Replaces the device record (owned) under the SDK lock.
    void ReplaceDevice(CDevice* device);
    // Takes `debug` as the debug output (owned) when none exists yet.
    void AdoptDebugOutput(ZRIDbgBase* debug);

private:
    ZRIDbgBase& Debug() const;
    void LogFailure(const char* tag, const char* message, const std::string& lastError);
    // Both under m_sdkLock.
    int DisConnectHeld();
    int ShutDownDataCollectionHeld();

    CDataCollection* m_pDataCollection = nullptr;
    CDiscovery* m_pDiscovery = nullptr;
    std::atomic<CScannerDataQ*> m_pQueue{nullptr};
    ZRIDbgBase* m_pDebug = nullptr;
    CConnection* m_pConnection = nullptr;
    DisconnectCallback m_disconnectCallback = nullptr;
    std::atomic<unsigned> m_pollPeriod{2000};
    std::atomic<int> m_connected{0};
    std::atomic<int> m_inUse{0};
    CDevice* m_pDevice = nullptr;
    HANDLE m_hConnection = nullptr;
    std::string m_strFWDebugLevel = "1";
    std::string m_strFWDebugType = "0";
    std::string m_strFWDebugFile;
    std::string m_strFWProtocolFile;
    std::string m_strSDKDebugLevel = "2";

    // The connection, the data collection and the device record.
    std::recursive_mutex m_sdkLock;
    // One discovery at a time; Close waits for it.
    std::mutex m_discoveryRun;
    // The discovery object's existence, for CancelEnumerate.
    std::mutex m_discoveryObject;
};
