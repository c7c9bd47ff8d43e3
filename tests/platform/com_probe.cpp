// An in-process server for the COM tests: class "VX.ComProbe" with an
// IDispatch made from a table, and the four exports.
#include "platform/com.h"
#include "platform/dispatch.h"

#include <atomic>
#include <stdexcept>
#include <string>

namespace {

constexpr CLSID kProbeClass{0x1F2E3D4C, 0x5B6A, 0x4978, {0x86, 0x95, 0xA4, 0xB3, 0xC2, 0xD1, 0xE0, 0xF1}};

platform::ComModule& module()
{
    static platform::ComModule instance;
    return instance;
}

class Probe final : public IDispatch {
public:
    Probe() { module().objectCreated(); }
    ~Probe() { module().objectDestroyed(); }

    HRESULT QueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_IUnknown || iid == IID_IDispatch) {
            *object = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
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
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override
    {
        return table().getIDsOfNames(names, count, ids);
    }
    HRESULT Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* exception, UINT* argumentError) override
    {
        return table().invoke(this, id, iid, locale, flags, params, result, exception, argumentError);
    }

    static const platform::DispatchTable& table()
    {
        using platform::DispatchCall;
        static const platform::DispatchTable members({
            // First minus second: shows the order the arguments arrive in.
            {"Subtract", 1, DISPATCH_METHOD, {VT_I4, VT_I4}, VT_I4,
             [](void*, DispatchCall& c) {
                 c.setI4(c.i4(0) - c.i4(1));
                 return S_OK;
             }},
            // The text narrowed and widened again, with its length in front.
            {"Echo", 2, DISPATCH_METHOD, {VT_BSTR}, VT_BSTR,
             [](void*, DispatchCall& c) {
                 const std::string text = c.latin1(0);
                 c.setLatin1(std::to_string(text.size()) + ":" + text);
                 return S_OK;
             }},
            {"Twice", 3, DISPATCH_METHOD, {VT_I4 | VT_BYREF, VT_BSTR | VT_BYREF}, VT_EMPTY,
             [](void*, DispatchCall& c) {
                 *c.i4Ref(0) *= 2;
                 const std::string text = platform::ansiFromBstr(*c.bstrRef(1));
                 BSTR doubled = platform::bstrFromAnsi(text + text);
                 SysFreeString(*c.bstrRef(1));
                 *c.bstrRef(1) = doubled;
                 return S_OK;
             }},
            {"Fail", 4, DISPATCH_METHOD, {}, VT_EMPTY,
             [](void*, DispatchCall&) -> HRESULT { throw std::runtime_error("probe failure"); }},
            {"Value", 5, DISPATCH_PROPERTYGET, {}, VT_I4,
             [](void* o, DispatchCall& c) {
                 c.setI4(static_cast<Probe*>(o)->m_value);
                 return S_OK;
             }},
            {"Value", 5, DISPATCH_PROPERTYPUT, {VT_I4}, VT_EMPTY,
             [](void* o, DispatchCall& c) {
                 static_cast<Probe*>(o)->m_value = c.i4(0);
                 return S_OK;
             }},
            {"Flag", 6, DISPATCH_METHOD, {VT_BOOL, VT_I2}, VT_BOOL,
             [](void*, DispatchCall& c) {
                 c.setBool(c.boolean(0) && c.i2(1) != 0);
                 return S_OK;
             }},
            {"NotHere", 7, DISPATCH_METHOD, {}, VT_EMPTY,
             [](void*, DispatchCall&) { return E_NOTIMPL; }},
        });
        return members;
    }

private:
    std::atomic<ULONG> m_references{1};
    LONG m_value = 0;
};

HRESULT createProbe(REFIID iid, void** object)
{
    auto* probe = new Probe;
    const HRESULT result = probe->QueryInterface(iid, object);
    probe->Release();
    return result;
}

platform::ClassFactory& factory()
{
    static platform::ClassFactory instance(kProbeClass, &createProbe, module());
    return instance;
}

std::string classKey()
{
    return "CLSID\\" + platform::stringFromGuid(kProbeClass);
}

}  // namespace

extern "C" HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** object)
{
    return platform::getClassObject({&factory()}, clsid, iid, object);
}

extern "C" HRESULT DllCanUnloadNow()
{
    return module().canUnloadNow();
}

extern "C" HRESULT DllRegisterServer()
{
    const std::string library = platform::modulePath(reinterpret_cast<const void*>(&DllRegisterServer));
    return platform::registerClassesEntries({
        {"VX.ComProbe", std::nullopt, "COM probe"},
        {"VX.ComProbe\\CLSID", std::nullopt, platform::stringFromGuid(kProbeClass)},
        {classKey(), std::nullopt, "COM probe"},
        {classKey() + "\\InprocServer32", std::nullopt, library},
    });
}

extern "C" HRESULT DllUnregisterServer()
{
    return platform::deleteClassesKeys({"VX.ComProbe", classKey()});
}
