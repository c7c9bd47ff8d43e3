#include "CSDKKestrel.h"

#include "JniCallbacks.h"
#include "JniModule.h"

#include "api/CDiscovery.h"
#include "base/CBarcodeData.h"
#include "base/CScanningSDK.h"
#include "products/CProduct.h"
#include "protocol/CImageData.h"
#include "protocol/CMenuData.h"

#include "platform/debug.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

const char kAck = 0x06;
const char kEnq = 0x05;
const char kNak = 0x15;

// The digit replies of the two-command menu requests, beside the SDK's
// default endings.
const std::string kDigitReplies[] = {
    std::string{'1', kAck, '1', kAck}, std::string{'0', kAck, '0', kAck}, std::string{'1', kEnq, '1', kEnq},
    std::string{'0', kEnq, '0', kEnq}, std::string{'0', kNak, '0', kNak}, std::string{'1', kNak, '1', kNak},
};

// Logs "Entered" now and "Exiting" when the scope ends normally.
class Trace {
public:
    explicit Trace(const char* tag) : m_tag(tag) { DbgLog(m_tag, "Entered"); }
    ~Trace()
    {
        if (m_exitLine)
            DbgLog(m_tag, "Exiting");
    }
    Trace(const Trace&) = delete;
    Trace& operator=(const Trace&) = delete;
    void skipExitLine() { m_exitLine = false; }

private:
    const char* m_tag;
    bool m_exitLine = true;
};

template <class SdkObject>
std::string LastErrorOf(SdkObject* object)
{
    std::string text;
    if (object != nullptr)
        object->getLastError(text);
    return text;
}

std::string Upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

bool HasFeature(const CProduct* product, int feature)
{
    return std::find(product->features.begin(), product->features.end(), feature) != product->features.end();
}

// `bytes` as a printable log text: at most `limit` bytes, a zero byte shown
// as '.'.
std::string LogText(const unsigned char* bytes, std::size_t length, std::size_t limit = 1000)
{
    std::string text;
    if (bytes == nullptr)
        return text;
    const std::size_t count = std::min(length, limit);
    text.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        text += bytes[i] == 0 ? '.' : static_cast<char>(bytes[i]);
    return text;
}

// How deep this thread is in the data callback (a callback's native may
// come back in).
thread_local int t_dataCallbacks = 0;

struct DataCallbackScope {
    DataCallbackScope() { ++t_dataCallbacks; }
    ~DataCallbackScope() { --t_dataCallbacks; }
    DataCallbackScope(const DataCallbackScope&) = delete;
    DataCallbackScope& operator=(const DataCallbackScope&) = delete;
};

}  // namespace

CSDKKestrel::Turn::Turn(CSDKKestrel& facade) : m_facade(facade)
{
    // The data thread never waits: the holder may be waiting for it (a
    // disconnect ends it, a sync command needs it for its reply).
    if (OnDataThread()) {
        m_held = m_facade.m_facadeLock.try_lock();
    } else {
        m_facade.m_facadeLock.lock();
        m_held = true;
    }
}

CSDKKestrel::Turn::~Turn()
{
    if (m_held)
        m_facade.m_facadeLock.unlock();
}

bool CSDKKestrel::OnDataThread()
{
    return t_dataCallbacks > 0;
}

bool CSDKKestrel::Admitted(const char* tag, const Turn& turn)
{
    if (!turn)
        DbgLog(tag, "Busy: another call holds the scanner.");
    return static_cast<bool>(turn);
}

bool CSDKKestrel::RefusedOnDataThread(const char* tag)
{
    if (!OnDataThread())
        return false;
    DbgLog(tag, "Refused inside the data callback: it would wait for its own thread.");
    return true;
}

CSDKKestrel::CSDKKestrel()
{
    DbgLog("CSDKKestrel::CSDKKestrel()", "Entered");
    DbgLog("CSDKKestrel::CSDKKestrel()", "SDK Library version: ", CScanningSDK::getVersion().c_str());
    DbgLog("CSDKKestrel::CSDKKestrel()", "Exited");
}

CSDKKestrel::~CSDKKestrel()
{
    DbgLog("CSDKKestrel::~CSDKKestrel()", "Entered");
    if (!BeginModuleExit()) {
        // A forwarder is inside the Java VM, which is going away under it:
        // waiting for the SDK's threads could last for ever.
        DbgLog("CSDKKestrel::~CSDKKestrel()", "Exited");
        return;
    }
    try {
        CleanUp();
        delete m_pDevice;
        m_pDevice = nullptr;
    } catch (...) {
    }
    DbgLog("CSDKKestrel::~CSDKKestrel()", "Exited");
}

void CSDKKestrel::SetDeviceConnectionStatus(bool connected)
{
    Trace trace("CSDKKestrel::SetDeviceConnectionStatus()");
    m_bConnected = connected;
}

void CSDKKestrel::InitializeDiscoveryTemplate(CDiscoveryTemplate& discoveryTemplate, const PortSearch& search)
{
    Trace trace("CSDKKestrel::InitializeDiscoveryTemplate()");
    static const int kBauds[] = {115200, 38400, 9600, 57600, 19200};
    static const int kDps[] = {2, 0, 8, 5, 6, 3};
    auto serialSettings = [&] {
        discoveryTemplate.baudRates.assign(std::begin(kBauds), std::end(kBauds));
        discoveryTemplate.dpsSettings.assign(std::begin(kDps), std::end(kDps));
    };
    if (search.autodetect) {
        discoveryTemplate.interfaceTypes = {1, 2, 0};
        serialSettings();
        discoveryTemplate.maxCount = 1;
    } else if (search.interfaceType == 2) {
        discoveryTemplate.interfaceTypes = {2};
        discoveryTemplate.maxCount = 1;
    } else if (search.interfaceType == 0 || search.interfaceType == 1) {
        discoveryTemplate.interfaceTypes = {1, 0, 5};
        discoveryTemplate.namedPorts = {search.portName};
        serialSettings();
    }
    discoveryTemplate.interfaceUsages = {0};
    discoveryTemplate.deviceInfoLevel = 1;
    discoveryTemplate.method = search.breakSearch ? 1 : 0;
}

int CSDKKestrel::Enumerate(int timeout, const PortSearch& search)
{
    static const char* const kTag = "CSDKKestrel::Enumerate()";
    Trace trace(kTag);
    const Turn turn(*this);
    if (!Admitted(kTag, turn))
        return 7;
    char line[512];
    std::snprintf(line, sizeof line,
                  "Timeout = %d, InterfaceType = %d, Baud = %d, DPS = %d, Port = \"%s\", Autodetect = %d, Break  = %d",
                  timeout, search.interfaceType, search.baud, search.dps, search.portName.c_str(),
                  search.autodetect ? 1 : 0, search.breakSearch ? 1 : 0);
    OutputDebugStringA(line);
    try {
        if (m_bConnected && m_pDevice != nullptr) {
            if (Upper(m_pDevice->portName) == Upper(search.portName) &&
                m_pDevice->interfaceType == search.interfaceType) {
                DbgLog(kTag, "Device is connected and user port and interface is same as connected device.");
                return 0;
            }
            return 8;
        }
        CDiscoveryTemplate discoveryTemplate;
        InitializeDiscoveryTemplate(discoveryTemplate, search);
        std::unique_ptr<CDiscovery> discovery(new CDiscovery);
        if (discovery->initialize() != 0) {
            DbgLog(kTag, "Discovery Initialization Failed.", LastErrorOf(discovery.get()).c_str());
            return 7;
        }
        std::vector<CDevice*> devices;
        const int code = discovery->enumerate(discoveryTemplate, &devices, static_cast<DWORD>(timeout));
        int result = 7;
        if (code != 0) {
            DbgLog(kTag, "Discovery failed.", LastErrorOf(discovery.get()).c_str());
        } else {
            DbgLog(kTag, "Discovery successful.");
            if (!devices.empty() && devices.front() != nullptr) {
                // The first device is kept as it was found (its subclass
                // carries the port's settings); the others are not needed.
                delete m_pDevice;
                m_pDevice = devices.front();
                devices.front() = nullptr;
                m_bBreak = search.breakSearch;
                DbgLog(kTag, "Device found.", m_pDevice->portName.c_str());
                result = 0;
            }
        }
        for (CDevice* device : devices)
            delete device;
        discovery->unInitialize();
        return result;
    } catch (...) {
        DbgLog(kTag, "Exception");
        return 7;
    }
}

int CSDKKestrel::ReopenConnection(int timeout)
{
    static const char* const kTag = "CSDKKestrel::SetupConnection()";
    int code = m_pConnection->initialize();
    if (code == 0)
        code = m_pConnection->connect(m_pDevice, &m_hPort, true, m_bBreak, static_cast<DWORD>(timeout));
    if (code == 0)
        code = m_pConnection->setDisconnectCallback(this, &CSDKKestrel::DisconnectCallback);
    if (code != 0) {
        DbgLog(kTag, "Connection Failed.", LastErrorOf(m_pConnection).c_str());
        return code == 3 ? 3 : 7;
    }
    return 0;
}

int CSDKKestrel::SetupConnection(int timeout)
{
    static const char* const kTag = "CSDKKestrel::SetupConnection()";
    Trace trace(kTag);
    if (m_pConnection != nullptr) {
        DbgLog(kTag, "Already connection object exists.");
        return 0;
    }
    try {
        if (m_pDevice == nullptr) {
            DbgLog(kTag, "Connection Failed.", "no device found");
            return 7;
        }
        m_pConnection = new CConnection;
        const int result = ReopenConnection(timeout);
        if (result != 0) {
            CleanUpConnection();
            return result;
        }
        DbgLog(kTag, "Connection module is successful.");
        return 0;
    } catch (...) {
        DbgLog(kTag, "Connection Exception.");
        CleanUpConnection();
        return 7;
    }
}

int CSDKKestrel::InitializeDataCollection(int timeout)
{
    static const char* const kTag = "CSDKKestrel::UpdateFirmware()";
    if (m_pDataCollection == nullptr)
        return 3;
    try {
        int code = m_pDataCollection->initialize(m_pConnection, 1, static_cast<DWORD>(timeout));
        if (code == 0)
            code = m_pDataCollection->setCallback(this, &CSDKKestrel::DataCallback);
        if (code == 0) {
            std::vector<std::string> patterns = CDataCollection::getDefaultPattern();
            patterns.insert(patterns.end(), std::begin(kDigitReplies), std::end(kDigitReplies));
            code = m_pDataCollection->setPattern(patterns);
        }
        return code;
    } catch (...) {
        DbgLog(kTag, "Exception: ", LastErrorOf(m_pDataCollection).c_str());
        return 3;
    }
}

int CSDKKestrel::SetupDataCollection(int timeout)
{
    static const char* const kTag = "CSDKKestrel::SetupDataCollection()";
    Trace trace(kTag);
    if (m_pDataCollection != nullptr) {
        DbgLog(kTag, "Already datacollection object exists.");
        return 0;
    }
    if (m_pConnection == nullptr) {
        DbgLog(kTag, "Setup connection need to be called first.");
        return 7;
    }
    try {
        m_pDataCollection = new CDataCollection;
        const int code = InitializeDataCollection(timeout);
        if (code != 0) {
            DbgLog(kTag, "Datcollection setup failed.", LastErrorOf(m_pDataCollection).c_str());
            CleanUpDataCollection();
            return code == 2 ? 3 : 7;
        }
        DbgLog(kTag, "DataCollection module is successful.");
        return 0;
    } catch (...) {
        DbgLog(kTag, "Datcollection setup exception.");
        CleanUpDataCollection();
        return 7;
    }
}

int CSDKKestrel::ConnectDevice(int timeout)
{
    static const char* const kTag = "CSDKKestrel::ConnectDevice()";
    Trace trace(kTag);
    const Turn turn(*this);
    if (!Admitted(kTag, turn))
        return 7;
    try {
        if (m_bConnected) {
            DbgLog(kTag, "Device already connected.");
            return 0;
        }
        if (RefusedOnDataThread(kTag))
            return 7;
        int result = SetupConnection(timeout);
        if (result != 0)
            return result;
        result = SetupDataCollection(timeout);
        if (result != 0) {
            m_bConnected = false;
            CleanUpConnection();
            return result;
        }
        m_bConnected = true;
        m_nTimeout = timeout;
        DbgLog(kTag, "Device Connection is successful.");
        return 0;
    } catch (...) {
        DbgLog(kTag, "Exception Occured.");
        m_bConnected = false;
        CleanUp();
        return 7;
    }
}

void CSDKKestrel::CleanUpDataCollection()
{
    Trace trace("CSDKKestrel::CleanUpDataCollection()");
    try {
        if (m_pDataCollection != nullptr) {
            m_pDataCollection->shutDown();
            delete m_pDataCollection;
            m_pDataCollection = nullptr;
        }
    } catch (...) {
        DbgLog("CSDKKestrel::CleanUpDataCollection()", "Exception occured during CleanUpDataCollection()");
        m_pDataCollection = nullptr;
    }
}

void CSDKKestrel::CleanUpConnection()
{
    Trace trace("CSDKKestrel::CleanUpConnection()");
    try {
        if (m_pConnection != nullptr) {
            m_pConnection->disconnect();
            m_pConnection->unInitialize();
            delete m_pConnection;
            m_pConnection = nullptr;
        }
    } catch (...) {
        DbgLog("CSDKKestrel::CleanUpConnection()", "Exception occured during CleanUpConnection()");
        m_pConnection = nullptr;
    }
    m_hPort = nullptr;
}

void CSDKKestrel::CleanUp()
{
    Trace trace("CSDKKestrel::CleanUp()");
    CleanUpDataCollection();
    CleanUpConnection();
}

int CSDKKestrel::DisconnectDevice()
{
    static const char* const kTag = "CSDKKestrel::DisconnectDevice()";
    Trace trace(kTag);
    if (RefusedOnDataThread(kTag))
        return 12;
    const Turn turn(*this);
    if (!Admitted(kTag, turn))
        return 12;
    if (!m_bConnected) {
        DbgLog(kTag, "Device not connected.");
        return 9;
    }
    m_bConnected = false;
    CleanUp();
    delete m_pDevice;
    m_pDevice = nullptr;
    return 0;
}

int CSDKKestrel::ReconnectDevice()
{
    static const char* const kTag = "CSDKKestrel::ReconnectDevice()";
    Trace trace(kTag);
    if (RefusedOnDataThread(kTag))
        return 7;
    const Turn turn(*this);
    if (!Admitted(kTag, turn))
        return 7;
    if (m_pConnection == nullptr || m_pDevice == nullptr)
        return 7;
    try {
        if (m_pDataCollection != nullptr)
            m_pDataCollection->shutDown();
        m_pConnection->disconnect();
        m_pConnection->unInitialize();
        m_bConnected = false;
        DbgLog(kTag, "Connection module disconnected and shutdown.");
        int result = ReopenConnection(m_nTimeout);
        if (result == 0) {
            DbgLog(kTag, "Connection module connection successful.");
            if (m_pDataCollection == nullptr)
                m_pDataCollection = new CDataCollection;
            const int code = InitializeDataCollection(m_nTimeout);
            if (code != 0) {
                DbgLog(kTag, "Datcollection setup failed.", LastErrorOf(m_pDataCollection).c_str());
                result = code == 2 ? 3 : 7;
            }
        }
        if (result != 0) {
            // Nothing half-open is kept: the next ConnectDevice starts from
            // the remembered device.
            CleanUp();
            return result;
        }
        DbgLog(kTag, "DataCollection module is successful.");
        m_bConnected = true;
        return 0;
    } catch (...) {
        DbgLog(kTag, "Exception");
        m_bConnected = false;
        CleanUp();
        return 7;
    }
}

int CSDKKestrel::SendMenuCmdSync(const std::string& command, std::string& response, int timeout)
{
    static const char* const kTag = "CSDKKestrel::SendMenuCmdSync()";
    Trace trace(kTag);
    const Turn turn(*this);
    if (!Admitted(kTag, turn))
        return 3;
    if (!m_bConnected) {
        trace.skipExitLine();
        return 9;
    }
    if (m_pDataCollection == nullptr)
        return 9;
    CMenuData* menu = nullptr;
    try {
        int status = 0;
        menu = m_pDataCollection->sendMenuCmdSync(&status, command, static_cast<DWORD>(timeout));
        if (status != 0) {
            const std::string text = LastErrorOf(m_pDataCollection);
            DbgLog(kTag, "Response:", text.c_str());
            delete menu;
            return status == 2 ? 3 : 12;
        }
        if (menu == nullptr)
            return 12;
        response.assign(reinterpret_cast<const char*>(menu->getData()), menu->getLength());
        DbgLog(kTag, "Response:", LogText(menu->getData(), menu->getLength()).c_str());
        delete menu;
        return 0;
    } catch (...) {
        delete menu;
        return 12;
    }
}

int CSDKKestrel::SendCmdAsync(const std::string& command)
{
    static const char* const kTag = "CSDKKestrel::SendCmdAsync()";
    Trace trace(kTag);
    const Turn turn(*this);
    if (!Admitted(kTag, turn))
        return 12;
    if (!m_bConnected)
        return 9;
    if (m_pDataCollection == nullptr)
        return 12;
    try {
        return m_pDataCollection->sendMenuCmdAsync(command) == 0 ? 0 : 12;
    } catch (...) {
        DbgLog(kTag, "Exception: ", LastErrorOf(m_pDataCollection).c_str());
        return 12;
    }
}

int CSDKKestrel::SwitchMode(int mode)
{
    static const char* const kTag = "CSDKKestrel::SwitchMode()";
    Trace trace(kTag);
    const Turn turn(*this);
    if (!Admitted(kTag, turn))
        return 15;
    if (!m_bConnected || m_pDataCollection == nullptr)
        return 15;
    try {
        const int code = m_pDataCollection->switchProcessorState(mode);
        return code == 0 || code == 3 ? code : 15;
    } catch (...) {
        DbgLog(kTag, "Exception occured.");
        return 15;
    }
}

void CSDKKestrel::GetDeviceInformaion(DeviceInformation& information)
{
    static const char* const kTag = "CSDKKestrel::GetDeviceInformaion()";
    Trace trace(kTag);
    const Turn turn(*this);
    if (!Admitted(kTag, turn))
        return;
    try {
        if (m_pDevice == nullptr)
            return;
        information.interfaceType = m_pDevice->interfaceType;
        information.deviceNumber = m_pDevice->mode;
        information.portName = m_pDevice->portName;
        if (const CProduct* product = m_pDevice->product) {
            information.productName = product->name;
            information.serialNumber = product->serialNumber;
            information.productInformation = product->productInfo;
            information.productNumber = product->flashType;
            information.feature5 = HasFeature(product, 5) ? 1 : 0;
            information.feature14 = HasFeature(product, 14) ? 1 : 0;
        }
    } catch (...) {
        DbgLog(kTag, "Exception occured while reading device information.");
    }
}

bool CSDKKestrel::IsPortAvailable()
{
    static const char* const kTag = "CSDKKestrel::IsPortAvailable()";
    Trace trace(kTag);
    const Turn turn(*this);
    if (!Admitted(kTag, turn))
        return false;
    try {
        if (m_bConnected)
            return true;
        if (m_pDevice == nullptr)
            return false;
        bool available = false;
        if (m_pConnection != nullptr)
            return m_pConnection->isPortAvailable(m_pDevice->portName, &available) == 0 && available;
        std::unique_ptr<CConnection> probe(new CConnection);
        if (probe->initialize() != 0)
            return false;
        const bool result = probe->isPortAvailable(m_pDevice->portName, &available) == 0 && available;
        probe->unInitialize();
        return result;
    } catch (...) {
        DbgLog(kTag, "Exception occured during port availability check.");
        return false;
    }
}

void CSDKKestrel::SetSDKLoglevel(int level)
{
    static const char* const kTag = "CSDKKestrel::SetSDKLoglevel()";
    Trace trace(kTag);
    try {
        CScanningSDK::setLogLevel(level);
    } catch (...) {
        DbgLog(kTag, "Exception");
    }
}

int CSDKKestrel::ShutDataCollection()
{
    Trace trace("CSDKKestrel::ShutDataCollection()");
    if (m_pDataCollection == nullptr)
        return 1;
    return m_pDataCollection->shutDown();
}

bool CSDKKestrel::RestartAfterUpdate()
{
    static const char* const kTag = "CSDKKestrel::UpdateFirmware()";
    if (m_pConnection == nullptr || m_pDataCollection == nullptr || m_pDevice == nullptr) {
        m_bConnected = false;
        return false;
    }
    try {
        bool restarted = true;
        if (!m_pConnection->isConnected()) {
            // The update closed the port: the device comes back under the
            // same name once it runs its application again.
            m_pConnection->disconnect();
            m_pConnection->unInitialize();
            restarted = ReopenConnection(m_nTimeout) == 0;
        }
        if (restarted && InitializeDataCollection(m_nTimeout) != 0) {
            DbgLog(kTag, "Datcollection setup failed.", LastErrorOf(m_pDataCollection).c_str());
            restarted = false;
        }
        if (!restarted) {
            m_bConnected = false;
            CleanUp();
        }
        return restarted;
    } catch (...) {
        m_bConnected = false;
        CleanUp();
        return false;
    }
}

std::int32_t CSDKKestrel::FirmwareProgress(void* user, std::int32_t /*zero*/, std::int32_t transferred,
                                           std::int32_t total)
{
    char line[128];
    std::snprintf(line, sizeof line, "Update Firmware progress: Transfered Bytes = %d, Total Bytes = %d \n",
                  static_cast<int>(transferred), static_cast<int>(total));
    OutputDebugStringA(line);
    g_UpdateFWProgress(user, transferred, total);
    return 0;
}

int CSDKKestrel::UpdateFirmware(int debugType, int debugLevel, const std::string& debugFile,
                                const std::string& protocolFile, const std::string& folder,
                                const std::string& flashFile)
{
    static const char* const kTag = "CSDKKestrel::UpdateFirmware()";
    Trace trace(kTag);
    if (RefusedOnDataThread(kTag))
        return 16;
    const Turn turn(*this);
    if (!Admitted(kTag, turn))
        return 16;
    std::lock_guard<std::recursive_mutex> update(m_updateLock);
    {
        std::lock_guard<std::recursive_mutex> cancel(m_cancelLock);
        if (m_pUpdater != nullptr) {
            delete m_pUpdater;
            m_pUpdater = nullptr;
        }
    }
    if (ShutDataCollection() != 0) {
        DbgLog(kTag, "DataCollection shut down is failed");
        return 16;
    }
    CFirmwareUpdater* updater = nullptr;
    try {
        updater = new CFirmwareUpdater;
    } catch (...) {
        DbgLog(kTag, "Failed to create FW upgrade module");
        RestartAfterUpdate();
        return 16;
    }
    {
        std::lock_guard<std::recursive_mutex> cancel(m_cancelLock);
        m_pUpdater = updater;
    }
    int result = 17;
    try {
        CFirmwareUpdaterTemplate updaterTemplate;
        {
            Trace init("CSDKKestrel::InitializeFirmwareUpdater()");
            updaterTemplate.logLevel = debugLevel;
            updaterTemplate.logType = debugType;
            updaterTemplate.logFile = debugFile;
            updaterTemplate.protocolFile = protocolFile;
            updaterTemplate.flashDllFolder = folder;
            updaterTemplate.progressCallback = &CSDKKestrel::FirmwareProgress;
            DbgLog(kTag, "DebugLevel:", static_cast<long>(debugLevel));
            DbgLog(kTag, "DebugType:", static_cast<long>(debugType));
            DbgLog(kTag, "DebugFilePath:", debugFile.c_str());
            DbgLog(kTag, "ProtocolFile:", protocolFile.c_str());
            DbgLog(kTag, "FlashDllsFolder:", folder.c_str());
        }
        DbgLog(kTag, "Before Initialize");
        int code = updater->intialize(m_pConnection, updaterTemplate);
        DbgLog(kTag, "After Initialize");
        if (code == 0) {
            DbgLog(kTag, "Before Flashfirmware");
            code = updater->flashFirmware(nullptr, flashFile);
            DbgLog(kTag, "After Flashfirmware");
        }
        if (code == 0) {
            result = 0;
        } else {
            DbgLog(kTag, "Got into firmware update return exception");
            DbgLog(kTag, "Firmware update Failed: ", LastErrorOf(updater).c_str());
            result = code == 2 || code == 3 ? 10 : 16;
        }
    } catch (...) {
        DbgLog(kTag, "Got into system exception");
        DbgLog(kTag, "Firmware update exception occured: ", LastErrorOf(updater).c_str());
        result = 17;
    }
    {
        std::lock_guard<std::recursive_mutex> cancel(m_cancelLock);
        try {
            updater->unInitialize();
        } catch (...) {
        }
        delete updater;
        m_pUpdater = nullptr;
    }
    // The update closes the port when it begins; a device that cannot be
    // restarted is reported even when the flash itself went through.
    const bool restarted = RestartAfterUpdate();
    if (result == 16 && !restarted)
        result = 17;
    return result;
}

int CSDKKestrel::CancelFlashing()
{
    static const char* const kTag = "CSDKKestrel::CancelFlashing()";
    Trace trace(kTag);
    try {
        std::lock_guard<std::recursive_mutex> cancel(m_cancelLock);
        if (m_pUpdater == nullptr)
            return 0;
        if (m_pUpdater->cancelFlash() != 0) {
            DbgLog(kTag, "Cancel Flashing failed: ", LastErrorOf(m_pUpdater).c_str());
            return 2;
        }
        return 0;
    } catch (...) {
        DbgLog(kTag, "Exception");
        return 2;
    }
}

void CSDKKestrel::DisconnectCallback(void* /*user*/, std::string& message)
{
    try {
        g_DisconnectCallBack(reinterpret_cast<const unsigned char*>(message.data()), message.size());
    } catch (...) {
        DbgLog("CSDKKestrel::DisconnectCallback()", "Exception occured.");
    }
}

void CSDKKestrel::DataCallback(void* /*user*/, CData* data)
{
    static const char* const kTag = "CSDKKestrel::DataCallback()";
    if (data == nullptr)
        return;
    // The record is ours whatever it holds.
    std::unique_ptr<CData> owned(data);
    const DataCallbackScope inside;
    const char* failure = "Exception occured during raw data processing.";
    try {
        switch (data->getType()) {
        case CData::kRaw: {
            DbgLog(kTag, "Received RAW Data.");
            char line[1024];
            const int shown = static_cast<int>(std::min<std::size_t>(data->getLength(), 900));
            std::snprintf(line, sizeof line, "Raw Data = %.*s, DataSize = %ld", shown,
                          LogText(data->getData(), data->getLength(), 900).c_str(),
                          static_cast<long>(data->getLength()));
            DbgLog(kTag, line);
            g_RawDataCallBack(data->getData(), data->getLength());
            break;
        }
        case CData::kBarcode: {
            failure = "Exception occured during barcode processing.";
            auto* barcode = dynamic_cast<CBarcodeData*>(data);
            if (barcode == nullptr)
                break;
            DbgLog(kTag, "Received Barcode Data.");
            DbgLog(kTag, "Processing Barcode Data.");
            // The identifier as far as it goes, zero-padded to three bytes.
            unsigned char aim[3] = {0, 0, 0};
            const std::string& symbology = barcode->getSymbologyId();
            std::copy_n(symbology.begin(), std::min<std::size_t>(symbology.size(), 3), aim);
            const std::string& label = barcode->getLabel();
            const unsigned char codeId = static_cast<unsigned char>(barcode->getCodeId());
            const std::string line = "AIMID = " + LogText(aim, 3, 3) + ", CODEID = " +
                                     std::string(1, static_cast<char>(codeId)) + ", BARCODE = " +
                                     LogText(reinterpret_cast<const unsigned char*>(label.data()), label.size());
            DbgLog(kTag, line.c_str());
            g_BarcodeDataCallBack(aim, codeId, reinterpret_cast<const unsigned char*>(label.data()), label.size());
            DbgLog(kTag, "Processing Barcode Data. Done!");
            break;
        }
        case CData::kImage: {
            failure = "Exception occured during image data processing.";
            auto* image = dynamic_cast<CImageData*>(data);
            if (image == nullptr)
                break;
            DbgLog(kTag, "Received Image Data.");
            DbgLog(kTag, "Processing Image Data.");
            char line[128];
            std::snprintf(line, sizeof line, "ImageType = %d, Size = %ld", image->getFormat(),
                          static_cast<long>(image->getLength()));
            DbgLog(kTag, line);
            g_ImageDataCallBack(image->getFormat(), image->getData(), image->getLength());
            DbgLog(kTag, "Processing Image Data. Done!");
            break;
        }
        case CData::kMenuResponse: {
            failure = "Exception occured during menu data processing.";
            auto* menu = dynamic_cast<CMenuData*>(data);
            if (menu == nullptr)
                break;
            DbgLog(kTag, "Received Menu Data.");
            DbgLog(kTag, "Processing Menu Data.");
            DbgLog(kTag, "Size received from SDK is %d", static_cast<long>(menu->getLength()));
            DbgLog(kTag, "Is MenuData NULL(1 = TRUE, 0 = FALSE) %d", menu->getData() == nullptr ? 1L : 0L);
            if (menu->getData() != nullptr) {
                char line[1100];
                std::snprintf(line, sizeof line, "Terminator = %d, Response = %d, TagData = %d, DataSize = %ld, Data = %s",
                              menu->terminator, menu->response, menu->tagData, static_cast<long>(menu->getLength()),
                              LogText(menu->getData(), menu->getLength(), 900).c_str());
                DbgLog(kTag, line);
                g_MenuDataCallBack(menu->terminator, menu->response, menu->tagData, menu->getData(),
                                   menu->getLength());
            } else {
                DbgLog(kTag, "Received EMPTY buffer.");
            }
            DbgLog(kTag, "Processing Menu Data. Done!");
            break;
        }
        default:
            break;
        }
    } catch (...) {
        DbgLog(kTag, failure);
    }
}
