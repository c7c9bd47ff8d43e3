// The control's IDispatch: names, dispatch ids, kinds and types of every
// member, compiled in (there is no type library to read them from).
#include "COPOSScannerCtrl.h"

#include <string_view>

namespace {

using platform::DispatchCall;
using platform::DispatchTable;

COPOSScannerCtrl* Self(void* object)
{
    return static_cast<COPOSScannerCtrl*>(object);
}

constexpr VARTYPE I4 = VT_I4;
constexpr VARTYPE BOOLEAN = VT_BOOL;
constexpr VARTYPE TEXT = VT_BSTR;
constexpr VARTYPE I4_REF = VT_I4 | VT_BYREF;
constexpr VARTYPE TEXT_REF = VT_BSTR | VT_BYREF;

#define NUMBER_GET(Name, Id)                                                                  \
    DispatchTable::Member{#Name, Id, DISPATCH_PROPERTYGET, {}, I4, [](void* o, DispatchCall& c) { \
        LONG value = 0;                                                                       \
        const HRESULT status = Self(o)->get_##Name(&value);                                   \
        c.setI4(value);                                                                       \
        return status;                                                                        \
    }}
#define BOOL_GET(Name, Id)                                                                         \
    DispatchTable::Member{#Name, Id, DISPATCH_PROPERTYGET, {}, BOOLEAN, [](void* o, DispatchCall& c) { \
        VARIANT_BOOL value = VARIANT_FALSE;                                                        \
        const HRESULT status = Self(o)->get_##Name(&value);                                        \
        c.setBool(value != VARIANT_FALSE);                                                         \
        return status;                                                                             \
    }}
#define TEXT_GET(Name, Id)                                                                      \
    DispatchTable::Member{#Name, Id, DISPATCH_PROPERTYGET, {}, TEXT, [](void* o, DispatchCall& c) { \
        BSTR value = nullptr;                                                                   \
        const HRESULT status = Self(o)->get_##Name(&value);                                     \
        c.setBstr(value);                                                                       \
        return status;                                                                          \
    }}
#define NUMBER_PUT(Name, Id)                                                                         \
    DispatchTable::Member{#Name, Id, DISPATCH_PROPERTYPUT, {I4}, VT_EMPTY, [](void* o, DispatchCall& c) { \
        return Self(o)->put_##Name(c.i4(0));                                                         \
    }}
#define BOOL_PUT(Name, Id)                                                                                \
    DispatchTable::Member{#Name, Id, DISPATCH_PROPERTYPUT, {BOOLEAN}, VT_EMPTY, [](void* o, DispatchCall& c) { \
        return Self(o)->put_##Name(c.boolean(0) ? VARIANT_TRUE : VARIANT_FALSE);                          \
    }}

// A method whose last parameter is its OPOS result.
#define RESULT_METHOD(Name, Id, Parameters, Call)                                                  \
    DispatchTable::Member{#Name, Id, DISPATCH_METHOD, Parameters, I4, [](void* o, DispatchCall& c) { \
        LONG result = 0;                                                                           \
        const HRESULT status = Self(o)->Call;                                                      \
        c.setI4(result);                                                                           \
        return status;                                                                             \
    }}

const DispatchTable& Table()
{
    static const DispatchTable table({
        // Callbacks of the service object.
        {"SOData", 1, DISPATCH_METHOD, {I4}, VT_EMPTY,
         [](void* o, DispatchCall& c) { return Self(o)->SOData(c.i4(0)); }},
        {"SODirectIO", 2, DISPATCH_METHOD, {I4, I4_REF, TEXT_REF}, VT_EMPTY,
         [](void* o, DispatchCall& c) { return Self(o)->SODirectIO(c.i4(0), c.i4Ref(1), c.bstrRef(2)); }},
        {"SOError", 3, DISPATCH_METHOD, {I4, I4, I4, I4_REF}, VT_EMPTY,
         [](void* o, DispatchCall& c) { return Self(o)->SOError(c.i4(0), c.i4(1), c.i4(2), c.i4Ref(3)); }},
        {"SOOutputCompleteDummy", 4, DISPATCH_METHOD, {I4}, VT_EMPTY,
         [](void* o, DispatchCall& c) { return Self(o)->SOOutputCompleteDummy(c.i4(0)); }},
        {"SOStatusUpdate", 5, DISPATCH_METHOD, {I4}, VT_EMPTY,
         [](void* o, DispatchCall& c) { return Self(o)->SOStatusUpdate(c.i4(0)); }},
        {"SOProcessID", 9, DISPATCH_METHOD, {}, I4,
         [](void* o, DispatchCall& c) {
             LONG id = 0;
             const HRESULT status = Self(o)->SOProcessID(&id);
             c.setI4(id);
             return status;
         }},
        // Properties.
        BOOL_GET(AutoDisable, 10), BOOL_PUT(AutoDisable, 10),
        NUMBER_GET(BinaryConversion, 11), NUMBER_PUT(BinaryConversion, 11),
        NUMBER_GET(CapPowerReporting, 12),
        TEXT_GET(CheckHealthText, 13),
        BOOL_GET(Claimed, 14),
        NUMBER_GET(DataCount, 15),
        BOOL_GET(DataEventEnabled, 16), BOOL_PUT(DataEventEnabled, 16),
        BOOL_GET(DeviceEnabled, 17), BOOL_PUT(DeviceEnabled, 17),
        BOOL_GET(FreezeEvents, 18), BOOL_PUT(FreezeEvents, 18),
        NUMBER_GET(PowerNotify, 20), NUMBER_PUT(PowerNotify, 20),
        NUMBER_GET(PowerState, 21),
        NUMBER_GET(ResultCode, 22),
        NUMBER_GET(ResultCodeExtended, 23),
        NUMBER_GET(State, 24),
        TEXT_GET(ControlObjectDescription, 25),
        NUMBER_GET(ControlObjectVersion, 26),
        TEXT_GET(ServiceObjectDescription, 27),
        NUMBER_GET(ServiceObjectVersion, 28),
        TEXT_GET(DeviceDescription, 29),
        TEXT_GET(DeviceName, 30),
        BOOL_GET(CapStatisticsReporting, 39),
        BOOL_GET(CapUpdateStatistics, 40),
        BOOL_GET(CapCompareFirmwareVersion, 44),
        BOOL_GET(CapUpdateFirmware, 45),
        NUMBER_GET(OpenResult, 49),
        BOOL_GET(DecodeData, 50), BOOL_PUT(DecodeData, 50),
        TEXT_GET(ScanData, 51),
        TEXT_GET(ScanDataLabel, 52),
        NUMBER_GET(ScanDataType, 53),
        // Methods.
        RESULT_METHOD(CheckHealth, 31, {I4}, CheckHealth(c.i4(0), &result)),
        RESULT_METHOD(ClaimDevice, 32, {I4}, ClaimDevice(c.i4(0), &result)),
        RESULT_METHOD(ClearInput, 33, {}, ClearInput(&result)),
        RESULT_METHOD(Close, 35, {}, Close(&result)),
        RESULT_METHOD(DirectIO, 36, (std::vector<VARTYPE>{I4, I4_REF, TEXT_REF}),
                      DirectIO(c.i4(0), c.i4Ref(1), c.bstrRef(2), &result)),
        RESULT_METHOD(Open, 37, {TEXT}, Open(c.bstr(0), &result)),
        RESULT_METHOD(ReleaseDevice, 38, {}, ReleaseDevice(&result)),
        RESULT_METHOD(ResetStatistics, 41, {TEXT}, ResetStatistics(c.bstr(0), &result)),
        RESULT_METHOD(RetrieveStatistics, 42, {TEXT_REF}, RetrieveStatistics(c.bstrRef(0), &result)),
        RESULT_METHOD(UpdateStatistics, 43, {TEXT}, UpdateStatistics(c.bstr(0), &result)),
        RESULT_METHOD(CompareFirmwareVersion, 46, (std::vector<VARTYPE>{TEXT, I4_REF}),
                      CompareFirmwareVersion(c.bstr(0), c.i4Ref(1), &result)),
        RESULT_METHOD(UpdateFirmware, 47, {TEXT}, UpdateFirmware(c.bstr(0), &result)),
        RESULT_METHOD(ClearInputProperties, 48, {}, ClearInputProperties(&result)),
    });
    return table;
}

}  // namespace

HRESULT COPOSScannerCtrl::GetTypeInfoCount(UINT* count)
{
    if (count == nullptr)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT COPOSScannerCtrl::GetTypeInfo(UINT, LCID, ITypeInfo** info)
{
    if (info != nullptr)
        *info = nullptr;
    return E_NOTIMPL;
}

HRESULT COPOSScannerCtrl::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids)
{
    // The OPOS 1.x names of ClaimDevice and ReleaseDevice, exactly as
    // written, for applications of that time.
    if (names != nullptr && ids != nullptr && count == 1 && names[0] != nullptr) {
        const std::u16string_view name(names[0]);
        if (name == u"Claim") {
            ids[0] = 32;
            return S_OK;
        }
        if (name == u"Release") {
            ids[0] = 38;
            return S_OK;
        }
    }
    return Table().getIDsOfNames(names, count, ids);
}

HRESULT COPOSScannerCtrl::Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                                 EXCEPINFO* exception, UINT* argumentError)
{
    return Table().invoke(this, id, iid, locale, flags, params, result, exception, argumentError);
}
