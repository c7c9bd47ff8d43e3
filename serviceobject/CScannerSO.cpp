#include "CScannerSO.h"

#include "CScannerMgr.h"
#include "CScannerWrapper.h"
#include "RegistrySettings.h"

#include <cstdio>
#include <mutex>

namespace {

// The callback target, and the lock that keeps a fire and a detach apart.
// Recursive: a control may close the service from inside a callback.
std::recursive_mutex g_fireLock;
CScannerSO* g_target = nullptr;

// Objects alive and the order of their construction and final release
// against the shared scanner logic.
std::mutex g_objectsLock;
int g_liveObjects = 0;

enum Callback { kData, kDirectIO, kError, kStatusUpdate };
constexpr const char* kCallbackNames[4] = {"SOData", "SODirectIO", "SOError", "SOStatusUpdate"};

CScannerSO& Self(void* object)
{
    return *static_cast<CScannerSO*>(object);
}

HRESULT Number(platform::DispatchCall& call, long value)
{
    call.setI4(static_cast<LONG>(value));
    return S_OK;
}

// A by-reference LONG seen as the wrapper's long, written back after.
template <typename F>
long ThroughLong(LONG* ref, F f)
{
    long value = ref != nullptr ? *ref : 0;
    const long result = f(&value);
    if (ref != nullptr)
        *ref = static_cast<LONG>(value);
    return result;
}

using W = CScannerWrapper;
using Call = platform::DispatchCall;

const platform::DispatchTable kTable({
    {"CheckHealth", 1, DISPATCH_METHOD, {VT_I4}, VT_I4,
     [](void*, Call& c) { return Number(c, W::ScannerCheckHealth(c.i4(0))); }},
    {"ClaimDevice", 2, DISPATCH_METHOD, {VT_I4}, VT_I4,
     [](void*, Call& c) { return Number(c, W::ScannerClaimDevice(c.i4(0))); }},
    {"Claim", 3, DISPATCH_METHOD, {VT_I4}, VT_I4, [](void*, Call& c) { return Number(c, W::ScannerClaim(c.i4(0))); }},
    {"ClearInput", 4, DISPATCH_METHOD, {}, VT_I4, [](void*, Call& c) { return Number(c, W::ScannerClearInput()); }},
    {"ClearInputProperties", 5, DISPATCH_METHOD, {}, VT_I4,
     [](void*, Call& c) { return Number(c, W::ScannerClearInputProperties()); }},
    {"ClearOutput", 6, DISPATCH_METHOD, {}, VT_I4, [](void*, Call& c) { return Number(c, W::ScannerClearOutput()); }},
    {"CloseService", 7, DISPATCH_METHOD, {}, VT_I4,
     [](void* o, Call& c) { return Number(c, Self(o).CloseService()); }},
    {"Close", 8, DISPATCH_METHOD, {}, VT_I4, [](void*, Call& c) { return Number(c, W::ScannerClose()); }},
    {"COFreezeEvents", 9, DISPATCH_METHOD, {VT_BOOL}, VT_I4,
     [](void*, Call& c) { return Number(c, W::ScannerCOFreezeEvents(c.boolean(0) ? 1 : 0)); }},
    {"CompareFirmwareVersion", 10, DISPATCH_METHOD, {VT_BSTR, VT_I4 | VT_BYREF}, VT_I4,
     [](void*, Call& c) {
         const std::string file = c.latin1(0);
         return Number(c, ThroughLong(c.i4Ref(1), [&](long* r) {
                           return W::ScannerCompareFirmwareVersion(file.c_str(), r);
                       }));
     }},
    {"DirectIO", 11, DISPATCH_METHOD, {VT_I4, VT_I4 | VT_BYREF, VT_BSTR | VT_BYREF}, VT_I4,
     [](void*, Call& c) {
         const LONG command = c.i4(0);
         BSTR* text = c.bstrRef(2);
         return Number(c, ThroughLong(c.i4Ref(1), [&](long* d) { return W::ScannerDirectIO(command, d, text); }));
     }},
    {"GetOpenResult", 12, DISPATCH_METHOD, {}, VT_I4,
     [](void*, Call& c) { return Number(c, W::ScannerGetOpenResult()); }},
    {"OpenService", 13, DISPATCH_METHOD, {VT_BSTR, VT_BSTR, VT_DISPATCH}, VT_I4,
     [](void* o, Call& c) { return Number(c, Self(o).OpenService(c.latin1(1), c.dispatch(2))); }},
    {"Release", 14, DISPATCH_METHOD, {}, VT_I4, [](void*, Call& c) { return Number(c, W::ScannerRelease()); }},
    {"ReleaseDevice", 15, DISPATCH_METHOD, {}, VT_I4,
     [](void*, Call& c) { return Number(c, W::ScannerReleaseDevice()); }},
    {"ResetStatistics", 16, DISPATCH_METHOD, {VT_BSTR}, VT_I4,
     [](void*, Call& c) { return Number(c, W::ScannerResetStatistics(c.latin1(0).c_str())); }},
    {"RetrieveStatistics", 17, DISPATCH_METHOD, {VT_BSTR | VT_BYREF}, VT_I4,
     [](void*, Call& c) { return Number(c, W::ScannerRetrieveStatistics(c.bstrRef(0))); }},
    {"UpdateFirmware", 18, DISPATCH_METHOD, {VT_BSTR}, VT_I4,
     [](void*, Call& c) { return Number(c, W::ScannerUpdateFirmware(c.latin1(0).c_str())); }},
    {"UpdateStatistics", 19, DISPATCH_METHOD, {VT_BSTR}, VT_I4,
     [](void*, Call& c) { return Number(c, W::ScannerUpdateStatistics(c.latin1(0).c_str())); }},
    {"GetPropertyNumber", 20, DISPATCH_METHOD, {VT_I4}, VT_I4,
     [](void*, Call& c) { return Number(c, W::ScannerGetPropertyNumber(c.i4(0))); }},
    {"GetPropertyString", 21, DISPATCH_METHOD, {VT_I4}, VT_BSTR,
     [](void*, Call& c) {
         c.setBstr(W::ScannerGetPropertyString(c.i4(0)));
         return S_OK;
     }},
    {"SetPropertyNumber", 22, DISPATCH_METHOD, {VT_I4, VT_I4}, VT_I4,
     [](void*, Call& c) { return Number(c, W::ScannerSetPropertyNumber(c.i4(0), c.i4(1))); }},
    {"SetPropertyString", 23, DISPATCH_METHOD, {VT_I4, VT_BSTR}, VT_I4,
     [](void*, Call& c) { return Number(c, W::ScannerSetPropertyString(c.i4(0), c.latin1(1).c_str())); }},
});

}  // namespace

platform::ComModule& KestrelModule()
{
    static platform::ComModule module;
    return module;
}

const platform::DispatchTable& CScannerSO::Table()
{
    return kTable;
}

int CScannerSO::LiveObjects()
{
    std::lock_guard lock(g_objectsLock);
    return g_liveObjects;
}

HRESULT CScannerSO::Create(REFIID iid, void** object)
{
    CScannerSO* created = new CScannerSO;
    const HRESULT result = created->QueryInterface(iid, object);
    created->Release();
    return result;
}

CScannerSO::CScannerSO()
{
    KestrelModule().objectCreated();
    std::lock_guard lock(g_objectsLock);
    CScannerWrapper::ScannerInit(0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    // Another object's open service keeps its state (the validation utility
    // hosts two controls in one process).
    if (CScannerWrapper::Instance()->Common().m_nOpened == 0)
        CScannerWrapper::ScannerInitClosedVars();
    ++g_liveObjects;
}

CScannerSO::~CScannerSO()
{
    DetachControl();
    {
        std::lock_guard lock(g_objectsLock);
        if (--g_liveObjects == 0)
            CScannerWrapper::ScannerReleaseInstance();
    }
    KestrelModule().objectDestroyed();
}

HRESULT CScannerSO::QueryInterface(REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IScannerSO) {
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG CScannerSO::AddRef()
{
    return ++m_references;
}

ULONG CScannerSO::Release()
{
    const ULONG left = --m_references;
    if (left == 0)
        delete this;
    return left;
}

HRESULT CScannerSO::GetTypeInfoCount(UINT* count)
{
    if (count == nullptr)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT CScannerSO::GetTypeInfo(UINT, LCID, ITypeInfo** info)
{
    if (info != nullptr)
        *info = nullptr;
    return E_NOTIMPL;
}

HRESULT CScannerSO::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids)
{
    return kTable.getIDsOfNames(names, count, ids);
}

HRESULT CScannerSO::Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                           EXCEPINFO* exception, UINT* argumentError)
{
    return kTable.invoke(this, id, iid, locale, flags, params, result, exception, argumentError);
}

long CScannerSO::OpenService(const std::string& deviceName, IDispatch* control)
{
    if (CScannerWrapper::ScannerGetDeviceOpenStatus() != 0)
        return 106;
    {
        std::lock_guard lock(g_fireLock);
        m_control.attach(control, false);
        for (int i = 0; i < 4; ++i) {
            if (FAILED(m_control.idOf(std::string_view(kCallbackNames[i]), &m_callbackIds[i], LOCALE_SYSTEM_DEFAULT))) {
                m_control.detach();
                return 104;
            }
        }
    }
    CScannerWrapper::InitCallback(this);

    std::string autoDetect, maximumTimeOut, commandTimeOut, port, scanDataOption, decodeGs1Ltd;
    ReadDeviceValue("Scanner", deviceName, "AUTODETECT", autoDetect);
    ReadDeviceValue("Scanner", deviceName, "MAXIMUMTIMEOUT", maximumTimeOut);
    ReadDeviceValue("Scanner", deviceName, "COMMANDTIMEOUT", commandTimeOut);
    ReadDeviceValue("Scanner", deviceName, "PORT", port);
    ReadDeviceValue("Scanner", deviceName, "SCANDATAOPTION_01", scanDataOption);
    ReadDeviceValue("Scanner", deviceName, "DECODE_GS1_LTD", decodeGs1Ltd);
    return CScannerWrapper::ScannerOpenService(deviceName.c_str(), autoDetect.c_str(), port.c_str(),
                                               maximumTimeOut.c_str(), commandTimeOut.c_str(),
                                               scanDataOption.c_str(), decodeGs1Ltd.c_str());
}

long CScannerSO::CloseService()
{
    DetachControl();
    return CScannerWrapper::ScannerCloseService();
}

void CScannerSO::DetachControl()
{
    std::lock_guard lock(g_fireLock);
    m_control.detach();
    if (g_target == this)
        g_target = nullptr;
}

void CScannerSO::SetCallbackTarget(CScannerSO* target)
{
    std::lock_guard lock(g_fireLock);
    g_target = target;
}

bool CScannerSO::Call(int callback, const std::vector<platform::DispatchArg>& args) const
{
    if (m_control.get() == nullptr)
        return true;
    const HRESULT result = m_control.invoke(m_callbackIds[callback], DISPATCH_METHOD, args, nullptr,
                                            LOCALE_SYSTEM_DEFAULT);
    if (FAILED(result)) {
        char line[96];
        std::snprintf(line, sizeof line, "ScannerSO: %s failed 0x%08X", kCallbackNames[callback],
                      static_cast<unsigned>(result));
        CScannerWrapper::ScannerLogMessage(line);
        return false;
    }
    return true;
}

void CScannerSO::FireData(long status)
{
    std::lock_guard lock(g_fireLock);
    if (g_target != nullptr)
        g_target->Call(kData, {platform::DispatchArg::i4(static_cast<LONG>(status))});
}

void CScannerSO::FireError(long resultCode, long resultCodeExtended, long errorLocus, long* pErrorResponse)
{
    std::lock_guard lock(g_fireLock);
    if (g_target == nullptr)
        return;
    LONG response = pErrorResponse != nullptr ? static_cast<LONG>(*pErrorResponse) : 0;
    const bool called = g_target->Call(kError, {platform::DispatchArg::i4(static_cast<LONG>(resultCode)),
                                                platform::DispatchArg::i4(static_cast<LONG>(resultCodeExtended)),
                                                platform::DispatchArg::i4(static_cast<LONG>(errorLocus)),
                                                platform::DispatchArg::i4Ref(&response)});
    if (called && pErrorResponse != nullptr)
        *pErrorResponse = response;
}

void CScannerSO::FireStatusUpdate(long data)
{
    std::lock_guard lock(g_fireLock);
    if (g_target != nullptr)
        g_target->Call(kStatusUpdate, {platform::DispatchArg::i4(static_cast<LONG>(data))});
}

void CScannerSO::FireDirectIO(long eventNumber, long* pData, BSTR* pString)
{
    std::lock_guard lock(g_fireLock);
    if (g_target == nullptr)
        return;
    LONG data = pData != nullptr ? static_cast<LONG>(*pData) : 0;
    BSTR empty = nullptr;
    BSTR* text = pString != nullptr ? pString : &empty;
    const bool called = g_target->Call(kDirectIO, {platform::DispatchArg::i4(static_cast<LONG>(eventNumber)),
                                                   platform::DispatchArg::i4Ref(&data),
                                                   platform::DispatchArg::bstrRef(text)});
    if (called && pData != nullptr)
        *pData = data;
    SysFreeString(empty);
}
