#include "CImagerSO.h"

#include "CScannerSO.h"

namespace {

constexpr const char* kDescription = "Varnex OPOS Imager Service Object";
constexpr long kVersion = 1012104;
constexpr char kUnknownIndex[] = "[Error: Automation?]";

enum Image { kAimMode, kBitsPerPixel, kFrameType, kIlluminateMode, kImageHeight, kImageLength, kImageMode,
             kImageQuality, kImageType, kImageWidth, kVideoCount, kVideoRate };
enum Cap { kCapAim, kCapDecodeData, kCapHostTriggered, kCapIlluminate, kCapImageData, kCapImageQuality,
           kCapVideoData };

CImagerSO& Self(void* object)
{
    return *static_cast<CImagerSO*>(object);
}

HRESULT Number(platform::DispatchCall& call, long value)
{
    call.setI4(static_cast<LONG>(value));
    return S_OK;
}

using Call = platform::DispatchCall;

// The device path is not in force: what needs an open service answers as
// a closed one.
HRESULT Closed(void* o, Call& c)
{
    return Number(c, Self(o).Answer(101));
}
HRESULT Illegal(void* o, Call& c)
{
    return Number(c, Self(o).Answer(106));
}
HRESULT Success(void* o, Call& c)
{
    return Number(c, Self(o).Answer(0));
}

const platform::DispatchTable kTable({
    {"CheckHealth", 1, DISPATCH_METHOD, {VT_I4}, VT_I4, Closed},
    {"ClaimDevice", 2, DISPATCH_METHOD, {VT_I4}, VT_I4, Closed},
    {"Claim", 3, DISPATCH_METHOD, {VT_I4}, VT_I4, Closed},
    {"ClearInput", 4, DISPATCH_METHOD, {}, VT_I4, Closed},
    {"ClearInputProperties", 5, DISPATCH_METHOD, {}, VT_I4, Closed},
    {"ClearOutput", 6, DISPATCH_METHOD, {}, VT_I4, Illegal},
    {"CloseService", 7, DISPATCH_METHOD, {}, VT_I4, Success},
    {"Close", 8, DISPATCH_METHOD, {}, VT_I4, Success},
    {"COFreezeEvents", 9, DISPATCH_METHOD, {VT_BOOL}, VT_I4, Closed},
    {"CompareFirmwareVersion", 10, DISPATCH_METHOD, {VT_BSTR, VT_I4 | VT_BYREF}, VT_I4, Closed},
    {"DirectIO", 11, DISPATCH_METHOD, {VT_I4, VT_I4 | VT_BYREF, VT_BSTR | VT_BYREF}, VT_I4, Illegal},
    {"GetOpenResult", 12, DISPATCH_METHOD, {}, VT_I4,
     [](void* o, Call& c) { return Number(c, Self(o).m_nOpenResult); }},
    {"OpenService", 13, DISPATCH_METHOD, {VT_BSTR, VT_BSTR, VT_DISPATCH}, VT_I4,
     [](void* o, Call& c) {
         Self(o).m_nOpenResult = 0;
         return Number(c, 0);
     }},
    {"Release", 14, DISPATCH_METHOD, {}, VT_I4, Closed},
    {"ReleaseDevice", 15, DISPATCH_METHOD, {}, VT_I4, Closed},
    {"ResetStatistics", 16, DISPATCH_METHOD, {VT_BSTR}, VT_I4, Closed},
    {"RetrieveStatistics", 17, DISPATCH_METHOD, {VT_BSTR | VT_BYREF}, VT_I4, Closed},
    {"UpdateFirmware", 18, DISPATCH_METHOD, {VT_BSTR}, VT_I4, Closed},
    {"UpdateStatistics", 19, DISPATCH_METHOD, {VT_BSTR}, VT_I4, Closed},
    {"GetPropertyNumber", 20, DISPATCH_METHOD, {VT_I4}, VT_I4,
     [](void* o, Call& c) { return Number(c, Self(o).GetPropertyNumber(c.i4(0))); }},
    {"GetPropertyString", 21, DISPATCH_METHOD, {VT_I4}, VT_BSTR,
     [](void* o, Call& c) {
         c.setBstr(Self(o).GetPropertyString(c.i4(0)));
         return S_OK;
     }},
    {"SetPropertyNumber", 22, DISPATCH_METHOD, {VT_I4, VT_I4}, VT_I4,
     [](void* o, Call& c) { return Number(c, Self(o).SetPropertyNumber(c.i4(0), c.i4(1))); }},
    {"SetPropertyString", 23, DISPATCH_METHOD, {VT_I4, VT_BSTR}, VT_I4,
     [](void* o, Call& c) { return Number(c, Self(o).Answer(111)); }},
    // No session runs without a claimed device.
    {"StartSession", 24, DISPATCH_METHOD, {}, VT_I4, [](void* o, Call& c) { return Number(c, Self(o).Answer(103)); }},
    {"StopSession", 25, DISPATCH_METHOD, {}, VT_I4, [](void* o, Call& c) { return Number(c, Self(o).Answer(103)); }},
});

}  // namespace

const platform::DispatchTable& CImagerSO::Table()
{
    return kTable;
}

HRESULT CImagerSO::Create(REFIID iid, void** object)
{
    CImagerSO* created = new CImagerSO;
    const HRESULT result = created->QueryInterface(iid, object);
    created->Release();
    return result;
}

CImagerSO::CImagerSO()
{
    KestrelModule().objectCreated();
    m_common.m_nServiceObjectVersion = kVersion;
}

CImagerSO::~CImagerSO()
{
    KestrelModule().objectDestroyed();
}

long CImagerSO::Answer(long code)
{
    m_common.m_nResultCode = static_cast<int>(code);
    return code;
}

long CImagerSO::GetPropertyNumber(long index)
{
    long value = 0;
    if (m_common.GetPropertyNumber(index, &value) != 0) {
        m_common.m_nResultCode = 0;
        return value;
    }
    if (index >= 30001 && index <= 30012) {
        if (index == 30005 || index == 30006 || index == 30007 || index == 30008)
            m_common.m_nResultCode = 0;
        return m_image[index - 30001];
    }
    if (index >= 30501 && index <= 30507)
        return m_caps[index - 30501];
    return 0;
}

long CImagerSO::SetPropertyNumber(long index, long value)
{
    if (index == 11) {
        m_common.SetPropertyNumber(index, value);
        return 0;
    }
    auto needs = [&](std::initializer_list<Cap> caps) {
        for (Cap cap : caps)
            if (m_caps[cap] == 0)
                return false;
        return true;
    };
    auto store = [&](Image field, bool allowed) {
        if (!allowed)
            return Answer(106);
        m_image[field] = value;
        return 0L;
    };
    switch (index) {
    case 30001: return store(kAimMode, needs({kCapAim}));
    case 30004: return store(kIlluminateMode, needs({kCapIlluminate}));
    case 30008: return store(kImageQuality, needs({kCapImageQuality}));
    case 30011: return store(kVideoCount, true);
    case 30012: return store(kVideoRate, true);
    case 30007:
        switch (value) {
        case 1: return store(kImageMode, needs({kCapDecodeData}));
        case 2: return store(kImageMode, needs({kCapImageData}));
        case 3: return store(kImageMode, needs({kCapImageData, kCapDecodeData}));
        case 5: return store(kImageMode, needs({kCapVideoData, kCapDecodeData}));
        case 6: return store(kImageMode, needs({kCapVideoData, kCapImageData}));
        case 255: return store(kImageMode, needs({kCapVideoData, kCapImageData, kCapDecodeData}));
        default: return Answer(106);
        }
    default:
        break;
    }
    if (index >= 30501 && index <= 30507)
        m_caps[index - 30501] = value;
    return 0;
}

BSTR CImagerSO::GetPropertyString(long index)
{
    switch (index) {
    case 1000001: return platform::bstrFromAnsi(m_common.m_strCheckHealthText);
    case 1000004: return platform::bstrFromAnsi(kDescription);
    case 1030001: return platform::bstrFromAnsi(m_frameData);
    default: return platform::bstrFromAnsi(kUnknownIndex);
    }
}

HRESULT CImagerSO::QueryInterface(REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IImagerSO) {
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG CImagerSO::AddRef()
{
    return ++m_references;
}

ULONG CImagerSO::Release()
{
    const ULONG left = --m_references;
    if (left == 0)
        delete this;
    return left;
}

HRESULT CImagerSO::GetTypeInfoCount(UINT* count)
{
    if (count == nullptr)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT CImagerSO::GetTypeInfo(UINT, LCID, ITypeInfo** info)
{
    if (info != nullptr)
        *info = nullptr;
    return E_NOTIMPL;
}

HRESULT CImagerSO::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids)
{
    return kTable.getIDsOfNames(names, count, ids);
}

HRESULT CImagerSO::Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                          EXCEPINFO* exception, UINT* argumentError)
{
    return kTable.invoke(this, id, iid, locale, flags, params, result, exception, argumentError);
}
