// The scripted scanner control (see FakeScannerControl.h).
#include "FakeScannerControl.h"

#include "OposScanner.h"

#include <stdexcept>

namespace {

using platform::DispatchArg;
using platform::DispatchCall;
using platform::DispatchTable;

constexpr VARTYPE I4 = VT_I4;
constexpr VARTYPE BOOLEAN = VT_BOOL;
constexpr VARTYPE TEXT = VT_BSTR;
constexpr VARTYPE I4_REF = VT_I4 | VT_BYREF;
constexpr VARTYPE TEXT_REF = VT_BSTR | VT_BYREF;

}  // namespace

// Handlers reach the fake through these.
struct FakeScannerControl::Member {
    static FakeScannerControl* Self(void* object) { return static_cast<FakeScannerControl*>(object); }
};

#define FAKE_GET(Name, Id, Type)                                                                  \
    DispatchTable::Member{#Name, Id, DISPATCH_PROPERTYGET, {}, Type, [](void* o, DispatchCall& c) { \
        Member::Self(o)->Get(c, #Name, Type);                                                     \
        return S_OK;                                                                              \
    }}
#define FAKE_PUT(Name, Id, Type)                                                                        \
    DispatchTable::Member{#Name, Id, DISPATCH_PROPERTYPUT, {Type}, VT_EMPTY, [](void* o, DispatchCall& c) { \
        Member::Self(o)->Put(c, #Name, Type);                                                           \
        return S_OK;                                                                                    \
    }}
#define FAKE_METHOD(Name, Id, ...)                                                                               \
    DispatchTable::Member{#Name, Id, DISPATCH_METHOD, std::vector<VARTYPE>{__VA_ARGS__}, I4,                    \
                          [](void* o, DispatchCall& c) {                                                         \
                              Member::Self(o)->Method(c, #Name, std::vector<VARTYPE>{__VA_ARGS__});              \
                              return S_OK;                                                                       \
                          }}

const DispatchTable& FakeScannerControl::Table()
{
    static const DispatchTable table({
        FAKE_GET(AutoDisable, 10, BOOLEAN), FAKE_PUT(AutoDisable, 10, BOOLEAN),
        FAKE_GET(BinaryConversion, 11, I4), FAKE_PUT(BinaryConversion, 11, I4),
        FAKE_GET(CapPowerReporting, 12, I4),
        FAKE_GET(CheckHealthText, 13, TEXT),
        FAKE_GET(Claimed, 14, BOOLEAN),
        FAKE_GET(DataCount, 15, I4),
        FAKE_GET(DataEventEnabled, 16, BOOLEAN), FAKE_PUT(DataEventEnabled, 16, BOOLEAN),
        FAKE_GET(DeviceEnabled, 17, BOOLEAN), FAKE_PUT(DeviceEnabled, 17, BOOLEAN),
        FAKE_GET(FreezeEvents, 18, BOOLEAN), FAKE_PUT(FreezeEvents, 18, BOOLEAN),
        FAKE_GET(PowerNotify, 20, I4), FAKE_PUT(PowerNotify, 20, I4),
        FAKE_GET(PowerState, 21, I4),
        FAKE_GET(ResultCode, 22, I4),
        FAKE_GET(ResultCodeExtended, 23, I4),
        FAKE_GET(State, 24, I4),
        FAKE_GET(ControlObjectDescription, 25, TEXT),
        FAKE_GET(ControlObjectVersion, 26, I4),
        FAKE_GET(ServiceObjectDescription, 27, TEXT),
        FAKE_GET(ServiceObjectVersion, 28, I4),
        FAKE_GET(DeviceDescription, 29, TEXT),
        FAKE_GET(DeviceName, 30, TEXT),
        FAKE_METHOD(CheckHealth, 31, I4),
        FAKE_METHOD(ClaimDevice, 32, I4),
        FAKE_METHOD(ClearInput, 33),
        FAKE_METHOD(Close, 35),
        FAKE_METHOD(DirectIO, 36, I4, I4_REF, TEXT_REF),
        FAKE_METHOD(Open, 37, TEXT),
        FAKE_METHOD(ReleaseDevice, 38),
        FAKE_GET(CapStatisticsReporting, 39, BOOLEAN),
        FAKE_GET(CapUpdateStatistics, 40, BOOLEAN),
        FAKE_METHOD(ResetStatistics, 41, TEXT),
        FAKE_METHOD(RetrieveStatistics, 42, TEXT_REF),
        FAKE_METHOD(UpdateStatistics, 43, TEXT),
        FAKE_GET(CapCompareFirmwareVersion, 44, BOOLEAN),
        FAKE_GET(CapUpdateFirmware, 45, BOOLEAN),
        FAKE_METHOD(CompareFirmwareVersion, 46, TEXT, I4_REF),
        FAKE_METHOD(UpdateFirmware, 47, TEXT),
        FAKE_METHOD(ClearInputProperties, 48),
        FAKE_GET(OpenResult, 49, I4),
        FAKE_GET(DecodeData, 50, BOOLEAN), FAKE_PUT(DecodeData, 50, BOOLEAN),
        FAKE_GET(ScanData, 51, TEXT),
        FAKE_GET(ScanDataLabel, 52, TEXT),
        FAKE_GET(ScanDataType, 53, I4),
        // The image-scanner control's own members, by its ids, so that the
        // fake can stand behind that wrapper too.
        FAKE_GET(CapAim, 60, BOOLEAN),
        FAKE_GET(CapDecodeData, 61, BOOLEAN),
        FAKE_GET(CapHostTriggered, 62, BOOLEAN),
        FAKE_GET(CapIlluminate, 63, BOOLEAN),
        FAKE_GET(CapImageData, 64, BOOLEAN),
        FAKE_GET(CapImageQuality, 65, BOOLEAN),
        FAKE_GET(CapVideoData, 66, BOOLEAN),
        FAKE_GET(AimMode, 67, BOOLEAN), FAKE_PUT(AimMode, 67, BOOLEAN),
        FAKE_GET(BitsPerPixel, 68, I4),
        FAKE_GET(FrameData, 69, TEXT),
        FAKE_GET(FrameType, 70, I4),
        FAKE_GET(IlluminateMode, 71, BOOLEAN), FAKE_PUT(IlluminateMode, 71, BOOLEAN),
        FAKE_GET(ImageHeight, 72, I4),
        FAKE_GET(ImageLength, 73, I4),
        FAKE_GET(ImageMode, 74, I4), FAKE_PUT(ImageMode, 74, I4),
        FAKE_GET(ImageQuality, 75, I4), FAKE_PUT(ImageQuality, 75, I4),
        FAKE_GET(ImageType, 76, I4),
        FAKE_GET(ImageWidth, 77, I4),
        FAKE_GET(VideoCount, 78, I4), FAKE_PUT(VideoCount, 78, I4),
        FAKE_GET(VideoRate, 79, I4), FAKE_PUT(VideoRate, 79, I4),
        FAKE_METHOD(StartSession, 90),
        FAKE_METHOD(StopSession, 91),
    });
    return table;
}

#undef FAKE_GET
#undef FAKE_PUT
#undef FAKE_METHOD

FakeScannerControl::FakeScannerControl()
    : m_numbers{{"State", 2}, {"ControlObjectVersion", 1013002}, {"ServiceObjectVersion", 1013000}},
      m_texts{{"ControlObjectDescription", "Fake scanner control"},
              {"ServiceObjectDescription", "Fake service object"},
              {"DeviceDescription", "Fake scanner"},
              {"DeviceName", "Fake scanner"}},
      m_point(this, DIID__IOPOSScannerEvents)
{
}

FakeScannerControl::~FakeScannerControl()
{
    m_point.clear();
}

// --- Scripts and records -----------------------------------------------------

void FakeScannerControl::SetNumber(const std::string& member, LONG value)
{
    std::lock_guard lock(m_mutex);
    m_numbers[member] = value;
}

void FakeScannerControl::SetText(const std::string& member, const std::string& text)
{
    std::lock_guard lock(m_mutex);
    m_texts[member] = text;
}

void FakeScannerControl::RefusePut(const std::string& property, LONG resultCode)
{
    std::lock_guard lock(m_mutex);
    m_refusedPuts[property] = resultCode;
}

void FakeScannerControl::Fail(const std::string& call, const std::string& description)
{
    std::lock_guard lock(m_mutex);
    m_failures[call] = description;
}

void FakeScannerControl::ClearFailure(const std::string& call)
{
    std::lock_guard lock(m_mutex);
    m_failures.erase(call);
}

void FakeScannerControl::SetDirectIOOutput(LONG data, const std::string& text)
{
    std::lock_guard lock(m_mutex);
    m_haveDirectIOOutput = true;
    m_directIOData = data;
    m_directIOText = text;
}

void FakeScannerControl::SetStatisticsOutput(const std::string& text)
{
    std::lock_guard lock(m_mutex);
    m_haveStatisticsOutput = true;
    m_statisticsText = text;
}

void FakeScannerControl::SetCompareResult(LONG result)
{
    std::lock_guard lock(m_mutex);
    m_haveCompareResult = true;
    m_compareResult = result;
}

LONG FakeScannerControl::Number(const std::string& member) const
{
    std::lock_guard lock(m_mutex);
    const auto found = m_numbers.find(member);
    return found != m_numbers.end() ? found->second : 0;
}

std::string FakeScannerControl::Text(const std::string& member) const
{
    std::lock_guard lock(m_mutex);
    const auto found = m_texts.find(member);
    return found != m_texts.end() ? found->second : std::string();
}

std::vector<std::string> FakeScannerControl::Calls() const
{
    std::lock_guard lock(m_mutex);
    return m_calls;
}

void FakeScannerControl::ClearCalls()
{
    std::lock_guard lock(m_mutex);
    m_calls.clear();
}

ULONG FakeScannerControl::References() const
{
    std::lock_guard lock(m_mutex);
    return m_references;
}

std::size_t FakeScannerControl::Sinks() const
{
    std::vector<IDispatch*> sinks = m_point.snapshot();
    for (IDispatch* sink : sinks)
        sink->Release();
    return sinks.size();
}

// --- Handlers -----------------------------------------------------------------

void FakeScannerControl::Record(const std::string& call)
{
    m_calls.push_back(call);
}

void FakeScannerControl::ThrowIfFailing(const std::string& call) const
{
    const auto failure = m_failures.find(call);
    if (failure != m_failures.end())
        throw std::runtime_error(failure->second);
}

void FakeScannerControl::Get(DispatchCall& call, const char* name, VARTYPE type)
{
    std::lock_guard lock(m_mutex);
    const std::string key = std::string("get ") + name;
    Record(key);
    ThrowIfFailing(key);
    if (type == TEXT) {
        call.setLatin1(m_texts[name]);
    } else if (type == BOOLEAN) {
        call.setBool(m_numbers[name] != 0);
    } else {
        call.setI4(m_numbers[name]);
    }
}

void FakeScannerControl::Put(DispatchCall& call, const char* name, VARTYPE type)
{
    std::lock_guard lock(m_mutex);
    const LONG value = type == BOOLEAN ? (call.boolean(0) ? 1 : 0) : call.i4(0);
    const std::string key = std::string("put ") + name;
    Record(key + "=" + std::to_string(value));
    ThrowIfFailing(key);
    const auto refused = m_refusedPuts.find(name);
    if (refused != m_refusedPuts.end()) {
        m_numbers["ResultCode"] = refused->second;
        return;
    }
    m_numbers[name] = value;
    m_numbers["ResultCode"] = 0;
}

void FakeScannerControl::Method(DispatchCall& call, const char* name, const std::vector<VARTYPE>& types)
{
    std::lock_guard lock(m_mutex);
    std::string text = std::string(name) + "(";
    for (std::size_t i = 0; i < types.size(); ++i) {
        if (i > 0)
            text += ", ";
        switch (types[i]) {
        case I4: text += std::to_string(call.i4(i)); break;
        case TEXT: text += call.latin1(i); break;
        case I4_REF: text += std::to_string(*call.i4Ref(i)); break;
        default: text += platform::ansiFromBstr(*call.bstrRef(i)); break;
        }
    }
    Record(text + ")");
    ThrowIfFailing(name);

    const std::string member(name);
    if (member == "DirectIO" && m_haveDirectIOOutput) {
        *call.i4Ref(1) = m_directIOData;
        SysFreeString(*call.bstrRef(2));
        *call.bstrRef(2) = platform::bstrFromAnsi(m_directIOText);
    } else if (member == "RetrieveStatistics" && m_haveStatisticsOutput) {
        SysFreeString(*call.bstrRef(0));
        *call.bstrRef(0) = platform::bstrFromAnsi(m_statisticsText);
    } else if (member == "CompareFirmwareVersion" && m_haveCompareResult) {
        *call.i4Ref(1) = m_compareResult;
    }
    const LONG result = m_numbers[member];
    m_numbers["ResultCode"] = result;
    call.setI4(result);
}

// --- Events -------------------------------------------------------------------

void FakeScannerControl::Fire(DISPID id, const std::vector<DispatchArg>& args)
{
    for (IDispatch* sink : m_point.snapshot()) {
        platform::DispatchDriver driver(sink);  // takes over the snapshot's reference
        driver.invoke(id, DISPATCH_METHOD, args, nullptr);
    }
}

void FakeScannerControl::FireDataEvent(LONG status)
{
    SetNumber("DataEventEnabled", 0);
    Fire(1, {DispatchArg::i4(status)});
}

void FakeScannerControl::FireDirectIOEvent(LONG eventNumber, LONG* pData, std::string* text)
{
    BSTR string = platform::bstrFromAnsi(*text);
    Fire(2, {DispatchArg::i4(eventNumber), DispatchArg::i4Ref(pData), DispatchArg::bstrRef(&string)});
    *text = platform::ansiFromBstr(string);
    SysFreeString(string);
}

LONG FakeScannerControl::FireErrorEvent(LONG resultCode, LONG resultCodeExtended, LONG errorLocus,
                                        LONG proposedResponse)
{
    LONG response = proposedResponse;
    Fire(3, {DispatchArg::i4(resultCode), DispatchArg::i4(resultCodeExtended), DispatchArg::i4(errorLocus),
             DispatchArg::i4Ref(&response)});
    return response;
}

void FakeScannerControl::FireStatusUpdateEvent(LONG data)
{
    Fire(5, {DispatchArg::i4(data)});
}

// --- COM ------------------------------------------------------------------------

HRESULT FakeScannerControl::QueryInterface(REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch)
        *object = static_cast<IDispatch*>(this);
    else if (iid == IID_IConnectionPointContainer)
        *object = static_cast<IConnectionPointContainer*>(this);
    else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG FakeScannerControl::AddRef()
{
    std::lock_guard lock(m_mutex);
    return ++m_references;
}

ULONG FakeScannerControl::Release()
{
    std::lock_guard lock(m_mutex);
    return --m_references;
}

HRESULT FakeScannerControl::GetTypeInfoCount(UINT* count)
{
    if (count == nullptr)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT FakeScannerControl::GetTypeInfo(UINT, LCID, ITypeInfo** info)
{
    if (info != nullptr)
        *info = nullptr;
    return E_NOTIMPL;
}

HRESULT FakeScannerControl::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids)
{
    return Table().getIDsOfNames(names, count, ids);
}

HRESULT FakeScannerControl::Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception, UINT* argumentError)
{
    return Table().invoke(this, id, iid, locale, flags, params, result, exception, argumentError);
}

HRESULT FakeScannerControl::EnumConnectionPoints(IEnumConnectionPoints** points)
{
    if (points != nullptr)
        *points = nullptr;
    return E_NOTIMPL;
}

HRESULT FakeScannerControl::FindConnectionPoint(REFIID iid, IConnectionPoint** point)
{
    if (point == nullptr)
        return E_POINTER;
    *point = nullptr;
    if (!(iid == DIID__IOPOSScannerEvents))
        return CONNECT_E_NOCONNECTION;
    m_point.AddRef();
    *point = &m_point;
    return S_OK;
}
