// The one object through which the Java bridge drives a scanner: finds the
// first device, connects it, runs its data collection, sends menu commands,
// switches the data mode, reads device information and updates firmware,
// turning the SDK's result codes into the bridge's small set:
//   0 success, 2 cancel failed, 3 time-out, 7 not found / not connectible,
//   8 connected to another port or interface, 9 not connected,
//   10 firmware file or flash library refused, 12 command failed,
//   15 mode switch failed, 16 firmware update not run (the device works on),
//   17 firmware update failed and the device could not be restarted.
//
// Ownership: the facade owns the remembered device and every SDK object it
// makes. Threads: natives call it from Java threads; DataCallback runs on
// the SDK's processing thread and DisconnectCallback on its monitor thread.
// Natives may come from any number of Java threads at once: every
// operation that touches the device, the connection or the data collection
// runs under the facade lock (a Turn), one caller at a time. CancelFlashing
// stays outside it, so that it reaches the updater while a flash holds the
// facade; the cancel lock guards the updater pointer between the two.
// Data callbacks run on the SDK's processing thread, which other operations
// wait for (a disconnect ends it, a sync command needs it for its reply): a
// native called from inside one never waits for the facade, and refuses
// what would wait for that thread to end. The disconnect callback's thread
// is waited for by nobody; its natives wait like any other.
#pragma once

#include "api/CConnection.h"
#include "api/CDataCollection.h"
#include "api/CFirmwareUpdater.h"
#include "api/CDiscoveryTemplate.h"
#include "base/CData.h"
#include "discovery/CDevice.h"

#include "platform/types.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

// What pfnFindFirstPort asks for. Baud and DPS are carried for the log
// only.
struct PortSearch {
    bool autodetect = false;
    bool breakSearch = false;
    int interfaceType = 0;
    int baud = 115200;
    int dps = 2;
    std::string portName;
};

struct DeviceInformation {
    int interfaceType = 0;
    int productNumber = 0;
    unsigned char feature5 = 0;
    unsigned char feature14 = 0;
    int deviceNumber = 0;
    std::string productName;
    std::string portName;
    std::string serialNumber;
    std::string productInformation;
};

class CSDKKestrel {
public:
    // The facade lock for one caller, recursive on its thread. On the
    // data-processing thread it is only tried: false when another caller
    // holds it.
    class Turn {
    public:
        explicit Turn(CSDKKestrel& facade);
        ~Turn();
        Turn(const Turn&) = delete;
        Turn& operator=(const Turn&) = delete;
        explicit operator bool() const { return m_held; }

    private:
        CSDKKestrel& m_facade;
        bool m_held = false;
    };
    // True on the SDK thread that delivers data, while it is inside the
    // data callback.
    static bool OnDataThread();

    CSDKKestrel();
    // At process exit (the bridge is never unloaded), SDK threads may be
    // stuck entering the dying Java VM: the SDK objects are then left to the
    // process's end rather than waited for.
    virtual ~CSDKKestrel();
    CSDKKestrel(const CSDKKestrel&) = delete;
    CSDKKestrel& operator=(const CSDKKestrel&) = delete;

    int Enumerate(int timeout, const PortSearch& search);
    int ConnectDevice(int timeout);
    int DisconnectDevice();
    int ReconnectDevice();
    int SendMenuCmdSync(const std::string& command, std::string& response, int timeout);
    int SendCmdAsync(const std::string& command);
    int SwitchMode(int mode);
    void GetDeviceInformaion(DeviceInformation& information);
    int UpdateFirmware(int debugType, int debugLevel, const std::string& debugFile, const std::string& protocolFile,
                       const std::string& folder, const std::string& flashFile);
    int CancelFlashing();
    void SetSDKLoglevel(int level);
    bool IsPortAvailable();
    void SetDeviceConnectionStatus(bool connected);

    static void DataCallback(void* user, CData* data);
    static void DisconnectCallback(void* user, std::string& message);

private:
    // False (logged) when the caller did not get the facade.
    static bool Admitted(const char* tag, const Turn& turn);
    // True (logged) on the data thread, for an operation that would wait
    // for that thread to end.
    static bool RefusedOnDataThread(const char* tag);
    int SetupConnection(int timeout);
    int SetupDataCollection(int timeout);
    int InitializeDataCollection(int timeout);
    int ShutDataCollection();
    // Opens the existing connection object again on the remembered device
    // and sets its disconnect callback; 0, 3 (time-out) or 7.
    int ReopenConnection(int timeout);
    // After an update: reopens a connection the update closed and restarts
    // the data collection; false (everything cleaned up) when either fails.
    bool RestartAfterUpdate();
    void CleanUpConnection();
    void CleanUpDataCollection();
    void CleanUp();
    void InitializeDiscoveryTemplate(CDiscoveryTemplate& discoveryTemplate, const PortSearch& search);
    static std::int32_t FirmwareProgress(void* user, std::int32_t zero, std::int32_t transferred, std::int32_t total);

    std::atomic<bool> m_bConnected{false};
    bool m_bBreak = false;
    int m_nTimeout = 5000;
    CDevice* m_pDevice = nullptr;
    CConnection* m_pConnection = nullptr;
    CDataCollection* m_pDataCollection = nullptr;
    CFirmwareUpdater* m_pUpdater = nullptr;
    HANDLE m_hPort = nullptr;
    std::recursive_mutex m_facadeLock;
    std::recursive_mutex m_cancelLock;
    std::recursive_mutex m_updateLock;
};
