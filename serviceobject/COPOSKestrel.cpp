#include "COPOSKestrel.h"

#include "CScannerDataQ.h"
#include "RegistrySettings.h"
#include "debug/DebugLog.h"
#include "debug/DebugOutputChoice.h"
#include "debug/ZRIDbgBase.h"

#include "api/CConnection.h"
#include "api/CDataCollection.h"
#include "api/CDiscovery.h"
#include "base/CData.h"
#include "base/CScanningSDK.h"
#include "discovery/CDevice.h"
#include "protocol/CImageData.h"
#include "protocol/CMenuData.h"

#include "platform/debug.h"
#include "platform/registry.h"
#include "platform/time.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <memory>

namespace {

std::mutex g_instanceLock;
COPOSKestrel* g_instance = nullptr;

constexpr char SYN = 0x16;
constexpr char ACK = 0x06;
constexpr char ENQ = 0x05;
constexpr char NAK = 0x15;

std::string framed(const std::string& command, int raw)
{
    return raw != 0 ? command : std::string{SYN, 'M', '\r'} + command;
}

// The record's bytes as text, up to the first zero byte.
std::string recordText(const CData& record)
{
    const auto* bytes = reinterpret_cast<const char*>(record.getData());
    if (bytes == nullptr)
        return {};
    const DWORD length = record.getLength();
    return std::string(bytes, std::find(bytes, bytes + length, '\0'));
}

template <typename Object>
std::string lastErrorOf(Object* object, const char* message)
{
    std::string text = message;
    if (object != nullptr)
        object->getLastError(text);
    return text;
}

// A setting kept while its decimal value (atoi's reading) is within
// [low, high], else replaced; an empty text is replaced when `emptyReplaced`.
void keepInRange(std::string& setting, const std::string& value, int low, int high, const char* replacement,
                 bool emptyReplaced)
{
    const int number = std::atoi(value.c_str());
    if ((value.empty() && emptyReplaced) || number < low || number > high)
        setting = replacement;
    else
        setting = value;
}

const std::string kDigitRequests[] = {
    std::string{SYN, '0', '\r', '.', ';', SYN, '0', '\r', '.'},
    std::string{SYN, '1', '\r', '.', ';', SYN, '1', '\r', '.'},
};

const std::string kDigitReplies[] = {
    std::string{'1', ACK, '1', ACK}, std::string{'0', ACK, '0', ACK}, std::string{'1', ENQ, '1', ENQ},
    std::string{'0', ENQ, '0', ENQ}, std::string{'0', NAK, '0', NAK}, std::string{'1', NAK, '1', NAK},
};

bool isDigitRequest(const std::string& request)
{
    return std::find(std::begin(kDigitRequests), std::end(kDigitRequests), request) != std::end(kDigitRequests);
}

// The answer to one raw switch, as the digit reply patterns hold it twice.
const std::string kSwitchAnswers[] = {
    std::string{'1', ACK}, std::string{'0', ACK}, std::string{'1', ENQ},
    std::string{'0', ENQ}, std::string{'0', NAK}, std::string{'1', NAK},
};

}  // namespace

COPOSKestrel* COPOSKestrel::GetInstance()
{
    std::lock_guard lock(g_instanceLock);
    if (g_instance == nullptr)
        g_instance = new COPOSKestrel;
    return g_instance;
}

void COPOSKestrel::ReleaseInstance()
{
    COPOSKestrel* instance = nullptr;
    {
        std::lock_guard lock(g_instanceLock);
        std::swap(instance, g_instance);
    }
    delete instance;
}

COPOSKestrel::COPOSKestrel() = default;

COPOSKestrel::~COPOSKestrel()
{
    // Going away with the library: nothing may stay connected, claimed or
    // not.
    m_inUse = 0;
    DisConnect();
    Close();
    delete m_pDebug;
    m_pDebug = nullptr;
    OutputDebugStringA("Kestrel.ctor(): dbgr deleted\r\n");
    m_hConnection = nullptr;
}

ZRIDbgBase& COPOSKestrel::Debug() const
{
    return ZRIDbgBase::Or(m_pDebug);
}

void COPOSKestrel::LogFailure(const char* tag, const char* message, const std::string& lastError)
{
    Debug().LogText2(tag, message, lastError.c_str());
}

void COPOSKestrel::InitDebugger(const char* keyPath)
{
    if (m_pDebug != nullptr)
        return;
    HKEY key = nullptr;
    if (keyPath == nullptr || RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        m_pDebug = new ZRIDbgBase;
        return;
    }
    static const char* const names[] = {"DebugType",   "LogFile",        "FWDebugLevel", "FWDebugType",
                                        "FWDebugFile", "FWProtocolFile", "SDKDebugLevel"};
    std::string values[7];
    bool found[7] = {};
    for (int i = 0; i < 7; ++i) {
        found[i] = ReadStringValue(key, names[i], 1024, values[i]);
        if (!found[i])
            OutputDebugStringA((std::string("SO.InitDebugger: can't find ") + names[i] + "\r\n").c_str());
    }
    RegCloseKey(key);

    bool logFileWanted = false;
    std::string logFile;
    if (found[0]) {
        const DebugOutputKind kind = DebugOutputKindOf(values[0]);
        if (kind == DebugOutputKind::logFile)
            logFileWanted = true;
        else
            m_pDebug = CreateDebugOutput(values[0], std::string());
    }
    if (found[1] && !values[1].empty())
        logFile = values[1];
    if (found[2])
        keepInRange(m_strFWDebugLevel, values[2], 0, 3, "1", true);
    if (found[3])
        keepInRange(m_strFWDebugType, values[3], -1, 2, "0", true);
    if (found[4] && !values[4].empty())
        m_strFWDebugFile = values[4];
    if (found[5] && !values[5].empty())
        m_strFWProtocolFile = values[5];
    if (found[6])
        keepInRange(m_strSDKDebugLevel, values[6], 0, 6, "0", true);

    if (logFileWanted && !logFile.empty())
        m_pDebug = new DebugLog(logFile.c_str());
    if (m_pDebug == nullptr)
        m_pDebug = new ZRIDbgBase;
}

void COPOSKestrel::InitDebuggerFromSettings(const char* debugType, const char* logFile, const char* fwDebugLevel,
                                            const char* fwDebugType, const char* fwDebugFile,
                                            const char* fwProtocolFile, const char* sdkDebugLevel)
{
    if (m_pDebug != nullptr)
        return;
    auto text = [](const char* value) { return std::string(value != nullptr ? value : ""); };
    if (text(debugType).empty() && text(logFile).empty()) {
        m_pDebug = new ZRIDbgBase;
        return;
    }
    m_pDebug = CreateDebugOutput(text(debugType), text(logFile));
    keepInRange(m_strFWDebugLevel, text(fwDebugLevel), 0, 3, "1", false);
    keepInRange(m_strFWDebugType, text(fwDebugType), -1, 2, "0", false);
    keepInRange(m_strSDKDebugLevel, text(sdkDebugLevel), 0, 6, "0", false);
    m_strFWDebugFile = text(fwDebugFile);
    m_strFWProtocolFile = text(fwProtocolFile);
}

void COPOSKestrel::AdoptDebugOutput(ZRIDbgBase* debug)
{
    if (m_pDebug == nullptr)
        m_pDebug = debug;
    else
        delete debug;
}

void COPOSKestrel::ReadPollFrequency()
{
    std::string value;
    if (ReadSuiteValue("DEVICE_POLL_FREQUENCY", value, m_pDebug))
        SetPollFrequency(static_cast<unsigned>(std::strtoul(value.c_str(), nullptr, 10)));
}

void COPOSKestrel::SetPollFrequency(unsigned milliseconds)
{
    if (milliseconds < 250)
        return;
    m_pollPeriod = std::min(milliseconds, 10000u);
}

void COPOSKestrel::Trace(const char* text)
{
    if (m_pDebug != nullptr)
        m_pDebug->Log(text);
}

int COPOSKestrel::Open(ZRIDbgBase** debug)
{
    static const char* const tag = "Kestrel.Open(), ";
    Debug().LogText(tag, "entered");
    Debug().Log("\t\tKESTREL START\t\t");
    if (debug != nullptr)
        *debug = m_pDebug;
    CScanningSDK::setLogLevel(std::atoi(m_strSDKDebugLevel.c_str()));
    Debug().LogText2(tag, "SDK Version", CScanningSDK::getVersion().c_str());
    Debug().LogTextNumber(tag, "SDK Log level", CScanningSDK::getLogLevel());
    return 0;
}

void COPOSKestrel::Close()
{
    static const char* const tag = "Kestrel.Close(): ";
    Debug().LogText(tag, "entered");
    if (m_inUse.load() != 0) {
        Debug().LogText(tag, "Kestrel still in use");
        return;
    }
    ReplaceDevice(nullptr);
    std::lock_guard run(m_discoveryRun);  // a discovery under way ends first
    CDiscovery* discovery = nullptr;
    {
        std::lock_guard lock(m_discoveryObject);
        std::swap(discovery, m_pDiscovery);
    }
    if (discovery != nullptr) {
        discovery->unInitialize();
        delete discovery;
    }
    Debug().LogText(tag, "Kestrel closed");
}

void COPOSKestrel::ReplaceDevice(CDevice* device)
{
    std::lock_guard lock(m_sdkLock);
    delete m_pDevice;
    m_pDevice = device;
}

bool COPOSKestrel::GetDeviceRecord(CDevice& copy)
{
    std::lock_guard lock(m_sdkLock);
    if (m_pDevice == nullptr)
        return false;
    return copyDeviceRecord(*m_pDevice, copy, "Kestrel.GetDeviceRecord");
}

bool COPOSKestrel::HasDevice()
{
    std::lock_guard lock(m_sdkLock);
    return m_pDevice != nullptr;
}

bool COPOSKestrel::HasDiscovery()
{
    std::lock_guard lock(m_discoveryObject);
    return m_pDiscovery != nullptr;
}

void COPOSKestrel::FillDiscoveryDefaults(CDiscoveryTemplate& search)
{
    for (int dps : {2, 0, 8, 5, 6, 3})
        search.dpsSettings.push_back(dps);
    for (int rate : {115200, 38400, 9600, 57600, 19200})
        search.baudRates.push_back(rate);
    search.interfaceUsages.push_back(0);
    search.maxCount = 1;
}

int COPOSKestrel::BuildDiscoveryTemplate(const CConDescriptor& descriptor, int autoDetect,
                                         CDiscoveryTemplate& search, std::string& portName)
{
    static const char* const tag = "Kestrel.Enumerate(); ";
    portName = "COM" + std::to_string(descriptor.GetPort() + 1);
    if (autoDetect != 0) {
        Debug().LogText(tag, "AutoDetect is True");
        FillDiscoveryDefaults(search);
        search.interfaceTypes.insert(search.interfaceTypes.end(), {1, 2, 0});
        return 0;
    }
    Debug().LogText(tag, "AutoDetect is False");
    const std::string type = descriptor.GetType();
    if (type == "RS232" || type == "USBSER") {
        search.namedPorts.push_back(portName);
        FillDiscoveryDefaults(search);
        search.interfaceTypes.insert(search.interfaceTypes.end(), {1, 0, 5});
        return 0;
    }
    if (type == "USBHID") {
        search.interfaceUsages.push_back(0);
        search.maxCount = 1;
        search.interfaceTypes.push_back(2);
        return 0;
    }
    Debug().LogText(tag, "Interface not matching");
    return 1005;
}

int COPOSKestrel::Enumerate(const CConDescriptor* descriptor, int autoDetect, int timeout)
{
    static const char* const tag = "Kestrel.Enumerate(); ";
    Debug().LogText(tag, "entered");
    const CConDescriptor request = descriptor != nullptr ? *descriptor : CConDescriptor();
    const std::string portName = "COM" + std::to_string(request.GetPort() + 1);
    Debug().LogText2(tag, "Interface", request.GetType());
    Debug().LogText2(tag, "Port", portName.c_str());

    {
        std::lock_guard lock(m_sdkLock);
        if (m_connected.load() != 0) {
            const std::string connectedPort = m_pDevice != nullptr ? m_pDevice->portName : std::string();
            Debug().LogText(tag, "Device already Connected");
            Debug().LogText2(tag, "Connected Port", connectedPort.c_str());
            return connectedPort == portName ? 0 : 1005;
        }
    }

    // A port type that cannot be searched never starts a discovery.
    CDiscoveryTemplate search;
    std::string ignored;
    if (BuildDiscoveryTemplate(request, autoDetect, search, ignored) != 0)
        return 1005;

    std::lock_guard run(m_discoveryRun);
    CDiscovery* discovery = nullptr;
    {
        std::lock_guard lock(m_discoveryObject);
        if (m_pDiscovery == nullptr) {
            auto created = std::make_unique<CDiscovery>();
            if (created->initialize() != 0)
                return 1001;
            m_pDiscovery = created.release();
        }
        discovery = m_pDiscovery;
    }
    try {
        ReplaceDevice(nullptr);
        std::vector<CDevice*> found;
        const int result = discovery->enumerate(search, &found, static_cast<DWORD>(std::max(timeout, 0)));
        // The list is ours whatever the result; only its first device is kept.
        CDevice* first = found.empty() ? nullptr : found.front();
        for (std::size_t i = 1; i < found.size(); ++i)
            delete found[i];
        if (result != 0) {
            delete first;
            LogFailure(tag, "Discovery not success", lastErrorOf(discovery, "Error in enumerate"));
            return 1001;
        }
        Debug().LogText(tag, "Discovery success");
        if (first == nullptr) {
            Debug().LogText(tag, "No device found");
            return 1001;
        }
        Debug().LogTextNumber(tag, "number of devices found", static_cast<long>(found.size()));
        Debug().LogText2(tag, "Port", first->portName.c_str());
        ReplaceDevice(first);
        return 0;
    } catch (...) {
        LogFailure(tag, "exception in Discovery", lastErrorOf(discovery, "Error in enumerate"));
        return 1001;
    }
}

int COPOSKestrel::CancelEnumerate()
{
    static const char* const tag = "Kestrel.CancelEnumerate(); ";
    Debug().LogText(tag, "entered");
    std::lock_guard lock(m_discoveryObject);
    if (m_pDiscovery == nullptr) {
        Debug().LogText(tag, "Discovery pointer is null");
        return 1001;
    }
    try {
        if (m_pDiscovery->cancelEnumerate() == 0) {
            Debug().LogText(tag, "CancelEnumerate successful");
            return 0;
        }
        LogFailure(tag, "CancelEnumerate failed", lastErrorOf(m_pDiscovery, "Error in CancelEnumerate"));
    } catch (...) {
        Debug().LogText(tag, "Exception in CancelEnumerate");
    }
    return 1001;
}

int COPOSKestrel::Connect(int timeout, bool breakProbe)
{
    static const char* const tag = "Kestrel.Connect(); ";
    Debug().LogText(tag, "entered");
    if (breakProbe) {
        Debug().LogText(tag, "Break signal is enabled");
        return 1012;
    }
    std::lock_guard lock(m_sdkLock);
    if (m_pDevice == nullptr) {
        Debug().LogText(tag, "No device found");
        return 1005;
    }
    const std::string port = m_pDevice->portName;
    if (m_connected.load() != 0) {
        Debug().LogText2(tag, "Device already connected", port.c_str());
        return 0;
    }
    try {
        if (m_pConnection == nullptr) {
            auto created = std::make_unique<CConnection>();
            if (created->initialize() != 0)
                return 1012;
            m_pConnection = created.release();
        }
        m_hConnection = nullptr;
        if (m_pConnection->connect(m_pDevice, &m_hConnection, true, false, static_cast<DWORD>(std::max(timeout, 0))) !=
            0) {
            LogFailure(tag, "Connection failed", lastErrorOf(m_pConnection, "Error in connection"));
            return 1005;
        }
        m_connected = 1;
        Debug().LogText(tag, "Connection successful");
        if (setDisconnectCallBack() != 0) {
            LogFailure(tag, "setdisconenct failed", lastErrorOf(m_pConnection, "Error in set disconenct callback"));
            DisConnectHeld();
            return 1012;
        }
        const int result = InitializeDataCollection();
        if (result != 0) {
            LogFailure(tag, "datacollection initialization failed",
                       lastErrorOf(m_pDataCollection, "Error in datacollection initialization"));
            DisConnectHeld();
            return result;
        }
        return 0;
    } catch (...) {
        LogFailure(tag, "Exception in Connection", lastErrorOf(m_pConnection, "Error in connection"));
        return 1005;
    }
}

int COPOSKestrel::setDisconnectCallBack()
{
    static const char* const tag = "Kestrel.setDisconnectCallBack(); ";
    Debug().LogText(tag, "entered");
    std::lock_guard lock(m_sdkLock);
    if (m_pConnection == nullptr)
        return 1012;
    try {
        if (m_pConnection->setDisconnectCallback(this, m_disconnectCallback) == 0) {
            Debug().LogText(tag, "setDisconnectCallBack successful");
            return 0;
        }
        LogFailure(tag, "setDisconnectCallBack failed",
                   lastErrorOf(m_pConnection, "Error in setting disconnecting call back"));
    } catch (...) {
        Debug().LogText(tag, "exception in setDisconnectCallBack ");
    }
    return 1006;
}

std::vector<std::string> COPOSKestrel::ReplyPatterns()
{
    std::vector<std::string> patterns = CDataCollection::getDefaultPattern();
    patterns.insert(patterns.end(), std::begin(kDigitReplies), std::end(kDigitReplies));
    return patterns;
}

int COPOSKestrel::TakeSwitchAnswers(bool separately)
{
    std::lock_guard lock(m_sdkLock);
    if (m_pDataCollection == nullptr)
        return 1012;
    std::vector<std::string> patterns = ReplyPatterns();
    if (separately)
        patterns.insert(patterns.end(), std::begin(kSwitchAnswers), std::end(kSwitchAnswers));
    // The parser refuses a new list only while it compares one position
    // with the list, which takes microseconds.
    for (int attempt = 0; attempt < 200; ++attempt) {
        try {
            if (m_pDataCollection->setPattern(patterns) == 0)
                return 0;
        } catch (...) {
            break;
        }
        Sleep(1);
    }
    Debug().LogText("Kestrel.TakeSwitchAnswers(); ", "Data Collection setpattern failed");
    return 1006;
}

int COPOSKestrel::InitializeDataCollection()
{
    static const char* const tag = "Kestrel.InitializeDataCollection(); ";
    Debug().LogText(tag, "entered");
    std::lock_guard lock(m_sdkLock);
    if (m_pDataCollection == nullptr)
        m_pDataCollection = new CDataCollection;
    if (m_pDataCollection->initialize(m_pConnection, 1, 3000) != 0) {
        Debug().LogText(tag, "Data Collection initialization failed");
        return 1012;
    }
    Debug().LogText(tag, "Data Collection initialize successful");
    if (m_pDataCollection->setPattern(ReplyPatterns()) != 0) {
        Debug().LogText(tag, "Data Collection setpattern failed");
        return 1012;
    }
    Debug().LogText(tag, "Data Collection setpattern success");
    if (m_pDataCollection->setCallback(this, &COPOSKestrel::SdkDataCallBack) != 0) {
        Debug().LogText(tag, "Data Collection setCallback Failed");
        return 1012;
    }
    Debug().LogText(tag, "Data Collection setCallback successful");
    return 0;
}

int COPOSKestrel::DisConnect()
{
    std::lock_guard lock(m_sdkLock);
    return DisConnectHeld();
}

int COPOSKestrel::DisConnectHeld()
{
    static const char* const tag = "Kestrel.DisConnect(); ";
    Debug().LogText(tag, "entered");
    if (m_inUse.load() != 0) {
        Debug().LogText(tag, "SDK disconnected");
        return 0;
    }
    try {
        if (m_pConnection != nullptr) {
            Debug().LogText(tag, "calling SDK disconnect");
            if (m_pConnection->disconnect() == 0)
                Debug().LogText(tag, "SDK disconnect success");
            else
                LogFailure(tag, "failed to disconnect", lastErrorOf(m_pConnection, "Error in disconnect"));
            m_pConnection->unInitialize();
            delete m_pConnection;
            m_pConnection = nullptr;
        }
        m_connected = 0;
        ShutDownDataCollectionHeld();
        m_hConnection = nullptr;
        Debug().LogText(tag, "SDK disconnected");
    } catch (...) {
        m_connected = 0;
        std::string text = lastErrorOf(m_pConnection, "Error in disconnect");
        if (m_pDataCollection != nullptr) {
            m_pDataCollection->shutDown();
            delete m_pDataCollection;
            m_pDataCollection = nullptr;
        }
        m_hConnection = nullptr;
        if (m_pConnection != nullptr) {
            m_pConnection->unInitialize();
            delete m_pConnection;
            m_pConnection = nullptr;
        }
        LogFailure(tag, "Exception in dis-connect", text);
    }
    return 0;
}

int COPOSKestrel::ShutDownDataCollection()
{
    std::lock_guard lock(m_sdkLock);
    return ShutDownDataCollectionHeld();
}

int COPOSKestrel::ShutDownDataCollectionHeld()
{
    static const char* const tag = "Kestrel.ShutDownDataCollection(); ";
    Debug().LogText(tag, "entered");
    if (m_pDataCollection == nullptr)
        return 3;
    Debug().LogText(tag, "calling SDK datacollection shutdown");
    const int result = m_pDataCollection->shutDown();
    if (result != 0)
        LogFailure(tag, "Exception in datacollection shutdown",
                   lastErrorOf(m_pDataCollection, "Error in datacollection shutdown"));
    else
        Debug().LogText(tag, "successful");
    delete m_pDataCollection;
    m_pDataCollection = nullptr;
    return result;
}

int COPOSKestrel::SwitchProcessorState(int state)
{
    static const char* const tag = "Kestrel.SwitchProcessorState(); ";
    Debug().LogText(tag, "entered");
    std::lock_guard lock(m_sdkLock);
    if (m_pDataCollection == nullptr)
        return 3;
    try {
        const int result = m_pDataCollection->switchProcessorState(state);
        if (result == 0)
            Debug().LogText(tag, "SwitchProcessorState successful");
        else
            LogFailure(tag, "SwitchProcessorState failed",
                       lastErrorOf(m_pDataCollection, "Error in Switch processor state"));
        return result;
    } catch (...) {
        Debug().LogText(tag, "Exception in SwitchProcessorState");
        return 1006;
    }
}

int COPOSKestrel::SendMenuCmdASynch(const std::string& command, int raw)
{
    static const char* const tag = "Kestrel.SendMenuCmdASynch(); ";
    Debug().LogText(tag, "entered");
    std::lock_guard lock(m_sdkLock);
    if (m_pDataCollection == nullptr)
        return 1012;
    try {
        const std::string text = framed(command, raw);
        Debug().LogText2(tag, "Command", command.c_str());
        if (m_pDataCollection->sendMenuCmdAsync(text) == 0) {
            Debug().LogText(tag, "SendMenuCommandAsynch successful");
            return 0;
        }
        LogFailure(tag, "SendMenuCommandAsynch failed",
                   lastErrorOf(m_pDataCollection, "Error in SendMenuCmdAsynch"));
    } catch (...) {
        Debug().LogText(tag, "Exception in SendMenuCommandAsynch");
    }
    return 1006;
}

int COPOSKestrel::SendMenuCmdSynch(const std::string& command, std::string* response, int timeout, int raw)
{
    static const char* const tag = "Kestrel.SendMenuCmdSynch(); ";
    Debug().LogText(tag, "entered");
    std::lock_guard lock(m_sdkLock);
    if (m_pDataCollection == nullptr)
        return 1012;
    std::unique_ptr<CMenuData> reply;
    try {
        Debug().LogText2(tag, "Command", command.c_str());
        int result = 0;
        reply.reset(m_pDataCollection->sendMenuCmdSync(&result, framed(command, raw),
                                                       static_cast<DWORD>(std::max(timeout, 0))));
        if (raw != 0 && SwitchProcessorState(1) != 0)
            return 1006;
        Debug().LogText(tag, "SendMenuCommandSynch successful");
        if (reply == nullptr) {
            Debug().LogText(tag, "No data found");
            return 1006;
        }
        const std::string text(reinterpret_cast<const char*>(reply->getData()), reply->getLength());
        if (response != nullptr)
            *response = text;
        Debug().LogText2(tag, "Command Response", text.c_str());
        return 0;
    } catch (...) {
        LogFailure(tag, "Exception in SendMenuCommandSynch", "Error in sendMenuCmdSynch");
        return 1006;
    }
}

int COPOSKestrel::ReConnect()
{
    static const char* const tag = "Kestrel.ReConnect(); ";
    Debug().LogText(tag, "entered");
    std::lock_guard lock(m_sdkLock);
    if (m_pConnection == nullptr)
        return 1001;
    Debug().LogText(tag, "ReConnection successful");
    return 0;
}

int COPOSKestrel::UpgradeFirmware(const std::string&)
{
    Debug().LogText("Kestrel.UpgradeFirmware(); ", "entered");
    return 0;
}

void COPOSKestrel::SdkDataCallBack(void* user, CData* record)
{
    // The instance that registered the callback: a later instance (after
    // ReleaseInstance) never receives the records of an earlier one.
    auto* self = static_cast<COPOSKestrel*>(user);
    if (self == nullptr) {
        delete record;
        return;
    }
    self->AsynchCallBack(record);
}

void COPOSKestrel::AsynchCallBack(CData* received)
{
    static const char* const tag = "Kestrel.AsynchCallBack(); ";
    std::unique_ptr<CData> record(received);
    try {
        Debug().LogText(tag, "entered");
        if (record == nullptr) {
            Debug().LogText(tag, "call back is called but no data received");
            return;
        }
        CScannerDataQ* queue = m_pQueue.load();
        switch (record->getType()) {
        case CData::kRaw:
            if (m_inUse.load() == 0) {
                Debug().LogText(tag, "  raw command response available, scannerSO not in use");
                return;
            }
            Debug().LogText(tag, "Received raw command event");
            if (record->getLength() < 1) {
                Debug().LogText(tag, "Received no data");
            } else {
                const std::string text = recordText(*record);
                if (queue != nullptr)
                    queue->SetLastResponse(text);
                Debug().LogText2(tag, "Response", text.c_str());
            }
            record.reset();
            Debug().LogText(tag, "Deleted menu command response buffer");
            return;
        case CData::kBarcode:
            if (m_inUse.load() == 0 || queue == nullptr) {
                Debug().LogText(tag, "  barcode available, scannerSO not in use");
                return;
            }
            Debug().LogText(tag, "Received barcode event");
            queue->receiveCallBack(record.release());
            return;
        case CData::kImage:
            try {
                Debug().LogText(tag, "Received image event");
                auto* image = dynamic_cast<CImageData*>(record.get());
                if (image == nullptr) {
                    Debug().LogText(tag, "Image event called with no data");
                    return;
                }
                if (queue != nullptr && image->getLength() > 0)
                    queue->SetLastImage(
                        std::vector<unsigned char>(image->getData(), image->getData() + image->getLength()));
                else if (queue != nullptr)
                    queue->SetLastImage({});
            } catch (...) {
                Debug().LogText(tag, "Exception in Image event processing");
            }
            return;
        case CData::kMenuResponse:
            try {
                Debug().LogText(tag, "Received menu command event");
                if (record->getLength() < 1) {
                    Debug().LogText(tag, "Received no data");
                } else if (queue != nullptr) {
                    const std::string reply = recordText(*record);
                    const std::string request = queue->GetPendingRequest();
                    Debug().LogText2(tag, "Request", request.c_str());
                    Debug().LogText2(tag, "Response", reply.c_str());
                    // The reply as the device sent it is stored; only the
                    // comparison ignores the status bytes and the case.
                    std::string compared;
                    for (char c : reply)
                        if (c != NAK && c != ENQ && c != ACK)
                            compared.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
                    bool store = compared.find(request) != std::string::npos;
                    if (!store && isDigitRequest(request))
                        store = std::find(std::begin(kDigitReplies), std::end(kDigitReplies), reply) !=
                                std::end(kDigitReplies);
                    if (store && queue->StoreResponseFor(request, reply))
                        Debug().LogText2(tag, "Response", reply.c_str());
                    // One switch's answer, while the two are taken one by one.
                    if (!store && isDigitRequest(request) &&
                        std::find(std::begin(kSwitchAnswers), std::end(kSwitchAnswers), reply) !=
                            std::end(kSwitchAnswers) &&
                        queue->AppendResponseFor(request, reply))
                        Debug().LogText2(tag, "Response", reply.c_str());
                }
                record.reset();
                Debug().LogText(tag, "Deleted menu command response buffer");
            } catch (...) {
                Debug().LogText(tag, "Exception in Menu command processing");
            }
            return;
        default:
            Debug().LogText(tag, "  reached default case");
            return;
        }
    } catch (...) {
        Debug().LogText(tag, "Exception in callback");
    }
}
