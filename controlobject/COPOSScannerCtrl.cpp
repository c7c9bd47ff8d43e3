// The scanner control: identity, binding to the service object, properties
// and methods. Event delivery is in ScannerControlEvents.cpp, the dispatch
// table in ScannerControlDispatch.cpp.
#include "COPOSScannerCtrl.h"

#include "platform/com.h"
#include "platform/registry.h"
#include "platform/thread.h"

#include <new>
#include <string>

namespace {

constexpr char kScannerCategory[] = "SOFTWARE\\OLEforRetail\\ServiceOPOS\\Scanner";
constexpr char kControlObjectDescription[] = "VXOPOS Scanner Control 1.13.0.2";
constexpr LONG kControlObjectVersion = 1013002;
// Registry texts the control reads are at most this long.
constexpr DWORD kRegistryTextBytes = 512;

// OPOS result codes and OpenResult values the control answers itself.
constexpr LONG OPOS_SUCCESS = 0;
constexpr LONG OPOS_E_CLOSED = 101;
constexpr LONG OPOS_E_NOSERVICE = 104;
constexpr LONG OPOS_E_ILLEGAL = 106;
constexpr LONG OPOS_E_NOEXIST = 109;
constexpr LONG OPOS_OR_ALREADYOPEN = 301;
constexpr LONG OPOS_OR_REGBADNAME = 302;
constexpr LONG OPOS_OR_REGPROGID = 303;
constexpr LONG OPOS_OR_CREATE = 304;
constexpr LONG OPOS_OR_BADIF = 305;
constexpr LONG OPOS_OR_FAILEDOPEN = 306;
constexpr LONG OPOS_OR_BADVERSION = 307;
constexpr LONG OPOS_S_CLOSED = 1;

// Property indexes of the service object.
constexpr LONG PIDX_Claimed = 1;
constexpr LONG PIDX_DataEventEnabled = 2;
constexpr LONG PIDX_DeviceEnabled = 3;
constexpr LONG PIDX_FreezeEvents = 4;
constexpr LONG PIDX_ResultCode = 6;
constexpr LONG PIDX_ResultCodeExtended = 7;
constexpr LONG PIDX_ServiceObjectVersion = 8;
constexpr LONG PIDX_State = 9;
constexpr LONG PIDX_AutoDisable = 10;
constexpr LONG PIDX_BinaryConversion = 11;
constexpr LONG PIDX_DataCount = 12;
constexpr LONG PIDX_PowerNotify = 13;
constexpr LONG PIDX_PowerState = 14;
constexpr LONG PIDX_CapPowerReporting = 501;
constexpr LONG PIDX_CapStatisticsReporting = 502;
constexpr LONG PIDX_CapUpdateStatistics = 503;
constexpr LONG PIDX_CapCompareFirmwareVersion = 504;
constexpr LONG PIDX_CapUpdateFirmware = 505;
constexpr LONG PIDX_ScanDataDecodeData = 10001;
constexpr LONG PIDX_ScanDataType = 10002;
constexpr LONG PIDX_CheckHealthText = 1000001;
constexpr LONG PIDX_DeviceDescription = 1000002;
constexpr LONG PIDX_DeviceName = 1000003;
constexpr LONG PIDX_ServiceObjectDescription = 1000004;
constexpr LONG PIDX_ScanData = 1010001;
constexpr LONG PIDX_ScanDataLabel = 1010002;

// The service object's methods in the control's table order, with the
// OPOS 1.x name tried when the first is missing.
struct MethodName {
    const char* name;
    const char* fallback;
};
constexpr MethodName kMethodNames[] = {
    {"COFreezeEvents", nullptr},    {"GetPropertyNumber", nullptr},  {"SetPropertyNumber", nullptr},
    {"GetPropertyString", nullptr}, {"SetPropertyString", nullptr},  {"OpenService", nullptr},
    {"CheckHealth", nullptr},       {"ClaimDevice", "Claim"},        {"ClearInput", nullptr},
    {"CloseService", "Close"},      {"DirectIO", nullptr},           {"ReleaseDevice", "Release"},
    {"ResetStatistics", nullptr},   {"RetrieveStatistics", nullptr}, {"UpdateStatistics", nullptr},
    {"CompareFirmwareVersion", nullptr}, {"UpdateFirmware", nullptr}, {"ClearInputProperties", nullptr},
};

// Methods a service object of minor version `minor` (major 1) must have.
int RequiredMethods(LONG minor)
{
    if (minor < 8)
        return 12;
    if (minor == 8)
        return 15;
    if (minor == 9)
        return 17;
    return 18;
}

// A REG_SZ value of at most kRegistryTextBytes; false otherwise.
bool RegistryText(HKEY key, const char* valueName, std::string* text)
{
    char buffer[kRegistryTextBytes + 1] = {};
    DWORD type = 0;
    DWORD size = kRegistryTextBytes;
    if (RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return false;
    buffer[size < kRegistryTextBytes ? size : kRegistryTextBytes] = '\0';
    *text = buffer;
    return true;
}

HRESULT CopyText(const char* text, BSTR* out)
{
    if (out == nullptr)
        return E_POINTER;
    *out = platform::bstrFromAnsi(text);
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

platform::ComModule& COPOSScannerCtrl::Module()
{
    static platform::ComModule module;
    return module;
}

COPOSScannerCtrl::COPOSScannerCtrl() : m_eventPoint(this, DIID__IOPOSScannerEvents)
{
    for (DISPID& id : m_methods)
        id = DISPID_UNKNOWN;
    Module().objectCreated();
}

COPOSScannerCtrl::~COPOSScannerCtrl()
{
    Module().objectDestroyed();
}

HRESULT COPOSScannerCtrl::Create(REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    auto* control = new (std::nothrow) COPOSScannerCtrl;
    if (control == nullptr)
        return E_OUTOFMEMORY;
    if (!control->CreateDeliveryObjects()) {
        control->DestroyDeliveryObjects();
        delete control;
        return E_UNEXPECTED;
    }
    const HRESULT result = control->QueryInterface(iid, object);
    control->Release();
    return result;
}

HRESULT COPOSScannerCtrl::QueryInterface(REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IOPOSScanner_1_5 || iid == IID_IOPOSScanner_1_8 ||
        iid == IID_IOPOSScanner_1_9 || iid == IID_IOPOSScanner_1_10 || iid == IID_IOPOSScanner)
        *object = static_cast<IOPOSScanner*>(this);
    else if (iid == IID_IConnectionPointContainer)
        *object = static_cast<IConnectionPointContainer*>(this);
    else if (iid == IID_IOleControl)
        *object = static_cast<IOleControl*>(this);
    else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG COPOSScannerCtrl::AddRef()
{
    return m_references.fetch_add(1) + 1;
}

ULONG COPOSScannerCtrl::Release()
{
    const ULONG left = m_references.fetch_sub(1) - 1;
    if (left == 0)
        FinalRelease();
    return left;
}

void COPOSScannerCtrl::FinalRelease()
{
    if (m_open)
        CloseControl();
    m_eventPoint.clear();
    DestroyDeliveryObjects();
    delete this;
}

// --- Open and Close --------------------------------------------------------

void COPOSScannerCtrl::OpenFailed(LONG resultCode, LONG openResult)
{
    m_resultCode = resultCode;
    m_openResult = openResult;
}

HRESULT COPOSScannerCtrl::Open(BSTR DeviceName, LONG* pRC)
{
    if (pRC == nullptr)
        return E_POINTER;
    try {
        if (m_open) {
            OpenFailed(OPOS_E_ILLEGAL, OPOS_OR_ALREADYOPEN);
            *pRC = OPOS_E_ILLEGAL;
            return S_OK;
        }
        *pRC = OPOS_E_NOEXIST;
        OpenFailed(OPOS_E_NOEXIST, OPOS_OR_REGBADNAME);
        const std::string deviceName = platform::ansiFromBstr(DeviceName);
        if (deviceName.empty())
            return S_OK;

        // The device's key: a text value named like the device names it
        // (an alias); otherwise the device name itself does.
        HKEY category = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kScannerCategory, 0, KEY_READ, &category) != ERROR_SUCCESS)
            return S_OK;
        std::string deviceKeyName;
        if (!RegistryText(category, deviceName.c_str(), &deviceKeyName))
            deviceKeyName = deviceName;
        HKEY deviceKey = nullptr;
        const LONG opened = RegOpenKeyExA(category, deviceKeyName.c_str(), 0, KEY_READ, &deviceKey);
        RegCloseKey(category);
        if (opened != ERROR_SUCCESS)
            return S_OK;

        *pRC = OPOS_E_NOSERVICE;
        OpenFailed(OPOS_E_NOSERVICE, OPOS_OR_REGPROGID);
        std::string progId;
        const bool haveProgId = RegistryText(deviceKey, nullptr, &progId);
        RegCloseKey(deviceKey);
        CLSID clsid{};
        if (!haveProgId || progId.empty() ||
            FAILED(CLSIDFromProgID(platform::oleFromLatin1(progId).c_str(), &clsid)))
            return S_OK;

        m_openResult = OPOS_OR_CREATE;
        IDispatch* serviceObject = nullptr;
        if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IDispatch,
                                    reinterpret_cast<void**>(&serviceObject))) ||
            serviceObject == nullptr)
            return S_OK;
        m_so.attach(serviceObject);  // takes over the creation's reference, held to Close

        m_boundMethods = 0;
        for (const MethodName& method : kMethodNames) {
            DISPID id = DISPID_UNKNOWN;
            HRESULT found = m_so.idOf(std::string_view(method.name), &id, LOCALE_SYSTEM_DEFAULT);
            if (FAILED(found) && method.fallback != nullptr)
                found = m_so.idOf(std::string_view(method.fallback), &id, LOCALE_SYSTEM_DEFAULT);
            if (FAILED(found))
                break;
            m_methods[m_boundMethods++] = id;
        }
        if (m_boundMethods < 12) {
            m_openResult = OPOS_OR_BADIF;
            m_so.release();
            return S_OK;
        }

        LONG code = 0;
        const HRESULT opening = m_so.callI4(
            m_methods[kOpenService],
            {platform::DispatchArg::latin1("Scanner"), platform::DispatchArg::latin1(deviceKeyName),
             platform::DispatchArg::dispatch(static_cast<IOPOSScanner*>(this))},
            &code);
        if (FAILED(opening) || code != OPOS_SUCCESS) {
            // The service object's own reason, when it gives one; a failed
            // Open never shows OpenResult 0.
            m_openResult = OPOS_OR_FAILEDOPEN;
            if (SUCCEEDED(opening)) {
                DISPID getOpenResult = DISPID_UNKNOWN;
                LONG reason = 0;
                if (SUCCEEDED(m_so.idOf(std::string_view("GetOpenResult"), &getOpenResult, LOCALE_SYSTEM_DEFAULT)) &&
                    SUCCEEDED(m_so.callI4(getOpenResult, {}, &reason)) && reason != 0)
                    m_openResult = reason;
            }
            m_so.release();
            *pRC = SUCCEEDED(opening) ? code : OPOS_E_NOSERVICE;
            return S_OK;
        }

        EnableDelivery();
        m_freezeEvents = false;
        m_open = true;
        LONG version = 0;
        if (FAILED(m_so.callI4(m_methods[kGetPropertyNumber], {platform::DispatchArg::i4(PIDX_ServiceObjectVersion)},
                               &version)))
            version = 0;
        m_soMajor = version / 1000000;
        m_soMinor = (version / 1000) % 1000;
        if (m_soMajor != 1) {
            CloseControl();
            OpenFailed(OPOS_E_NOSERVICE, OPOS_OR_BADVERSION);
            return S_OK;
        }
        if (m_soMinor < 0)
            m_soMinor = 0;
        m_requiredMethods = RequiredMethods(m_soMinor);
        if (m_boundMethods < m_requiredMethods) {
            CloseControl();
            OpenFailed(OPOS_E_NOSERVICE, OPOS_OR_BADIF);
            return S_OK;
        }
        if (m_containerFreezeCount != 0)
            m_so.invoke(m_methods[kCOFreezeEvents], DISPATCH_METHOD, {platform::DispatchArg::boolean(true)}, nullptr);
        m_resultCode = -1;
        m_openResult = 0;
        *pRC = OPOS_SUCCESS;
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

LONG COPOSScannerCtrl::CloseControl()
{
    if (!m_open)
        return OPOS_E_CLOSED;
    DisableDelivery();
    LONG code = 0;
    if (FAILED(m_so.callI4(m_methods[kCloseService], {}, &code)))
        code = OPOS_E_NOSERVICE;
    m_so.release();
    PurgeEventMessages();
    m_open = false;
    m_soMajor = 0;
    m_soMinor = 0;
    return code;
}

HRESULT COPOSScannerCtrl::Close(LONG* pRC)
{
    if (pRC == nullptr)
        return E_POINTER;
    m_resultCode = -1;
    *pRC = CloseControl();
    return S_OK;
}

// --- Methods ---------------------------------------------------------------

LONG COPOSScannerCtrl::CallMethod(int position, const std::vector<platform::DispatchArg>& args, bool checkVersion)
{
    m_resultCode = -1;
    if (!m_open)
        return OPOS_E_CLOSED;
    if (checkVersion && position >= m_requiredMethods) {
        m_resultCode = OPOS_E_NOSERVICE;
        return OPOS_E_NOSERVICE;
    }
    LONG code = 0;
    if (FAILED(m_so.callI4(m_methods[position], args, &code))) {
        m_resultCode = OPOS_E_NOSERVICE;
        return OPOS_E_NOSERVICE;
    }
    return code;
}

#define VX_RESULT_OUT(pRC) \
    if ((pRC) == nullptr)  \
        return E_POINTER;

HRESULT COPOSScannerCtrl::CheckHealth(LONG Level, LONG* pRC)
{
    VX_RESULT_OUT(pRC);
    *pRC = CallMethod(kCheckHealth, {platform::DispatchArg::i4(Level)});
    return S_OK;
}

HRESULT COPOSScannerCtrl::ClaimDevice(LONG Timeout, LONG* pRC)
{
    VX_RESULT_OUT(pRC);
    if (m_open)
        EnableDelivery();
    *pRC = CallMethod(kClaimDevice, {platform::DispatchArg::i4(Timeout)}, false);
    return S_OK;
}

HRESULT COPOSScannerCtrl::ReleaseDevice(LONG* pRC)
{
    VX_RESULT_OUT(pRC);
    if (m_open)
        DisableDelivery();
    *pRC = CallMethod(kReleaseDevice, {}, false);
    return S_OK;
}

HRESULT COPOSScannerCtrl::ClearInput(LONG* pRC)
{
    VX_RESULT_OUT(pRC);
    *pRC = CallMethod(kClearInput, {});
    return S_OK;
}

HRESULT COPOSScannerCtrl::DirectIO(LONG Command, LONG* pData, BSTR* pString, LONG* pRC)
{
    VX_RESULT_OUT(pRC);
    if (pData == nullptr || pString == nullptr)
        return E_POINTER;
    *pRC = CallMethod(kDirectIO, {platform::DispatchArg::i4(Command), platform::DispatchArg::i4Ref(pData),
                                  platform::DispatchArg::bstrRef(pString)});
    return S_OK;
}

HRESULT COPOSScannerCtrl::ResetStatistics(BSTR StatisticsBuffer, LONG* pRC)
{
    VX_RESULT_OUT(pRC);
    *pRC = CallMethod(kResetStatistics, {platform::DispatchArg::text(platform::oleFromBstr(StatisticsBuffer))});
    return S_OK;
}

HRESULT COPOSScannerCtrl::RetrieveStatistics(BSTR* pStatisticsBuffer, LONG* pRC)
{
    VX_RESULT_OUT(pRC);
    if (pStatisticsBuffer == nullptr)
        return E_POINTER;
    *pRC = CallMethod(kRetrieveStatistics, {platform::DispatchArg::bstrRef(pStatisticsBuffer)});
    return S_OK;
}

HRESULT COPOSScannerCtrl::UpdateStatistics(BSTR StatisticsBuffer, LONG* pRC)
{
    VX_RESULT_OUT(pRC);
    *pRC = CallMethod(kUpdateStatistics, {platform::DispatchArg::text(platform::oleFromBstr(StatisticsBuffer))});
    return S_OK;
}

HRESULT COPOSScannerCtrl::CompareFirmwareVersion(BSTR FirmwareFileName, LONG* pResult, LONG* pRC)
{
    VX_RESULT_OUT(pRC);
    if (pResult == nullptr)
        return E_POINTER;
    *pRC = CallMethod(kCompareFirmwareVersion, {platform::DispatchArg::text(platform::oleFromBstr(FirmwareFileName)),
                                                platform::DispatchArg::i4Ref(pResult)});
    return S_OK;
}

HRESULT COPOSScannerCtrl::UpdateFirmware(BSTR FirmwareFileName, LONG* pRC)
{
    VX_RESULT_OUT(pRC);
    *pRC = CallMethod(kUpdateFirmware, {platform::DispatchArg::text(platform::oleFromBstr(FirmwareFileName))});
    return S_OK;
}

HRESULT COPOSScannerCtrl::ClearInputProperties(LONG* pRC)
{
    VX_RESULT_OUT(pRC);
    *pRC = CallMethod(kClearInputProperties, {});
    return S_OK;
}

// --- Properties ------------------------------------------------------------

LONG COPOSScannerCtrl::NumberProperty(LONG index, LONG minimumMinor)
{
    if (!m_open || m_soMinor < minimumMinor)
        return 0;
    LONG value = 0;
    if (FAILED(m_so.callI4(m_methods[kGetPropertyNumber], {platform::DispatchArg::i4(index)}, &value)))
        return 0;
    return value;
}

VARIANT_BOOL COPOSScannerCtrl::BoolProperty(LONG index, LONG minimumMinor)
{
    return NumberProperty(index, minimumMinor) != 0 ? VARIANT_TRUE : VARIANT_FALSE;
}

HRESULT COPOSScannerCtrl::StringProperty(LONG index, LONG minimumMinor, BSTR* value)
{
    if (value == nullptr)
        return E_POINTER;
    *value = nullptr;
    if (m_open && m_soMinor >= minimumMinor) {
        VARIANT result;
        VariantInit(&result);
        if (SUCCEEDED(m_so.invoke(m_methods[kGetPropertyString], DISPATCH_METHOD, {platform::DispatchArg::i4(index)},
                                  &result)) &&
            SUCCEEDED(VariantChangeType(&result, &result, 0, VT_BSTR))) {
            *value = result.bstrVal;  // handed over
            if (*value == nullptr)
                *value = SysAllocStringLen(nullptr, 0);
            return *value != nullptr ? S_OK : E_OUTOFMEMORY;
        }
        VariantClear(&result);
    }
    return CopyText("[Error]", value);
}

void COPOSScannerCtrl::SetNumberProperty(LONG index, LONG minimumMinor, LONG value)
{
    m_resultCode = -1;
    if (!m_open)
        return;
    if (m_soMinor < minimumMinor) {
        m_resultCode = OPOS_E_NOSERVICE;
        return;
    }
    if (FAILED(m_so.invoke(m_methods[kSetPropertyNumber], DISPATCH_METHOD,
                           {platform::DispatchArg::i4(index), platform::DispatchArg::i4(value)}, nullptr)))
        m_resultCode = OPOS_E_NOSERVICE;
}

#define VX_NUMBER_GET(Name, Index, Minor)                        \
    HRESULT COPOSScannerCtrl::get_##Name(LONG* value)            \
    {                                                            \
        if (value == nullptr)                                    \
            return E_POINTER;                                    \
        *value = NumberProperty(Index, Minor);                   \
        return S_OK;                                             \
    }
#define VX_BOOL_GET(Name, Index, Minor)                          \
    HRESULT COPOSScannerCtrl::get_##Name(VARIANT_BOOL* value)    \
    {                                                            \
        if (value == nullptr)                                    \
            return E_POINTER;                                    \
        *value = BoolProperty(Index, Minor);                     \
        return S_OK;                                             \
    }
#define VX_STRING_GET(Name, Index, Minor)                        \
    HRESULT COPOSScannerCtrl::get_##Name(BSTR* value)            \
    {                                                            \
        return StringProperty(Index, Minor, value);              \
    }
#define VX_NUMBER_PUT(Name, Index, Minor)                        \
    HRESULT COPOSScannerCtrl::put_##Name(LONG value)             \
    {                                                            \
        SetNumberProperty(Index, Minor, value);                  \
        return S_OK;                                             \
    }
#define VX_BOOL_PUT(Name, Index, Minor)                          \
    HRESULT COPOSScannerCtrl::put_##Name(VARIANT_BOOL value)     \
    {                                                            \
        SetNumberProperty(Index, Minor, value != 0 ? 1 : 0);     \
        return S_OK;                                             \
    }

VX_BOOL_GET(Claimed, PIDX_Claimed, 0)
VX_BOOL_GET(DataEventEnabled, PIDX_DataEventEnabled, 0)
VX_BOOL_PUT(DataEventEnabled, PIDX_DataEventEnabled, 0)
VX_BOOL_GET(DeviceEnabled, PIDX_DeviceEnabled, 0)
VX_BOOL_PUT(DeviceEnabled, PIDX_DeviceEnabled, 0)
VX_BOOL_GET(FreezeEvents, PIDX_FreezeEvents, 0)
VX_NUMBER_GET(ResultCodeExtended, PIDX_ResultCodeExtended, 0)
VX_NUMBER_GET(ServiceObjectVersion, PIDX_ServiceObjectVersion, 0)
VX_BOOL_GET(AutoDisable, PIDX_AutoDisable, 2)
VX_BOOL_PUT(AutoDisable, PIDX_AutoDisable, 2)
VX_NUMBER_GET(BinaryConversion, PIDX_BinaryConversion, 2)
VX_NUMBER_PUT(BinaryConversion, PIDX_BinaryConversion, 2)
VX_NUMBER_GET(DataCount, PIDX_DataCount, 2)
VX_BOOL_GET(DecodeData, PIDX_ScanDataDecodeData, 2)
VX_BOOL_PUT(DecodeData, PIDX_ScanDataDecodeData, 2)
VX_NUMBER_GET(ScanDataType, PIDX_ScanDataType, 2)
VX_NUMBER_GET(CapPowerReporting, PIDX_CapPowerReporting, 3)
VX_NUMBER_GET(PowerNotify, PIDX_PowerNotify, 3)
VX_NUMBER_PUT(PowerNotify, PIDX_PowerNotify, 3)
VX_NUMBER_GET(PowerState, PIDX_PowerState, 3)
VX_BOOL_GET(CapStatisticsReporting, PIDX_CapStatisticsReporting, 8)
VX_BOOL_GET(CapUpdateStatistics, PIDX_CapUpdateStatistics, 8)
VX_BOOL_GET(CapCompareFirmwareVersion, PIDX_CapCompareFirmwareVersion, 9)
VX_BOOL_GET(CapUpdateFirmware, PIDX_CapUpdateFirmware, 9)
VX_STRING_GET(CheckHealthText, PIDX_CheckHealthText, 0)
VX_STRING_GET(DeviceDescription, PIDX_DeviceDescription, 0)
VX_STRING_GET(DeviceName, PIDX_DeviceName, 0)
VX_STRING_GET(ServiceObjectDescription, PIDX_ServiceObjectDescription, 0)
VX_STRING_GET(ScanData, PIDX_ScanData, 0)
VX_STRING_GET(ScanDataLabel, PIDX_ScanDataLabel, 2)

HRESULT COPOSScannerCtrl::put_FreezeEvents(VARIANT_BOOL FreezeEvents)
{
    // Freezing takes hold in the service object before the control holds
    // its callers; thawing lets the control deliver before the service
    // object sends more.
    const bool freeze = FreezeEvents != 0;
    if (freeze) {
        SetNumberProperty(PIDX_FreezeEvents, 0, 1);
        if (m_open)
            m_freezeEvents = true;
    } else {
        if (m_open)
            m_freezeEvents = false;
        SetNumberProperty(PIDX_FreezeEvents, 0, 0);
    }
    return S_OK;
}

HRESULT COPOSScannerCtrl::get_ResultCode(LONG* value)
{
    if (value == nullptr)
        return E_POINTER;
    if (!m_open)
        *value = OPOS_E_CLOSED;
    else if (m_resultCode != -1)
        *value = m_resultCode;
    else
        *value = NumberProperty(PIDX_ResultCode, 0);
    return S_OK;
}

HRESULT COPOSScannerCtrl::get_State(LONG* value)
{
    if (value == nullptr)
        return E_POINTER;
    *value = m_open ? NumberProperty(PIDX_State, 0) : OPOS_S_CLOSED;
    return S_OK;
}

HRESULT COPOSScannerCtrl::get_OpenResult(LONG* value)
{
    if (value == nullptr)
        return E_POINTER;
    *value = m_openResult;
    return S_OK;
}

HRESULT COPOSScannerCtrl::get_ControlObjectDescription(BSTR* value)
{
    return CopyText(kControlObjectDescription, value);
}

HRESULT COPOSScannerCtrl::get_ControlObjectVersion(LONG* value)
{
    if (value == nullptr)
        return E_POINTER;
    *value = kControlObjectVersion;
    return S_OK;
}

HRESULT COPOSScannerCtrl::SOProcessID(LONG* pProcessID)
{
    if (pProcessID == nullptr)
        return E_POINTER;
    *pProcessID = static_cast<LONG>(GetCurrentProcessId());
    return S_OK;
}

HRESULT COPOSScannerCtrl::SOOutputCompleteDummy(LONG)
{
    return E_NOTIMPL;  // a scanner has no output events
}

// --- Containers ------------------------------------------------------------

HRESULT COPOSScannerCtrl::EnumConnectionPoints(IEnumConnectionPoints** points)
{
    if (points != nullptr)
        *points = nullptr;
    return E_NOTIMPL;
}

HRESULT COPOSScannerCtrl::FindConnectionPoint(REFIID iid, IConnectionPoint** point)
{
    if (point == nullptr)
        return E_POINTER;
    *point = nullptr;
    if (!(iid == DIID__IOPOSScannerEvents))
        return CONNECT_E_NOCONNECTION;
    m_eventPoint.AddRef();
    *point = &m_eventPoint;
    return S_OK;
}

HRESULT COPOSScannerCtrl::GetControlInfo(CONTROLINFO*)
{
    return E_NOTIMPL;
}

HRESULT COPOSScannerCtrl::OnMnemonic(MSG*)
{
    return E_NOTIMPL;
}

HRESULT COPOSScannerCtrl::OnAmbientPropertyChange(DISPID)
{
    return S_OK;
}

HRESULT COPOSScannerCtrl::FreezeEvents(BOOL freeze)
{
    // The service object hears of the container's freezing only at its
    // first freeze and its last thaw.
    if (freeze) {
        if (m_containerFreezeCount.fetch_add(1) == 0 && m_open)
            m_so.invoke(m_methods[kCOFreezeEvents], DISPATCH_METHOD, {platform::DispatchArg::boolean(true)}, nullptr);
    } else {
        int count = m_containerFreezeCount.load();
        while (count > 0 && !m_containerFreezeCount.compare_exchange_weak(count, count - 1)) {
        }
        if (count == 1 && m_open)
            m_so.invoke(m_methods[kCOFreezeEvents], DISPATCH_METHOD, {platform::DispatchArg::boolean(false)}, nullptr);
    }
    return S_OK;
}
