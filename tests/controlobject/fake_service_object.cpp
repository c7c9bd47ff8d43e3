// The fake service-object library (see FakeServiceObject.h).
#include "FakeServiceObject.h"

#include "platform/com.h"
#include "platform/dispatch.h"

#include <atomic>

namespace {

fakeso::Slots g_slots;

CLSID SlotClass(int slot)
{
    return CLSID{0xF0E0D0C0u + static_cast<DWORD>(slot), 0x1234, 0x4321, {0x80, 0, 0, 0, 0, 0, 0, 0x42}};
}

platform::ComModule& Module()
{
    static platform::ComModule module;
    return module;
}

bool SameName(const std::u16string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](unsigned c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
        if (lower(a[i]) != lower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// One argument as the call record shows it.
std::string Describe(const VARIANT& v)
{
    switch (v.vt) {
    case VT_I4: return std::to_string(v.lVal);
    case VT_I2: return std::to_string(v.iVal);
    case VT_BOOL: return v.boolVal ? "true" : "false";
    case VT_BSTR: return platform::ansiFromBstr(v.bstrVal);
    case VT_DISPATCH: return "dispatch";
    case VT_I4 | VT_BYREF: return "&" + std::to_string(*v.plVal);
    case VT_BSTR | VT_BYREF: return "&" + platform::ansiFromBstr(*v.pbstrVal);
    default: return "?";
    }
}

LONG Number(const VARIANT& v)
{
    LONG value = 0;
    platform::variantToI4(v, &value);
    return value;
}

class FakeServiceObject final : public IDispatch {
public:
    explicit FakeServiceObject(fakeso::Slot& slot) : m_slot(slot)
    {
        Module().objectCreated();
        std::lock_guard lock(m_slot.mutex);
        ++m_slot.liveObjects;
    }
    ~FakeServiceObject()
    {
        {
            std::lock_guard lock(m_slot.mutex);
            --m_slot.liveObjects;
        }
        Module().objectDestroyed();
    }

    HRESULT QueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_IUnknown || (iid == IID_IDispatch && !m_slot.noDispatch)) {
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
        if (count != 1)
            return DISP_E_UNKNOWNNAME;
        const std::u16string name(names[0]);
        const auto& all = fakeso::AllNames();
        for (const std::string& answered : m_slot.names) {
            if (!SameName(name, answered))
                continue;
            for (std::size_t i = 0; i < all.size(); ++i)
                if (all[i] == answered) {
                    ids[0] = static_cast<DISPID>(i + 1);
                    return S_OK;
                }
        }
        ids[0] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }

    HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*) override
    {
        const auto& all = fakeso::AllNames();
        if (id < 1 || static_cast<std::size_t>(id) > all.size())
            return DISP_E_MEMBERNOTFOUND;
        const std::string& name = all[static_cast<std::size_t>(id - 1)];
        // Arguments first one first.
        std::vector<VARIANT*> args;
        for (UINT i = 0; i < params->cArgs; ++i)
            args.push_back(&params->rgvarg[params->cArgs - 1 - i]);
        std::string record = name + "(";
        for (std::size_t i = 0; i < args.size(); ++i)
            record += (i ? "," : "") + Describe(*args[i]);
        record += ")";
        {
            std::lock_guard lock(m_slot.mutex);
            m_slot.calls.push_back(record);
        }
        if (m_slot.failCalls && name != "CloseService" && name != "Close")
            return DISP_E_EXCEPTION;
        auto answer = [&](LONG value) {
            if (result != nullptr) {
                VariantInit(result);
                result->vt = VT_I4;
                result->lVal = value;
            }
            return S_OK;
        };
        if (name == "OpenService") {
            if (m_slot.openServiceFails)
                return DISP_E_EXCEPTION;
            std::lock_guard lock(m_slot.mutex);
            if (args.size() == 3 && args[2]->vt == VT_DISPATCH)
                m_slot.control = args[2]->pdispVal;  // held without a reference, as a service object does
            return answer(m_slot.openServiceResult);
        }
        if (name == "CloseService" || name == "Close") {
            std::lock_guard lock(m_slot.mutex);
            m_slot.control = nullptr;
            return answer(m_slot.methodResult);
        }
        if (name == "GetOpenResult")
            return m_slot.getOpenResultFails ? DISP_E_EXCEPTION : answer(m_slot.openResult);
        if (name == "GetPropertyNumber") {
            const LONG index = Number(*args[0]);
            if (index == 8)
                return answer(m_slot.version);
            std::lock_guard lock(m_slot.mutex);
            const auto found = m_slot.numbers.find(index);
            return answer(found == m_slot.numbers.end() ? 0 : found->second);
        }
        if (name == "SetPropertyNumber") {
            std::lock_guard lock(m_slot.mutex);
            m_slot.numbers[Number(*args[0])] = Number(*args[1]);
            return answer(0);
        }
        if (name == "GetPropertyString") {
            std::string text;
            {
                std::lock_guard lock(m_slot.mutex);
                const auto found = m_slot.strings.find(Number(*args[0]));
                if (found != m_slot.strings.end())
                    text = found->second;
            }
            if (result != nullptr) {
                VariantInit(result);
                result->vt = VT_BSTR;
                result->bstrVal = platform::bstrFromAnsi(text);
            }
            return S_OK;
        }
        if (name == "DirectIO") {
            *args[1]->plVal += 1;
            const std::string text = "dio:" + platform::ansiFromBstr(*args[2]->pbstrVal);
            SysFreeString(*args[2]->pbstrVal);
            *args[2]->pbstrVal = platform::bstrFromAnsi(text);
        } else if (name == "RetrieveStatistics") {
            SysFreeString(*args[0]->pbstrVal);
            *args[0]->pbstrVal = platform::bstrFromAnsi("<stats/>");
        } else if (name == "CompareFirmwareVersion") {
            *args[1]->plVal = 7;
        }
        return answer(m_slot.methodResult);
    }

private:
    fakeso::Slot& m_slot;
    std::atomic<ULONG> m_references{1};
};

template <int N>
HRESULT CreateInSlot(REFIID iid, void** object)
{
    auto* created = new FakeServiceObject(g_slots.slot[N]);
    const HRESULT result = created->QueryInterface(iid, object);
    created->Release();
    return result;
}

platform::ClassFactory g_factories[fakeso::kSlots] = {
    {SlotClass(0), &CreateInSlot<0>, Module()}, {SlotClass(1), &CreateInSlot<1>, Module()},
    {SlotClass(2), &CreateInSlot<2>, Module()}, {SlotClass(3), &CreateInSlot<3>, Module()},
    {SlotClass(4), &CreateInSlot<4>, Module()}, {SlotClass(5), &CreateInSlot<5>, Module()},
};

}  // namespace

extern "C" fakeso::Slots* vxFakeServiceObjects()
{
    return &g_slots;
}

extern "C" HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** object)
{
    std::vector<platform::ClassFactory*> factories;
    for (int i = 0; i < fakeso::kSlots; ++i)
        if (!g_slots.slot[i].noFactory)
            factories.push_back(&g_factories[i]);
    return platform::getClassObject(factories, clsid, iid, object);
}

extern "C" HRESULT DllCanUnloadNow()
{
    return Module().canUnloadNow();
}

extern "C" HRESULT DllRegisterServer()
{
    const std::string library = platform::modulePath(reinterpret_cast<const void*>(&DllRegisterServer));
    std::vector<platform::ClassesEntry> entries;
    for (int i = 0; i < fakeso::kSlots; ++i) {
        const std::string clsid = platform::stringFromGuid(SlotClass(i));
        entries.push_back({fakeso::ProgId(i) + "\\CLSID", std::nullopt, clsid});
        entries.push_back({"CLSID\\" + clsid + "\\InprocServer32", std::nullopt, library});
    }
    return platform::registerClassesEntries(entries);
}
