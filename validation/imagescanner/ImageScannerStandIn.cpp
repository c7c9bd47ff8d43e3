// The image-scanner control stand-in: an in-process server (ProgID
// "VXOPOS.ImageScanner") whose one class answers the members TillProbe uses
// as an OPOS control that stays closed: ResultCode 101, State 1 (closed),
// texts "[Error]", numbers and booleans 0, every method 101, writes
// dropped. Open finds no service object behind it: 104, with OpenResult
// 303. Its connection point for the OPOS events never fires.
#include "OposScanner.h"

#include "platform/com.h"
#include "platform/dispatch.h"
#include "platform/ole.h"

#include <atomic>
#include <new>
#include <string>
#include <vector>

namespace {

constexpr CLSID kClsid{0xFF0DC910, 0x5159, 0x4655, {0xAC, 0xDE, 0x08, 0xCA, 0xB3, 0xAB, 0xF9, 0x56}};
constexpr char kDescription[] = "VXOPOS Image Scanner Control stand-in 1.13.0.2";
constexpr char kProgId[] = "VXOPOS.ImageScanner.1.13";
constexpr char kVersionIndependentProgId[] = "VXOPOS.ImageScanner";
constexpr LONG kControlObjectVersion = 1013002;

constexpr LONG OPOS_S_CLOSED = 1;
constexpr LONG OPOS_E_CLOSED = 101;
constexpr LONG OPOS_E_NOSERVICE = 104;
constexpr LONG OPOS_OR_REGPROGID = 303;

constexpr char kClosedText[] = "[Error]";

platform::ComModule& Module()
{
    static platform::ComModule module;
    return module;
}

class ImageScannerStandIn final : public IDispatch, public IConnectionPointContainer {
public:
    static HRESULT Create(REFIID iid, void** object)
    {
        auto* control = new (std::nothrow) ImageScannerStandIn;
        if (control == nullptr)
            return E_OUTOFMEMORY;
        const HRESULT status = control->QueryInterface(iid, object);
        control->Release();
        return status;
    }

    HRESULT QueryInterface(REFIID iid, void** object) override
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
    ULONG AddRef() override { return ++m_references; }
    ULONG Release() override
    {
        const ULONG left = --m_references;
        if (left == 0)
            delete this;
        return left;
    }

    HRESULT GetTypeInfoCount(UINT* count) override
    {
        if (count == nullptr)
            return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override
    {
        if (info != nullptr)
            *info = nullptr;
        return E_NOTIMPL;
    }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override
    {
        return Table().getIDsOfNames(names, count, ids);
    }
    HRESULT Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* exception, UINT* argumentError) override
    {
        return Table().invoke(this, id, iid, locale, flags, params, result, exception, argumentError);
    }

    HRESULT EnumConnectionPoints(IEnumConnectionPoints** points) override
    {
        if (points != nullptr)
            *points = nullptr;
        return E_NOTIMPL;
    }
    HRESULT FindConnectionPoint(REFIID iid, IConnectionPoint** point) override
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

private:
    ImageScannerStandIn() : m_eventPoint(this, DIID__IOPOSScannerEvents) { Module().objectCreated(); }
    ~ImageScannerStandIn()
    {
        m_eventPoint.clear();
        Module().objectDestroyed();
    }

    static const platform::DispatchTable& Table();

    std::atomic<ULONG> m_references{1};
    std::atomic<LONG> m_openResult{0};
    platform::ConnectionPoint m_eventPoint;
};

using platform::DispatchCall;
using platform::DispatchTable;

constexpr VARTYPE I4 = VT_I4;
constexpr VARTYPE BOOLEAN = VT_BOOL;
constexpr VARTYPE TEXT = VT_BSTR;
constexpr VARTYPE I4_REF = VT_I4 | VT_BYREF;

HRESULT ClosedNumber(void*, DispatchCall& call)
{
    call.setI4(0);
    return S_OK;
}

HRESULT ClosedBool(void*, DispatchCall& call)
{
    call.setBool(false);
    return S_OK;
}

HRESULT ClosedText(void*, DispatchCall& call)
{
    return call.setLatin1(kClosedText) ? S_OK : E_OUTOFMEMORY;
}

HRESULT Closed(void*, DispatchCall& call)
{
    call.setI4(OPOS_E_CLOSED);
    return S_OK;
}

HRESULT Dropped(void*, DispatchCall&)
{
    return S_OK;
}

DispatchTable::Member Number(const char* name, DISPID id)
{
    return {name, id, DISPATCH_PROPERTYGET, {}, I4, &ClosedNumber};
}
DispatchTable::Member Bool(const char* name, DISPID id)
{
    return {name, id, DISPATCH_PROPERTYGET, {}, BOOLEAN, &ClosedBool};
}
DispatchTable::Member Text(const char* name, DISPID id)
{
    return {name, id, DISPATCH_PROPERTYGET, {}, TEXT, &ClosedText};
}
DispatchTable::Member Put(const char* name, DISPID id, VARTYPE type)
{
    return {name, id, DISPATCH_PROPERTYPUT, {type}, VT_EMPTY, &Dropped};
}
DispatchTable::Member Method(const char* name, DISPID id, std::vector<VARTYPE> parameters = {})
{
    return {name, id, DISPATCH_METHOD, std::move(parameters), I4, &Closed};
}

const DispatchTable& ImageScannerStandIn::Table()
{
    static const DispatchTable table({
        Bool("AutoDisable", 10), Put("AutoDisable", 10, BOOLEAN),
        Number("BinaryConversion", 11), Put("BinaryConversion", 11, I4),
        Number("CapPowerReporting", 12),
        Text("CheckHealthText", 13),
        Bool("Claimed", 14),
        Number("DataCount", 15),
        Bool("DataEventEnabled", 16), Put("DataEventEnabled", 16, BOOLEAN),
        Bool("DeviceEnabled", 17), Put("DeviceEnabled", 17, BOOLEAN),
        Bool("FreezeEvents", 18), Put("FreezeEvents", 18, BOOLEAN),
        Number("PowerNotify", 20), Put("PowerNotify", 20, I4),
        Number("PowerState", 21),
        {"ResultCode", 22, DISPATCH_PROPERTYGET, {}, I4,
         [](void*, DispatchCall& c) {
             c.setI4(OPOS_E_CLOSED);
             return S_OK;
         }},
        Number("ResultCodeExtended", 23),
        {"State", 24, DISPATCH_PROPERTYGET, {}, I4,
         [](void*, DispatchCall& c) {
             c.setI4(OPOS_S_CLOSED);
             return S_OK;
         }},
        {"ControlObjectDescription", 25, DISPATCH_PROPERTYGET, {}, TEXT,
         [](void*, DispatchCall& c) { return c.setLatin1(kDescription) ? S_OK : E_OUTOFMEMORY; }},
        {"ControlObjectVersion", 26, DISPATCH_PROPERTYGET, {}, I4,
         [](void*, DispatchCall& c) {
             c.setI4(kControlObjectVersion);
             return S_OK;
         }},
        Text("ServiceObjectDescription", 27),
        Number("ServiceObjectVersion", 28),
        Text("DeviceDescription", 29),
        Text("DeviceName", 30),
        Method("CheckHealth", 31, {I4}),
        Method("ClaimDevice", 32, {I4}),
        Method("ClearInput", 33),
        Method("Close", 35),
        {"Open", 37, DISPATCH_METHOD, {TEXT}, I4,
         [](void* o, DispatchCall& c) {
             static_cast<ImageScannerStandIn*>(o)->m_openResult = OPOS_OR_REGPROGID;
             c.setI4(OPOS_E_NOSERVICE);
             return S_OK;
         }},
        Method("ReleaseDevice", 38),
        Bool("CapStatisticsReporting", 39),
        Bool("CapUpdateStatistics", 40),
        Bool("CapCompareFirmwareVersion", 44),
        Bool("CapUpdateFirmware", 45),
        Method("CompareFirmwareVersion", 46, {TEXT, I4_REF}),
        Method("UpdateFirmware", 47, {TEXT}),
        Method("ClearInputProperties", 48),
        {"OpenResult", 49, DISPATCH_PROPERTYGET, {}, I4,
         [](void* o, DispatchCall& c) {
             c.setI4(static_cast<ImageScannerStandIn*>(o)->m_openResult);
             return S_OK;
         }},
        // The image scanner's own.
        Bool("CapAim", 60),
        Bool("CapDecodeData", 61),
        Bool("CapHostTriggered", 62),
        Bool("CapIlluminate", 63),
        Bool("CapImageData", 64),
        Bool("CapImageQuality", 65),
        Bool("CapVideoData", 66),
        Bool("AimMode", 67), Put("AimMode", 67, BOOLEAN),
        Number("BitsPerPixel", 68),
        Text("FrameData", 69),
        Number("FrameType", 70),
        Bool("IlluminateMode", 71), Put("IlluminateMode", 71, BOOLEAN),
        Number("ImageHeight", 72),
        Number("ImageLength", 73),
        Number("ImageMode", 74), Put("ImageMode", 74, I4),
        Number("ImageQuality", 75), Put("ImageQuality", 75, I4),
        Number("ImageType", 76),
        Number("ImageWidth", 77),
        Number("VideoCount", 78), Put("VideoCount", 78, I4),
        Number("VideoRate", 79), Put("VideoRate", 79, I4),
        Method("StartSession", 90),
        Method("StopSession", 91),
    });
    return table;
}

platform::ClassFactory& Factory()
{
    static platform::ClassFactory factory(kClsid, &ImageScannerStandIn::Create, Module());
    return factory;
}

std::string ClassKey()
{
    return "CLSID\\" + platform::stringFromGuid(kClsid);
}

}  // namespace

extern "C" HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** object)
{
    try {
        return platform::getClassObject({&Factory()}, clsid, iid, object);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

extern "C" HRESULT DllCanUnloadNow()
{
    return Module().canUnloadNow();
}

extern "C" HRESULT DllRegisterServer()
{
    try {
        const std::string library = platform::modulePath(reinterpret_cast<const void*>(&DllRegisterServer));
        if (library.empty())
            return SELFREG_E_CLASS;
        const std::string classKey = ClassKey();
        const std::string clsid = platform::stringFromGuid(kClsid);
        return platform::registerClassesEntries({
            {kProgId, std::nullopt, kDescription},
            {std::string(kProgId) + "\\CLSID", std::nullopt, clsid},
            {kVersionIndependentProgId, std::nullopt, kDescription},
            {std::string(kVersionIndependentProgId) + "\\CLSID", std::nullopt, clsid},
            {std::string(kVersionIndependentProgId) + "\\CurVer", std::nullopt, kProgId},
            {classKey, std::nullopt, kDescription},
            {classKey + "\\ProgID", std::nullopt, kProgId},
            {classKey + "\\VersionIndependentProgID", std::nullopt, kVersionIndependentProgId},
            {classKey + "\\InprocServer32", std::nullopt, library},
            {classKey + "\\InprocServer32", "ThreadingModel", "Apartment"},
            {classKey + "\\Control", std::nullopt, std::nullopt},
        });
    } catch (...) {
        return SELFREG_E_CLASS;
    }
}

extern "C" HRESULT DllUnregisterServer()
{
    try {
        return platform::deleteClassesKeys({kProgId, kVersionIndependentProgId, ClassKey()});
    } catch (...) {
        return SELFREG_E_CLASS;
    }
}
