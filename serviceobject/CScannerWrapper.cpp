#include "CScannerWrapper.h"

#include "COPOSKestrel.h"
#include "CScannerMgr.h"
#include "CScannerSO.h"
#include "SOHost.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

// The exported interface's state. The pointers are read on the
// event-window thread while a host may set them: each is atomic.
std::atomic<int> g_appType{0};
std::mutex g_instanceLock;
CScannerMgr* g_instance = nullptr;
std::atomic<CScannerWrapper::DataEventFP> g_dataEvent{nullptr};
std::atomic<CScannerWrapper::ErrorEventFP> g_errorEvent{nullptr};
std::atomic<CScannerWrapper::StatusEventFP> g_statusEvent{nullptr};
std::atomic<CScannerWrapper::DirectIOFP> g_directIO{nullptr};
std::atomic<CScannerWrapper::UpdateStatisticsFP> g_updateStatistics{nullptr};

// What the service object's machinery asks of its host.
class WrapperHost : public ISOHost {
public:
    int AppType() const override { return g_appType.load(); }
    bool FireUpdateStatistics(int counter) override { return CScannerWrapper::ScannerFireUpdateStatistics(counter); }
};

WrapperHost g_host;

std::string text(const char* value)
{
    return value != nullptr ? std::string(value) : std::string();
}

}  // namespace

CScannerWrapper::~CScannerWrapper()
{
    ScannerReleaseInstance();
}

CScannerMgr* CScannerWrapper::GetInstance()
{
    std::lock_guard lock(g_instanceLock);
    if (g_instance == nullptr)
        g_instance = new CScannerMgr;
    return g_instance;
}

CScannerMgr* CScannerWrapper::Instance()
{
    return GetInstance();
}

void CScannerWrapper::ScannerReleaseInstance()
{
    CScannerMgr* instance = nullptr;
    {
        std::lock_guard lock(g_instanceLock);
        instance = g_instance;
        g_instance = nullptr;
    }
    delete instance;
}

void CScannerWrapper::ScannerInit(int appType, const char* debugType, const char* logFile, const char* fwDebugLevel,
                                  const char* fwDebugType, const char* fwDebugFile, const char* fwProtocolFile,
                                  const char* sdkDebugLevel, const char* pollFrequency)
{
    g_appType = appType;
    SetSOHost(&g_host);
    COPOSKestrel* facade = COPOSKestrel::GetInstance();
    if (appType == 1) {
        facade->InitDebuggerFromSettings(debugType, logFile, fwDebugLevel, fwDebugType, fwDebugFile, fwProtocolFile,
                                         sdkDebugLevel);
        facade->SetPollFrequency(static_cast<unsigned>(std::strtoul(text(pollFrequency).c_str(), nullptr, 10)));
    } else {
        facade->InitDebugger("SOFTWARE\\OLEforRetail\\ServiceInfo\\Varnex\\Debugger");
        facade->ReadPollFrequency();
    }
    GetInstance();
}

void CScannerWrapper::ScannerInitClosedVars()
{
    GetInstance()->InitClosedVars();
}

void CScannerWrapper::InitCallback(CScannerSO* scannerSO)
{
    CScannerSO::SetCallbackTarget(scannerSO);
}

int CScannerWrapper::ScannerGetAppType()
{
    return g_appType.load();
}

int CScannerWrapper::ScannerGetDeviceOpenStatus()
{
    return GetInstance()->GetDeviceOpenStatus();
}

void CScannerWrapper::ScannerLogMessage(const char* message)
{
    COPOSKestrel::GetInstance()->Trace(text(message).c_str());
}

void CScannerWrapper::Set_DataEventFP(DataEventFP function) { g_dataEvent = function; }
void CScannerWrapper::Set_ErrorEventFP(ErrorEventFP function) { g_errorEvent = function; }
void CScannerWrapper::Set_StatusEventFP(StatusEventFP function) { g_statusEvent = function; }
void CScannerWrapper::Set_DirectIOFP(DirectIOFP function) { g_directIO = function; }
void CScannerWrapper::Set_UpdateStatisticsFP(UpdateStatisticsFP function) { g_updateStatistics = function; }

long CScannerWrapper::ScannerOpenService(const char* deviceName, const char* autoDetect, const char* port,
                                         const char* maximumTimeOut, const char* commandTimeOut,
                                         const char* scanDataOption01, const char* decodeGs1Ltd)
{
    return GetInstance()->OpenService(text(deviceName), text(autoDetect), text(port), text(maximumTimeOut),
                                      text(commandTimeOut), text(scanDataOption01), text(decodeGs1Ltd));
}

long CScannerWrapper::ScannerCloseService() { return GetInstance()->CloseService(); }
long CScannerWrapper::ScannerClose() { return GetInstance()->CloseService(); }
long CScannerWrapper::ScannerClaimDevice(long timeout) { return GetInstance()->ClaimDevice(timeout); }
long CScannerWrapper::ScannerClaim(long timeout) { return GetInstance()->ClaimDevice(timeout); }
long CScannerWrapper::ScannerReleaseDevice() { return GetInstance()->ReleaseDevice(); }
long CScannerWrapper::ScannerRelease() { return GetInstance()->ReleaseDevice(); }
long CScannerWrapper::ScannerCheckHealth(long level) { return GetInstance()->CheckHealth(level); }
long CScannerWrapper::ScannerClearInput() { return GetInstance()->ClearInput(); }
long CScannerWrapper::ScannerClearInputProperties() { return GetInstance()->ClearInputProps(); }
long CScannerWrapper::ScannerClearOutput() { return GetInstance()->ClearOutput(); }
long CScannerWrapper::ScannerCOFreezeEvents(int freeze) { return GetInstance()->COFreezeEvents(freeze); }

long CScannerWrapper::ScannerCompareFirmwareVersion(const char* fileName, long* result)
{
    return GetInstance()->CompareFirmwareVersion(text(fileName), result);
}

long CScannerWrapper::ScannerUpdateFirmware(const char* fileName)
{
    return GetInstance()->UpdateFirmware(text(fileName));
}

long CScannerWrapper::ScannerDirectIO(long command, long* pData, BSTR* pString)
{
    return GetInstance()->DirectIO(command, pData, pString);
}

long CScannerWrapper::ScannerGetOpenResult() { return GetInstance()->GetOpenResult(); }
long CScannerWrapper::ScannerGetPropertyNumber(long index) { return GetInstance()->GetPropertyNumber(index); }

long CScannerWrapper::ScannerSetPropertyNumber(long index, long value)
{
    return GetInstance()->SetPropertyNumber(index, value);
}

OLECHAR* CScannerWrapper::ScannerGetPropertyString(long index)
{
    return GetInstance()->GetPropertyString(index);
}

long CScannerWrapper::ScannerSetPropertyString(long index, const char* value)
{
    return GetInstance()->SetPropertyString(index, text(value));
}

long CScannerWrapper::ScannerResetStatistics(const char* value)
{
    return GetInstance()->ResetStatistics(text(value));
}

long CScannerWrapper::ScannerUpdateStatistics(const char* value)
{
    return GetInstance()->UpdateStatistics(text(value));
}

long CScannerWrapper::ScannerRetrieveStatistics(OLECHAR** buffer)
{
    if (g_appType.load() == 0)
        return GetInstance()->RetrieveStatistics(buffer);
    if (buffer == nullptr)
        return GetInstance()->RetrieveStatistics(nullptr);
    // The host's buffer holds its narrow request, and room for the answer.
    // Without an answer the buffer stays as it is: the request, copied back
    // two bytes a character, would not fit where it came from.
    char* bytes = reinterpret_cast<char*>(buffer);
    BSTR request = platform::bstrFromAnsi(bytes);
    const long result = GetInstance()->RetrieveStatistics(&request);
    if (result == 0) {
        const std::size_t size = std::size_t(SysStringLen(request)) * sizeof(OLECHAR);
        std::memset(bytes, 0, size);
        if (size != 0)
            std::memcpy(bytes, request, size);
    }
    SysFreeString(request);
    return result;
}

long CScannerWrapper::ScannerDirectIO2(long command, long* pData, unsigned char* buffer)
{
    if (g_appType.load() == 0)
        return -1;
    if (pData == nullptr || buffer == nullptr || *pData < 0)
        return 106;
    const std::size_t capacity = static_cast<std::size_t>(*pData);
    CScannerMgr* instance = GetInstance();
    long result = 106;
    if (command == 18 || command == 19) {
        BSTR string = platform::bstrFromAnsi(std::string_view(reinterpret_cast<const char*>(buffer), capacity));
        if (string == nullptr)
            return 111;
        // The command name as DirectIO 18 finds it, without its marks.
        std::string name = platform::ansiFromBstr(string);
        if (!name.empty() && name[0] == ':') {
            const std::size_t close = name.find(':', 1);
            if (close != std::string::npos)
                name = name.substr(close + 1);
        }
        std::string plain;
        for (char c : name)
            if (std::strchr("?.!*^$#@", c) == nullptr || c == '\0')
                plain.push_back(c);
        bool image = plain.size() >= 6;
        for (std::size_t i = 0; image && i < 6; ++i)
            image = std::toupper(static_cast<unsigned char>(plain[i])) == "IMGSHP"[i];
        long count = *pData;
        result = instance->DirectIO(command, &count, &string);
        if (command == 18) {
            const std::size_t written = std::min<std::size_t>(static_cast<std::size_t>(std::max<long>(count, 0)),
                                                              capacity);
            const std::u16string_view answer = platform::bstrView(string);
            if (!image || result != 0) {
                std::memset(buffer, 0, capacity);
                const std::string narrow = platform::ansiFromBstr(string);
                std::memcpy(buffer, narrow.data(), std::min(written, narrow.size()));
            } else {
                for (std::size_t i = 0; i < written && i < answer.size(); ++i)
                    buffer[i] = static_cast<unsigned char>(answer[i] & 0xFF);
            }
            *pData = static_cast<long>(written);
        }
        SysFreeString(string);
        return result;
    }
    // The answer is nibble text of up to twice the bytes wanted; the BSTR
    // is sized by the call, never by the host's count.
    BSTR string = SysAllocStringLen(nullptr, 0);
    long count = *pData;
    result = instance->DirectIO(command, &count, &string);
    if (result == 0) {
        const std::u16string_view answer = platform::bstrView(string);
        const std::size_t bytes = std::min(static_cast<std::size_t>(std::max<long>(count, 0)) / 2, capacity);
        for (std::size_t i = 0; i < bytes && 2 * i + 1 < answer.size(); ++i)
            buffer[i] = static_cast<unsigned char>(((answer[2 * i] << 4) | (answer[2 * i + 1] & 0x0F)) & 0xFF);
        *pData = static_cast<long>(bytes);
    }
    SysFreeString(string);
    return result;
}

void CScannerWrapper::ScannerFireUpdateDataEvent(long status)
{
    if (g_appType.load() != 0) {
        if (DataEventFP f = g_dataEvent.load())
            f(status);
    } else {
        CScannerSO::FireData(status);
    }
}

void CScannerWrapper::ScannerFireErrorEvent(long resultCode, long resultCodeExtended, long errorLocus, long* pResponse)
{
    if (g_appType.load() != 0) {
        if (ErrorEventFP f = g_errorEvent.load())
            f(resultCode, resultCodeExtended, errorLocus, pResponse);
    } else {
        CScannerSO::FireError(resultCode, resultCodeExtended, errorLocus, pResponse);
    }
}

void CScannerWrapper::ScannerFireStatusEvent(long status)
{
    if (g_appType.load() != 0) {
        if (StatusEventFP f = g_statusEvent.load())
            f(status);
    } else {
        CScannerSO::FireStatusUpdate(status);
    }
}

void CScannerWrapper::ScannerFireDirectIOEvent(long number, long* pData, BSTR* pString)
{
    if (g_appType.load() != 0) {
        if (DirectIOFP f = g_directIO.load())
            f(number, pData, pString);
    } else {
        CScannerSO::FireDirectIO(number, pData, pString);
    }
}

bool CScannerWrapper::ScannerFireUpdateStatistics(int counter)
{
    UpdateStatisticsFP f = g_updateStatistics.load();
    return f != nullptr && f(counter);
}
